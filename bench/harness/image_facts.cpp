// What a program file says about itself, through the test support's PE reader.
#include "image_facts.h"

#include "child_process.h"
#include "pe_image.h"

namespace quillmark::bench {

ImageFacts ReadImageFacts(const std::wstring& path) {
  const test_support::PeImage image = test_support::PeImage::FromFile(path);
  ImageFacts facts;
  facts.size_bytes = image.size();
  facts.machine = image.Machine();
  facts.stripped = image.Stripped();
  facts.imports = image.ImportedDlls();
  for (std::string& name : image.DelayLoadedDlls()) facts.imports.push_back(std::move(name));
  return facts;
}

bool IsSystemDll(const std::string& name) {
  const UINT length = GetSystemDirectoryW(nullptr, 0);
  std::wstring folder(length, L'\0');
  folder.resize(GetSystemDirectoryW(folder.data(), length));
  const std::wstring path = folder + L"\\" + Wide(name);
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace quillmark::bench
