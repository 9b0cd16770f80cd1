// qmrsec01 [/PROMPT]: sets the security flag bit of every host user. The
// outcome is told by message boxes only; the exit code is always 0.
#include <cstdio>

#include "platform/exception_text.h"
#include "security_flag_update.h"

int main(int argc, char** argv) {
  try {
    talvex::qmrsec01::RunSecurityFlagUpdate(talvex::qmrsec01::PromptModeOf(argc, argv));
  } catch (...) {
    // Thrown past the program's own message boxes: say it where a console can see it.
    std::fprintf(stderr, "qmrsec01: %s\n", talvex::platform::CurrentExceptionText().c_str());
  }
  return 0;
}
