// A second workstation for the concurrency test: its own engine context and
// one roster run into the shared data folder.
// Usage: qmrbsrst_generation_worker DATA_DIR ROSTER RUN_DAY. The exit code is
// the run's status code (100 and above: the worker itself failed).
// Or: qmrbsrst_generation_worker --hold TABLE_FILE RECORD READY_FILE: locks
// one record, creates READY_FILE, and keeps the lock until READY_FILE is
// removed again.
// A run may be stopped after its Nth line: DATA_DIR ROSTER RUN_DAY --pause N
// READY_FILE waits there, READY_FILE created, until it is removed again;
// --die-at N ends the process there at once (exit 86, nothing flushed), as a
// killed workstation would.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <cstdlib>
#include <string>

#include "c4dll.h"
#include "qmrbsrst/generation/roster_generation.h"

namespace {

#if defined(__i386__)
#define HOST_METHOD __attribute__((regparm(2)))
#else
#define HOST_METHOD
#endif

struct StopAt {
  int line = 0;
  bool die = false;
  std::string ready;
};

// The run's progress: "Generating roster claims (N of M completed)".
HOST_METHOD void OnProgress(void* self, const void* text) {
  const auto* stop = static_cast<const StopAt*>(self);
  const auto* s = static_cast<const unsigned char*>(text);
  const std::string line(reinterpret_cast<const char*>(s + 1), s[0]);
  int done = 0;
  if (std::sscanf(line.c_str(), "Generating roster claims (%d of", &done) != 1 ||
      done != stop->line) {
    return;
  }
  if (stop->die) std::_Exit(86);
  FILE* f = std::fopen(stop->ready.c_str(), "w");
  if (f == nullptr) std::_Exit(104);
  std::fclose(f);
  for (int i = 0; i < 6000 && std::filesystem::exists(stop->ready); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

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
  StopAt stop;
  if (argc == 7 && std::string(argv[4]) == "--pause") {
    stop.line = std::atoi(argv[5]);
    stop.ready = argv[6];
  } else if (argc == 6 && std::string(argv[4]) == "--die-at") {
    stop.line = std::atoi(argv[5]);
    stop.die = true;
  } else if (argc != 4) {
    return 100;
  }
  C4Context context = code4initP();
  if (context == 0) return 101;
  talvex::qmrbsrst::TGenerateRosterClaimsCall call{};
  call.dataDirectory.assign(argv[1]);
  call.configDirectory.assign(argv[1]);
  call.context = context;
  call.rosterNumber = std::atoi(argv[2]);
  call.runDate = std::atof(argv[3]);
  void* callback = stop.line > 0 ? reinterpret_cast<void*>(&OnProgress) : nullptr;
  const int32_t code = talvex::qmrbsrst::GenerateRosterClaims(&call, callback, &stop);
  std::printf("roster %s: code %d, %d claims\n", argv[2], static_cast<int>(code),
              static_cast<int>(call.acceptedCount));
  code4initUndo(context);
  return code;
}
