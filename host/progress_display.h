// Progress for a person at a terminal or for a log file. On a terminal a
// counted step redraws one line in place; anywhere else it prints a plain line
// at each whole 10 %, so the log of a 10,000-line roster stays a few dozen
// lines long. Phases (uncounted texts) always get a line of their own.
//
// The display writes only to the stream it is given (standard error in every
// talvexhost command: results go to standard output) and never closes it; a
// null stream shows nothing. Not for use from several threads at once.
#pragma once

#include <cstdio>
#include <string>

namespace talvex::host {

class ProgressDisplay {
 public:
  explicit ProgressDisplay(std::FILE* out);
  // For tests: decide the terminal question instead of asking the stream.
  ProgressDisplay(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}
  ~ProgressDisplay() { finish(); }
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // A line of its own (the end of a redrawn line first).
  void phase(const std::string& text);
  // `done` of `total` of the series `series` (a new series starts its tenths
  // again), shown as `text`.
  void step(const std::string& series, const std::string& text, long done, long total);
  // Ends a line being redrawn; harmless when there is none.
  void finish();

 private:
  std::FILE* out_;
  bool terminal_;
  std::string series_;
  int shownTenths_ = 0;  // tenths of the current series already printed (log mode)
  int redrawWidth_ = 0;  // width of the line being redrawn; 0 when none (terminal mode)
};

// "[#####     ] " for done of total, `width` marks wide; "" without a total.
std::string Gauge(long done, long total, int width);

}  // namespace talvex::host
