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
// result; `check(run)` judges each run. The plan fails calls of kind `only`
// with `error`; the sweep ends with the first run in which nothing was failed,
// which must be the untouched, successful run.
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
    check(SweepRun{plan, result});
    if (!plan.injected || n > 100000) break;
  }
}
