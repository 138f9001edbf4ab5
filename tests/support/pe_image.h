// A Windows program file read from its bytes: its headers and the DLLs it imports, every offset
// checked against the file, for either 32-bit or 64-bit images.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillmark::test_support {

class PeImage {
 public:
  // Throws SupportError when the bytes are not a 32-bit or 64-bit Windows image.
  explicit PeImage(std::string bytes);
  // The file's bytes; throws SupportError when it cannot be read or is no image.
  static PeImage FromFile(const std::wstring& path);

  std::size_t size() const noexcept { return bytes_.size(); }
  const IMAGE_FILE_HEADER& file_header() const noexcept { return file_header_; }
  bool Is64Bit() const noexcept { return is_64bit_; }
  // "x86" or "x64", as the file header says.
  std::string Machine() const;
  // No COFF symbol table left in the file.
  bool Stripped() const;
  WORD Subsystem() const;
  WORD DllCharacteristics() const;
  // The data directory, or an empty one when the image has fewer.
  IMAGE_DATA_DIRECTORY Directory(int entry) const;
  // The DLL names of the import table, and of the delay-load table, in file order.
  std::vector<std::string> ImportedDlls() const;
  std::vector<std::string> DelayLoadedDlls() const;

 private:
  template <typename T>
  T At(std::size_t offset) const;
  // Where an address of the loaded image lies in the file, through the section it falls in.
  std::size_t FileOffsetOf(DWORD rva) const;
  std::string StringAt(DWORD rva) const;
  // The name at `Name` of each descriptor in the directory's table, up to the one without.
  template <typename Descriptor, DWORD Descriptor::*Name>
  std::vector<std::string> NamesIn(int directory) const;

  std::string bytes_;
  IMAGE_FILE_HEADER file_header_{};
  bool is_64bit_ = false;
  std::size_t optional_header_ = 0;
  std::size_t first_section_ = 0;
};

}  // namespace quillmark::test_support
