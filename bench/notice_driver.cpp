// Measures the launcher's notice time: how long after the child's exit RunUninstaller returns.
//
//   WINEPREFIX=PREFIX TVX_BENCH_STAMP=FILE bench-notice-driver COMMAND RUNS
//   -> "<runs> <median ms> <p99 ms> <max ms>"
//
// COMMAND names bench-notice-child inside the prefix; the child writes its CLOCK_MONOTONIC exit
// time to FILE, and this driver reads the clock again as soon as RunUninstaller has returned.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "app/uninstall_app.h"

namespace {

long long NowNanoseconds() {
  timespec ts;
  (void)clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// The child's exit time, or -1 when it wrote none after `since`.
long long ChildExitTime(const char* stamp_path, long long since) {
  std::ifstream stamp(stamp_path);
  long long nanoseconds = -1;
  if (!(stamp >> nanoseconds) || nanoseconds < since) return -1;
  return nanoseconds;
}

// The value below which `fraction` of the sorted samples lie (nearest rank).
double Percentile(const std::vector<double>& sorted, double fraction) {
  size_t rank = static_cast<size_t>(fraction * static_cast<double>(sorted.size()) + 0.999999);
  rank = std::clamp<size_t>(rank, 1, sorted.size());
  return sorted[rank - 1];
}

}  // namespace

int main(int argc, char** argv) {
  const char* stamp_path = std::getenv("TVX_BENCH_STAMP");
  if (argc != 3 || stamp_path == nullptr) {
    std::fprintf(stderr, "usage: TVX_BENCH_STAMP=FILE bench-notice-driver COMMAND RUNS\n");
    return 2;
  }
  const CString strCommand = argv[1];
  const int nRuns = std::atoi(argv[2]);
  CUninstallApp app;
  std::vector<double> samples;
  for (int i = 0; i < nRuns; ++i) {
    const long long started = NowNanoseconds();
    const BOOL bEnded = app.RunUninstaller(strCommand, /*arguments=*/CString());
    const long long returned = NowNanoseconds();
    const long long exited = ChildExitTime(stamp_path, started);
    if (!bEnded || exited < 0) {
      std::fprintf(stderr, "bench-notice-driver: run %d: the child was not seen to end\n", i);
      return 1;
    }
    samples.push_back(static_cast<double>(returned - exited) / 1e6);
  }
  std::sort(samples.begin(), samples.end());
  std::printf("%zu %.3f %.3f %.3f\n", samples.size(), Percentile(samples, 0.5),
              Percentile(samples, 0.99), samples.back());
  return 0;
}
