#include "security_flag_update.h"

#include <stdexcept>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "platform/ascii_text.h"
#include "c4dll.h"
#include "common/locations/installation_locations.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "common/updatelock/update_lock.h"

namespace talvex::qmrsec01 {
namespace {

const char kAccessTitle[] = "QMRSEC01: Database Access Error";
const char kMissingTitle[] = "QMRSEC01: Required File Not Found";
const char kUnexpected[] =
    "ERROR: An unexpected exception has occurred updating the User Security database file "
    "(ISEC.DBF). Contact your distributor for assistance.";

const char kUpdateRunning[] =
    "ERROR: Another workstation is updating the database tables. Try again when it has "
    "finished.";
const char kUpdatePending[] =
    "ERROR: An update of the database tables did not finish. Run the update again before "
    "updating the User Security database file (ISEC.DBF).";

void ShowError(const char* title, const char* text) {
  platform::showMessage(title, text, platform::MessageIcon::Error);
}

// A failure without a message of its own: the unexpected-exception box.
struct Unexpected : std::runtime_error {
  Unexpected() : std::runtime_error("unexpected") {}
};

// The table, unlocked and closed on every path; the context released last.
class SecurityTable {
 public:
  SecurityTable() : context_(code4initP()) {}
  ~SecurityTable() {
    if (table_ != 0) {
      d4unlock(table_);
      d4close(table_);
    }
    if (context_ != 0) code4initUndo(context_);
  }
  SecurityTable(const SecurityTable&) = delete;
  SecurityTable& operator=(const SecurityTable&) = delete;

  void open(const std::string& path) {
    if (context_ == 0) throw Unexpected();
    table_ = d4open(context_, path.c_str());
    if (table_ == 0) throw Unexpected();
  }
  C4Table get() const { return table_; }

 private:
  C4Context context_;
  C4Table table_ = 0;
};

void SetFlagOnEveryUser(C4Table t) {
  C4Tag tag = d4tag(t, "BY_NAME");
  if (tag == 0 || d4tagSelectP(t, tag) != 0) throw Unexpected();
  C4Field flags = d4field(t, "SEC_FLAGS1");
  if (flags == 0) throw Unexpected();
  int status = d4top(t);
  while (status == 0 && !d4eof(t)) {
    const long value = f4int(flags);
    if (value != kAllFlags) {
      if (d4lockInternal(t, d4recNoLow(t), 1, 1) != 0) throw Unexpected();
      if (f4assignInt(flags, value | kSecurityBit) != 0) throw Unexpected();
      if (d4unlock(t) != 0) throw Unexpected();
    }
    status = d4skip(t, 1);
  }
  if (status != 0 && status != 3) throw Unexpected();
}

void UpdateTable(const std::string& path, bool promptMode) {
  SecurityTable table;
  try {
    table.open(path);
    if (d4reindex(table.get()) != 0) {
      ShowError(kAccessTitle,
                "ERROR: Unable to reindex the User Security database file (ISEC.DBF). Contact "
                "your distributor for assistance.");
      return;
    }
    SetFlagOnEveryUser(table.get());
    if (d4reindex(table.get()) != 0) {
      ShowError(kAccessTitle,
                "ERROR: Unable to reindex the User Security database file (ISEC.DBF) following "
                "update operation. Contact your distributor for assistance.");
      return;
    }
  } catch (...) {
    ShowError(kAccessTitle, kUnexpected);
    return;
  }
  if (promptMode) {
    platform::showMessage("User Security Status",
                          "The User Security reference file has been successfully updated.",
                          platform::MessageIcon::Information);
  }
}

}  // namespace

bool PromptModeOf(int argc, const char* const* argv) {
  if (argc < 2 || argv[1] == nullptr) return false;
  return talvex::ascii::upper(argv[1]) == "/PROMPT";
}

std::string ProgramFolder() {
  std::string path;
#ifdef _WIN32
  std::vector<char> buffer(MAX_PATH * 4);
  const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  path.assign(buffer.data(), n);
#else
  std::vector<char> buffer(4096);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n > 0) path.assign(buffer.data(), static_cast<size_t>(n));
#endif
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool EngineLibraryPresent(const std::string& programFolder) {
  if (platform::isFile(programFolder + "C4DLL.DLL")) return true;
#ifndef _WIN32
  if (platform::isFile(programFolder + "libc4dll.so")) return true;
  if (platform::isFile(programFolder + "../lib/libc4dll.so")) return true;
#endif
  return false;
}

void RunSecurityFlagUpdate(bool promptMode) {
  common::InstallationLocations where;
  const bool located = common::readInstallationLocations(&where, common::WorkDirectories::None);
  const bool engine = EngineLibraryPresent(ProgramFolder());
  const bool table = located && platform::isFile(where.DataDirectory + "ISEC.DBF");
  if (!located) {
    ShowError("QMRSEC01: Configuration Setting Error",
              "ERROR: Unable to locate the Talvex Nova32 installation on this system. Contact your "
              "distributor for assistance.");
    return;
  }
  if (!engine) {
    ShowError(kMissingTitle,
              "ERROR: Unable to locate the C4DLL.DLL file in the current folder. Contact your "
              "distributor for assistance.");
    return;
  }
  if (!table) {
    ShowError(kMissingTitle,
              "ERROR: Unable to locate the User Security database file (ISEC.DBF). Contact your "
              "distributor for assistance.");
    return;
  }
  // ISEC.DBF is one of the tables an update replaces: not while one runs,
  // nor while one that did not finish would put it back from its backup.
  common::LockOutcome outcome;
  auto lock = common::UpdateLock::Acquire(where.DataDirectory,
                                          common::WaitBound(common::kMaintenanceWait), nullptr,
                                          &outcome);
  if (!lock) {
    ShowError(kAccessTitle, outcome == common::LockOutcome::TimedOut ? kUpdateRunning : kUnexpected);
    return;
  }
  if (common::ReadPendingUpdate(where.DataDirectory)) {
    ShowError(kAccessTitle, kUpdatePending);
    return;
  }
  UpdateTable(where.DataDirectory + "ISEC", promptMode);
}

}  // namespace talvex::qmrsec01
