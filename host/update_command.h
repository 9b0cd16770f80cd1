// "talvexhost update": one call of UpdateDatabaseStructures through the
// library loaded as the host loads it, with a host-shaped call record whose
// token table already holds two entries of the host's own and has room for
// more. Prints "result: 0" or "result: -1" and every token entry as KEY=VALUE
// to `out`; progress lines (one per update tried) go to `progress` when given.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace talvex::host {

struct UpdateRun {
  bool loaded = false;   // false: the library could not be loaded (see error)
  int result = -1;
  std::vector<std::pair<std::string, std::string>> tokens;
  std::vector<int> applied;  // updates that replaced tables
  std::string error;
  // The "detail" lines of this call's block in the run log (failures only).
  std::vector<std::string> detail;
};

// versionText: nullopt passes a null address (the host file's version decides).
UpdateRun RunUpdate(const std::optional<std::string>& versionText, std::FILE* progress);

void PrintUpdateRun(const UpdateRun& run, std::FILE* out);
// The failure's cause, one "talvexhost: detail: ..." line each (standard error).
void PrintUpdateDetail(const UpdateRun& run, std::FILE* err);

// The lines of the last block of a run log (install + "update\tabmend.log"),
// from its "call" line to its "end" line; empty when there is none.
std::vector<std::string> LastRunLogBlock(const std::string& logPath);

}  // namespace talvex::host
