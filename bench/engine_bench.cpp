// Sequential append and read of 1,000,000 records of about 1 KiB through the
// engine API, beside the time `cp` needs for the same file, and a shared-mode
// walk summing one numeric field beside `cat` of the file (goal: at most 4x).
// A plain timed program: engine_bench [folder] [records]. Prints records per
// second.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "c4dll.h"

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A walk in record order summing AMOUNT (and, withText, counting C1 texts
// that begin with "b"), timed.
bool walkSum(C4Context c, const std::string& path, bool withText, long* seen, double* sum,
             double* time) {
  C4Table t = d4open(c, path.c_str());
  if (!t) return false;
  C4Field amount = d4field(t, "AMOUNT"), c1 = d4field(t, "C1");
  const auto start = std::chrono::steady_clock::now();
  for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
    double v = 0;
    f4double2(amount, &v);
    *sum += v + (withText && f4str(c1)[0] == 'b' ? 1 : 0);
    ++*seen;
  }
  *time = seconds(start);
  return d4close(t) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string();
  long records = argc > 2 ? std::atol(argv[2]) : 1000000;
  std::string path = folder + "/engine_bench.dbf";
  std::string copy = folder + "/engine_bench_copy.dbf";

  // 1 + 9 x 100 + 2 x 50 + 10 + 8 + 1 = 1020 bytes a record.
  const C4FieldInfo fields[] = {
      {"C1", 'C', 100, 0}, {"C2", 'C', 100, 0}, {"C3", 'C', 100, 0}, {"C4", 'C', 100, 0},
      {"C5", 'C', 100, 0}, {"C6", 'C', 100, 0}, {"C7", 'C', 100, 0}, {"C8", 'C', 100, 0},
      {"C9", 'C', 100, 0}, {"D1", 'C', 50, 0},  {"D2", 'C', 50, 0},  {"AMOUNT", 'N', 10, 2},
      {"DAY", 'D', 8, 0},  {"OK", 'L', 1, 0},   {nullptr, 0, 0, 0}};

  C4Context c = code4initP();
  code4autoOpen(c, 0);
  code4accessMode(c, 2);  // exclusive, as a batch job holds the table
  code4optimizeWrite(c, 1);
  C4Table t = d4create(c, path.c_str(), fields, nullptr);
  if (!t) {
    std::fprintf(stderr, "create failed: %s\n", error4text(c, code4errorCode(c, 0)));
    return 1;
  }
  C4Field c1 = d4field(t, "C1"), amount = d4field(t, "AMOUNT"), day = d4field(t, "DAY");
  C4Field ok = d4field(t, "OK"), d1 = d4field(t, "D1");

  auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < records; ++i) {
    if (d4appendStart(t, 0) != 0 || d4blank(t) != 0) return 1;
    f4assign(c1, "benchmark record text of the first character field");
    f4assign(d1, "another text");
    f4assignDouble(amount, static_cast<double>(i % 100000) / 100.0);
    f4assign(day, "20240131");
    f4assign(ok, "T");
    if (d4append(t) != 0) {
      std::fprintf(stderr, "append failed: %s\n", error4text(c, code4errorCode(c, 0)));
      return 1;
    }
  }
  if (d4close(t) != 0) return 1;
  double appendTime = seconds(start);

  code4accessMode(c, 1);  // deny write: others may read, nobody changes it
  long seen = 0;
  double sum = 0, readTime = 0;
  if (!walkSum(c, path, true, &seen, &sum, &readTime)) return 1;
  // Shared mode, nobody keeping writers out: the walk others may write beside.
  code4accessMode(c, 0);
  long sharedSeen = 0;
  double sharedSum = 0, sharedReadTime = 0;
  if (!walkSum(c, path, false, &sharedSeen, &sharedSum, &sharedReadTime)) return 1;
  start = std::chrono::steady_clock::now();
  int catStatus = std::system(("cat '" + path + "' > /dev/null").c_str());
  double catTime = seconds(start);

  // Shared mode: every append takes the append and header locks.
  long sharedRecords = records / 10;
  std::string sharedPath = folder + "/engine_bench_shared.dbf";
  code4accessMode(c, 0);
  code4optimizeWrite(c, 0);
  t = d4create(c, sharedPath.c_str(), fields, nullptr);
  c1 = d4field(t, "C1");
  start = std::chrono::steady_clock::now();
  for (long i = 0; i < sharedRecords; ++i) {
    if (d4appendBlank(t) != 0) return 1;
    f4assign(c1, "shared");
  }
  d4close(t);
  double sharedTime = seconds(start);

  uint64_t bytes = std::filesystem::file_size(path);
  start = std::chrono::steady_clock::now();
  int cpStatus = std::system(("cp '" + path + "' '" + copy + "'").c_str());
  double cpTime = seconds(start);

  std::printf("records of %d bytes, file %.1f MiB\n", 1020, static_cast<double>(bytes) / (1 << 20));
  std::printf("append (exclusive, write-behind): %ld records in %.2f s = %.0f records/s\n", records,
              appendTime, records / appendTime);
  std::printf("read (deny-write, read-ahead):    %ld records in %.2f s = %.0f records/s (checksum %.0f)\n",
              seen, readTime, seen / readTime, sum);
  std::printf("read (shared, summing AMOUNT):     %ld records in %.2f s = %.0f records/s (sum %.2f)\n",
              sharedSeen, sharedReadTime, sharedSeen / sharedReadTime, sharedSum);
  std::printf("cat of the same file: %.2f s%s; shared read / cat = %.1fx (goal at most 4x)\n", catTime,
              catStatus == 0 ? "" : " (cat failed)", sharedReadTime / catTime);
  std::printf("append (shared, locks per append): %ld records in %.2f s = %.0f records/s\n",
              sharedRecords, sharedTime, sharedRecords / sharedTime);
  std::printf("cp of the same file: %.2f s%s\n", cpTime, cpStatus == 0 ? "" : " (cp failed)");
  code4initUndo(c);
  std::filesystem::remove(path);
  std::filesystem::remove(copy);
  std::filesystem::remove(sharedPath);
  return seen == records && sharedSeen == records ? 0 : 1;
}
