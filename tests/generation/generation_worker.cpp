// A second workstation for the concurrency test: its own engine context and
// one roster run into the shared data folder.
// Usage: qmrbsrst_generation_worker DATA_DIR ROSTER RUN_DAY. The exit code is
// the run's status code (100 and above: the worker itself failed).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "c4dll.h"
#include "qmrbsrst/generation/roster_generation.h"

int main(int argc, char** argv) {
  if (argc != 4) return 100;
  C4Context context = code4initP();
  if (context == 0) return 101;
  talvex::qmrbsrst::TGenerateRosterClaimsCall call{};
  call.dataDirectory.assign(argv[1]);
  call.configDirectory.assign(argv[1]);
  call.context = context;
  call.rosterNumber = std::atoi(argv[2]);
  call.runDate = std::atof(argv[3]);
  const int32_t code = talvex::qmrbsrst::GenerateRosterClaims(&call, nullptr, nullptr);
  std::printf("roster %s: code %d, %d claims\n", argv[2], static_cast<int>(code),
              static_cast<int>(call.acceptedCount));
  code4initUndo(context);
  return code;
}
