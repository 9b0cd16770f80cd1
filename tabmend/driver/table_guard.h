// Exclusive use of the tables an update call replaces or rolls back, so that
// no file is deleted, moved or overwritten while another process has it open.
//
// A TableGuard opens tables through the engine with access mode 2 in a
// context of its own: while it holds one, no other process (workstation,
// claim generation, the host) can open it, and the guard's open is refused
// while any other process has it open. The engine shares a table's state by
// path within a process, so a handle must not outlive a swap of its files:
// the swap and the rollback release a table right before they touch its
// files and hold it again right after (ReleaseTable, HoldTable).
//
// One guard at a time is the call's guard (from construction to
// destruction); the free functions act on it and do nothing without one, so
// the procedure can run alone in tests. Destroying the guard closes every
// handle; the OS drops the engine's locks of a killed process. Nothing
// throws; one thread.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "c4dll.h"

namespace talvex::tabmend {

struct GuardedTable {
  std::string folder;  // host text ending in "\"
  std::string base;
};

class TableGuard {
 public:
  TableGuard();
  ~TableGuard();
  TableGuard(const TableGuard&) = delete;
  TableGuard& operator=(const TableGuard&) = delete;

  // Holds every listed table whose data file exists, retrying while one is
  // in use elsewhere for up to the wait bound. False, with the refusal
  // stored (naming the first table still in use) when the wait runs out; the
  // tables already held stay held.
  [[nodiscard]] bool HoldAll(const std::vector<GuardedTable>& tables);

  // Holds the table now, without waiting; false only when another process
  // has it open (`why` gets the engine's text). A table without a data file,
  // or one the engine cannot open for another reason, is not held.
  [[nodiscard]] bool Hold(const std::string& folder, const std::string& base, std::string* why = nullptr);
  void Release(const std::string& folder, const std::string& base);

 private:
  C4Context context_ = 0;
  std::map<std::string, C4Table> held_;  // upper-cased folder + base
};

// The refusals for a table in use elsewhere, and for one nobody may write.
std::string TableInUseText(const std::string& folder, const std::string& base);
std::string TableNotWritableText(const std::string& folder, const std::string& base);

// On the call's guard (true / nothing without one). HoldTable stores the
// refusal and notes it in the run log when the table is in use.
[[nodiscard]] bool HoldTable(const std::string& folder, const std::string& base);
[[nodiscard]] bool HoldTables(const std::vector<GuardedTable>& tables);  // TableGuard::HoldAll
void ReleaseTable(const std::string& folder, const std::string& base);

}  // namespace talvex::tabmend
