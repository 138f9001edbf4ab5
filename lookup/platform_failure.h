// The one failure type: a platform operation's error code and description, carried unchanged.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace quillmark {

// Thrown by a failing platform operation and caught only at the top-level report. The code is the
// platform's own (an HRESULT on Windows); the description is never empty.
class PlatformFailure : public std::exception {
 public:
  PlatformFailure(std::int32_t code, std::wstring description);

  std::int32_t code() const noexcept { return code_; }
  const std::wstring& description() const noexcept { return description_; }
  const char* what() const noexcept override;

 private:
  std::int32_t code_;
  std::wstring description_;
};

// "0x80041015": the code as the report shows it.
std::wstring FormatFailureCode(std::int32_t code);

// A description for a code that the platform gave none for: a known text where the code is a
// common management or automation error, otherwise a sentence that names the code.
std::wstring DescribeFailureCode(std::int32_t code);

// The text without the blanks and line breaks at its ends; those inside stay.
std::wstring TrimBlanks(const std::wstring& text);

// The description of a failed operation that gave no error code: it names the operation.
std::wstring UnexplainedFailureText(const std::wstring& operation);

// One short sentence on the likely cause of a failure with this code and what to check, for the
// codes administrators meet most when they look up a remote computer; empty for any other code.
std::wstring FailureHint(std::int32_t code);

// The hint for a failure with this code that a directory source gave: where the directory means
// something else by it (access denied: to a container, not to a computer), its own words;
// otherwise FailureHint's.
std::wstring DirectoryFailureHint(std::int32_t code);

// The codes that have a hint, with their built-in descriptions, in the order of their codes.
struct HintedFailure {
  std::int32_t code;
  std::wstring description;
  std::wstring hint;
  std::wstring directory_hint;  // empty where the directory's is the same
};
std::vector<HintedFailure> HintedFailures();

// The text of the top-level failure report: the error's number and its description, and then the
// code's hint where it has one.
std::wstring FailureReportText(const PlatformFailure& failure);

}  // namespace quillmark
