#include "maintenance/update_guard.h"

#include "driver/run_state.h"

namespace talvex::tabmend {

std::string GuardAgainstUpdates(std::unique_ptr<common::UpdateLock>* lock, PendingUpdates pending) {
  const std::string& data = Folders().data;
  common::LockOutcome outcome;
  std::string why;
  *lock = common::UpdateLock::Acquire(data, common::WaitBound(common::kMaintenanceWait), nullptr,
                                      &outcome, &why);
  if (!*lock) {
    NoteFailureDetail("update lock: " + why);
    if (outcome == common::LockOutcome::TimedOut) return common::UpdateInProgressRefusal(data);
    return "Unable to locate (or create) critical directories.";
  }
  if (pending == PendingUpdates::Refused) {
    if (std::optional<common::PendingUpdate> mark = common::ReadPendingUpdate(data)) {
      lock->reset();
      NoteFailureDetail("pending mark " + common::PendingUpdatePath(data));
      return common::PendingUpdateRefusal(*mark);
    }
  }
  return std::string();
}

}  // namespace talvex::tabmend
