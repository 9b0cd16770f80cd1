// qmrsec01 [/PROMPT]: sets the security flag bit of every host user. The
// outcome is told by message boxes only; the exit code is always 0.
#include "security_flag_update.h"

int main(int argc, char** argv) {
  try {
    talvex::qmrsec01::RunSecurityFlagUpdate(talvex::qmrsec01::PromptModeOf(argc, argv));
  } catch (...) {
  }
  return 0;
}
