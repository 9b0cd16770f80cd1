// The whole update series from the oldest release: UpdateDatabaseStructures
// over a fresh installation (20,000 claims unless argv[1] says), beside `cp -r`
// of its data folder (the least any run that rewrites every table can cost).
// Each run also updates a second copy with syncs skipped, to show what
// syncing costs. Usage: update_bench [claims] [runs]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/fault_seam.h"
#include "host/installation.h"
#include "tabmend/tabmend_api.h"

namespace {

namespace stdfs = std::filesystem;

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// cp -r of the installation's data folder (tables in the page cache, as the
// update finds them).
double CopyDataFolder(const std::string& root) {
  std::error_code ec;
  stdfs::remove_all(root + "/data-copy", ec);
  const std::string cp = "cp -r '" + root + "/data' '" + root + "/data-copy'";
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(cp.c_str());
  const double seconds = Since(start);
  stdfs::remove_all(root + "/data-copy", ec);
  return rc == 0 ? seconds : -1;
}

double UpdateOnce(const std::string& root, int claims, bool sync, int32_t* syncs, double* cp) {
  std::error_code ec;
  stdfs::remove_all(root, ec);
  stdfs::create_directories(root);
  setenv("TALVEX_REGISTRY", (root + "/registry.reg").c_str(), 1);
  talvex::host::InstallOptions options;
  options.dir = root;
  options.release = talvex::host::ReleaseNumber{1, 65, 0, 100};
  options.sample.claims = claims;
  options.sample.seed = 5;
  options.quiet = true;
  std::string error;
  if (!talvex::host::Install(options, stdout, &error)) {
    std::fprintf(stderr, "install failed: %s\n", error.c_str());
    std::exit(1);
  }
  std::vector<char> keys(64 * 4, '\0'), values(1024 * 4, '\0');
  TabmendCallRecord record{};
  record.KeyStride = 64;
  record.ValueStride = 1024;
  record.KeySlots = keys.data();
  record.ValueSlots = values.data();
  if (cp) *cp = CopyDataFolder(root);
  c4faultClear();
  c4faultSetSync(sync ? 1 : 0);
  const auto start = std::chrono::steady_clock::now();
  const int32_t result = UpdateDatabaseStructures(&record);
  const double seconds = Since(start);
  *syncs = c4faultCount(TALVEX_FAULT_SYNC);
  c4faultSetSync(1);
  if (result != 0) {
    std::fprintf(stderr, "update failed: %s\n", values.data());
    std::exit(1);
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int claims = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
  char pattern[] = "/tmp/update-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string root = std::string(pattern) + "/i";
  std::printf("update from 1.65.0.100, %d claims, %d runs\n", claims, runs);
  for (int run = 0; run < runs; ++run) {
    int32_t synced = 0, skipped = 0;
    double cp = 0;
    const double with = UpdateOnce(root, claims, true, &synced, &cp);
    const double without = UpdateOnce(root, claims, false, &skipped, nullptr);
    std::printf("run %d: update %.2f s with %d syncs, %.2f s with syncs skipped (+%.0f%%); "
                "cp -r of the data folder %.2f s; update/cp %.0fx\n",
                run + 1, with, synced, without, 100.0 * (with - without) / without, cp,
                cp > 0 ? with / cp : 0.0);
  }
  stdfs::remove_all(pattern);
  return 0;
}
