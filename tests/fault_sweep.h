// This file contains the fault sweep: run an operation once for every
// platform call it makes, failing that call, until a run makes no call that
// the plan can fail. Each run is checked by the caller, and for leaks here.
#pragma once

#include <gtest/gtest.h>

#include "support/platform_faults.h"

struct SweepRun {
  const FaultPlan& plan;  // what was injected, and the accounting after the run
  std::int32_t result;    // what the operation returned
};

// `operation(os)` runs the export on the faulty platform `os` and returns its
// result, having freed through `os` any block the export handed over;
// `check(run)` judges each run. The plan fails calls of kind `only` with
// `error`; the sweep ends with the first run in which nothing was failed,
// which must be the untouched, successful run. Every run must leave no
// handle open and no block allocated; a sweep that reaches its cap of runs
// fails.
// Far more platform calls than any export makes on the tests' inputs.
constexpr std::uint32_t kSweepCap = 100000;

template <class Operation, class Check>
void SweepFaults(FaultCall only, std::uint32_t error, Operation operation, Check check) {
  for (std::uint32_t n = 1;; ++n) {
    FaultPlan plan;
    plan.only = only;
    plan.fail_at = n;
    plan.error = error;
    const Platform os = FaultyPlatform(&plan);
    const std::int32_t result = operation(os);
    SCOPED_TRACE(testing::Message() << "failing platform call " << n);
    EXPECT_EQ(plan.open_handles, 0) << "a file handle was left open";
    EXPECT_EQ(plan.live_blocks, 0) << "a block was left allocated";
    check(SweepRun{plan, result});
    if (!plan.injected) break;
    if (n == kSweepCap) {
      ADD_FAILURE() << "the sweep reached " << kSweepCap << " runs without an untouched one";
      break;
    }
  }
}
