// One workstation of the soak test. Each role loops until STOP_FILE exists,
// appending one line per step to LOG (plain appends: a killed process keeps
// every line it finished, and its last one may be cut short).
//
//   soak_worker roster DATA_DIR ROSTERS SEED STOP_FILE LOG
//       roster runs of rosters drawn at random from 1..ROSTERS;
//       "run R code C accepted N" per run.
//   soak_worker counter DATA_DIR KIND STOP_FILE LOG
//       control counter draws; "value V" per draw.
//   soak_worker reader DATA_DIR STOP_FILE LOG
//       walks BSCLAIM by claim number and seeks each live claim's lines and
//       payers; "walk claims C lines L payers P" per walk. An engine error
//       ends it with exit 3 and the error in LOG.
//   soak_worker recover DATA_DIR
//       one run of a roster that is not on file: it undoes the runs of dead
//       processes first; exit code the run's status (6 expected).
//
// Exit codes: 0 stopped as asked, 100 and above the worker itself failed.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "c4dll.h"
#include "common/text/claim_key.h"
#include "qmrbsrst/frame/call_records.h"
#include "qmrbsrst/generation/roster_generation.h"
#include "qmrbsrst/settings/control_counter.h"

namespace {

// 9 February 2024 as a host day.
constexpr double kRunDay = 45331;
// A roster number no soak folder holds.
constexpr int kMissingRoster = 999999;

class Log {
 public:
  explicit Log(const char* path) : fd_(::open(path, O_WRONLY | O_CREAT | O_APPEND, 0600)) {}
  ~Log() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  // Each line ends with the wall clock in milliseconds, to line up the logs
  // of different workstations.
  void Line(const std::string& text) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    const std::string line = text + " at " + std::to_string(ms.count()) + "\n";
    // One write per line, so lines of a killed process are whole or cut last.
    if (::write(fd_, line.data(), line.size()) < 0) std::_Exit(105);
  }

 private:
  int fd_;
};

bool Stopped(const char* stopFile) { return std::filesystem::exists(stopFile); }

int32_t Generate(C4Context context, const std::string& dir, int32_t roster, int32_t* accepted) {
  talvex::qmrbsrst::TGenerateRosterClaimsCall call{};
  call.dataDirectory.assign(dir);
  call.configDirectory.assign(dir);
  call.context = context;
  call.rosterNumber = roster;
  call.runDate = kRunDay;
  const int32_t code = talvex::qmrbsrst::GenerateRosterClaims(&call, nullptr, nullptr);
  *accepted = call.acceptedCount;
  return code;
}

int Rosters(const std::string& dir, int rosters, unsigned seed, const char* stop, Log& log) {
  C4Context context = code4initP();
  if (context == 0) return 101;
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pick(1, rosters);
  while (!Stopped(stop)) {
    const int32_t roster = pick(random);
    int32_t accepted = 0;
    const int32_t code = Generate(context, dir, roster, &accepted);
    log.Line("run " + std::to_string(roster) + " code " + std::to_string(code) + " accepted " +
             std::to_string(accepted));
  }
  code4initUndo(context);
  return 0;
}

int Counter(const std::string& dir, int kind, const char* stop, Log& log) {
  C4Context context = code4initP();
  if (context == 0) return 101;
  while (!Stopped(stop)) {
    const int32_t value = talvex::qmrbsrst::NextControlCounter(context, dir, kind);
    log.Line("value " + std::to_string(value));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  code4initUndo(context);
  return 0;
}

// The first engine error of a walk, or "" when the walk went through.
std::string Walk(C4Context c, const std::string& dir, long* claims, long* lines, long* payers) {
  C4Table header = d4open(c, (dir + "bsclaim.dbf").c_str());
  C4Table line = d4open(c, (dir + "bslines.dbf").c_str());
  C4Table payer = d4open(c, (dir + "bscpayer.dbf").c_str());
  std::string error;
  auto failed = [&](const char* what, int rc) {
    if (rc >= 0 || !error.empty()) return rc < 0;
    error = std::string(what) + " " + std::to_string(rc) + ": " + error4text(c, rc);
    return true;
  };
  if (header == 0 || line == 0 || payer == 0) {
    const int rc = code4errorCode(c, 0);
    failed("open", rc < 0 ? rc : e4open);
  } else if (d4tagSelectP(header, d4tag(header, "CL_ONLY")) >= 0 &&
             d4tagSelectP(line, d4tag(line, "L_CLAIM")) >= 0 &&
             d4tagSelectP(payer, d4tag(payer, "CP_CLAIM")) >= 0) {
    C4Field number = d4field(header, "CLAIM");
    int rc = d4top(header);
    for (; rc == r4success; rc = d4skip(header, 1)) {
      if (d4deleted(header)) continue;
      ++*claims;
      const std::string key = talvex::common::ClaimKey(static_cast<int32_t>(f4int(number)));
      for (C4Table t : {line, payer}) {
        int s = d4seek(t, key.c_str());
        for (; s == r4success; s = d4seekNext(t, key.c_str())) ++*(t == line ? lines : payers);
        if (failed(t == line ? "seek BSLINES" : "seek BSCPAYER", s)) break;
      }
      if (!error.empty()) break;
    }
    failed("walk BSCLAIM", rc);
  } else {
    failed("tag select", e4tag);
  }
  for (C4Table t : {header, line, payer}) {
    if (t != 0) d4close(t);
  }
  code4errorCode(c, 0);
  return error;
}

int Reader(const std::string& dir, const char* stop, Log& log) {
  C4Context context = code4initP();
  if (context == 0) return 101;
  int code = 0;
  while (!Stopped(stop)) {
    long claims = 0, lines = 0, payers = 0;
    const std::string error = Walk(context, dir, &claims, &lines, &payers);
    if (!error.empty()) {
      log.Line("error " + error);
      code = 3;
      break;
    }
    log.Line("walk claims " + std::to_string(claims) + " lines " + std::to_string(lines) +
             " payers " + std::to_string(payers));
  }
  code4initUndo(context);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string role = argc > 1 ? argv[1] : "";
  if (role == "recover" && argc == 3) {
    C4Context context = code4initP();
    if (context == 0) return 101;
    int32_t accepted = 0;
    const int32_t code = Generate(context, argv[2], kMissingRoster, &accepted);
    code4initUndo(context);
    return code;
  }
  const char* logPath = argc > 2 ? argv[argc - 1] : nullptr;
  if (logPath == nullptr) return 100;
  Log log(logPath);
  if (!log.ok()) return 102;
  if (role == "roster" && argc == 7) {
    return Rosters(argv[2], std::atoi(argv[3]), static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)),
                   argv[5], log);
  }
  if (role == "counter" && argc == 6) return Counter(argv[2], std::atoi(argv[3]), argv[4], log);
  if (role == "reader" && argc == 5) return Reader(argv[2], argv[3], log);
  return 100;
}
