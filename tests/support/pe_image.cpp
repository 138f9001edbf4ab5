// Reading a program file's headers and import tables, with every offset checked against the file.
#include "pe_image.h"

#include <cstddef>
#include <cstring>
#include <optional>
#include <utility>

#include "launcher.h"
#include "standin_file.h"
#include "text.h"

namespace quillmark::test_support {

PeImage::PeImage(std::string bytes) : bytes_(std::move(bytes)) {
  const auto dos = At<IMAGE_DOS_HEADER>(0);
  Require(dos.e_magic == IMAGE_DOS_SIGNATURE, "not a Windows program file");
  const auto nt_offset = static_cast<std::size_t>(dos.e_lfanew);
  Require(At<DWORD>(nt_offset) == IMAGE_NT_SIGNATURE, "not a Windows program file");
  // The file header and the optional header's first field are alike in 32-bit and 64-bit files;
  // the 64-bit optional header is longer before its data directories.
  file_header_ = At<IMAGE_FILE_HEADER>(nt_offset + offsetof(IMAGE_NT_HEADERS32, FileHeader));
  optional_header_ = nt_offset + offsetof(IMAGE_NT_HEADERS32, OptionalHeader);
  const WORD magic = At<WORD>(optional_header_);
  Require(magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC || magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC,
          "not a 32-bit or 64-bit Windows program file");
  is_64bit_ = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
  first_section_ = optional_header_ + file_header_.SizeOfOptionalHeader;
}

PeImage PeImage::FromFile(const std::wstring& path) {
  std::optional<std::string> bytes = standin::ReadWholeFile(path);
  Require(bytes.has_value(), "cannot read " + Utf8(path));
  return PeImage(std::move(*bytes));
}

std::string PeImage::Machine() const {
  switch (file_header_.Machine) {
    case IMAGE_FILE_MACHINE_I386:
      return "x86";
    case IMAGE_FILE_MACHINE_AMD64:
      return "x64";
    default:
      return "machine " + std::to_string(file_header_.Machine);
  }
}

bool PeImage::Stripped() const {
  return file_header_.PointerToSymbolTable == 0 && file_header_.NumberOfSymbols == 0;
}

WORD PeImage::Subsystem() const {
  return is_64bit_ ? At<WORD>(optional_header_ + offsetof(IMAGE_OPTIONAL_HEADER64, Subsystem))
                   : At<WORD>(optional_header_ + offsetof(IMAGE_OPTIONAL_HEADER32, Subsystem));
}

WORD PeImage::DllCharacteristics() const {
  return At<WORD>(optional_header_ + (is_64bit_
                                          ? offsetof(IMAGE_OPTIONAL_HEADER64, DllCharacteristics)
                                          : offsetof(IMAGE_OPTIONAL_HEADER32, DllCharacteristics)));
}

IMAGE_DATA_DIRECTORY PeImage::Directory(int entry) const {
  const std::size_t count_offset =
      optional_header_ + (is_64bit_ ? offsetof(IMAGE_OPTIONAL_HEADER64, NumberOfRvaAndSizes)
                                    : offsetof(IMAGE_OPTIONAL_HEADER32, NumberOfRvaAndSizes));
  if (static_cast<DWORD>(entry) >= At<DWORD>(count_offset)) return {};
  // The data directories follow their count.
  return At<IMAGE_DATA_DIRECTORY>(count_offset + sizeof(DWORD) +
                                  static_cast<std::size_t>(entry) * sizeof(IMAGE_DATA_DIRECTORY));
}

std::vector<std::string> PeImage::ImportedDlls() const {
  return NamesIn<IMAGE_IMPORT_DESCRIPTOR, &IMAGE_IMPORT_DESCRIPTOR::Name>(
      IMAGE_DIRECTORY_ENTRY_IMPORT);
}

std::vector<std::string> PeImage::DelayLoadedDlls() const {
  return NamesIn<IMAGE_DELAYLOAD_DESCRIPTOR, &IMAGE_DELAYLOAD_DESCRIPTOR::DllNameRVA>(
      IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT);
}

template <typename T>
T PeImage::At(std::size_t offset) const {
  Require(offset <= bytes_.size() && sizeof(T) <= bytes_.size() - offset,
          "a program file cut short");
  T value;
  std::memcpy(&value, bytes_.data() + offset, sizeof value);
  return value;
}

std::size_t PeImage::FileOffsetOf(DWORD rva) const {
  for (WORD index = 0; index < file_header_.NumberOfSections; ++index) {
    const auto section =
        At<IMAGE_SECTION_HEADER>(first_section_ + index * sizeof(IMAGE_SECTION_HEADER));
    if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.SizeOfRawData) {
      return section.PointerToRawData + (rva - section.VirtualAddress);
    }
  }
  throw SupportError("an address outside every section of the program file");
}

std::string PeImage::StringAt(DWORD rva) const {
  const std::size_t start = FileOffsetOf(rva);
  const std::size_t end = bytes_.find('\0', start);
  Require(end != std::string::npos, "an unterminated name in the program file");
  return bytes_.substr(start, end - start);
}

template <typename Descriptor, DWORD Descriptor::*Name>
std::vector<std::string> PeImage::NamesIn(int directory) const {
  std::vector<std::string> names;
  const IMAGE_DATA_DIRECTORY table = Directory(directory);
  if (table.VirtualAddress == 0 || table.Size == 0) return names;
  for (std::size_t offset = FileOffsetOf(table.VirtualAddress);; offset += sizeof(Descriptor)) {
    const auto entry = At<Descriptor>(offset);
    if (entry.*Name == 0) return names;
    names.push_back(StringAt(entry.*Name));
  }
}

}  // namespace quillmark::test_support
