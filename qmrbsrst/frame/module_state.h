// The library's module state: what the current export call has read (its
// directories, the roster settings, the ICD settings and the ICD rule list).
//
// Each export replaces it at its start, so nothing carries over from one call
// to the next. The host never overlaps calls into the library, which is why
// the state has no lock; it must not be used from two threads at once. The
// reference stays valid for the life of the library.
#pragma once

#include <string>
#include <string_view>

#include "qmrbsrst/settings/icd_rules.h"
#include "qmrbsrst/settings/icd_settings.h"
#include "qmrbsrst/settings/roster_settings.h"

namespace talvex::qmrbsrst {

struct RosterModuleState {
  std::string dataDirectory;
  std::string configDirectory;
  RosterSettings roster;
  IcdSettings icd;
  IcdRuleList icdRules;

  // Back to the state before any call.
  void Reset() { *this = RosterModuleState{}; }
  // Takes the data directory and reads the roster settings from it.
  void LoadRosterSettings(std::string_view data);
  // Takes the configuration directory, reads the ICD settings and builds the
  // rule list from them.
  void LoadIcdSettings(std::string_view config);
};

RosterModuleState& ModuleState();

}  // namespace talvex::qmrbsrst
