#include "host/progress_display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using talvex::host::ProgressDisplay;

// Everything written to a stream, read back.
class Captured {
 public:
  Captured() : file_(std::tmpfile()) {}
  ~Captured() { std::fclose(file_); }
  std::FILE* file() { return file_; }
  std::string text() {
    std::fflush(file_);
    std::string out;
    std::rewind(file_);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) out.append(buf, n);
    return out;
  }

 private:
  std::FILE* file_;
};

TEST(ProgressDisplay, ALogGetsOneLineAtEachWholeTenthAndEveryPhase) {
  Captured log;
  {
    ProgressDisplay display(log.file(), false);
    display.phase("Pre-processing roster billing file ...");
    for (int i = 1; i <= 2000; ++i) {
      display.step("Generating", "Generating (" + std::to_string(i) + " of 2000)", i, 2000);
    }
    display.phase("Roster claim generation complete");
    // A new series counts its tenths again; a total of 0 shows nothing.
    display.step("other", "other 1 of 3", 1, 3);
    display.step("other", "other 3 of 3", 3, 3);
    display.step("empty", "nothing to count", 0, 0);
  }
  const std::string text = log.text();
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text,
            "Pre-processing roster billing file ...\n"
            "[ 10%] Generating (200 of 2000)\n[ 20%] Generating (400 of 2000)\n"
            "[ 30%] Generating (600 of 2000)\n[ 40%] Generating (800 of 2000)\n"
            "[ 50%] Generating (1000 of 2000)\n[ 60%] Generating (1200 of 2000)\n"
            "[ 70%] Generating (1400 of 2000)\n[ 80%] Generating (1600 of 2000)\n"
            "[ 90%] Generating (1800 of 2000)\n[100%] Generating (2000 of 2000)\n"
            "Roster claim generation complete\n"
            "[ 30%] other 1 of 3\n[100%] other 3 of 3\n");
}

TEST(ProgressDisplay, ATerminalRedrawsOneLineAndEndsItBeforeAPhase) {
  Captured tty;
  {
    ProgressDisplay display(tty.file(), true);
    display.step("copy", "copying 5 of 10", 5, 10);
    display.step("copy", "copying 10 of 10", 10, 10);
    display.phase("done");
  }
  EXPECT_EQ(tty.text(),
            "\r[###############               ] copying 5 of 10"
            "\r[##############################] copying 10 of 10\n"
            "done\n");
}

TEST(ProgressDisplay, AShorterRedrawBlanksTheRestOfTheLongerOne) {
  Captured tty;
  {
    ProgressDisplay display(tty.file(), true);
    display.step("s", "a long first text", 1, 0);
    display.step("s", "short", 1, 0);
  }  // the destructor ends the line
  EXPECT_EQ(tty.text(), "\ra long first text\rshort            \n");
}

}  // namespace
