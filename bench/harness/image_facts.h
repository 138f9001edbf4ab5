// What a program file says about itself: its size, whether symbols were stripped, and the DLLs
// the loader must find for it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillmark::bench {

struct ImageFacts {
  ULONGLONG size_bytes = 0;
  std::string machine;               // "x86" or "x64", as its file header says
  bool stripped = false;             // no COFF symbol table left in the file
  std::vector<std::string> imports;  // DLL names, imported and delay-loaded, in file order
};

// Reads a 32-bit or 64-bit Windows executable; throws BenchError when it is not one.
ImageFacts ReadImageFacts(const std::wstring& path);

// Whether the DLL is one of the system's own: present in the system folder of this Windows.
bool IsSystemDll(const std::string& name);

}  // namespace quillmark::bench
