#include "Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "host/talver_host.h"
#include "platform/winemu/Operator.h"

namespace {

// One printable character of a name: a whole UTF-8 sequence, or '?' for a
// control character or a byte that does not start a valid sequence.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 0;
    bool valid = n > 0 && i + n <= text.size();
    for (std::size_t k = 1; valid && k < n; ++k)
      valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (!valid || c < 0x20 || c == 0x7F || (n == 2 && c < 0xC2)) {
      out.emplace_back("?");
      ++i;
      continue;
    }
    out.push_back(text.substr(i, n));
    i += n;
  }
  return out;
}

// The text cut to `width` characters: its start and its end kept (where a
// name's folder and its own last part are), "..." between them.
std::string CutMiddle(const std::string& text, std::size_t width) {
  auto chars = Characters(text);
  if (chars.size() > width) {
    if (width < 5) return {};
    const std::size_t tail = (width - 3) / 3, head = width - 3 - tail;
    chars.erase(chars.begin() + static_cast<long>(head), chars.end() - static_cast<long>(tail));
    chars.insert(chars.begin() + static_cast<long>(head), "...");
  }
  std::string out;
  for (const auto& c : chars) out += c;
  return out;
}

std::size_t Columns(const std::string& text) { return Characters(text).size(); }

std::string Clock(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char out[32];
  if (s >= 3600)
    std::snprintf(out, sizeof out, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(out, sizeof out, "%ld:%02ld", s / 60, s % 60);
  return out;
}

std::atomic<bool> gWidthChanged{true};

void OnWindowChange(int) { gWidthChanged.store(true); }

}  // namespace

std::string HumanBytes(double bytes) {
  static const char* const kUnits[] = {"B", "kB", "MB", "GB", "TB"};
  std::size_t unit = 0;
  while (bytes >= 1000 && unit + 1 < std::size(kUnits)) {
    bytes /= 1000;
    ++unit;
  }
  char out[32];
  std::snprintf(out, sizeof out, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return out;
}

// "[caption]  [####....]  45% 540/1200  12.3 MB/~27.0 MB  4.1 MB/s  0:13 left  name":
// the bar and then the caption go when they leave the name less than 20
// columns; the name takes what is left, cut in its middle.
std::string FitProgressLine(const ProgressState& s, std::size_t width) {
  const bool counted = s.hasBar && s.total > 0;
  const long done = std::clamp(s.done, 0L, counted ? s.total : s.done);
  std::string caption = "[" + CutMiddle(s.caption, 24) + "]";
  std::string count, bytes, rate, left;
  if (counted) {
    count = std::to_string(done * 100 / s.total) + "% " + std::to_string(done) + "/" +
            std::to_string(s.total);
  } else if (s.hasBar) {
    count = std::to_string(done);
  }
  if (s.bytes > 0) {
    bytes = HumanBytes(static_cast<double>(s.bytes));
    if (counted && done > 0 && done < s.total)
      bytes += "/~" + HumanBytes(static_cast<double>(s.bytes) * s.total / done);
  }
  if (s.seconds >= 1 && s.bytes > 0) rate = HumanBytes(s.bytes / s.seconds) + "/s";
  if (counted && done > 0 && done < s.total && s.seconds >= 1)
    left = Clock(s.seconds * (s.total - done) / done) + " left";
  else if (s.finished)
    left = (counted && done >= s.total ? "done in " : "ended in ") + Clock(s.seconds);

  bool withBar = counted, withCaption = true;
  auto join = [&](std::size_t barWidth) {
    std::string line;
    auto add = [&line](const std::string& part) {
      if (part.empty()) return;
      if (!line.empty()) line += "  ";
      line += part;
    };
    if (withCaption) add(caption);
    if (withBar && barWidth > 0) {
      const std::size_t filled =
          static_cast<std::size_t>(done) * barWidth / static_cast<std::size_t>(s.total);
      add("[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]");
    }
    add(count);
    add(bytes);
    add(rate);
    add(left);
    return line;
  };
  // The bar takes what the whole name leaves over, 10 to 20 columns.
  constexpr std::size_t kBarMin = 10, kBarMax = 20, kNameMin = 20;
  for (bool* part : {&withBar, &withCaption}) {
    const std::size_t nameNeeds = s.entry.empty() ? 0 : 2 + std::min(Columns(s.entry), kNameMin);
    if (Columns(join(kBarMin)) + nameNeeds <= width) break;
    *part = false;
  }
  std::size_t barWidth = 0;
  if (withBar) {
    const std::size_t base = Columns(join(0)) + 1;  // the bar's own separator
    const std::size_t free = width > base ? width - base : 0;
    const std::size_t forName = s.entry.empty() ? 0 : Columns(s.entry) + 2;
    barWidth = std::clamp(free > forName + 2 ? free - forName - 2 : 0, kBarMin, kBarMax);
  }
  std::string line = join(barWidth);
  if (Columns(line) > width) line = CutMiddle(line, width);
  if (!s.entry.empty() && Columns(line) + 2 + 4 <= width)
    line += "  " + CutMiddle(s.entry, width - Columns(line) - 2);
  return line;
}

ProgressState ProgressMeter::Observe(const plat::DialogView& view) {
  const auto now = std::chrono::steady_clock::now();
  const std::uint64_t written = TalverHost_BytesWritten();
  if (window_ != reinterpret_cast<const void*>(static_cast<std::uintptr_t>(view.window))) {
    window_ = reinterpret_cast<const void*>(static_cast<std::uintptr_t>(view.window));
    opened_ = now;
    bytesAtOpen_ = written;
    lastPlain_ = -1;
    lastPlainDone_ = -1;
  }
  ProgressState s;
  s.caption = view.caption;
  if (const auto* c = view.Find(1003); c && !c->text.empty()) {
    s.entry = c->text;
  } else {
    for (const auto& c : view.controls)
      if (c.kind == plat::ControlKind::Static && !c.text.empty()) {
        s.entry = c.text;
        break;
      }
  }
  if (const plat::ControlView* bar = view.ProgressBar()) {
    s.hasBar = true;
    s.done = bar->position - bar->rangeLow;
    s.total = bar->rangeHigh - bar->rangeLow;
  }
  s.bytes = written - bytesAtOpen_;
  s.seconds = std::chrono::duration<double>(now - opened_).count();
  return s;
}

bool ProgressMeter::PlainLineDue(const ProgressState& s) {
  const bool last = s.hasBar && s.total > 0 && s.done >= s.total && lastPlainDone_ < s.total;
  if (!last && lastPlain_ >= 0 && s.seconds - lastPlain_ < 1.0) return false;
  if (!last && s.done == lastPlainDone_) return false;
  lastPlain_ = s.seconds;
  lastPlainDone_ = s.done;
  return true;
}

void WatchTerminalWidth() {
  struct sigaction action {};
  action.sa_handler = OnWindowChange;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &action, nullptr);
}

std::size_t TerminalWidth(int fd) {
  static std::size_t width = 80;
  if (!gWidthChanged.exchange(false)) return width;
  struct winsize size {};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    width = size.ws_col;
  } else if (const char* columns = std::getenv("COLUMNS")) {
    const long n = std::strtol(columns, nullptr, 10);
    if (n > 0 && n < 10000) width = static_cast<std::size_t>(n);
  }
  return width;
}
