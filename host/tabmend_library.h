// The tabmend library loaded the way the host loads it: by file, at run time,
// its functions found by their plain export names.
//
// Linux: libtabmend.so from the lib folder beside the program's bin folder
// (or the file TALVEX_TABMEND names); Windows: tabmend.dll beside the program.
// The library stays loaded until the object is destroyed. One thread.
#pragma once

#include <string>

#include "tabmend/tabmend_api.h"

namespace talvex::host {

class TabmendLibrary {
 public:
  TabmendLibrary();
  ~TabmendLibrary();
  TabmendLibrary(const TabmendLibrary&) = delete;
  TabmendLibrary& operator=(const TabmendLibrary&) = delete;

  [[nodiscard]] bool loaded() const { return update_ != nullptr; }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

  [[nodiscard]] int32_t UpdateDatabaseStructures(TabmendCallRecord* record) const { return update_(record); }
  // -1 without calling anything in a library that has no plan export.
  bool canPlan() const { return plan_ != nullptr; }
  [[nodiscard]] int32_t PlanUpdate(TabmendCallRecord* record, TabmendPlanObserver observer, void* context) const {
    return plan_ != nullptr ? plan_(record, observer, context) : -1;
  }
  // Absent in a library without an observer: then no progress is shown.
  [[nodiscard]] bool SetProgressObserver(TabmendProgressObserver observer, void* context) const;

 private:
  void* handle_ = nullptr;
  std::string path_;
  std::string error_;
  int32_t(TABMEND_API* update_)(TabmendCallRecord*) = nullptr;
  void(TABMEND_API* observe_)(TabmendProgressObserver, void*) = nullptr;
  int32_t(TABMEND_API* plan_)(TabmendCallRecord*, TabmendPlanObserver, void*) = nullptr;
};

// The folder holding the running program, with a trailing separator.
std::string ProgramFolder();

}  // namespace talvex::host
