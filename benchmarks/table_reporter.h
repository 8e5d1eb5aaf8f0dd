// This file contains the benchmarks' reporter: Google Benchmark's console
// output, and each benchmark's time per iteration kept for the summary table
// that the benchmark prints after it.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class TableReporter : public benchmark::ConsoleReporter {
 public:
  // Real time per iteration, by benchmark name: the median of the
  // repetitions when the benchmark is repeated, else its one run.
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if ((run.run_type == Run::RT_Iteration || median) && run.iterations > 0)
        seconds[run.run_name.function_name] = run.real_accumulated_time / run.iterations;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};
