#include "restructure/numbered_update.h"

#include <cstdio>

#include "driver/run_state.h"
#include "catalogue/catalogue.h"

namespace talvex::tabmend {

UpdateOutcome RunNumberedUpdate(int number, bool& applied) {
  applied = false;
  const RestructureSpec* row = FindRestructureSpec(number);
  if (row == nullptr) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "Update%04d- ", number);
    LastErrorText() = std::string(prefix) + "Unexpected exception.";
    return UpdateOutcome::Failed;
  }
  return RunRestructure(*row, applied);
}

bool RestoreNumberedUpdate(int number) {
  const RestructureSpec* row = FindRestructureSpec(number);
  return row == nullptr || RestoreFromBackup(*row);
}

}  // namespace talvex::tabmend
