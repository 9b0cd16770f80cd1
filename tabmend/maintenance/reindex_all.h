// Rebuilding the production index of every table the host lists in
// "TALVEX32.INI" and of every table in the claim archive folders, each after
// its header has been repaired (table_header_repair.h).
//
// RunReindexAll is the body of the export ReindexAllDatabaseFiles: it uses
// the module state of the call (driver/run_state.h: folders, engine context,
// LastErrorText), stops at the first table it cannot handle and leaves that
// table's message in LastErrorText; headers repaired and indexes rebuilt
// before stay so. The caller has called BeginCall and reports the message.
// The tables must not be open anywhere while it runs. One call at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "c4dll.h"

namespace talvex::tabmend {

// The table names of the section "Database Tables": each key up to its first
// "." (a key without one gives ""), in file order.
std::vector<std::string> ListedTables(std::string_view iniPath);

// Full paths of the ".DBF" entries (any case) in the subfolders of
// dataFolder + "archub92\" and then dataFolder + "arch1500\", in the order the
// file system lists them.
std::vector<std::string> ArchiveTables(std::string_view dataFolder);

// Opens folder + name + ".DBF" and its ".MDX" in context c and rebuilds every
// tag. On failure *detail says why ("Unable to open database file.",
// "Unable to open index file." or the engine's text). Closes what it opened
// and clears the error state on every path.
[[nodiscard]] bool ReindexOneTable(C4Context c, std::string_view folder, std::string_view name,
                     std::string* detail);

// True when every table was reindexed; otherwise LastErrorText holds why.
[[nodiscard]] bool RunReindexAll();

}  // namespace talvex::tabmend
