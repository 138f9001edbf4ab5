// The fleet lookup against the platform's real management service, beside its own witness.
#include <objbase.h>
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "driver.h"
#include "fleet_lookup.h"

namespace quillmark::companion {
namespace {

// Each computer's rows as they were handed on, by input position.
struct FleetResult {
  std::vector<std::optional<ComputerRows>> computers;
  RowsReceiver Receiver() {
    return [this](std::size_t index, const ComputerRows& rows) {
      if (computers.size() <= index) computers.resize(index + 1);
      computers[index] = rows;
      return true;
    };
  }
};

TEST(FleetAgainstRealService, LocalNamesGiveTheWitnessedSerialAndAnUnknownNameFails) {
  const std::optional<std::wstring> witness = ui_driver::SerialNumberFromCommandLineClient();
  ASSERT_TRUE(witness.has_value()) << "the command-line client gave no serial number";
  const FleetPlan plan{{L".", L"localhost", L"nosuch.invalid"}, 3, std::chrono::seconds(60)};
  std::size_t reported = 0;
  FleetResult result;
  const FleetOutcome outcome =
      RunFleet(plan, std::make_shared<EndedLookups>(), result.Receiver(),
               [&](const LookupProgress& progress) { reported = progress.done; });

  ASSERT_EQ(result.computers.size(), 3u);
  EXPECT_FALSE(outcome.interrupted);
  EXPECT_EQ(reported, 3u);
  for (std::size_t i = 0; i < 2; ++i) {
    ASSERT_TRUE(result.computers[i].has_value());
    ASSERT_EQ(result.computers[i]->size(), 1u);
    const LookupRow& row = result.computers[i]->front();
    EXPECT_EQ(row.computer, plan.computers[i]);
    EXPECT_EQ(row.status, RowStatus::kOk);
    EXPECT_TRUE(row.serial == *witness);
  }
  ASSERT_TRUE(result.computers[2].has_value());
  ASSERT_EQ(result.computers[2]->size(), 1u);
  const LookupRow& failed = result.computers[2]->front();
  EXPECT_EQ(failed.status, RowStatus::kFailed);
  EXPECT_EQ(failed.code, static_cast<std::int32_t>(0x80041015));
  EXPECT_FALSE(failed.description.empty());
}

TEST(FleetAgainstRealService, AStopAlreadySignalledEndsTheRunWithNothingFinishedReported) {
  const auto ended = std::make_shared<EndedLookups>();
  ended->Stop();
  const FleetPlan plan{{L".", L"localhost"}, 1, std::chrono::seconds(60)};
  FleetResult result;
  const FleetOutcome outcome = RunFleet(plan, ended, result.Receiver(), nullptr);
  EXPECT_TRUE(outcome.interrupted);
  result.computers.resize(2);
  EXPECT_FALSE(result.computers[1].has_value()) << "a lookup started after the stop";
}

}  // namespace
}  // namespace quillmark::companion
