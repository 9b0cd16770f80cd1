// CopyCommonFields on a large UB claim table: the old layout (before update
// 0181) into an empty table of the newest layout, in records per second, beside
// `cp` of the same data file. Usage: copy_bench [records] [folder]
// (default 1000000 records in a fresh folder below /tmp, removed afterwards).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "c4dll.h"
#include "driver/run_state.h"
#include "releases/clone_writer.h"
#include "releases/layouts.h"
#include "restructure/record_copy.h"
#include "sample_data.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  namespace tm = talvex::tabmend;
  const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
  std::string root = argc > 2 ? argv[2] : "";
  const bool own = root.empty();
  if (own) {
    char pattern[] = "/tmp/copy-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 1;
    root = pattern;
  }
  const std::string source = root + "/old/", target = root + "/new/";

  tm::BeginCall();
  if (!tm::OpenRunContext()) return 1;
  const C4Context c = tm::RunContext();
  auto oldLayout = talvex::releases::LayoutAfter("bcclaim", 180);
  auto newLayout = talvex::releases::NewestLayout("bcclaim");
  std::string error;
  auto start = Clock::now();
  if (!oldLayout || !newLayout || !talvex::releases::CreateTable(c, source, *oldLayout, &error) ||
      !talvex::host::FillTable(c, source, *oldLayout, records, 1, 1, &error)) {
    std::fprintf(stderr, "setup failed: %s\n", error.c_str());
    return 1;
  }
  const double fill = Seconds(start);
  const auto dbf = std::filesystem::file_size(source + "bcclaim.dbf");
  std::printf("source: %d records (every 23rd deleted), %.1f MB .dbf, %d-byte records, made in %.1f s\n",
              records, dbf / 1e6, oldLayout->recordLength(), fill);

  if (!talvex::releases::CreateTable(c, target, *newLayout, &error)) return 1;
  // Each timed step starts with nothing left to write back, so that neither
  // pays for the kernel's writeback of the large write before it.
  sync();
  start = Clock::now();
  const bool ok = tm::CopyCommonFields(source, target, "bcclaim");
  const double copy = Seconds(start);
  std::printf("CopyCommonFields: %s in %.2f s = %.0f records/s (index rebuilt: %zu tags)\n",
              ok ? "done" : "FAILED", copy, records / copy, newLayout->tags.size());

  sync();
  start = Clock::now();
  const std::string cp = "cp '" + source + "bcclaim.dbf' '" + root + "/copy.dbf'";
  const int rc = std::system(cp.c_str());
  const double plain = Seconds(start);
  std::printf("cp of the .dbf:   %.2f s = %.0f records/s (%.0f MB/s)%s\n", plain, records / plain,
              dbf / 1e6 / plain, rc == 0 ? "" : " (cp failed)");
  std::printf("ratio: the record copy takes %.1fx the time of cp\n", copy / plain);
  tm::CloseRunContext();
  if (own) std::filesystem::remove_all(root);
  return ok ? 0 : 1;
}
