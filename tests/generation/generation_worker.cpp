// A second workstation for the concurrency test: its own engine context and
// one roster run into the shared data folder.
// Usage: qmrbsrst_generation_worker DATA_DIR ROSTER RUN_DAY. The exit code is
// the run's status code (100 and above: the worker itself failed).
// Or: qmrbsrst_generation_worker --hold TABLE_FILE RECORD READY_FILE: locks
// one record, creates READY_FILE, and keeps the lock until READY_FILE is
// removed again.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <cstdlib>
#include <string>

#include "c4dll.h"
#include "qmrbsrst/generation/roster_generation.h"

namespace {

int HoldRecord(const char* table, int32_t record, const char* ready) {
  C4Context context = code4initP();
  C4Table t = context ? d4open(context, table) : 0;
  if (t == 0 || d4lockInternal(t, record, 0, 1) != 0) return 102;
  FILE* f = std::fopen(ready, "w");
  if (f == nullptr) return 103;
  std::fclose(f);
  for (int i = 0; i < 3000 && std::filesystem::exists(ready); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  code4initUndo(context);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--hold") {
    return HoldRecord(argv[2], std::atoi(argv[3]), argv[4]);
  }
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
