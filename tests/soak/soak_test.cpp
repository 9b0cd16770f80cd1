// Many workstations at once, for a bounded time: roster runs in two data
// folders (two at once in the shared one), claim number draws from the
// shared counter, readers walking the claim tables, and now and then one of
// them killed (SIGKILL) and started again. Then every table must be sound
// and every roster generated whole or not at all.
//
// TALVEX_SOAK_SECONDS sets how long the workstations run (default 45),
// TALVEX_SOAK_KILLS=0 runs them without kills (to tell a fault of running
// together from one of dying),
// TALVEX_SOAK_SEED repeats a run's random choices (which process is killed
// when, which rosters are run); the seed is printed. A failed run keeps its
// folder and names it. POSIX: the workstations are child processes.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "c4dll.h"
#include "releases/clone_writer.h"
#include "releases/layouts.h"

extern char** environ;

namespace talvex::soak {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRosters = 300;
constexpr int kClaimCounterKind = 6;
constexpr int kMissingRosterStatus = 6;  // the closing run's roster is not on file
const char* const kTables[] = {"bsclaim", "bscpayer", "bslines", "bslinesa", "bsrecnm", "bsrecid",
                               "bsroster", "bsrostln", "bsprov",  "payer",    "submit", "utilmast"};
// Claim tables other than BSCLAIM, with the field holding the claim number.
const char* const kClaimParts[][2] = {{"bscpayer", "CP_CLAIM"}, {"bslines", "CLAIM"},
                                      {"bslinesa", "CLAIM"},    {"bsrecnm", "NM_CLAIM"},
                                      {"bsrecid", "ID_CLAIM"}};

std::string ProgramFolder() {
  const char* dir = std::getenv("TALVEX_BIN_DIR");
  if (dir != nullptr) return std::string(dir) + "/";
  return fs::read_symlink("/proc/self/exe").parent_path().string() + "/";
}

std::string Trimmed(std::string v) {
  const size_t b = v.find_first_not_of(' ');
  const size_t e = v.find_last_not_of(' ');
  return b == std::string::npos ? "" : v.substr(b, e - b + 1);
}

std::string Pcn(int roster, int line) {
  return "S" + std::to_string(roster) + "L" + std::to_string(line);
}

using Row = std::vector<std::pair<std::string, std::string>>;

// Appends rows to one table, kept open.
class Appender {
 public:
  Appender(C4Context c, const std::string& path) : c_(c), t_(d4open(c, path.c_str())) {
    EXPECT_NE(t_, 0u) << path;
  }
  ~Appender() {
    if (t_ != 0) {
      EXPECT_EQ(d4close(t_), 0);
    }
  }
  void Add(const Row& row) {
    if (t_ == 0) return;
    ASSERT_EQ(d4appendStart(t_, 0), 0);
    ASSERT_EQ(d4blank(t_), 0);
    for (const auto& [field, value] : row) {
      C4Field f = d4field(t_, field.c_str());
      ASSERT_NE(f, 0u) << field;
      ASSERT_GE(f4assign(f, value.c_str()), 0) << field << " " << error4text(c_, -210);
    }
    ASSERT_EQ(d4append(t_), 0);
  }

 private:
  C4Context c_;
  C4Table t_;
};

// A data folder of the newest layout with provider, payer, submitter,
// counter and kRosters rosters of 2 to 8 lines each; lines[r] is roster r's.
void MakeFolder(C4Context c, const std::string& dir, std::mt19937& random,
                std::vector<int>* lines) {
  fs::create_directories(dir);
  std::vector<releases::TableLayout> tables;
  for (const char* name : kTables) {
    auto layout = releases::NewestLayout(name);
    ASSERT_TRUE(layout.has_value()) << name;
    tables.push_back(*layout);
  }
  std::string error;
  ASSERT_TRUE(releases::CreateTableSet(c, dir, tables, &error)) << error;
  Appender(c, dir + "utilmast.dbf").Add({{"ID_7", "1000"}});
  Appender(c, dir + "submit.dbf").Add({{"S_TYPE", "1"}, {"S_INTER", "00001"}});
  Appender(c, dir + "bsprov.dbf")
      .Add({{"P_RECSEQ", "00000005"}, {"P_TYPE", "S"}, {"P_ID", "PROV1"}, {"P_ID_LOB", "MCB"},
            {"P_NPI", "1234567893"}, {"P_FEDTAXID", "123456789"}, {"P_FEDTAXTP", "E"},
            {"P_ASSIGNED", "Y"}, {"P_SIGIND", "N"}});
  Appender(c, dir + "payer.dbf")
      .Add({{"PAYID", "PAY01"}, {"PAYLOB", "MCB"}, {"PAYFULDESC", "Medicare Part B"},
            {"PAYADDR1", "1 Main St"}, {"PAYCITY", "Springfield"}, {"PAYSTATE", "IL"},
            {"PAYZIP", "62701"}, {"PAYSOURCE", "MB"}});
  Appender headers(c, dir + "bsroster.dbf");
  Appender patients(c, dir + "bsrostln.dbf");
  std::uniform_int_distribution<int> count(2, 8);
  lines->assign(kRosters + 1, 0);
  for (int r = 1; r <= kRosters; ++r) {
    headers.Add({{"R_ROSTER", std::to_string(r)}, {"R_CLERK", "ANN"}, {"R_PAYERID", "PAY01"},
                 {"R_PAYERLOB", "MCB"}, {"R_PROVID", "prov1"}, {"R_PROVSEQ", "5"},
                 {"R_PROVTYPE", "S"}, {"R_POS", "60"}, {"R_SERVDATE", "20240202"},
                 {"R_TYPE", "P"}, {"R_HCPCS", "90732"}, {"R_VACCINE", "30.10"},
                 {"R_ADMIN", "25.05"}, {"R_PROCDSC", "Pneumococcal"}, {"R_LOCATION", "RE"}});
    char key[16];
    std::snprintf(key, sizeof key, "%010d", r);
    (*lines)[r] = count(random);
    for (int l = 1; l <= (*lines)[r]; ++l) {
      patients.Add({{"RL_ROSTER", key}, {"RL_LINE", std::to_string(l)}, {"RL_PCN", Pcn(r, l)},
                    {"RL_HIC", "HIC" + Pcn(r, l)}, {"RL_LNAME", "DOE"}, {"RL_FNAME", "JANE"},
                    {"RL_SEX", "F"}, {"RL_DOB", "19400105"}, {"RL_ADDR1", "2 Elm St"},
                    {"RL_CITY", "Springfield"}, {"RL_STATE", "IL"}, {"RL_ZIP", "62702"}});
    }
  }
}

// One workstation process and what became of it.
struct Station {
  std::string name;
  std::vector<std::string> args;  // after the program; the seed slot is "{seed}"
  std::string log;
  pid_t pid = -1;
  int starts = 0;
  int kills = 0;
  std::vector<std::string> unexpectedExits;
};

pid_t Spawn(const std::vector<std::string>& args, const std::string& errors) {
  std::string program = ProgramFolder() + "talvex_soak_worker";
  std::vector<std::string> copy = args;
  std::vector<char*> argv{program.data()};
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, errors.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  return rc == 0 ? pid : -1;
}

void Start(Station& s, std::mt19937& random) {
  std::vector<std::string> args = s.args;
  for (std::string& a : args) {
    if (a == "{seed}") a = std::to_string(random());
  }
  s.pid = Spawn(args, s.log + ".err");
  ++s.starts;
  EXPECT_GT(s.pid, 0) << s.name;
}

std::string Describe(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string Text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

struct Record {
  bool deleted = false;
  std::map<std::string, std::string> fields;  // trimmed
  long Int(const std::string& name) const {
    auto it = fields.find(name);
    return it == fields.end() || it->second.empty() ? 0 : std::stol(it->second);
  }
};

// Every record in record order.
std::vector<Record> ReadAll(C4Context c, const std::string& path) {
  std::vector<Record> out;
  C4Table t = d4open(c, path.c_str());
  EXPECT_NE(t, 0u) << path;
  if (t == 0) return out;
  d4tagSelectP(t, 0);
  int rc = d4top(t);
  for (; rc == r4success; rc = d4skip(t, 1)) {
    Record r;
    r.deleted = d4deleted(t) != 0;
    for (int j = 1; j <= d4numFields(t); ++j) {
      r.fields[f4name(d4fieldJ(t, j))] = Trimmed(f4str(d4fieldJ(t, j)));
    }
    out.push_back(std::move(r));
  }
  EXPECT_EQ(rc, r4eof) << path << ": " << error4text(c, rc);
  d4close(t);
  return out;
}

struct Folder {
  std::string name, dir;
  std::vector<int> lines;  // per roster
};

// The tables' state once every workstation has stopped and a last run has
// undone the dead ones. `drawn`: counter values handed out in this folder
// outside roster runs, from the same counter as the claim numbers.
void CheckFolder(const Folder& f, const std::vector<long>& drawn) {
  SCOPED_TRACE("data folder " + f.dir);
  C4Context c = code4initP();
  ASSERT_NE(c, 0u);

  // Indexes sound, and nobody holds a table: each opens exclusive and locks.
  code4accessMode(c, 2);
  for (const char* table : kTables) {
    C4Table t = d4open(c, (f.dir + table + ".dbf").c_str());
    if (t == 0) {
      ADD_FAILURE() << table << " does not open exclusive: "
                    << error4text(c, code4errorCode(c, 0));
      continue;
    }
    const int check = d4check(t);
    EXPECT_EQ(check, 0) << table << ": its index does not match its records once every "
                           "workstation has stopped and a last run has undone the dead ones: "
                        << error4text(c, check);
    EXPECT_EQ(d4lockAllInternal(t, 1), 0) << table;
    d4close(t);
    code4errorCode(c, 0);
  }
  code4accessMode(c, 0);
  for (const fs::directory_entry& e : fs::directory_iterator(f.dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("ROSTRUN.", 0) == 0) {
      EXPECT_EQ(fs::file_size(e.path()), 0u) << name << " still records a run:\n"
                                             << Text(e.path().string());
    }
  }

  // Claim numbers: each drawn once, by one claim header or one counter draw,
  // and none past the counter.
  const std::vector<Record> headers = ReadAll(c, f.dir + "bsclaim.dbf");
  std::map<long, int> uses;
  std::set<long> live;
  std::map<std::string, std::vector<long>> claimsOfPcn;
  for (const Record& h : headers) {
    ++uses[h.Int("CLAIM")];
    if (h.deleted) continue;
    live.insert(h.Int("CLAIM"));
    claimsOfPcn[h.fields.at("C_PCN")].push_back(h.Int("CLAIM"));
  }
  for (long v : drawn) {
    if (v >= 0) ++uses[v];  // -1: a failed draw, counted by the caller
  }
  const std::vector<Record> counter = ReadAll(c, f.dir + "utilmast.dbf");
  ASSERT_FALSE(counter.empty());
  const long last = counter[0].Int("ID_7");
  int repeated = 0;
  for (const auto& [number, times] : uses) {
    if (times > 1 && ++repeated <= 10) {
      ADD_FAILURE() << "number " << number << " handed out " << times << " times";
    }
    EXPECT_LE(number, last) << "number handed out past the counter's " << last;
  }
  EXPECT_EQ(repeated, 0) << "numbers handed out more than once";

  // No live part of a claim without its live header.
  std::map<std::string, std::map<long, int>> partsOf;  // table -> claim -> live records
  for (const auto& [table, field] : kClaimParts) {
    int orphans = 0;
    for (const Record& r : ReadAll(c, f.dir + table + ".dbf")) {
      if (r.deleted) continue;
      ++partsOf[table][r.Int(field)];
      if (live.count(r.Int(field)) == 0 && ++orphans <= 5) {
        ADD_FAILURE() << table << ": live record of claim " << r.Int(field)
                      << ", which has no live header";
      }
    }
  }

  // Each roster generated whole, once, or not at all.
  std::set<std::string> known;
  int generated = 0;
  for (const Record& h : ReadAll(c, f.dir + "bsroster.dbf")) {
    const int r = static_cast<int>(h.Int("R_ROSTER"));
    ASSERT_TRUE(r >= 1 && r <= kRosters && !h.deleted) << r;
    SCOPED_TRACE("roster " + std::to_string(r));
    const bool marked = h.fields.at("R_LOCATION") == "GR";
    if (marked) {
      ++generated;
      EXPECT_EQ(h.fields.at("R_PROCESS"), "20240209");
      EXPECT_EQ(h.Int("R_TOTCNT"), f.lines[r]);
    } else {
      EXPECT_EQ(h.fields.at("R_LOCATION"), "RE");
      EXPECT_EQ(h.fields.at("R_PROCESS"), "");
      EXPECT_EQ(h.Int("R_TOTCNT"), 0);
    }
    for (int l = 1; l <= f.lines[r]; ++l) {
      const std::string pcn = Pcn(r, l);
      known.insert(pcn);
      const std::vector<long>& claims = claimsOfPcn[pcn];
      EXPECT_EQ(claims.size(), marked ? 1u : 0u)
          << "line " << l << " (" << pcn << ") of a roster "
          << (marked ? "marked generated" : "not marked generated");
      for (long n : claims) {
        EXPECT_EQ(partsOf["bslines"][n], 2) << "claim " << n << " of " << pcn << ": lines";
        EXPECT_EQ(partsOf["bscpayer"][n], 1) << "claim " << n << " of " << pcn << ": payers";
      }
    }
  }
  for (const auto& [pcn, claims] : claimsOfPcn) {
    EXPECT_TRUE(known.count(pcn) != 0 || claims.empty()) << "live claim of no roster: " << pcn;
  }
  std::printf("%s: %d of %d rosters generated, %zu live claims, %zu claim headers written, "
              "counter at %ld\n",
              f.name.c_str(), generated, kRosters, live.size(), headers.size(), last);
  code4initUndo(c);
}

int EnvNumber(const char* name, int fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::atoi(v) : fallback;
}

TEST(Soak, ManyWorkstationsWithKillsLeaveEveryRosterWholeOrUntouched) {
  const int seconds = EnvNumber("TALVEX_SOAK_SECONDS", 45);
  const bool kills = EnvNumber("TALVEX_SOAK_KILLS", 1) != 0;
  const unsigned seed = static_cast<unsigned>(
      EnvNumber("TALVEX_SOAK_SEED", static_cast<int>(std::random_device{}() & 0x7fffffff)));
  std::printf("soak: seed %u (TALVEX_SOAK_SEED=%u repeats it), %d s\n", seed, seed, seconds);
  SCOPED_TRACE("TALVEX_SOAK_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);

  const fs::path root = fs::temp_directory_path() /
                        ("talvex_soak_" + std::to_string(getpid()) + "_" + std::to_string(seed));
  fs::remove_all(root);
  Folder shared{"shared", (root / "shared" / "").string(), {}};
  Folder own{"own", (root / "own" / "").string(), {}};
  const std::string stop = (root / "stop").string();
  {
    C4Context c = code4initP();
    ASSERT_NE(c, 0u);
    for (Folder* f : {&shared, &own}) {
      MakeFolder(c, f->dir, random, &f->lines);
      ASSERT_FALSE(HasFailure());
    }
    code4initUndo(c);
  }

  const std::string rosters = std::to_string(kRosters);
  const std::string logs = (root / "").string();
  std::vector<Station> stations;
  auto add = [&](const std::string& name, std::vector<std::string> args, const char* log) {
    Station s;
    s.name = name;
    s.log = logs + log;
    s.args = std::move(args);
    s.args.push_back(s.log);
    stations.push_back(std::move(s));
  };
  add("roster runs 1 (shared folder)", {"roster", shared.dir, rosters, "{seed}", stop},
      "roster1.log");
  add("roster runs 2 (shared folder)", {"roster", shared.dir, rosters, "{seed}", stop},
      "roster2.log");
  add("roster runs 3 (own folder)", {"roster", own.dir, rosters, "{seed}", stop}, "roster3.log");
  add("counter draws (shared folder)",
      {"counter", shared.dir, std::to_string(kClaimCounterKind), stop}, "counter.log");
  add("reader (shared folder)", {"reader", shared.dir, stop}, "reader1.log");
  add("reader (own folder)", {"reader", own.dir, stop}, "reader2.log");
  for (Station& s : stations) Start(s, random);

  // Now and then one workstation killed: roster runs most often, since their
  // deaths leave the most to undo.
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  std::uniform_int_distribution<int> pause(500, 2500);
  std::uniform_int_distribution<int> anyStation(0, static_cast<int>(stations.size()) - 1);
  std::uniform_int_distribution<int> rosterStation(0, 2);
  std::bernoulli_distribution rosterKill(0.7);
  // Collects a station's process once it has ended; any end but the one
  // expected is noted.
  enum class Expect { Running, Killed, Stopping };
  auto reap = [&](Station& s, Expect expect) {
    int status = 0;
    if (s.pid <= 0) return false;  // never waitpid(-1): any child would do
    if (waitpid(s.pid, &status, expect == Expect::Killed ? 0 : WNOHANG) != s.pid) return false;
    const bool expected =
        (expect == Expect::Killed && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) ||
        (expect == Expect::Stopping && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (!expected) s.unexpectedExits.push_back(Describe(status));
    s.pid = -1;
    return true;
  };
  while (Clock::now() < end) {
    const auto wake = std::min(end, Clock::now() + std::chrono::milliseconds(pause(random)));
    while (Clock::now() < wake) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      for (Station& s : stations) {
        if (reap(s, Expect::Running)) Start(s, random);  // ended on its own: noted, started again
      }
    }
    if (Clock::now() >= end) break;
    if (!kills) continue;
    Station& victim = stations[rosterKill(random) ? rosterStation(random) : anyStation(random)];
    // A station whose start failed has no process: kill(-1) would signal
    // every process we may signal.
    if (victim.pid <= 0) {
      Start(victim, random);
      continue;
    }
    kill(victim.pid, SIGKILL);
    reap(victim, Expect::Killed);
    ++victim.kills;
    Start(victim, random);
  }

  // Stop: each finishes its step and ends.
  std::ofstream(stop).put('\n');
  const auto giveUp = Clock::now() + std::chrono::seconds(40);
  bool running = true;
  while (running && Clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    running = false;
    for (Station& s : stations) {
      if (s.pid > 0 && !reap(s, Expect::Stopping)) running = true;
    }
  }
  for (Station& s : stations) {
    if (s.pid <= 0) continue;
    ADD_FAILURE() << s.name << " did not stop within 40 s of being asked";
    kill(s.pid, SIGKILL);
    waitpid(s.pid, nullptr, 0);
  }

  // What the workstations did.
  std::map<int, int> codes;
  std::vector<long> drawn;
  long walks = 0;
  int refusals = 0;
  for (Station& s : stations) {
    std::string errors = Text(s.log + ".err");
    const std::string refused = "is being generated on another workstation";
    for (size_t at = errors.find(refused); at != std::string::npos;
         at = errors.find(refused, at + 1)) {
      ++refusals;
    }
    EXPECT_TRUE(s.unexpectedExits.empty())
        << s.name << " ended on its own: " << s.unexpectedExits.front() << "\n"
        << errors.substr(errors.size() > 2000 ? errors.size() - 2000 : 0) << "\nlast log line:\n"
        << (Lines(s.log).empty() ? "" : Lines(s.log).back());
    for (const std::string& line : Lines(s.log)) {
      int roster = 0, code = 0, accepted = 0;
      long value = 0, claims = 0;
      if (std::sscanf(line.c_str(), "run %d code %d accepted %d", &roster, &code, &accepted) == 3) {
        ++codes[code];
      } else if (std::sscanf(line.c_str(), "value %ld", &value) == 1) {
        drawn.push_back(value);
      } else if (std::sscanf(line.c_str(), "walk claims %ld", &claims) == 1) {
        ++walks;
      } else if (line.rfind("error ", 0) == 0) {
        ADD_FAILURE() << s.name << ": reading the claim tables while other workstations write "
                      << "to them failed: " << line.substr(6);
      }
    }
    std::printf("soak: %-32s started %d times, killed %d times\n", s.name.c_str(), s.starts,
                s.kills);
  }
  std::string summary;
  for (const auto& [code, n] : codes) {
    summary += " status " + std::to_string(code) + ": " + std::to_string(n) + ";";
  }
  std::printf("soak: roster runs finished:%s counter draws %zu, claim table walks %ld\n",
              summary.c_str(), drawn.size(), walks);
  // 0 generated; 13 a roster generated before (its claims are duplicates);
  // 11 only for a roster being generated on another workstation, which the
  // run says on stderr.
  for (const auto& [code, n] : codes) {
    EXPECT_TRUE(code == 0 || code == 11 || code == 13)
        << n << " roster runs ended with status " << code;
  }
  EXPECT_LE(codes[11], refusals) << "runs ended with status 11 for another reason";
  EXPECT_GT(codes[0], 10) << "too few roster runs to mean anything";
  EXPECT_EQ(std::count(drawn.begin(), drawn.end(), -1L), 0) << "counter draws failed";

  // A last run in each folder undoes what the killed ones left.
  for (const Folder* f : {&shared, &own}) {
    const pid_t pid = Spawn({"recover", f->dir}, logs + "recover.err");
    ASSERT_GT(pid, 0) << f->name << ": the run after the soak did not start";
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_EQ(Describe(status), "exit " + std::to_string(kMissingRosterStatus))
        << f->name << ": the run after the soak\n"
        << Text(logs + "recover.err");
  }
  CheckFolder(shared, drawn);
  CheckFolder(own, {});

  if (HasFailure()) {
    std::printf("soak: folders and logs kept in %s\n", root.string().c_str());
  } else {
    fs::remove_all(root);
  }
}

}  // namespace
}  // namespace talvex::soak
