#include "driver/progress.h"

#include <cstdio>

#include "driver/run_log.h"
#include "driver/run_state.h"
#include "platform/exception_text.h"

namespace talvex::tabmend {
namespace {

TabmendProgressObserver g_observer = nullptr;
void* g_context = nullptr;
TabmendProgress g_position{};

void Notify(TabmendProgress report) {
  if (g_observer == nullptr) return;
  try {
    g_observer(g_context, &report);
  } catch (...) {
    // The observer only watches; its faults must not end the run.
    NoteFailureDetail("progress observer: " + platform::CurrentExceptionText());
  }
}

}  // namespace

void SetProgressObserver(TabmendProgressObserver observer, void* context) {
  g_observer = observer;
  g_context = context;
}

void SetProgressPosition(int update, int ordinal, int count) {
  g_position = TabmendProgress{};
  g_position.Update = update;
  g_position.Ordinal = ordinal;
  g_position.Count = count;
  g_position.Table = "";
  g_position.Location = "";
}

// The outcomes and record counts also go to the run log.
void Log(TabmendProgressPhase phase, int update) {
  const char* what = phase == TABMEND_PROGRESS_APPLIED      ? "applied"
                     : phase == TABMEND_PROGRESS_NOT_NEEDED ? "not-needed"
                     : phase == TABMEND_PROGRESS_FAILED     ? "failed"
                                                            : nullptr;
  char line[64];
  if (what != nullptr) {
    std::snprintf(line, sizeof line, "update %04d %s", update, what);
    NoteRunLogLine(line);
  } else if (phase == TABMEND_PROGRESS_ROLLBACK) {
    std::snprintf(line, sizeof line, "rollback %04d", update);
    NoteRunLogLine(line);
  }
}

void ReportUpdatePhase(TabmendProgressPhase phase) {
  Log(phase, g_position.Update);
  TabmendProgress report = g_position;
  report.Phase = phase;
  Notify(report);
}

void ReportUpdatePhase(TabmendProgressPhase phase, int update) {
  Log(phase, update);
  TabmendProgress report = g_position;
  report.Phase = phase;
  report.Update = update;
  Notify(report);
}

void ReportRecords(const std::string& table, const std::string& location, int32_t done,
                   int32_t total) {
  TabmendProgress report = g_position;
  report.Phase = TABMEND_PROGRESS_RECORDS;
  report.Table = table.c_str();
  report.Location = location.c_str();
  report.Done = done;
  report.Total = total;
  if (done == total) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d", g_position.Update);
    NoteRunLogLine("table " + std::string(number) + " " + table + " " + std::to_string(total) +
                   " " + location);
  }
  Notify(report);
}

void ReportWaiting(int32_t waitedSeconds, int32_t boundSeconds) {
  TabmendProgress report{};
  report.Phase = TABMEND_PROGRESS_WAITING;
  report.Table = "";
  report.Location = "";
  report.Done = waitedSeconds;
  report.Total = boundSeconds;
  Notify(report);
}

void ReportWaitingForTable(const std::string& location, const std::string& base,
                           int32_t waitedSeconds, int32_t boundSeconds) {
  TabmendProgress report{};
  report.Phase = TABMEND_PROGRESS_WAITING;
  report.Table = base.c_str();
  report.Location = location.c_str();
  report.Done = waitedSeconds;
  report.Total = boundSeconds;
  Notify(report);
}

}  // namespace talvex::tabmend
