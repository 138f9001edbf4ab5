// Files and environment variables of the stand-in's script and record, for service and tests.
#pragma once

#include <optional>
#include <string>

namespace standin {

// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::wstring& path);
// Replaces the file's content; false when it cannot be written.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
// Appends to the file, creating it if needed; false when it cannot be written.
bool AppendToFile(const std::wstring& path, const std::string& bytes);

// The variable's value; empty when it is not set.
std::wstring EnvironmentText(const wchar_t* name);

}  // namespace standin
