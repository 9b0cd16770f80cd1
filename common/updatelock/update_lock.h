// One update at a time per data folder, seen by every workstation that shares
// it, and the mark of an update call that has not finished.
//
// The lock is an OS byte-range lock on the file "tabmend.lck" in the data
// folder (fcntl on POSIX, LockFileEx on Windows, through platform::File). The
// OS drops it when its holder closes the file or dies, so a killed call never
// leaves it held. An UpdateLock owns the open file; destroying it releases
// the lock. Every workstation that writes tables wholesale (the update call,
// reindex-all, the revenue-code exports, qmrsec01) takes it for its whole job.
//
// The pending mark is the file "tabmend.pnd" beside it: an update call writes
// it (synced) before its journal and removes it after the journal, so while
// any workstation's update journal is pending every workstation sees the
// mark, even one whose own install folder holds no journal. It names the
// workstation and the journal. Jobs that would write into tables the pending
// call puts back from its backups refuse while it is there.
//
// Nothing throws; nothing is shown. One thread per UpdateLock.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace talvex::platform {
class File;
}

namespace talvex::common {

inline constexpr char kUpdateLockName[] = "tabmend.lck";
inline constexpr char kPendingUpdateName[] = "tabmend.pnd";

// How long an update call waits for another one: 10 minutes.
inline constexpr std::chrono::milliseconds kUpdateWait{600000};
// How long the shorter jobs (reindex-all, revenue codes, qmrsec01) wait.
inline constexpr std::chrono::milliseconds kMaintenanceWait{30000};

// `wanted`, or less when the file seam shortens waits (platform/file_seam.h:
// in the test variants, TALVEX_UPDATE_WAIT_MS); never longer. The shipped
// files wait the full bound.
std::chrono::milliseconds WaitBound(std::chrono::milliseconds wanted);

enum class LockOutcome {
  Held,      // the lock is this process's
  TimedOut,  // another holder kept it for the whole bound
  Failed,    // the lock file cannot be opened or created (error says why)
};

class UpdateLock {
 public:
  ~UpdateLock();
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

  // Takes the lock of the data folder (host text ending in "\"), waiting up
  // to `bound`. While it waits, onWait (when given) is called at once and
  // then about every second with the time waited so far. Gives the lock with
  // Held, else nullptr and why.
  static std::unique_ptr<UpdateLock> Acquire(
      const std::string& dataFolder, std::chrono::milliseconds bound,
      const std::function<void(std::chrono::milliseconds waited)>& onWait, LockOutcome* outcome,
      std::string* error = nullptr);

 private:
  explicit UpdateLock(std::unique_ptr<platform::File> file);
  std::unique_ptr<platform::File> file_;
};

struct PendingUpdate {
  std::string workstation;  // host name of the workstation whose call it is
  std::string journal;      // that call's journal (a path on that workstation)
};

std::string PendingUpdatePath(const std::string& dataFolder);

// Writes the mark (synced, file and folder); false when it cannot.
[[nodiscard]] bool WritePendingUpdate(const std::string& dataFolder, const PendingUpdate& pending);
// Removes the mark (folder synced); true when none is left.
[[nodiscard]] bool RemovePendingUpdate(const std::string& dataFolder);
// The mark, or nullopt when there is none. A mark that cannot be read or
// decoded still counts: it comes back with empty fields.
std::optional<PendingUpdate> ReadPendingUpdate(const std::string& dataFolder);

// The refusal of a job while an update is pending, naming its workstation
// and journal.
std::string PendingUpdateRefusal(const PendingUpdate& pending);
// The refusal of a job that waited out the lock.
std::string UpdateInProgressRefusal(const std::string& dataFolder);

}  // namespace talvex::common
