// The end-to-end fixture: the program against the stand-in, and what a lookup must look like.
#include "endtoend_support.h"

#include <gmock/gmock.h>

#include <cstdio>

#include "platform_failure.h"
#include "standin_text.h"

namespace quillmark::endtoend {

using ui_driver::MessageBoxContent;

std::wstring ReportText(HRESULT code, const std::wstring& description) {
  wchar_t number[16];
  std::swprintf(number, sizeof number / sizeof number[0], L"0x%08lX",
                static_cast<unsigned long>(code));
  const std::wstring hint = FailureHint(code);
  return L"Error " + std::wstring(number) + L"\n\n" + description +
         (hint.empty() ? L"" : L"\n\n" + hint);
}

std::string Printable(const std::wstring& text) { return standin::Quoted(text); }

std::vector<std::string> ExpectedCalls(const std::wstring& computer, const standin::Plan& plan) {
  using standin::Step;
  std::vector<std::string> calls{standin::BindLine(computer)};
  if (plan.delay_ms != 0) calls.push_back("delay " + std::to_string(plan.delay_ms));
  const auto failed = [&](Step step, size_t occurrence) {
    const standin::Failure* failure = plan.FailureAt(step, static_cast<int>(occurrence));
    if (failure != nullptr) calls.push_back(standin::RaiseLine(*failure));
    return failure != nullptr;
  };
  if (failed(Step::kBind, 1)) return calls;
  calls.push_back("names services \"InstancesOf\"");
  calls.push_back("invoke services InstancesOf method \"Win32_BIOS\"");
  if (failed(Step::kInstancesOf, 1)) return calls;
  calls.push_back("invoke collection _NewEnum method|get");
  if (failed(Step::kNewEnum, 1)) return calls;
  for (size_t number = 1;; ++number) {
    calls.push_back("next enumerator 1");
    if (failed(Step::kNext, number) || number > plan.members.size()) return calls;
    const std::string member = "member" + std::to_string(number);
    calls.push_back("names " + member + " \"SerialNumber\"");
    calls.push_back("invoke " + member + " SerialNumber method|get");
    if (failed(Step::kSerialNumber, number)) return calls;
  }
}

void EndToEnd::SetUp() {
  ui_driver::LaunchOptions options;
  options.environment = scratch_.Environment();
  program_.emplace(ui_driver::Program::Launch(options));
  form1_ = program_->WaitForMainWindow();
  ASSERT_NE(form1_, nullptr) << "Form1 did not appear";
  ASSERT_TRUE(program_->WaitForIdle()) << "Form1 is not idle after start";
}

void EndToEnd::Use(std::vector<standin::Plan> plans) const {
  scratch_.WriteScript(standin::Script{std::move(plans)});
}

void EndToEnd::LookUp(const std::wstring& name) {
  ASSERT_TRUE(ui_driver::SetTextOf(text1(), name));
  ASSERT_EQ(ui_driver::TextOf(text1()), name) << "Text1 did not take the name";
  ClickAgain();
}

void EndToEnd::ClickAgain() { ASSERT_TRUE(ui_driver::PostClick(command1())); }

void EndToEnd::WaitForAnyBox(HWND* box, std::wstring* text) {
  *box = program_->WaitForMessageBox();
  if (*box == nullptr) {
    const std::vector<std::string> record = Record();
    const bool over = standin::NothingAlive(standin::LastLookup(record));
    FAIL() << "no box appeared"
           << (over ? " and the lookup has ended: its box, if any, was answered by something else"
                    : "")
           << "; record:\n"
           << ::testing::PrintToString(record);
  }
  EXPECT_EQ(ui_driver::OwnerOf(*box), form1_) << "the box is not owned by Form1";
  EXPECT_EQ(program_->MessageBoxes(), std::vector<HWND>{*box}) << "more than one box shows";
  const MessageBoxContent content = ui_driver::ReadMessageBox(*box);
  EXPECT_EQ(content.title, kTitle);
  EXPECT_EQ(content.buttons, std::vector<std::wstring>{L"OK"});
  *text = content.text;
}

void EndToEnd::WaitForBox(const std::wstring& text, HWND* box) {
  std::wstring shown;
  ASSERT_NO_FATAL_FAILURE(WaitForAnyBox(box, &shown)) << "expected " << Printable(text);
  EXPECT_EQ(shown, text) << "shown: " << Printable(shown) << "\nexpected: " << Printable(text);
}

void EndToEnd::Dismiss(HWND box) {
  ASSERT_TRUE(ui_driver::PressOk(box)) << "the box did not close on OK";
}

void EndToEnd::ExpectResult(const std::wstring& shown_serial) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(WaitForBox(kPrompt + shown_serial, &box));
  Dismiss(box);
}

void EndToEnd::ExpectReport(HRESULT code, const std::wstring& description) {
  HWND box = nullptr;
  ASSERT_NO_FATAL_FAILURE(WaitForBox(ReportText(code, description), &box));
  Dismiss(box);
}

void EndToEnd::ExpectLookupOver(const std::wstring& name, const std::vector<std::string>& calls) {
  ++lookups_;
  ASSERT_TRUE(program_->WaitForIdle())
      << "Form1 did not become idle; boxes showing: " << program_->MessageBoxes().size();
  EXPECT_TRUE(program_->running());
  EXPECT_TRUE(IsWindowEnabled(form1_));
  EXPECT_EQ(ui_driver::TextOf(text1()), name) << "the name was not kept";
  const std::vector<std::string> record = Record();
  EXPECT_EQ(standin::LookupCount(record), lookups_) << ::testing::PrintToString(record);
  const std::vector<std::string> lookup = standin::LastLookup(record);
  EXPECT_THAT(standin::Calls(lookup), ::testing::ElementsAreArray(calls));
  EXPECT_TRUE(standin::NothingAlive(lookup)) << "objects of the service are still alive:\n"
                                             << ::testing::PrintToString(lookup);
}

void EndToEnd::ExpectFreshSecondLookup(const std::wstring& name) {
  const standin::Plan again =
      standin::PlanBuilder::AnyComputer().Member(standin::Serial::Text(L"AGAIN"));
  Use({again});
  ClickAgain();
  ASSERT_NO_FATAL_FAILURE(ExpectResult(L"AGAIN"));
  ExpectLookupOver(name, ExpectedCalls(name, again));
}

}  // namespace quillmark::endtoend
