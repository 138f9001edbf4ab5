// Reading a program file's headers and import tables, with every offset checked against the file.
#include "image_facts.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "child_process.h"

namespace quillmark::bench {
namespace {

class Image {
 public:
  explicit Image(std::string bytes) : bytes_(std::move(bytes)) {
    const auto dos = At<IMAGE_DOS_HEADER>(0);
    Require(dos.e_magic == IMAGE_DOS_SIGNATURE, "not a Windows program file");
    const size_t nt_offset = static_cast<size_t>(dos.e_lfanew);
    Require(At<DWORD>(nt_offset) == IMAGE_NT_SIGNATURE, "not a Windows program file");
    // The file header and the optional header's first field are alike in 32-bit and 64-bit
    // files; the 64-bit optional header is longer before its data directories.
    file_header_ = At<IMAGE_FILE_HEADER>(nt_offset + offsetof(IMAGE_NT_HEADERS32, FileHeader));
    const size_t optional_header = nt_offset + offsetof(IMAGE_NT_HEADERS32, OptionalHeader);
    const WORD magic = At<WORD>(optional_header);
    Require(magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC || magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC,
            "not a 32-bit or 64-bit Windows program file");
    directory_count_offset_ =
        optional_header + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                               ? offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes)
                               : offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes));
    first_section_ = optional_header + file_header_.SizeOfOptionalHeader;
  }

  bool stripped() const {
    return file_header_.PointerToSymbolTable == 0 && file_header_.NumberOfSymbols == 0;
  }

  std::string machine() const {
    switch (file_header_.Machine) {
      case IMAGE_FILE_MACHINE_I386:
        return "x86";
      case IMAGE_FILE_MACHINE_AMD64:
        return "x64";
      default:
        return "machine " + std::to_string(file_header_.Machine);
    }
  }

  std::vector<std::string> Imports() const {
    std::vector<std::string> names;
    ForEachDescriptor<IMAGE_IMPORT_DESCRIPTOR>(IMAGE_DIRECTORY_ENTRY_IMPORT,
                                               [&](const IMAGE_IMPORT_DESCRIPTOR& entry) {
                                                 if (entry.Name == 0) return false;
                                                 names.push_back(StringAt(entry.Name));
                                                 return true;
                                               });
    ForEachDescriptor<IMAGE_DELAYLOAD_DESCRIPTOR>(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT,
                                                  [&](const IMAGE_DELAYLOAD_DESCRIPTOR& entry) {
                                                    if (entry.DllNameRVA == 0) return false;
                                                    names.push_back(StringAt(entry.DllNameRVA));
                                                    return true;
                                                  });
    return names;
  }

 private:
  template <typename T>
  T At(size_t offset) const {
    Require(offset <= bytes_.size() && sizeof(T) <= bytes_.size() - offset,
            "a program file cut short");
    T value;
    std::memcpy(&value, bytes_.data() + offset, sizeof value);
    return value;
  }

  // Where an address of the loaded image lies in the file, through the section it falls in.
  size_t FileOffsetOf(DWORD rva) const {
    for (WORD index = 0; index < file_header_.NumberOfSections; ++index) {
      const auto section =
          At<IMAGE_SECTION_HEADER>(first_section_ + index * sizeof(IMAGE_SECTION_HEADER));
      if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.SizeOfRawData) {
        return section.PointerToRawData + (rva - section.VirtualAddress);
      }
    }
    throw BenchError("an address outside every section of the program file");
  }

  std::string StringAt(DWORD rva) const {
    const size_t start = FileOffsetOf(rva);
    const size_t end = bytes_.find('\0', start);
    Require(end != std::string::npos, "an unterminated name in the program file");
    return bytes_.substr(start, end - start);
  }

  // Calls `visit` for each entry of a descriptor table until it returns false.
  template <typename Descriptor, typename Visit>
  void ForEachDescriptor(int directory, Visit visit) const {
    if (static_cast<DWORD>(directory) >= At<DWORD>(directory_count_offset_)) return;
    // The data directories follow their count.
    const auto table =
        At<IMAGE_DATA_DIRECTORY>(directory_count_offset_ + sizeof(DWORD) +
                                 static_cast<size_t>(directory) * sizeof(IMAGE_DATA_DIRECTORY));
    if (table.VirtualAddress == 0 || table.Size == 0) return;
    size_t offset = FileOffsetOf(table.VirtualAddress);
    while (visit(At<Descriptor>(offset))) offset += sizeof(Descriptor);
  }

  std::string bytes_;
  IMAGE_FILE_HEADER file_header_{};
  size_t directory_count_offset_ = 0;  // NumberOfRvaAndSizes, in either optional header
  size_t first_section_ = 0;
};

}  // namespace

ImageFacts ReadImageFacts(const std::wstring& path) {
  std::string bytes = ReadWholeFile(path);
  ImageFacts facts;
  facts.size_bytes = bytes.size();
  const Image image(std::move(bytes));
  facts.machine = image.machine();
  facts.stripped = image.stripped();
  facts.imports = image.Imports();
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
