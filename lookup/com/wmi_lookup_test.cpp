// The lookup against the real management service of the machine the tests run on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "com_management_binder.h"
#include "com_owners.h"
#include "win32_owners.h"
#include "platform_failure.h"

namespace quillmark {
namespace {

class RecordingNotifier : public UserNotifier {
 public:
  void ShowMessage(const std::wstring& text) override { shown.push_back(text); }
  std::vector<std::wstring> shown;
};

// What the system's own command-line management client reports as the BIOS serial number.
std::wstring SerialFromCommandLineClient() {
  const UniqueTempFile output_file = NewTempFile(L"wmc");
  const std::wstring& output = output_file.get();
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const UniqueFile file(CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output_file || !file) return L"<no output file>";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = file.get();
  PROCESS_INFORMATION process{};
  std::wstring command = L"wmic.exe bios get serialnumber";
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return L"<wmic did not start>";
  }
  const UniqueProcess process_handle(process.hProcess);
  const UniqueThread thread_handle(process.hThread);
  WaitForSingleObject(process.hProcess, 60000);

  const UniqueFile reader(CreateFileW(output.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes(GetFileSize(reader.get(), nullptr), '\0');
  DWORD read = 0;
  ReadFile(reader.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  std::wstring text(bytes.size() / 2, L'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
  // "SerialNumber  \r\n<value>  \r\n": the value is the second line, its column padding removed.
  const size_t first_end = text.find(L'\n');
  if (first_end == std::wstring::npos) return L"<unexpected wmic output>";
  std::wstring value = text.substr(first_end + 1);
  while (!value.empty() && (value.back() == L'\n' || value.back() == L'\r' || value.back() == L' '))
    value.pop_back();
  return value;
}

class RealService : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_THROW(apartment_.emplace()); }

  std::optional<ComApartment> apartment_;
  ComManagementBinder binder_;
  RecordingNotifier notifier_;
};

TEST_F(RealService, ThisComputerReportsOneSerialEqualToTheCommandLineClients) {
  SerialLookup(L".", binder_, notifier_);
  ASSERT_EQ(notifier_.shown.size(), 1u);
  EXPECT_EQ(notifier_.shown[0], ResultMessageFor(SerialFromCommandLineClient()));
}

TEST_F(RealService, AnUnknownComputerFailsWithACodeAndADescription) {
  try {
    SerialLookup(L"nosuchhost.invalid", binder_, notifier_);
    FAIL() << "an unknown computer was looked up";
  } catch (const PlatformFailure& failure) {
    EXPECT_LT(failure.code(), 0);
    EXPECT_FALSE(failure.description().empty());
  }
  EXPECT_TRUE(notifier_.shown.empty());
}

TEST_F(RealService, TheSchemesHandlerLoadsWithoutAnyNameAndAnUnknownSchemeFails) {
  EXPECT_NO_THROW(LoadMonikerHandler(kMonikerScheme));
  EXPECT_THROW(LoadMonikerHandler(L"nosuchscheme"), PlatformFailure);
}

TEST_F(RealService, HugeAndNonAsciiNamesEndCleanly) {
  for (const std::wstring& name :
       {std::wstring(100000, L'n'), std::wstring(L"r\u00e9seau-\u4e2d\u6587-\U0001F600")}) {
    try {
      SerialLookup(name, binder_, notifier_);
    } catch (const PlatformFailure& failure) {
      EXPECT_FALSE(failure.description().empty());
    }
  }
  // The service is still usable afterwards.
  notifier_.shown.clear();
  SerialLookup(L"localhost", binder_, notifier_);
  EXPECT_EQ(notifier_.shown.size(), 1u);
}

}  // namespace
}  // namespace quillmark
