#include "driver/progress.h"

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

void ReportUpdatePhase(TabmendProgressPhase phase) {
  TabmendProgress report = g_position;
  report.Phase = phase;
  Notify(report);
}

void ReportUpdatePhase(TabmendProgressPhase phase, int update) {
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
  Notify(report);
}

}  // namespace talvex::tabmend
