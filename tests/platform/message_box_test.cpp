// Message boxes without a desktop: text to standard error, questions to the
// controlling terminal. Each case runs in a child process with its own
// session, so the test controls whether a terminal exists.
#include "platform/message_box.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace {

using talvex::platform::askYesNo;
using talvex::platform::MessageIcon;
using talvex::platform::showMessage;

struct ChildResult {
  int exitCode = -1;
  std::string stderrText;
};

// Runs body in a new session (no controlling terminal unless body makes
// one); its return value becomes the exit code.
template <class Body>
ChildResult inChild(Body body) {
  int err[2];
  if (pipe(err) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    dup2(err[1], STDERR_FILENO);
    close(err[0]);
    _exit(body());
  }
  close(err[1]);
  ChildResult r;
  char buf[256];
  ssize_t n;
  while ((n = read(err[0], buf, sizeof buf)) > 0) r.stderrText.append(buf, static_cast<size_t>(n));
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(MessageBox, TextGoesToStandardError) {
  auto r = inChild([] {
    showMessage("QMRSEC01: Configuration Setting Error", "ERROR: Unable to locate it.",
                MessageIcon::Error);
    return 0;
  });
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.stderrText.find("QMRSEC01: Configuration Setting Error"), std::string::npos);
  EXPECT_NE(r.stderrText.find("ERROR: Unable to locate it."), std::string::npos);
}

TEST(MessageBox, WithoutATerminalTheDefaultButtonAnswers) {
  auto yes = inChild([] { return askYesNo("Central Flu Biller Designation", "Q?", true) ? 1 : 2; });
  EXPECT_EQ(yes.exitCode, 1);
  EXPECT_NE(yes.stderrText.find("Q?"), std::string::npos);
  auto no = inChild([] { return askYesNo("T", "Q?", false) ? 1 : 2; });
  EXPECT_EQ(no.exitCode, 2);
}

// The question on a real (pseudo) terminal: the answer typed there counts,
// and an empty line takes the default.
TEST(MessageBox, AnswersTypedOnTheTerminal) {
  // The child reads what the parent types into the terminal's other end.
  auto run = [](const char* typed, bool defaultYes) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master, 0);
    EXPECT_EQ(grantpt(master), 0);
    EXPECT_EQ(unlockpt(master), 0);
    std::string slave = ptsname(master);
    pid_t pid = fork();
    if (pid == 0) {
      setsid();
      int fd = open(slave.c_str(), O_RDWR);
      if (fd < 0) _exit(9);
      _exit(askYesNo("T", "Is this a Central Flu Biller roster?", defaultYes) ? 1 : 2);
    }
    EXPECT_EQ(write(master, typed, strlen(typed)), static_cast<ssize_t>(strlen(typed)));
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(run("n\n", true), 2);
  EXPECT_EQ(run("YES\n", false), 1);
  EXPECT_EQ(run("\n", true), 1);
  EXPECT_EQ(run("\n", false), 2);
  EXPECT_EQ(run("maybe\nno\n", true), 2);  // asked again until the answer is clear
}

}  // namespace
#endif
