#include "common/updatelock/update_lock.h"

#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_seam.h"
#include "platform/file_system.h"

namespace talvex::common {
namespace {

namespace fs = talvex::platform;

// A byte far past the file's content: on Windows a locked range cannot be
// read or written, and the file's bytes stay free for anyone this way.
constexpr uint64_t kLockOffset = 0x40000000;
constexpr std::chrono::milliseconds kPoll{100};
constexpr char kMagic[] = "TALVEX PENDING UPDATE 1";

std::string Folder(const std::string& data) {
  if (!data.empty() && data.back() != '\\' && data.back() != '/') return data + "\\";
  return data;
}

}  // namespace

std::chrono::milliseconds WaitBound(std::chrono::milliseconds wanted) {
  const int64_t ms = platform::seam::waitOverrideMs();
  if (ms < 0) return wanted;
  return std::min(wanted, std::chrono::milliseconds(ms));
}

UpdateLock::UpdateLock(std::unique_ptr<platform::File> file) : file_(std::move(file)) {}

UpdateLock::~UpdateLock() {
  if (file_) file_->unlockRange(kLockOffset, 1);
}

std::unique_ptr<UpdateLock> UpdateLock::Acquire(
    const std::string& dataFolder, std::chrono::milliseconds bound,
    const std::function<void(std::chrono::milliseconds)>& onWait, LockOutcome* outcome,
    std::string* error) {
  *outcome = LockOutcome::Failed;
  const std::string path = Folder(dataFolder) + kUpdateLockName;
  std::string why;
  // Opened without create first: once the file is there, taking the lock
  // creates nothing.
  std::unique_ptr<fs::File> file = fs::File::open(path, fs::OpenMode::ReadWrite);
  if (!file) file = fs::File::open(path, fs::OpenMode::OpenOrCreate, &why);
  if (!file) {
    if (error) *error = why;
    return nullptr;
  }
  const auto start = std::chrono::steady_clock::now();
  auto nextReport = start;
  for (;;) {
    const fs::LockResult got = file->lockRange(kLockOffset, 1, true);
    if (got == fs::LockResult::Locked) {
      *outcome = LockOutcome::Held;
      return std::unique_ptr<UpdateLock>(new UpdateLock(std::move(file)));
    }
    if (got == fs::LockResult::Failed) {
      if (error) *error = file->lastError();
      return nullptr;
    }
    const auto now = std::chrono::steady_clock::now();
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - start);
    if (waited >= bound) {
      *outcome = LockOutcome::TimedOut;
      if (error) *error = path + ": in use at another workstation";
      return nullptr;
    }
    if (onWait && now >= nextReport) {
      onWait(waited);
      nextReport = now + std::chrono::seconds(1);
    }
    std::this_thread::sleep_for(std::min(kPoll, bound - waited));
  }
}

std::string PendingUpdatePath(const std::string& dataFolder) {
  return Folder(dataFolder) + kPendingUpdateName;
}

bool WritePendingUpdate(const std::string& dataFolder, const PendingUpdate& pending) {
  const std::string text = std::string(kMagic) + "\nworkstation " + pending.workstation +
                           "\njournal " + pending.journal + "\n";
  return fs::writeWholeFile(PendingUpdatePath(dataFolder), text, true);
}

bool RemovePendingUpdate(const std::string& dataFolder) {
  const std::string path = PendingUpdatePath(dataFolder);
  if (!fs::pathExists(path)) return true;
  if (!fs::deleteFile(path) && fs::pathExists(path)) return false;
  // Unsynced, the mark may come back after a power cut: the next call then
  // checks the folder once more, which costs time only.
  (void)fs::syncDirectory(Folder(dataFolder));
  return true;
}

std::optional<PendingUpdate> ReadPendingUpdate(const std::string& dataFolder) {
  const std::string path = PendingUpdatePath(dataFolder);
  if (!fs::pathExists(path)) return std::nullopt;
  PendingUpdate pending;
  std::vector<std::string> lines;
  if (!fs::readTextLines(path, &lines) || lines.size() != 3 || lines[0] != kMagic) return pending;
  if (lines[1].rfind("workstation ", 0) != 0 || lines[2].rfind("journal ", 0) != 0) return pending;
  pending.workstation = lines[1].substr(12);
  pending.journal = lines[2].substr(8);
  return pending;
}

std::string PendingUpdateRefusal(const PendingUpdate& pending) {
  const std::string who = pending.workstation.empty() ? "another workstation"
                                                      : "workstation " + pending.workstation;
  const std::string journal = pending.journal.empty() ? "" : " (journal " + pending.journal + ")";
  return "The update of the database tables started at " + who + " did not finish" + journal +
         "; its tables would be put back from their backups. Run the update again at that "
         "workstation first. Nothing was changed.";
}

std::string UpdateInProgressRefusal(const std::string& dataFolder) {
  return "Another workstation is updating the database tables in " + dataFolder +
         "; nothing was changed. Try again when it has finished.";
}

}  // namespace talvex::common
