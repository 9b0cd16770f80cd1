// The maintenance exports beside the update call: each takes the data
// folder's update lock (common/updatelock) for its whole run, waiting
// briefly for an update at another workstation, and the ones that write
// tables refuse while an update that did not finish is pending, since that
// update's next call would put its tables back from the backups over what
// they wrote.
//
// Needs the run folders (SetUpRunFolders). Notes what it refused for in the
// call's failure detail.
#pragma once

#include <memory>
#include <string>

#include "common/updatelock/update_lock.h"

namespace talvex::tabmend {

enum class PendingUpdates { Allowed, Refused };

// "" with the lock in *lock, or the refusal text.
std::string GuardAgainstUpdates(std::unique_ptr<common::UpdateLock>* lock, PendingUpdates pending);

}  // namespace talvex::tabmend
