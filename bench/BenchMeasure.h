// One measured run of a benchmark step and the figures taken over several.
#pragma once

#include <algorithm>
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
