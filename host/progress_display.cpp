#include "host/progress_display.h"

#if defined(_WIN32)
#include <io.h>
#define TALVEX_ISATTY(f) _isatty(_fileno(f))
#else
#include <unistd.h>
#define TALVEX_ISATTY(f) isatty(fileno(f))
#endif

namespace talvex::host {

ProgressDisplay::ProgressDisplay(std::FILE* out)
    : out_(out), terminal_(out != nullptr && TALVEX_ISATTY(out) != 0) {}

void ProgressDisplay::finish() {
  if (out_ == nullptr || redrawWidth_ == 0) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  redrawWidth_ = 0;
}

void ProgressDisplay::phase(const std::string& text) {
  if (out_ == nullptr) return;
  finish();
  std::fprintf(out_, "%s\n", text.c_str());
  std::fflush(out_);
  series_.clear();
}

void ProgressDisplay::step(const std::string& series, const std::string& text, long done,
                           long total) {
  if (out_ == nullptr) return;
  if (series != series_) {
    finish();
    series_ = series;
    shownTenths_ = 0;
  }
  if (terminal_) {
    const std::string line = Gauge(done, total, 30) + text;
    std::fprintf(out_, "\r%-*s", redrawWidth_, line.c_str());
    redrawWidth_ = static_cast<int>(line.size());
    std::fflush(out_);
    return;
  }
  const int tenths = total > 0 && done > 0 ? static_cast<int>(done * 10 / total) : 0;
  if (tenths <= shownTenths_) return;
  shownTenths_ = tenths;
  std::fprintf(out_, "[%3d%%] %s\n", tenths * 10, text.c_str());
  std::fflush(out_);
}

std::string Gauge(long done, long total, int width) {
  if (total <= 0) return "";
  if (done < 0) done = 0;
  if (done > total) done = total;
  const auto filled = static_cast<size_t>(done * width / total);
  return "[" + std::string(filled, '#') + std::string(static_cast<size_t>(width) - filled, ' ') +
         "] ";
}

}  // namespace talvex::host
