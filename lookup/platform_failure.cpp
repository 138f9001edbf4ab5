// Failure values and the texts that describe them.
#include "platform_failure.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace quillmark {
namespace {

struct KnownCode {
  std::uint32_t code;
  const wchar_t* description;
};

// Codes the management service and automation commonly report, for platforms (such as Wine) whose
// message tables have no text for them.
constexpr KnownCode kKnownCodes[] = {
    {0x80004001, L"Not implemented."},
    {0x80004002, L"No such interface supported."},
    {0x80004005, L"Unspecified error."},
    {0x8000FFFF, L"Catastrophic failure."},
    {0x80020003, L"Member not found."},
    {0x80020005, L"Type mismatch."},
    {0x80020006, L"Unknown name."},
    {0x80020009, L"Exception occurred."},
    {0x8002000E, L"Invalid number of parameters."},
    {0x80041001, L"Generic failure."},
    {0x80041002, L"Not found."},
    {0x80041003, L"Access denied."},
    {0x80041004, L"Provider failure."},
    {0x80041005, L"Type mismatch."},
    {0x80041006, L"Out of memory."},
    {0x80041008, L"Invalid parameter."},
    {0x80041009, L"Not available."},
    {0x8004100A, L"Critical error."},
    {0x8004100C, L"Not supported."},
    {0x8004100E, L"Invalid namespace."},
    {0x8004100F, L"Invalid object."},
    {0x80041010, L"Invalid class."},
    {0x80041011, L"Provider not found."},
    {0x80041013, L"Provider load failure."},
    {0x80041014, L"Component failed to initialize."},
    {0x80041015,
     L"Transport failure: the management service of that computer could not be reached."},
    {0x80041016, L"Invalid operation."},
    {0x80041017, L"Invalid query."},
    {0x8007000E, L"Not enough memory resources are available to complete this operation."},
    {0x80070005, L"Access is denied."},
    {0x800401E4, L"Invalid syntax."},
    {0x800401EA, L"Moniker cannot open file."},
    {0x800705B4, L"This operation returned because the timeout period expired."},
    {0x800706BA, L"The RPC server is unavailable."},
};

}  // namespace

PlatformFailure::PlatformFailure(std::int32_t code, std::wstring description)
    : code_(code), description_(std::move(description)) {
  if (description_.empty()) description_ = DescribeFailureCode(code_);
}

const char* PlatformFailure::what() const noexcept { return "platform failure"; }

std::wstring FormatFailureCode(std::int32_t code) {
  constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  auto value = static_cast<std::uint32_t>(code);
  std::wstring text = L"0x00000000";
  for (auto digit = text.rbegin(); value != 0; ++digit, value >>= 4) *digit = kDigits[value & 0xF];
  return text;
}

std::wstring DescribeFailureCode(std::int32_t code) {
  const auto unsigned_code = static_cast<std::uint32_t>(code);
  const auto known = std::find_if(std::begin(kKnownCodes), std::end(kKnownCodes),
                                  [&](const KnownCode& k) { return k.code == unsigned_code; });
  if (known != std::end(kKnownCodes)) return known->description;
  return L"The operation failed with error " + FormatFailureCode(code) + L".";
}

std::wstring FailureReportText(const PlatformFailure& failure) {
  return L"Error " + FormatFailureCode(failure.code()) + L"\n\n" + failure.description();
}

}  // namespace quillmark
