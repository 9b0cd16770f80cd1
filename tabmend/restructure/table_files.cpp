#include "restructure/table_files.h"

#include <algorithm>
#include <cctype>

#include "common/platform/file_system.h"
#include "driver/run_state.h"

namespace talvex::tabmend {
namespace {

namespace fs = talvex::platform;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

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
  const std::string key = Upper(base);
  if (!HasBackedUp(key)) {
    for (const char* ext : DeleteSet(table, memo)) {
      if (fs::isFile(original + table.base + ext)) fs::deleteFile(original + table.base + ext);
    }
    BackedUpTables().push_back(key);
    return true;
  }
  if (fs::isFile(original + table.base + ".dbf")) return true;
  if (!fs::isFile(base + ".dbf")) return true;  // nothing of this call to keep here
  if (!fs::isDirectory(original)) fs::createDirectoryPath(original);
  std::vector<const char*> moved;
  for (const char* ext : {".dbf", ".dbt", ".mdx"}) {
    if (std::string(ext) == ".dbt" && !fs::isFile(base + ext)) continue;
    if (!fs::moveFile(base + ext, original + table.base + ext)) {
      for (const char* back : moved) fs::moveFile(original + table.base + back, base + back);
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
      if (fs::isFile(path)) fs::deleteFile(path);
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

bool RestoreTableFiles(const std::string& fromIn, const std::string& toIn, const UpdatedTable& table,
                       MemoRule memo, bool keepGoing) {
  const std::string source = WithBackslash(fromIn) + table.base;
  const std::string target = WithBackslash(toIn) + table.base;
  bool ok = true;
  for (const char* ext : {".dbf", ".dbt", ".mdx"}) {
    const bool wanted = std::string(ext) != ".dbt" ||
                        (memo == MemoRule::ByMark ? table.memo : fs::isFile(source + ".dbt"));
    if (!wanted) continue;
    if (!fs::copyFile(source + ext, target + ext)) {
      ok = false;
      if (!keepGoing) return false;
    }
  }
  return ok;
}

bool LocateTableFiles(const std::string& folder, const UpdatedTable& table) {
  const std::string base = WithBackslash(folder) + table.base;
  return fs::isFile(base + ".dbf") && fs::isFile(base + ".mdx");
}

}  // namespace talvex::tabmend
