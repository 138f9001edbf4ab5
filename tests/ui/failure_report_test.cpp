// A lookup that fails is reported once, with the error's number and description, and leaves Form1
// ready for another try; no name, however long or whatever its letters, brings the program down.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "driver.h"
#include "ui_test_support.h"

namespace quillmark::ui_test {
namespace {

using namespace ui_driver;

class FailureReport : public ProgramTest {
 protected:
  // Dismisses whatever box the name brought up and checks that the program came through it.
  void ExpectSurvivesLookupOf(const std::wstring& name) {
    HWND box = nullptr;
    ASSERT_NO_FATAL_FAILURE(ClickLookup(&box));
    ExpectOwnedOkBox(box);
    ASSERT_NO_FATAL_FAILURE(Dismiss(box));
    EXPECT_TRUE(program().running());
    EXPECT_TRUE(IsWindowEnabled(form1()));
    EXPECT_TRUE(TextOf(text1()) == name) << "the name in Text1 changed";
  }
};

TEST_F(FailureReport, UnknownComputerGivesOneReportWithTheCodeAndADescription) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(kUnknownComputer, &box));
  ExpectOwnedOkBox(box);
  const std::wstring text = ReadMessageBox(box).text;
  EXPECT_NE(text.find(kTransportFailureCode), std::wstring::npos) << Printable(text);
  EXPECT_TRUE(HasDescriptionBesidesCode(text, kTransportFailureCode)) << Printable(text);
  EXPECT_EQ(text.find(kResultPrompt), std::wstring::npos) << "a failure shows no serial number";
  Dismiss(box);
}

TEST_F(FailureReport, Form1TakesNoInputWhileTheReportShows) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(kUnknownComputer, &box));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(form1()); }))
      << "Form1 stays enabled under the report";
  Dismiss(box);
}

TEST_F(FailureReport, AfterTheReportForm1IsIdleWithTheNameKept) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(kUnknownComputer, &box));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  EXPECT_TRUE(program().running()) << "the report must not end the program";
  EXPECT_TRUE(IsWindowEnabled(form1()));
  EXPECT_EQ(TextOf(text1()), kUnknownComputer);
}

TEST_F(FailureReport, TheSameNameCanBeTriedAgainAtOnce) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(kUnknownComputer, &box));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  ASSERT_NO_FATAL_FAILURE(ClickLookup(&box));
  const std::wstring text = ReadMessageBox(box).text;
  EXPECT_NE(text.find(kTransportFailureCode), std::wstring::npos) << Printable(text);
  Dismiss(box);
}

TEST_F(FailureReport, ALookupAfterAFailureSucceeds) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(kUnknownComputer, &box));
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  std::wstring serial;
  ASSERT_NO_FATAL_FAILURE(WitnessSerial(&serial));
  ASSERT_NO_FATAL_FAILURE(LookUp(L".", &box));
  ExpectResultBox(box, serial);
  Dismiss(box);
}

TEST_F(FailureReport, NameIsLookedUpUntrimmed) {
  // With its leading blank this is not this computer's name, so the lookup must fail.
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(LookUp(L" .", &box));
  const std::wstring text = ReadMessageBox(box).text;
  EXPECT_EQ(text.find(kResultPrompt), std::wstring::npos) << Printable(text);
  EXPECT_NE(text.find(kTransportFailureCode), std::wstring::npos) << Printable(text);
  ASSERT_NO_FATAL_FAILURE(Dismiss(box));
  EXPECT_EQ(TextOf(text1()), L" .");
}

TEST_F(FailureReport, A40000CharacterNameIsTakenWholeAndNeverCrashes) {
  std::wstring name;
  while (name.size() < 40000) name += L"host-name.";
  // Inserted as a paste would be, so a length limit on Text1 would cut it short.
  ASSERT_TRUE(ReplaceSelection(text1(), name));
  ASSERT_EQ(TextOf(text1()).size(), name.size()) << "Text1 cut the name short";
  ExpectSurvivesLookupOf(name);
}

TEST_F(FailureReport, NonAsciiNameNeverCrashes) {
  const std::wstring name = L"\u00C5ngstr\u00F6m-\u03A3\u03B5\u03C1\u03B2-\u6771\u4EAC-\u0416";
  ASSERT_TRUE(SetTextOf(text1(), name));
  ASSERT_EQ(TextOf(text1()), name);
  ExpectSurvivesLookupOf(name);
}

}  // namespace
}  // namespace quillmark::ui_test
