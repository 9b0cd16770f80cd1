// ReindexAllDatabaseFiles over an installation of 20,000 claims (made once
// by the host's installer in a temporary folder): every listed table and
// every claim archive table repaired and reindexed, per call.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/installation.h"
#include "tabmend/maintenance/maintenance_api.h"

namespace {

std::string& Installation() {
  static std::string root;
  if (root.empty()) {
    char pattern[] = "/tmp/reindex-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    root = pattern;
    setenv("TALVEX_REGISTRY", (root + "/registry.reg").c_str(), 1);
    talvex::host::InstallOptions options;
    options.dir = root;
    options.sample.claims = 20000;
    options.quiet = true;
    std::string error;
    if (!talvex::host::Install(options, stdout, &error)) std::abort();
  }
  return root;
}

void BM_ReindexAllDatabaseFiles(benchmark::State& state) {
  Installation();
  std::vector<char> keys(64 * 4, '\0'), values(1024 * 4, '\0');
  for (auto _ : state) {
    TabmendCallRecord record{};
    record.KeyStride = 64;
    record.ValueStride = 1024;
    record.KeySlots = keys.data();
    record.ValueSlots = values.data();
    if (ReindexAllDatabaseFiles(&record) != 0) {
      state.SkipWithError(values.data());
      break;
    }
  }
}
BENCHMARK(BM_ReindexAllDatabaseFiles)->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove_all(Installation());
  return 0;
}
