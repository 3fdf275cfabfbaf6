// svpconf's progress line: what a progress dialog shows, as one line that a
// person reads as they read pv or rsync: done/total entries, the bytes
// written and their rate, the time left and the entry being worked on, cut to
// fit the terminal's width.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {
struct DialogView;
}

// What the line is made of: the dialog's state and the clock.
struct ProgressState {
  std::string caption;
  std::string entry;        // the entry being worked on (may be empty)
  bool hasBar = false;      // the dialog has a progress bar
  long done = 0;            // position above the bar's low end
  long total = 0;           // the bar's span
  std::uint64_t bytes = 0;  // bytes written since the dialog opened
  double seconds = 0;       // since the dialog opened
  bool finished = false;    // the dialog has closed
};

// The line for a state, never wider than `width` columns (counting a UTF-8
// character as one column); control characters and bytes that are not UTF-8
// in names are shown as '?', so an archive's names cannot steer the terminal.
std::string FitProgressLine(const ProgressState& state, std::size_t width);

// "12.3 MB", "950 B": a byte count for people.
std::string HumanBytes(double bytes);

// Follows one progress dialog after another: the clock and the byte count
// start again when a new dialog opens.
class ProgressMeter {
 public:
  ProgressState Observe(const plat::DialogView& view);
  // Whether a plain line is due (at most one a second, and on the last step).
  bool PlainLineDue(const ProgressState& state);
  void Reset() { window_ = nullptr; }

 private:
  const void* window_ = nullptr;
  std::chrono::steady_clock::time_point opened_{};
  std::uint64_t bytesAtOpen_ = 0;
  double lastPlain_ = -1;
  long lastPlainDone_ = -1;
};

// The terminal's width in columns (80 when it cannot be told); it is asked
// again after a SIGWINCH.
std::size_t TerminalWidth(int fd);
void WatchTerminalWidth();
