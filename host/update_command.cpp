#include "update_command.h"

#include "tabmend_library.h"
#include "token_table.h"

namespace talvex::host {
namespace {

struct ProgressSink {
  std::FILE* out;
  UpdateRun* run;
  int lastRecordsUpdate = 0;
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
  if (sink->out == nullptr) return;
  switch (p->Phase) {
    case TABMEND_PROGRESS_START:
      break;  // the outcome line follows at once; long copies report records
    case TABMEND_PROGRESS_RECORDS:
      if (p->Total >= 4096 || sink->lastRecordsUpdate != 0) {
        std::fprintf(sink->out, "  [%2d/%2d] update %04d  copying %s: %d of %d records\n",
                     p->Ordinal, p->Count, p->Update, p->Table, p->Done, p->Total);
      }
      break;
    case TABMEND_PROGRESS_ROLLBACK:
      std::fprintf(sink->out, "          rolling back update %04d\n", p->Update);
      break;
    default:
      std::fprintf(sink->out, "  [%2d/%2d] update %04d  %s\n", p->Ordinal, p->Count, p->Update,
                   PhaseText(p->Phase));
      break;
  }
  std::fflush(sink->out);
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
  ProgressSink sink{progress, &run};
  library.SetProgressObserver(&OnProgress, &sink);

  TokenTable tokens;
  tokens.add("%PRODUCT%", "Talvex Nova32");
  tokens.add("%OPERATOR%", "front desk");
  run.result = library.UpdateDatabaseStructures(
      tokens.record(versionText ? versionText->c_str() : nullptr));
  library.SetProgressObserver(nullptr, nullptr);
  run.tokens = tokens.entries();
  return run;
}

void PrintUpdateRun(const UpdateRun& run, std::FILE* out) {
  std::fprintf(out, "result: %d\n", run.result);
  for (const auto& [key, value] : run.tokens) std::fprintf(out, "%s=%s\n", key.c_str(), value.c_str());
}

}  // namespace talvex::host
