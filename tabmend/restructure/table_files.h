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
#include <vector>

#include "catalogue/catalogue_row.h"

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
[[nodiscard]] bool CleanTableFiles(const std::string& folder, std::span<const UpdatedTable> tables, MemoRule memo,
                     bool keepOriginal);

// Copies ".dbf", ".dbt" (see MemoRule), ".mdx" of each table, overwriting;
// false at the first failed copy. createTarget makes a missing target folder
// (with parents) first.
[[nodiscard]] bool CopyTableFiles(const std::string& from, const std::string& to,
                    std::span<const UpdatedTable> tables, MemoRule memo, bool createTarget);

// Where a restore takes one file of a table backed up in `backup` (B +
// location): the pre-call copy in "original\" when that folder holds the
// table's data file, else `backup` itself; a file `backup` lacks is taken from
// "original\" when it is there (a move into it that was cut short moves the
// data file last). The path returned may not exist.
std::string BackupFileOf(const std::string& backup, const UpdatedTable& table, const char* ext);

// The extensions a restore from `backup` copies: ".dbf", ".mdx" and ".dbt"
// when the rule wants it (ByMark: the table's mark; WhenPresent: the backup
// has one).
std::vector<const char*> RestoreSet(const std::string& backup, const UpdatedTable& table,
                                    MemoRule memo);

// Copies the table's backup (BackupFileOf each file of RestoreSet) into `to`,
// ignoring failures when keepGoing, else stopping at the first.
[[nodiscard]] bool RestoreTableFiles(const std::string& backup, const std::string& to, const UpdatedTable& table,
                       MemoRule memo, bool keepGoing);

// True when any file of the table's set is in the folder.
bool HasTableFiles(const std::string& folder, const UpdatedTable& table);

// True when the data file and index are there (and the memo file where the
// rule asks for one) and the data file is as long as its header says: the
// state in which the table's other copies may be dropped.
[[nodiscard]] bool TableFilesComplete(const std::string& folder, const UpdatedTable& table, MemoRule memo);

// Syncs every file of each table's set that is in the folder, then the folder.
[[nodiscard]] bool SyncTableFiles(const std::string& folder, std::span<const UpdatedTable> tables);

// True when folder + base + ".dbf" and ".mdx" both exist.
[[nodiscard]] bool LocateTableFiles(const std::string& folder, const UpdatedTable& table);

}  // namespace talvex::tabmend
