// Ours against a floor, measured in the same iterations with their order
// alternating, so that drift of the machine's speed falls on both alike.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

inline double NowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// ours() and floor() return false when they failed. Leaves the counters
// ours_ms, floor_ms and ratio (ours over floor).
// between() runs before each iteration with the timing paused.
template <class Ours, class Floor, class Between>
void RunPair(benchmark::State& state, Ours ours, Floor floor, Between between) {
  double sumOurs = 0, sumFloor = 0;
  long n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    between();
    state.ResumeTiming();
    bool oursFirst = (n++ % 2) == 0;
    double t0 = NowMs();
    if (oursFirst ? !ours() : !floor()) state.SkipWithError("run failed");
    double t1 = NowMs();
    if (oursFirst ? !floor() : !ours()) state.SkipWithError("run failed");
    double t2 = NowMs();
    sumOurs += oursFirst ? t1 - t0 : t2 - t1;
    sumFloor += oursFirst ? t2 - t1 : t1 - t0;
  }
  state.counters["ours_ms"] = sumOurs / (double)n;
  state.counters["floor_ms"] = sumFloor / (double)n;
  state.counters["ratio"] = sumOurs / sumFloor;
}

template <class Ours, class Floor>
void RunPair(benchmark::State& state, Ours ours, Floor floor) {
  RunPair(state, ours, floor, [] {});
}

// Keeps every run's counters for the summary lines.
class CounterReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, std::map<std::string, double>> counters;
  std::map<std::string, double> times;  // real time per iteration, in the run's unit
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      times[r.benchmark_name()] = r.GetAdjustedRealTime();
      for (const auto& c : r.counters) counters[r.benchmark_name()][c.first] = c.second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

inline void PrintRatio(CounterReporter& rep, const char* label, const std::string& name,
                       double target) {
  if (!rep.counters.count(name)) return;
  auto& c = rep.counters[name];
  printf("%-30s ours %8.3f ms  floor %8.3f ms  ours/floor %.3f (target <= %.2f)\n", label,
         c["ours_ms"], c["floor_ms"], c["ratio"], target);
}
