#include "driver/call_checks.h"

#include <string>

#include "platform/ascii_text.h"
#include "driver/run_list.h"
#include "driver/run_state.h"
#include "driver/update_journal.h"
#include "platform/file_system.h"

namespace talvex::tabmend {
namespace {

// Upper case with "\\" for "/": two spellings of one path compare equal.
std::string Upper(std::string_view path) {
  std::string text = ascii::upper(path);
  for (char& c : text) c = c == '/' ? '\\' : c;
  return text;
}

}  // namespace

std::optional<common::PendingUpdate> MarkOfAnotherCall() {
  std::optional<common::PendingUpdate> mark = common::ReadPendingUpdate(Folders().data);
  // Install folders often have the same path on every workstation: the
  // workstation's name tells them apart.
  if (!mark || (!mark->journal.empty() && Upper(mark->journal) == Upper(JournalPath()) &&
                Upper(mark->workstation) == Upper(platform::workstationName()))) {
    return std::nullopt;
  }
  return mark;
}

std::vector<GuardedTable> RunTables(int first) {
  std::vector<GuardedTable> tables;
  const auto add = [&](const RestructureSpec& row, const TableLocationList& locations) {
    for (const TableLocation& location : locations) {
      for (const UpdatedTable& table : row.tables()) {
        tables.push_back({Folders().data + location.relative, table.base});
      }
    }
  };
  ForEachUpdateOfRun(first, false, add);
  return tables;
}

}  // namespace talvex::tabmend
