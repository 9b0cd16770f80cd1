// Without a desktop the boxes become text: the message to standard error,
// the question to the controlling terminal when there is one. A program run
// without a terminal (a service, a test) gets the default answer, as if the
// user had pressed Enter.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "platform/message_box.h"

namespace talvex::platform {
namespace {

const char* iconWord(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return "Information";
    case MessageIcon::Warning: return "Warning";
    case MessageIcon::Error: return "Error";
    case MessageIcon::None: break;
  }
  return nullptr;
}

void writeAll(int fd, const std::string& s) {
  for (size_t done = 0; done < s.size();) {
    ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::string boxText(std::string_view title, std::string_view text, MessageIcon icon) {
  std::string out = "[" + std::string(title) + "]";
  if (const char* w = iconWord(icon)) out += std::string(" (") + w + ")";
  out += "\n" + std::string(text) + "\n";
  return out;
}

}  // namespace

void showMessage(std::string_view title, std::string_view text, MessageIcon icon) {
  writeAll(STDERR_FILENO, boxText(title, text, icon));
}

bool askYesNoBox(std::string_view title, std::string_view text, bool defaultYes) {
  int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (tty < 0) {
    writeAll(STDERR_FILENO, boxText(title, text, MessageIcon::None) +
                                (defaultYes ? "(no terminal: Yes)\n" : "(no terminal: No)\n"));
    return defaultYes;
  }
  bool answer = defaultYes;
  for (int attempt = 0; attempt < 5; ++attempt) {
    writeAll(tty, boxText(title, text, MessageIcon::None) +
                      (defaultYes ? "[Y/n] " : "[y/N] "));
    std::string line;
    char c;
    ssize_t n;
    while ((n = ::read(tty, &c, 1)) == 1 && c != '\n') line += c;
    for (char& ch : line) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) break;  // Enter (or end of input): the default button
    if (line == "y" || line == "yes") {
      answer = true;
      break;
    }
    if (line == "n" || line == "no") {
      answer = false;
      break;
    }
  }
  ::close(tty);
  return answer;
}

}  // namespace talvex::platform
