#include "qmrbsrst/frame/module_state.h"

namespace talvex::qmrbsrst {

void RosterModuleState::LoadRosterSettings(std::string_view data) {
  dataDirectory = std::string(data);
  roster = ReadRosterSettings(dataDirectory);
}

void RosterModuleState::LoadIcdSettings(std::string_view config) {
  configDirectory = std::string(config);
  icd = ReadIcdSettings(configDirectory);
  BuildIcdRuleList(icd.master1500IcdVersionControlSettings, &icdRules);
}

RosterModuleState& ModuleState() {
  static RosterModuleState state;
  return state;
}

}  // namespace talvex::qmrbsrst
