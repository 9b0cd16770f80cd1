#include "restructure/table_files.h"

#include <algorithm>

#include "platform/ascii_text.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "driver/run_state.h"

namespace talvex::tabmend {
namespace {

namespace fs = talvex::platform;

using talvex::ascii::upper;

// Extensions a clean deletes (the set of the table).
std::vector<const char*> DeleteSet(const UpdatedTable& table, MemoRule memo) {
  if (memo == MemoRule::WhenPresent || table.memo) return {".dbf", ".dbt", ".mdx"};
  return {".dbf", ".mdx"};
}

bool HasBackedUp(const std::string& key) {
  const auto& list = BackedUpTables();
  return std::find(list.begin(), list.end(), key) != list.end();
}

// First backup of a table in this call: older "original" copies belong to an
// earlier call. A later backup: keep the pre-call copy in "original\". That
// copy is the only one left of the table as it was before the call, so the
// move is all or nothing: when one file cannot be moved, the ones already
// moved go back and the clean fails before anything is deleted.
bool KeepOriginal(const std::string& folder, const UpdatedTable& table, MemoRule memo) {
  const std::string base = folder + table.base;
  const std::string original = folder + "original\\";
  const std::string key = ascii::upper(base);
  if (!HasBackedUp(key)) {
    // The data file goes first: "original\" without one is never taken for
    // a pre-call copy.
    for (const char* ext : {".dbf", ".dbt", ".mdx"}) {
      const std::string path = original + table.base + ext;
      if (fs::isFile(path)) (void)fs::deleteFile(path);  // the test below decides
      if (fs::pathExists(path)) return false;  // a stale copy would be restored later
    }
    (void)memo;
    BackedUpTables().push_back(key);
    return true;
  }
  if (fs::isFile(original + table.base + ".dbf")) return true;
  if (!fs::isFile(base + ".dbf")) return true;  // nothing of this call to keep here
  if (!fs::isDirectory(original)) (void)fs::createDirectoryPath(original);  // else the move fails
  std::vector<const char*> moved;
  // The data file moves last, so that "original\" holds one only when the
  // whole set is there (see BackupFileOf for a move cut short).
  for (const char* ext : {".dbt", ".mdx", ".dbf"}) {
    if (std::string(ext) == ".dbt" && !fs::isFile(base + ext)) continue;
    if (!fs::moveFile(base + ext, original + table.base + ext)) {
      for (const char* back : moved) {
        if (!fs::moveFile(original + table.base + back, base + back))
          NoteFailureDetail("move back " + original + table.base + back + ": " + fs::lastFileError());
      }
      return false;
    }
    moved.push_back(ext);
  }
  return true;
}

}  // namespace

MemoRule MemoRuleOf(const RestructureSpec& row) {
  return row.form == RestructureForm::Single ? MemoRule::ByMark : MemoRule::WhenPresent;
}

std::string WithBackslash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

bool CleanTableFiles(const std::string& folderIn, std::span<const UpdatedTable> tables, MemoRule memo,
                     bool keepOriginal) {
  const std::string folder = WithBackslash(folderIn);
  for (const UpdatedTable& table : tables) {
    if (keepOriginal && !KeepOriginal(folder, table, memo)) return false;
    bool clean = true;
    for (const char* ext : DeleteSet(table, memo)) {
      const std::string path = folder + table.base + ext;
      if (fs::isFile(path)) (void)fs::deleteFile(path);  // the test below decides
      if (fs::pathExists(path)) clean = false;
    }
    if (!clean) return false;
  }
  return true;
}

bool CopyTableFiles(const std::string& fromIn, const std::string& toIn,
                    std::span<const UpdatedTable> tables, MemoRule memo, bool createTarget) {
  const std::string from = WithBackslash(fromIn);
  const std::string to = WithBackslash(toIn);
  if (createTarget && !fs::isDirectory(to) && !fs::createDirectoryPath(to)) return false;
  for (const UpdatedTable& table : tables) {
    const std::string source = from + table.base;
    const std::string target = to + table.base;
    if (!fs::copyFile(source + ".dbf", target + ".dbf")) return false;
    bool memoFile = memo == MemoRule::ByMark ? table.memo : fs::isFile(source + ".dbt");
    if (memoFile && !fs::copyFile(source + ".dbt", target + ".dbt")) return false;
    if (!fs::copyFile(source + ".mdx", target + ".mdx")) return false;
  }
  return true;
}

std::string BackupFileOf(const std::string& backupIn, const UpdatedTable& table, const char* ext) {
  const std::string backup = WithBackslash(backupIn);
  const std::string original = backup + "original\\" + table.base;
  if (fs::isFile(original + ".dbf")) return original + ext;
  const std::string plain = backup + table.base + ext;
  if (!fs::isFile(plain) && fs::isFile(original + ext)) return original + ext;
  return plain;
}

std::vector<const char*> RestoreSet(const std::string& backup, const UpdatedTable& table,
                                    MemoRule memo) {
  const bool memoFile =
      memo == MemoRule::ByMark ? table.memo : fs::isFile(BackupFileOf(backup, table, ".dbt"));
  if (memoFile) return {".dbf", ".dbt", ".mdx"};
  return {".dbf", ".mdx"};
}

namespace {

// Copies a backup file over its data file. A full volume cannot take the
// copy; then the backup gets the data file's name as a second one (a link,
// no new space), first beside it, so that nothing is removed before the
// table can be put back, then in its place. The backup keeps its own name
// throughout: a crash at any instant leaves the backup and the data file
// (or none, or the stray link), which is what a journal replay expects.
bool PutBack(const std::string& from, const std::string& to) {
  const std::string beside = to + ".~put";  // left by a crash in here
  if (fs::pathExists(beside)) (void)fs::deleteFile(beside);  // one left in the way fails the link below
  if (fs::copyFile(from, to)) return true;
  NoteFailureDetail(fs::lastFileError());
  if (!fs::lastFileErrorNoSpace()) return false;
  if (fs::linkFile(from, beside) && (!fs::pathExists(to) || fs::deleteFile(to)) &&
      fs::moveFile(beside, to)) {
    return true;
  }
  NoteFailureDetail(fs::lastFileError());
  return false;
}

}  // namespace

bool RestoreTableFiles(const std::string& backup, const std::string& toIn, const UpdatedTable& table,
                       MemoRule memo, bool keepGoing) {
  const std::string target = WithBackslash(toIn) + table.base;
  bool ok = true;
  for (const char* ext : RestoreSet(backup, table, memo)) {
    const std::string from = BackupFileOf(backup, table, ext);
    if (!PutBack(from, target + ext)) {
      if (ok) CurrentRun().unrestored.push_back({target + ext, from});
      ok = false;
      if (!keepGoing) return false;
    }
  }
  return ok;
}

bool HasTableFiles(const std::string& folder, const UpdatedTable& table) {
  const std::string base = WithBackslash(folder) + table.base;
  return fs::pathExists(base + ".dbf") || fs::pathExists(base + ".dbt") ||
         fs::pathExists(base + ".mdx");
}

bool TableFilesComplete(const std::string& folder, const UpdatedTable& table, MemoRule memo) {
  const std::string base = WithBackslash(folder) + table.base;
  if (!fs::isFile(base + ".mdx")) return false;
  if (memo == MemoRule::ByMark && table.memo && !fs::isFile(base + ".dbt")) return false;
  auto dbf = fs::File::open(base + ".dbf", fs::OpenMode::ReadOnly);
  if (!dbf) return false;
  // dBASE header: record count at 4 (32 bits), header length at 8 and record
  // length at 10 (16 bits each), little-endian.
  unsigned char header[12];
  size_t got = 0;
  uint64_t size = 0;
  if (!dbf->readAt(0, header, sizeof header, &got) || got != sizeof header || !dbf->size(&size)) {
    return false;
  }
  const uint64_t count = header[4] | header[5] << 8 | header[6] << 16 |
                         static_cast<uint64_t>(header[7]) << 24;
  const uint64_t headerLength = header[8] | header[9] << 8;
  const uint64_t recordLength = header[10] | header[11] << 8;
  return size >= headerLength + count * recordLength;
}

bool SyncTableFiles(const std::string& folderIn, std::span<const UpdatedTable> tables) {
  const std::string folder = WithBackslash(folderIn);
  bool ok = true;
  for (const UpdatedTable& table : tables) {
    for (const char* ext : {".dbf", ".dbt", ".mdx"}) {
      const std::string path = folder + table.base + ext;
      if (fs::isFile(path) && !fs::syncFile(path)) ok = false;
    }
  }
  return fs::syncDirectory(folder) && ok;
}

bool LocateTableFiles(const std::string& folder, const UpdatedTable& table) {
  const std::string base = WithBackslash(folder) + table.base;
  return fs::isFile(base + ".dbf") && fs::isFile(base + ".mdx");
}

}  // namespace talvex::tabmend
