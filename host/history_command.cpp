#include "history_command.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/locations/installation_locations.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "common/runlog/run_log_format.h"
#include "host/registry_file.h"

namespace talvex::host {
namespace {

namespace runlog = common::runlog;

std::string Grouped(long long value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
  return digits;
}

std::string Number(int update) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d", update);
  return text;
}

std::string Duration(long long seconds) {
  if (seconds < 0) return "-";
  if (seconds < 60) return std::to_string(seconds) + " s";
  return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

std::string Updates(const runlog::LoggedCall& call) {
  int applied = 0;
  for (const runlog::LoggedUpdate& update : call.updates) applied += update.outcome == "applied";
  if (call.updates.empty()) return "none";
  return std::to_string(applied) + " applied of " + std::to_string(call.updates.size());
}

void PrintCall(const runlog::LoggedCall& call, std::FILE* out) {
  long long records = 0;
  for (const runlog::LoggedTable& table : call.tables) records += table.records;
  std::fprintf(out, "%-19s  %-12s  %-6s  %-12s  %-20s  %s\n", call.started.c_str(),
               call.workstation.c_str(), call.result == 0 ? "ok" : "FAILED",
               Duration(runlog::DurationSeconds(call)).c_str(), Updates(call).c_str(),
               Grouped(records).c_str());
  if (call.result == 0) return;
  int failed = 0;
  for (const runlog::LoggedUpdate& update : call.updates) {
    if (update.outcome == "failed") failed = update.number;
  }
  std::string rolledBack;
  for (int number : call.rollbacks) rolledBack += (rolledBack.empty() ? "" : " ") + Number(number);
  std::fprintf(out, "    failed: %s%s%s\n",
               failed != 0 ? ("update " + Number(failed)).c_str() : "before any update",
               rolledBack.empty() ? "" : "; rolled back: ", rolledBack.c_str());
  for (const std::string& line : call.error) std::fprintf(out, "    error: %s\n", line.c_str());
  for (const std::string& line : call.detail) std::fprintf(out, "    detail: %s\n", line.c_str());
}

}  // namespace

int RunHistoryCommand(int argc, char** argv) {
  long limit = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--limit" || a == "--registry") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (a == "--limit") {
        char* end = nullptr;
        limit = std::strtol(value.c_str(), &end, 10);
        if (end == value.c_str() || *end != '\0' || limit < 0) {
          std::fprintf(stderr, "talvexhost: --limit takes a count\n");
          return 2;
        }
      } else {
        talvex::host::UseRegistryFile(value);
      }
      continue;
    }
    std::fprintf(stderr, "talvexhost: bad option %s\n", a.c_str());
    return 2;
  }
  common::InstallationLocations found;
  (void)common::readInstallationLocations(&found, common::WorkDirectories::None);  // tested below
  if (found.InstallDirectory.empty()) {
    ReportNoInstallation();
    return 1;
  }
  const std::string path = found.InstallDirectory + "update\\tabmend.log";
  if (!platform::pathExists(path)) {
    std::printf("no update call has run here yet (%s)\n", path.c_str());
    return 0;
  }
  std::string text;
  if (!platform::readWholeFile(path, &text)) {
    std::fprintf(stderr, "talvexhost: cannot read %s: %s\n", path.c_str(),
                 platform::lastFileError().c_str());
    return 1;
  }
  const runlog::RunLogReading reading = runlog::ReadRunLog(text);
  if (reading.foreign) {
    std::fprintf(stderr, "talvexhost: %s is not a run log (line %zu: %s); skipped\n", path.c_str(),
                 reading.skipped.front().first, reading.skipped.front().why.c_str());
    return 1;
  }
  for (const runlog::SkippedLines& skipped : reading.skipped) {
    std::fprintf(stderr, "talvexhost: %s lines %zu-%zu skipped: %s\n", path.c_str(), skipped.first,
                 skipped.last, skipped.why.c_str());
  }
  std::printf("%-19s  %-12s  %-6s  %-12s  %-20s  %s\n", "when", "workstation", "result", "duration",
              "updates", "records");
  const size_t count = reading.calls.size();
  const size_t from = limit >= 0 && static_cast<size_t>(limit) < count ? count - limit : 0;
  for (size_t i = from; i < count; ++i) PrintCall(reading.calls[i], stdout);
  return 0;
}

}  // namespace talvex::host
