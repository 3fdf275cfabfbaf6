// One measured run of a benchmark step and the figures taken over several.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

struct Measure {
  double seconds = 0;
  long maxRssKb = 0;
  bool ok = false;
};

inline double Best(const std::vector<Measure>& runs) {
  double best = runs.front().seconds;
  for (const auto& r : runs) best = std::min(best, r.seconds);
  return best;
}

inline long PeakKb(const std::vector<Measure>& runs) {
  long peak = 0;
  for (const auto& r : runs) peak = std::max(peak, r.maxRssKb);
  return peak;
}

inline bool AllOk(const std::vector<Measure>& runs) {
  return std::all_of(runs.begin(), runs.end(), [](const Measure& m) { return m.ok; });
}

// A shell command line run in a child of its own, timed, with the child's
// peak memory (its own children's included) as wait4 reports it.
inline Measure Shell(const std::string& command) {
  Measure m;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return m;
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.maxRssKb = usage.ru_maxrss;
  m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!m.ok) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return m;
}
