#include "update_command.h"

#include "common/locations/installation_locations.h"
#include "platform/file_system.h"
#include "common/runlog/run_log_format.h"
#include "host/progress_display.h"
#include "tabmend_library.h"
#include "token_table.h"

namespace talvex::host {
namespace {

struct ProgressSink {
  ProgressDisplay display;
  UpdateRun* run;
};

const char* PhaseText(int phase) {
  switch (phase) {
    case TABMEND_PROGRESS_NOT_NEEDED: return "already current";
    case TABMEND_PROGRESS_APPLIED: return "updated";
    case TABMEND_PROGRESS_FAILED: return "FAILED";
    default: return "";
  }
}

void TABMEND_API OnProgress(void* context, const TabmendProgress* p) {
  auto* sink = static_cast<ProgressSink*>(context);
  if (p->Phase == TABMEND_PROGRESS_APPLIED) sink->run->applied.push_back(p->Update);
  char line[200];
  switch (p->Phase) {
    case TABMEND_PROGRESS_START:
      break;  // the outcome line follows at once; long copies report records
    case TABMEND_PROGRESS_RECORDS: {
      if (p->Total < 4096) break;  // a small table is copied before anyone could watch it
      std::snprintf(line, sizeof line, "  [%2d/%2d] update %04d  copying %s: %d of %d records",
                    p->Ordinal, p->Count, p->Update, p->Table, p->Done, p->Total);
      const std::string series = std::to_string(p->Update) + p->Table + p->Location;
      sink->display.step(series, line, p->Done, p->Total);
      break;
    }
    case TABMEND_PROGRESS_WAITING:
      if (p->Table != nullptr && *p->Table != '\0') {
        std::snprintf(line, sizeof line,
                      "          waiting for %s%s to be closed at another workstation (%d s of "
                      "at most %d s)",
                      p->Location != nullptr ? p->Location : "", p->Table, p->Done, p->Total);
        sink->display.phase(line);
        break;
      }
      std::snprintf(line, sizeof line,
                    "          waiting for another workstation's update to finish (%d s of at most "
                    "%d s)",
                    p->Done, p->Total);
      sink->display.phase(line);
      break;
    case TABMEND_PROGRESS_ROLLBACK:
      std::snprintf(line, sizeof line, "          rolling back update %04d", p->Update);
      sink->display.phase(line);
      break;
    default:
      std::snprintf(line, sizeof line, "  [%2d/%2d] update %04d  %s", p->Ordinal, p->Count,
                    p->Update, PhaseText(p->Phase));
      sink->display.phase(line);
      break;
  }
}

}  // namespace

UpdateRun RunUpdate(const std::optional<std::string>& versionText, std::FILE* progress) {
  UpdateRun run;
  TabmendLibrary library;
  if (!library.loaded()) {
    run.error = library.error();
    return run;
  }
  run.loaded = true;
  ProgressSink sink{ProgressDisplay(progress), &run};
  // A library without the export runs the same, only without progress lines.
  (void)library.SetProgressObserver(&OnProgress, &sink);

  TokenTable tokens;
  tokens.add("%PRODUCT%", "Talvex Nova32");
  tokens.add("%OPERATOR%", "front desk");
  run.result = library.UpdateDatabaseStructures(
      tokens.record(versionText ? versionText->c_str() : nullptr));
  (void)library.SetProgressObserver(nullptr, nullptr);
  run.tokens = tokens.entries();
  if (run.result != 0) {
    common::InstallationLocations where;
    // Whatever it finds is enough: an empty install folder is tested below.
    (void)common::readInstallationLocations(&where, common::WorkDirectories::None);
    if (!where.InstallDirectory.empty()) {
      for (const std::string& line : LastRunLogBlock(where.InstallDirectory + "update\\tabmend.log")) {
        if (line.rfind("detail ", 0) == 0) run.detail.push_back(line.substr(7));
      }
    }
  }
  return run;
}

std::vector<std::string> LastRunLogBlock(const std::string& logPath) {
  std::string text;
  if (!platform::readWholeFile(logPath, &text)) return {};
  return common::runlog::LastBlockLines(text);
}

void PrintUpdateDetail(const UpdateRun& run, std::FILE* err) {
  for (const std::string& line : run.detail) std::fprintf(err, "talvexhost: detail: %s\n", line.c_str());
}

void PrintUpdateRun(const UpdateRun& run, std::FILE* out) {
  std::fprintf(out, "result: %d\n", run.result);
  for (const auto& [key, value] : run.tokens) std::fprintf(out, "%s=%s\n", key.c_str(), value.c_str());
}

}  // namespace talvex::host
