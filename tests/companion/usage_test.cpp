// A mistake in the command line: exit code 2, one line naming it, one on where the options are, and
// no lookup at all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "companion_support.h"

namespace quillmark::companion_endtoend {
namespace {

struct UsageCase {
  const char* label;
  // "@MISSING" stands for a list file that does not exist, "FILE" for one that does
  std::vector<std::wstring> arguments;
  std::string named;  // what the error line must name
};

class UsageErrors : public CompanionEndToEnd, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(UsageErrors, ExitWithTwoAfterOneLineNamingTheMistakeAndWhereTheOptionsAreLookingNothingUp) {
  Use({standin::PlanBuilder::AnyComputer().Member(standin::Serial::Text(L"S"))});
  const FileInScratch file(scratch_, L"pcs.txt", "pc1\r\n");
  std::vector<std::wstring> arguments = GetParam().arguments;
  for (std::wstring& argument : arguments) {
    if (argument == L"@MISSING") argument = L"@" + scratch_.folder() + L"\\missing-list.txt";
    if (argument == L"FILE") argument = file.path();
  }
  const CompanionRun help = RunCompanion({L"--help"});
  ASSERT_TRUE(help.finished);
  ASSERT_NE(help.out.find("--parallel N"), std::string::npos) << "--help printed no usage";

  const CompanionRun run = RunCompanion(arguments);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 2u);
  EXPECT_EQ(run.out, "");
  const std::size_t line_end = run.err.find("\r\n");
  ASSERT_NE(line_end, std::string::npos) << run.err;
  const std::string error_line = run.err.substr(0, line_end);
  EXPECT_THAT(error_line, ::testing::HasSubstr(GetParam().named));
  EXPECT_EQ(run.err.substr(line_end + 2), "Run quillmark --help for the options.\r\n");
  EXPECT_TRUE(Record().empty()) << ::testing::PrintToString(Record());
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, UsageErrors,
    ::testing::Values(UsageCase{"NoNames", {}, "name"},
                      UsageCase{"OptionsButNoNames", {L"--parallel", L"4", L"--quiet"}, "name"},
                      UsageCase{"UnknownOption", {L"--frobnicate", L"pc1"}, "--frobnicate"},
                      UsageCase{"ParallelZero", {L"--parallel", L"0", L"pc1"}, "--parallel"},
                      UsageCase{"ParallelAboveTheLimit", {L"--parallel=257", L"pc1"}, "--parallel"},
                      UsageCase{"UnknownFormat", {L"--format", L"xml", L"pc1"}, "xml"},
                      UsageCase{"UnreadableListFile", {L"pc1", L"@MISSING"}, "missing-list.txt"},
                      UsageCase{
                          "AFileWithoutAt", {L"pc1", L"FILE"}, "pcs.txt\" is a file: did you mean"},
                      UsageCase{"AnotherToolsOption", {L"/format:csv", L"pc1"}, "--format csv"}),
    [](const ::testing::TestParamInfo<UsageCase>& param_info) {
      return std::string(param_info.param.label);
    });

}  // namespace
}  // namespace quillmark::companion_endtoend
