// A second workstation for the counter tests: loads the built roster library
// as the host does, opens its own engine context and takes N claim numbers
// through the library's counter export, writing each to a file.
// Usage: qmrbsrst_counter_worker DATA_DIR N OUT_FILE. Exit 0 when every call
// gave a number.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "c4dll.h"
#include "host/roster/roster_library.h"
#include "library_path.h"
#include "qmrbsrst/frame/call_records.h"
#include "qmrbsrst/settings/control_counter.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  talvex::host::RosterLibrary library(talvex::qmrbsrst::testing::RosterLibraryPath());
  auto take = reinterpret_cast<talvex::host::RosterRecordExport>(
      library.symbol("Next1500RosterControlCounter"));
  if (take == nullptr) {
    std::fprintf(stderr, "worker: %s\n", library.error().c_str());
    return 3;
  }
  C4Context context = code4initP();
  if (context == 0) return 4;
  FILE* out = std::fopen(argv[3], "w");
  if (out == nullptr) return 5;
  const int count = std::atoi(argv[2]);
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    talvex::qmrbsrst::TRosterCounterCall call{};
    call.dataDirectory.assign(argv[1]);
    call.context = context;
    call.kind = talvex::qmrbsrst::kClaimNumberCounter;
    int32_t value = take(&call);
    if (value == -1 || value != call.value) {
      ++failures;
    } else {
      std::fprintf(out, "%d\n", static_cast<int>(value));
    }
  }
  std::fclose(out);
  code4initUndo(context);
  return failures == 0 ? 0 : 1;
}
