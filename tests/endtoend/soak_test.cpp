// Hundreds of lookups in one process leave its handles, GUI objects and memory where they were.
#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "endtoend_support.h"
#include "process_figures.h"

namespace quillmark::endtoend {
namespace {

using standin::For;
using standin::Raise;
using standin::Serial;
using standin::Step;
using ui_driver::ProcessFigures;

constexpr int kLookups = 500;
constexpr int kFirstFew = 10;
// Allowances for what the platform itself may still settle after the first few lookups.
constexpr DWORD kHandleAllowance = 8;
constexpr DWORD kGuiObjectAllowance = 2;
constexpr SIZE_T kPrivateBytesAllowance = 256 * 1024;

const HRESULT kSoakFailure = static_cast<HRESULT>(0x80041001);

template <typename Number>
std::string Figure(const std::optional<Number>& value) {
  return value ? std::to_string(*value) : "not reported";
}

// What the platform reports of the program, and what is counted from the outside.
struct Figures {
  ProcessFigures reported;
  ProbedFigures probed;
};

Figures Measure(const ui_driver::Program& program) {
  return {program.Figures(), ProbeFigures(program.process(), program.process_id())};
}

void Report(const char* when, const Figures& figures) {
  std::cout << "[ figures  ] " << when << ": reported handles " << Figure(figures.reported.handles)
            << ", USER objects " << Figure(figures.reported.user_objects) << ", GDI objects "
            << Figure(figures.reported.gdi_objects) << ", private bytes "
            << Figure(figures.reported.private_bytes) << "; counted handles "
            << Figure(figures.probed.handles) << ", windows " << Figure(figures.probed.windows)
            << ", GDI objects " << Figure(figures.probed.gdi_objects) << std::endl;
}

template <typename Number>
void ExpectNoGrowth(const char* what, const std::optional<Number>& first,
                    const std::optional<Number>& last, Number allowance) {
  if (!first || !last) {
    std::cout << "[ figures  ] " << what << ": not available on this platform" << std::endl;
    return;
  }
  EXPECT_LE(*last, *first + allowance)
      << what << " grew from " << *first << " to " << *last << " over the lookups";
}

class Soak : public EndToEnd {
 protected:
  // One lookup, its box answered, and its end awaited: nothing of the service alive and Form1
  // idle. Every fifth lookup fails at the serial number and is reported instead.
  void OneLookup(int number) {
    const bool failing = number % 5 == 0;
    const std::wstring name = failing ? L"soak-fail" : L"soak";
    if (ui_driver::TextOf(text1()) != name) {
      ASSERT_TRUE(ui_driver::SetTextOf(text1(), name));
    }
    ASSERT_NO_FATAL_FAILURE(ClickAgain());
    if (failing) {
      ASSERT_NO_FATAL_FAILURE(ExpectReport(kSoakFailure, L"Soak failure."));
    } else {
      ASSERT_NO_FATAL_FAILURE(ExpectResult(L"SOAK-SERIAL"));
    }
    ASSERT_TRUE(ui_driver::WaitUntil([&] {
      const std::vector<std::string> record = Record();
      return standin::LookupCount(record) == static_cast<size_t>(number) &&
             standin::NothingAlive(standin::LastLookup(record));
    })) << "the lookup did not release everything";
    ASSERT_TRUE(program().WaitForIdle(ui_driver::kDefaultTimeout, ui_driver::milliseconds{30}));
  }
};

TEST_F(Soak, FiveHundredLookupsLeaveHandlesGuiObjectsAndMemoryWhereTheFirstFewLeftThem) {
  Use({For(L"soak").Member(Serial::Text(L"SOAK-SERIAL")),
       For(L"soak-fail")
           .Member(Serial::Text(L"never shown"))
           .Fail(Step::kSerialNumber, 1, kSoakFailure, Raise::kExcepInfo, L"Soak failure.")});
  Report("at start", Measure(program()));
  Figures first;
  for (int number = 1; number <= kLookups; ++number) {
    SCOPED_TRACE("lookup " + std::to_string(number));
    ASSERT_NO_FATAL_FAILURE(OneLookup(number));
    if (number == kFirstFew) {
      first = Measure(program());
      Report("after the first few lookups", first);
    }
    if (number == kLookups / 2) Report("half way", Measure(program()));
  }
  const Figures last = Measure(program());
  Report("at the end", last);
  EXPECT_TRUE(program().running());
  ExpectNoGrowth("reported handles", first.reported.handles, last.reported.handles,
                 kHandleAllowance);
  ExpectNoGrowth("reported USER objects", first.reported.user_objects, last.reported.user_objects,
                 kGuiObjectAllowance);
  ExpectNoGrowth("reported GDI objects", first.reported.gdi_objects, last.reported.gdi_objects,
                 kGuiObjectAllowance);
  ExpectNoGrowth("private bytes", first.reported.private_bytes, last.reported.private_bytes,
                 kPrivateBytesAllowance);
  ExpectNoGrowth("counted handles", first.probed.handles, last.probed.handles, kHandleAllowance);
  ExpectNoGrowth("counted windows", first.probed.windows, last.probed.windows, DWORD{0});
  ExpectNoGrowth("counted GDI objects", first.probed.gdi_objects, last.probed.gdi_objects,
                 kGuiObjectAllowance);
}

// The counts that stand in for the figures Wine does not report must see what they count.
TEST(CountedFigures, SeeHandlesAddedToAnotherProcess) {
  ui_driver::Program program = ui_driver::Program::Launch();
  ASSERT_NE(program.WaitForMainWindow(), nullptr);
  ASSERT_TRUE(program.WaitForIdle());
  const auto handles = [&] {
    return ProbeFigures(program.process(), program.process_id()).handles;
  };
  // The program may still be opening handles of its own just after its start.
  std::optional<DWORD> before = handles();
  ASSERT_TRUE(ui_driver::WaitUntil([&] {
    Sleep(200);
    const std::optional<DWORD> again = handles();
    const bool settled = again == before;
    before = again;
    return settled && before.has_value();
  }));
  std::vector<HANDLE> added;
  for (int count = 0; count < 5; ++count) {
    HANDLE remote = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), program.process(),
                                &remote, 0, FALSE, DUPLICATE_SAME_ACCESS));
    added.push_back(remote);
  }
  EXPECT_EQ(handles(), *before + 5);
  for (HANDLE remote : added) {
    DuplicateHandle(program.process(), remote, nullptr, nullptr, 0, FALSE, DUPLICATE_CLOSE_SOURCE);
  }
}

TEST(CountedFigures, SeeGdiObjectsMadeAndDeleted) {
  const auto count = [] {
    return ProbeFigures(GetCurrentProcess(), GetCurrentProcessId()).gdi_objects;
  };
  const std::optional<DWORD> before = count();
  if (!before) GTEST_SKIP() << "this platform keeps no GDI handle table in the process";
  std::vector<HBRUSH> brushes;
  for (int index = 0; index < 10; ++index) brushes.push_back(CreateSolidBrush(RGB(index, 0, 0)));
  EXPECT_EQ(count(), *before + 10);
  for (HBRUSH brush : brushes) DeleteObject(brush);
  EXPECT_EQ(count(), before);
}

}  // namespace
}  // namespace quillmark::endtoend
