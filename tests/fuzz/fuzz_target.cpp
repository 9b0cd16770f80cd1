// libFuzzer entry: each input is a table's file set (see fuzz_walk.h).
// TALVEX_FUZZ_NO_INDEX=1 leaves the .mdx out, for runs on .dbf/.dbt alone.
// TALVEX_FUZZ_RUNAWAY_OK=1 lets a walk that does not end pass (it is cut at
// its cap), so a run can look past an already reported hang.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "fuzz_walk.h"

namespace {
std::unique_ptr<talvex::fuzz::FuzzFolder> g_folder;
bool g_allow_index = true;
bool g_runaway_ok = false;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  g_folder = std::make_unique<talvex::fuzz::FuzzFolder>();
  const char *no_index = std::getenv("TALVEX_FUZZ_NO_INDEX");
  g_allow_index = !(no_index && no_index[0] == '1');
  const char *runaway = std::getenv("TALVEX_FUZZ_RUNAWAY_OK");
  g_runaway_ok = runaway && runaway[0] == '1';
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size > 256 * 1024) return -1;  // keep inputs small and runs fast
  talvex::fuzz::WalkResult r =
      talvex::fuzz::WalkFiles(talvex::fuzz::SplitInput(data, size), *g_folder, g_allow_index);
  if (!r.problem.empty() && !(g_runaway_ok && r.problem == "tag walk did not end")) {
    // A hang or runaway walk is a finding too: stop so libFuzzer keeps the input.
    std::fprintf(stderr, "engine misbehaved: %s\n", r.problem.c_str());
    std::abort();
  }
  return 0;
}
