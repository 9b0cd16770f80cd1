#include "driver/table_guard.h"

#include <chrono>
#include <thread>

#include "platform/ascii_text.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "common/updatelock/update_lock.h"
#include "driver/progress.h"
#include "driver/run_log.h"
#include "driver/run_state.h"

namespace talvex::tabmend {
namespace {

TableGuard*& Active() {
  static TableGuard* guard = nullptr;
  return guard;
}

using talvex::ascii::upper;

std::string Key(const std::string& folder, const std::string& base) { return ascii::upper(folder + base); }

// Starts the reason Hold gives for a data file that cannot be opened for
// writing by anyone.
constexpr char kNotWritable[] = "cannot be opened for writing: ";
bool IsNotWritable(const std::string& why) { return why.rfind(kNotWritable, 0) == 0; }

// Between tries: short, since a table is often closed a moment after use.
constexpr std::chrono::milliseconds kRetry{100};

}  // namespace

TableGuard::TableGuard() {
  context_ = code4initP();
  if (context_ != 0) {
    code4autoOpen(context_, 0);
    code4accessMode(context_, 2);
  }
  Active() = this;
}

TableGuard::~TableGuard() {
  if (Active() == this) Active() = nullptr;
  for (auto& [key, table] : held_) d4close(table);
  if (context_ != 0) code4initUndo(context_);
}

bool TableGuard::Hold(const std::string& folder, const std::string& base, std::string* why) {
  if (held_.count(Key(folder, base)) != 0) return true;
  const std::string path = folder + base + ".dbf";
  if (!platform::isFile(path)) return true;
  if (context_ == 0) {
    if (why != nullptr) *why = "no engine context";
    return false;
  }
  C4Table table = d4open(context_, path.c_str());
  const int code = code4errorCode(context_, 0);
  if (table != 0) {
    held_[Key(folder, base)] = table;
    return true;
  }
  // Only another opener counts: a table the engine cannot read (damaged)
  // is refused by its update, with its own text.
  if (code != e4exclusive && code != r4locked) return true;
  if (why != nullptr) *why = error4text(context_, code);
  // A file nobody may write (read-only, protected) is refused the same way
  // by the engine, but waiting for it is pointless and "in use" untrue.
  std::string denied;
  if (!platform::File::open(path, platform::OpenMode::ReadWrite, &denied)) {
    if (why != nullptr) *why = kNotWritable + denied;
  }
  return false;
}


void TableGuard::Release(const std::string& folder, const std::string& base) {
  auto it = held_.find(Key(folder, base));
  if (it == held_.end()) return;
  d4close(it->second);
  held_.erase(it);
}

bool TableGuard::HoldAll(const std::vector<GuardedTable>& tables) {
  const std::chrono::milliseconds bound = common::WaitBound(common::kMaintenanceWait);
  const auto start = std::chrono::steady_clock::now();
  auto lastReport = start - std::chrono::seconds(1);
  bool waited = false;
  for (const GuardedTable& table : tables) {
    std::string why;
    while (!Hold(table.folder, table.base, &why)) {
      const auto now = std::chrono::steady_clock::now();
      const auto so = std::chrono::duration_cast<std::chrono::milliseconds>(now - start);
      if (IsNotWritable(why)) {
        LastErrorText() = TableNotWritableText(table.folder, table.base);
        NoteFailureDetail(table.folder + table.base + ".dbf: " + why);
        return false;
      }
      if (so >= bound) {
        LastErrorText() = TableInUseText(table.folder, table.base);
        NoteFailureDetail("waited " + std::to_string(bound.count() / 1000) + " s for " +
                          table.folder + table.base + ".dbf: " + why);
        return false;
      }
      if (now - lastReport >= std::chrono::seconds(1)) {
        const std::string& data = Folders().data;
        const std::string location = table.folder.rfind(data, 0) == 0
                                         ? table.folder.substr(data.size())
                                         : table.folder;
        ReportWaitingForTable(location, ascii::upper(table.base), static_cast<int32_t>(so.count() / 1000),
                              static_cast<int32_t>(bound.count() / 1000));
        lastReport = now;
      }
      if (!waited) NoteRunLogLine("waiting for " + table.folder + table.base + ".dbf: " + why);
      waited = true;
      std::this_thread::sleep_for(std::min(kRetry, bound - so));
    }
  }
  // Each held table keeps its files open: the count tells a run that ran
  // short of file handles why.
  NoteRunLogLine("holding " + std::to_string(held_.size()) + " tables");
  return true;
}

std::string TableInUseText(const std::string& folder, const std::string& base) {
  return "The table " + folder + ascii::upper(base) +
         " is in use at another workstation and must be closed there first; nothing was changed.";
}

std::string TableNotWritableText(const std::string& folder, const std::string& base) {
  return "The table " + folder + ascii::upper(base) +
         " cannot be opened for writing (a read-only or protected file); nothing was changed.";
}

bool HoldTable(const std::string& folder, const std::string& base) {
  if (Active() == nullptr) return true;
  std::string why;
  if (Active()->Hold(folder, base, &why)) return true;
  LastErrorText() = IsNotWritable(why) ? TableNotWritableText(folder, base)
                                       : TableInUseText(folder, base);
  NoteFailureDetail(folder + base + ".dbf: " + why);
  return false;
}

bool HoldTables(const std::vector<GuardedTable>& tables) {
  return Active() == nullptr || Active()->HoldAll(tables);
}

void ReleaseTable(const std::string& folder, const std::string& base) {
  if (Active() != nullptr) Active()->Release(folder, base);
}

}  // namespace talvex::tabmend
