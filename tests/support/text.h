// Text at the edges of the test programs and the benchmark: UTF-16 inside, UTF-8 and Unix paths
// outside, and what console programs write into a file.
#pragma once

#include <optional>
#include <string>

namespace quillmark::test_support {

// UTF-8 of the wide text; an unpaired surrogate becomes U+FFFD.
std::string Utf8(const std::wstring& text);
// The wide text of UTF-8; invalid bytes become U+FFFD.
std::wstring Wide(const std::string& utf8);
// The wide text of strict UTF-8, or nothing when the bytes are not valid UTF-8.
std::optional<std::wstring> StrictWide(const std::string& utf8);

// A Unix path (UTF-8) as Wine's drive Z: shows it: "/a/b c" becomes "Z:\a\b c".
std::wstring WinePathFromUnix(const std::string& unix_path);

// What a console program wrote into a file: UTF-16 (with or without its byte-order mark, which is
// dropped) when it looks so, otherwise text in the ANSI code page.
std::wstring TextFromConsoleBytes(const std::string& bytes);

}  // namespace quillmark::test_support
