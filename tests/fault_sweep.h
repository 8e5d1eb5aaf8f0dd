// This file contains the fault sweep: run an operation once for every
// platform call it makes, failing that call, until a run makes no call that
// the plan can fail. Each run is checked by the caller, and for leaks here.
#pragma once

#include <gtest/gtest.h>

#include "tests/platform_faults.h"

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
//
// Each N is also run in the persistent mode: every call of that kind from
// the N-th on fails, releasing calls included, as when a disk goes away or
// memory runs out for good. The export stops at its first failure and a
// failed release changes no status, so that run must give the very result
// of the run in which only the N-th call failed; and it must try to free
// every block it allocated and close every file it opened exactly once,
// however those attempts fare.
// Far more platform calls than any export makes on the tests' inputs.
constexpr std::uint32_t kSweepCap = 100000;

template <class Operation, class Check>
void SweepFaults(FaultCall only, std::uint32_t error, Operation operation, Check check) {
  for (std::uint32_t n = 1;; ++n) {
    FaultPlan plan;
    plan.only = only;
    plan.fail_at = n;
    plan.error = error;
    const std::int32_t result = operation(FaultyPlatform(&plan));
    SCOPED_TRACE(testing::Message() << "failing platform call " << n);
    EXPECT_EQ(plan.open_handles, 0) << "a file handle was left open";
    EXPECT_EQ(plan.live_blocks, 0) << "a block was left allocated";
    check(SweepRun{plan, result});

    FaultPlan from = FaultPlan{};
    from.only = only;
    from.fail_at = n;
    from.error = error;
    from.persistent = true;
    EXPECT_EQ(operation(FaultyPlatform(&from)), result) << "with every later call failing too";
    for (const auto& file : from.files) EXPECT_EQ(file.times, 1u) << "closes of a file handle";
    for (const auto& block : from.blocks) EXPECT_EQ(block.times, 1u) << "frees of a block";

    if (!plan.injected) break;
    if (n == kSweepCap) {
      ADD_FAILURE() << "the sweep reached " << kSweepCap << " runs without an untouched one";
      break;
    }
  }
}
