// The file sets of tables and the three file steps of a restructure: clean a
// folder of a table's files, copy a set from one folder to another, and check
// that a set is present.
//
// Folders are host texts ending in "\" (the routines add one where missing).
// A table's set is base + ".dbf", ".mdx" and, where the rule says so, ".dbt".
// Every file operation goes through the platform layer and so through the
// fault seam. Results are booleans; nothing throws. Uses the run's
// BackedUpTables list (keepOriginal) and nothing else of the run state.
#pragma once

#include <span>
#include <string>

#include "tabmend/catalogue/catalogue_row.h"

namespace talvex::tabmend {

// How the memo file is treated: the single form follows each table's memo
// mark; the location forms always delete a ".dbt" and copy one when the
// source has one.
enum class MemoRule { ByMark, WhenPresent };

MemoRule MemoRuleOf(const RestructureSpec& row);

std::string WithBackslash(std::string folder);

// Deletes each table's files from folder, stopping at the first table that
// still has one afterwards. With keepOriginal (folder is B + location) the
// first clean of a table in this call drops its "original\" copies, a later
// one first moves the current backup into "original\" unless one is there.
bool CleanTableFiles(const std::string& folder, std::span<const UpdatedTable> tables, MemoRule memo,
                     bool keepOriginal);

// Copies ".dbf", ".dbt" (see MemoRule), ".mdx" of each table, overwriting;
// false at the first failed copy. createTarget makes a missing target folder
// (with parents) first.
bool CopyTableFiles(const std::string& from, const std::string& to,
                    std::span<const UpdatedTable> tables, MemoRule memo, bool createTarget);

// Copies every file of the set that exists in `from`, ignoring failures when
// keepGoing, else stopping at the first; used by the restore.
bool RestoreTableFiles(const std::string& from, const std::string& to, const UpdatedTable& table,
                       MemoRule memo, bool keepGoing);

// True when folder + base + ".dbf" and ".mdx" both exist.
bool LocateTableFiles(const std::string& folder, const UpdatedTable& table);

}  // namespace talvex::tabmend
