// Hundreds of lookups in one process leave its handles, GUI objects and memory where they were.
#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "endtoend_support.h"
#include "soak.h"

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

void Report(const char* when, const ProcessFigures& figures) {
  std::cout << "[ figures  ] " << when << ": handles " << Figure(figures.handles)
            << ", USER objects " << Figure(figures.user_objects) << ", windows "
            << Figure(figures.windows) << ", GDI objects " << Figure(figures.gdi_objects)
            << ", private bytes " << Figure(figures.private_bytes) << ", committed private bytes "
            << Figure(figures.committed_private_bytes) << std::endl;
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
  ProcessFigures first;
  ProcessFigures last;
  const auto take = [&](test_support::SoakMoment moment) {
    const char* const names[] = {"at start", "after the first few lookups", "half way",
                                 "at the end"};
    const ProcessFigures figures = program().Figures();
    Report(names[static_cast<int>(moment)], figures);
    if (moment == test_support::SoakMoment::kAfterFirstFew) first = figures;
    if (moment == test_support::SoakMoment::kAtEnd) last = figures;
  };
  ASSERT_TRUE(test_support::RunSoak(
      kLookups, kFirstFew,
      [&](int number) {
        SCOPED_TRACE("lookup " + std::to_string(number));
        OneLookup(number);
        return !HasFatalFailure();
      },
      take));
  EXPECT_TRUE(program().running());
  ExpectNoGrowth("handles", first.handles, last.handles, kHandleAllowance);
  ExpectNoGrowth("USER objects", first.user_objects, last.user_objects, kGuiObjectAllowance);
  ExpectNoGrowth("windows", first.windows, last.windows, DWORD{0});
  ExpectNoGrowth("GDI objects", first.gdi_objects, last.gdi_objects, kGuiObjectAllowance);
  ExpectNoGrowth("private bytes", first.private_bytes, last.private_bytes, kPrivateBytesAllowance);
}

}  // namespace
}  // namespace quillmark::endtoend
