// Where this build put the programs that the tests and the benchmark start or read, as Windows
// paths on Wine's drive Z:.
#pragma once

#include <string>

namespace quillmark::test_support {

std::wstring LookupToolPath();  // the window program
std::wstring CompanionPath();   // quillmark.exe
// The Unix path of the window program, for a test that may be told to read another file.
const char* LookupToolUnixPath();

}  // namespace quillmark::test_support
