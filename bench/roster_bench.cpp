// Roster claim generation at scale: a 10,000-line roster generated against a
// BSCLAIM of 1,000,000 stored claims (about 2,000,000 service lines), and on
// its own the step that dominates it, building the duplicate check's
// validation list, beside the seek-per-claim line count it replaced.
//
// The 1,000,000-claim folder takes minutes to make, so it is made once and
// kept: in $ROSTER_BENCH_CACHE, else <temp>/roster-bench-1000000 (a file
// "complete" marks a finished one). Each generation run works on a fresh copy.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "c4dll.h"
#include "common/text/claim_key.h"
#include "host/sample_data.h"
#include "qmrbsrst/frame/call_records.h"
#include "qmrbsrst/generation/claim_tables.h"
#include "qmrbsrst/generation/claim_validation.h"
#include "qmrbsrst/generation/roster_generation.h"
#include "releases/clone_writer.h"
#include "releases/layouts.h"

namespace {

namespace fs = std::filesystem;
using Row = std::vector<std::pair<std::string, std::string>>;

constexpr int kStoredClaims = 1000000;
constexpr int kRosterLines = 10000;
constexpr int32_t kRoster = 77;

void FlushFileSystems() {
#ifndef _WIN32
  ::sync();
#endif
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "roster_bench: %s\n", why.c_str());
  std::exit(1);
}

void Append(C4Context c, const std::string& folder, const char* name, const std::vector<Row>& rows) {
  C4Table t = d4open(c, (folder + name + ".dbf").c_str());
  if (t == 0) Fail(std::string("cannot open ") + name);
  for (const Row& row : rows) {
    if (d4appendStart(t, 0) != 0 || d4blank(t) != 0) Fail(name);
    for (const auto& [field, value] : row) {
      C4Field f = d4field(t, field.c_str());
      if (f == 0 || f4assign(f, value.c_str()) < 0) Fail(std::string(name) + "." + field);
    }
    if (d4append(t) != 0) Fail(name);
  }
  d4close(t);
}

void MakeCache(const std::string& folder) {
  std::fprintf(stderr, "roster_bench: making %d stored claims in %s ...\n", kStoredClaims,
               folder.c_str());
  fs::remove_all(folder);
  fs::create_directories(folder);
  C4Context c = code4initP();
  std::vector<talvex::releases::TableLayout> tables;
  for (const char* name : {"bsclaim", "bscpayer", "bslines", "bslinesa", "bsrecnm", "bsrecid",
                           "bsroster", "bsrostln", "bsprov", "payer", "submit", "utilmast"}) {
    tables.push_back(*talvex::releases::NewestLayout(name));
  }
  std::string error;
  if (!talvex::releases::CreateTableSet(c, folder, tables, &error)) Fail(error);
  // Stored claims with their lines: the filler appends without the index and
  // rebuilds it once.
  code4autoOpen(c, 0);
  for (const char* name : {"bsclaim", "bslines"}) {
    if (!talvex::host::FillTable(c, folder, *talvex::releases::NewestLayout(name), kStoredClaims, 1,
                                 1, &error)) {
      Fail(error);
    }
  }
  code4autoOpen(c, 1);
  Append(c, folder, "utilmast", {{{"ID_7", std::to_string(kStoredClaims * 2)}}});
  Append(c, folder, "submit", {{{"S_TYPE", "1"}, {"S_INTER", "00001"}}});
  Append(c, folder, "bsprov",
         {{{"P_RECSEQ", "00000005"}, {"P_TYPE", "S"}, {"P_ID", "PROV1"}, {"P_ID_LOB", "MCB"},
           {"P_NPI", "1234567893"}}});
  Append(c, folder, "payer",
         {{{"PAYID", "PAY01"}, {"PAYLOB", "MCB"}, {"PAYFULDESC", "Medicare Part B"}}});
  Append(c, folder, "bsroster",
         {{{"R_ROSTER", std::to_string(kRoster)}, {"R_PAYERID", "PAY01"}, {"R_PAYERLOB", "MCB"},
           {"R_PROVID", "PROV1"}, {"R_PROVSEQ", "5"}, {"R_PROVTYPE", "S"}, {"R_POS", "60"},
           {"R_SERVDATE", "20240202"}, {"R_TYPE", "I"}, {"R_HCPCS", "90658"},
           {"R_VACCINE", "20.00"}, {"R_ADMIN", "15.00"}, {"R_LOCATION", "RE"}}});
  char rosterKey[16];
  std::snprintf(rosterKey, sizeof rosterKey, "%010d", static_cast<int>(kRoster));
  std::vector<Row> lines;
  for (int i = 1; i <= kRosterLines; ++i) {
    lines.push_back({{"RL_ROSTER", rosterKey},
                     {"RL_LINE", std::to_string(i)}, {"RL_PCN", "BENCH" + std::to_string(i)},
                     {"RL_HIC", "HIC" + std::to_string(i)}, {"RL_LNAME", "DOE"},
                     {"RL_FNAME", "JANE"}, {"RL_SEX", "F"}, {"RL_DOB", "19400105"}});
  }
  Append(c, folder, "bsrostln", lines);
  code4initUndo(c);
  std::FILE* done = std::fopen((folder + "complete").c_str(), "w");
  if (done == nullptr) Fail("cannot mark the cache complete");
  std::fclose(done);
}

const std::string& Cache() {
  static std::string folder;
  if (folder.empty()) {
    const char* env = std::getenv("ROSTER_BENCH_CACHE");
    folder = env != nullptr ? env : (fs::temp_directory_path() / "roster-bench-1000000").string();
    if (folder.back() != '/') folder += '/';
    if (!fs::exists(folder + "complete")) MakeCache(folder);
  }
  return folder;
}

// Seconds from the run's first report to its first line report: opening the
// tables, building the validation list, the header, provider and payer, and
// one line. Almost all of it is the list.
struct Stopwatch {
  std::chrono::steady_clock::time_point start, firstLine;
  bool sawLine = false;
};
void Report(void* self, const void* text) {
  auto* w = static_cast<Stopwatch*>(self);
  const std::string s = static_cast<const talvex::common::ShortString<255>*>(text)->str();
  if (s.rfind("Pre-processing", 0) == 0) w->start = std::chrono::steady_clock::now();
  if (!w->sawLine && s.rfind("Generating roster claims (1 of", 0) == 0) {
    w->firstLine = std::chrono::steady_clock::now();
    w->sawLine = true;
  }
}

// The whole run on a fresh copy of the cache.
void BM_GenerateTenThousandLines(benchmark::State& state) {
  const std::string work = Cache().substr(0, Cache().size() - 1) + "-work/";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(work);
    fs::copy(Cache(), work, fs::copy_options::recursive);
    // The copy's 1.4 GB would otherwise be written back while the run syncs.
    FlushFileSystems();
    C4Context c = code4initP();
    talvex::qmrbsrst::TGenerateRosterClaimsCall call{};
    call.dataDirectory.assign(work);
    call.configDirectory.assign(work);
    call.context = c;
    call.runDate = 45330;
    call.rosterNumber = kRoster;
    Stopwatch watch;
    state.ResumeTiming();
    const auto begin = std::chrono::steady_clock::now();
    const int32_t code =
        talvex::qmrbsrst::GenerateRosterClaims(&call, reinterpret_cast<void*>(&Report), &watch);
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    state.PauseTiming();
    const double list = std::chrono::duration<double>(watch.firstLine - watch.start).count();
    state.counters["run_s"] = total;
    state.counters["until_first_line_s"] = list;
    state.counters["share"] = list / total;
    code4initUndo(c);
    if (code != 0 || call.acceptedCount != kRosterLines) {
      state.SkipWithError(("status " + std::to_string(code)).c_str());
    }
    state.ResumeTiming();
  }
  fs::remove_all(work);
}
BENCHMARK(BM_GenerateTenThousandLines)->Unit(benchmark::kSecond)->Iterations(1);

// The validation list alone, on the stored claims.
void BM_BuildValidationList(benchmark::State& state) {
  C4Context c = code4initP();
  talvex::qmrbsrst::ClaimTableSet set;
  if (!set.Open(c, Cache())) Fail("cannot open the claim tables");
  talvex::qmrbsrst::ClaimValidationList list;
  for (auto _ : state) {
    if (!list.Build(set.claims, set.lines)) state.SkipWithError("build failed");
  }
  (void)set.Close();
  code4initUndo(c);
}
BENCHMARK(BM_BuildValidationList)->Unit(benchmark::kSecond)->Iterations(3);

// The line count as it used to be made: one seek of BSLINES per stored claim.
void BM_LineCountBySeekPerClaim(benchmark::State& state) {
  C4Context c = code4initP();
  talvex::qmrbsrst::ClaimTableSet set;
  if (!set.Open(c, Cache())) Fail("cannot open the claim tables");
  C4Table claims = set.claims.handle(), lines = set.lines.handle();
  C4Field number = set.claims.Field("CLAIM");
  long total = 0;
  for (auto _ : state) {
    total = 0;
    for (int rc = d4top(claims); rc == 0; rc = d4skip(claims, 1)) {
      const std::string key = talvex::common::ClaimKey(static_cast<int32_t>(f4int(number)));
      for (int s = d4seek(lines, key.c_str()); s == 0; s = d4seekNext(lines, key.c_str())) {
        if (d4deleted(lines) == 0) ++total;
      }
    }
  }
  state.counters["lines"] = static_cast<double>(total);
  (void)set.Close();
  code4initUndo(c);
}
BENCHMARK(BM_LineCountBySeekPerClaim)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
