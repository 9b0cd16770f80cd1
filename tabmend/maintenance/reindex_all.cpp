#include "maintenance/reindex_all.h"

#include <algorithm>

#include "platform/ascii_text.h"
#include "platform/file_system.h"
#include "platform/profile.h"
#include "driver/run_state.h"
#include "maintenance/index_length_repair.h"
#include "maintenance/table_header_repair.h"
#include "maintenance/update_guard.h"

namespace talvex::tabmend {
namespace {

const char kRebuildAdvice[] =
    "Perform a reindex of all database files in the File Maintenance module before attempting "
    "this update again.";
const char kArchiveAdvice[] =
    "The claim archive is corrupt and will require manual repair or removal.";

using talvex::ascii::sameNoCase;

bool EndsWithDbf(std::string_view name) {
  return name.size() > 4 && ascii::sameNoCase(name.substr(name.size() - 4), ".DBF");
}

std::string UpToFirstDot(std::string_view text) {
  return std::string(text.substr(0, text.find('.')));
}

// Folder part of a path, with its trailing separator.
std::string FolderOf(std::string_view path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

std::string FileNameOf(std::string_view path) {
  const size_t cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string WithDetail(std::string message, const std::string& detail) {
  if (!detail.empty()) message += " [" + detail + "]";
  return message;
}

// The listed tables; "" when all were reindexed, else the message.
std::string ReindexListedTables(C4Context c, const std::vector<std::string>& names) {
  const std::string& data = Folders().data;
  for (const std::string& name : names) {
    if (!platform::isFile(data + name + ".DBF")) return "Unable to locate database file: " + name + ".DBF";
    if (platform::isFile(data + name + ".MDX")) {
      (void)RepairTableHeader(data + name + ".DBF", true, true);  // the reindex decides
      std::string detail;
      if (!ReindexOneTable(c, data, name, &detail)) {
        return WithDetail("Unable to reindex database file: " + name + ".DBF", detail);
      }
    } else if (!ascii::sameNoCase(name, "UTILMAST")) {
      return "Unable to locate index file: " + name + ".MDX\r\n" + kRebuildAdvice;
    }
  }
  return std::string();
}

std::string ReindexArchiveTables(C4Context c, const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const std::string longFolder = FolderOf(path);
    const std::string shortFolder = FolderOf(platform::shortPath(path));
    const std::string name = UpToFirstDot(FileNameOf(path));
    if (!platform::isFile(shortFolder + name + ".DBF")) {
      return "Unable to locate claim archive database file: " + longFolder + name + ".DBF\r\n" +
             kArchiveAdvice;
    }
    if (!platform::isFile(shortFolder + name + ".MDX")) {
      return "Unable to locate claim archive index file: " + longFolder + name + ".MDX\r\n" +
             kArchiveAdvice;
    }
    (void)RepairTableHeader(shortFolder + name + ".DBF", true, true);  // the reindex decides
    std::string detail;
    if (!ReindexOneTable(c, shortFolder, name, &detail)) {
      return WithDetail("Unable to reindex claim archive database file: " + longFolder + name + ".DBF",
                        detail);
    }
  }
  return std::string();
}

}  // namespace

std::vector<std::string> ListedTables(std::string_view iniPath) {
  std::vector<std::string> names;
  for (const std::string& key : platform::profileKeys(iniPath, "Database Tables")) {
    // A key without a "." names no table: it is reported as missing.
    const size_t dot = key.find('.');
    names.push_back(dot == std::string::npos ? std::string() : key.substr(0, dot));
  }
  return names;
}

std::vector<std::string> ArchiveTables(std::string_view dataFolder) {
  std::vector<std::string> paths;
  for (const char* family : {"archub92", "arch1500"}) {
    const std::string root = std::string(dataFolder) + family + "\\";
    for (const std::string& sub : platform::listDirectories(root)) {
      const std::string folder = root + sub + "\\";
      // Every entry counts, folders too: a folder named like a table is
      // reported as a missing table rather than passed over.
      std::vector<std::string> entries = platform::listFiles(folder);
      for (const std::string& d : platform::listDirectories(folder)) entries.push_back(d);
      for (const std::string& entry : entries) {
        if (EndsWithDbf(entry)) paths.push_back(folder + entry);
      }
    }
  }
  return paths;
}

bool ReindexOneTable(C4Context c, std::string_view folder, std::string_view name,
                     std::string* detail) {
  const std::string base = std::string(folder) + std::string(name);
  C4Table t = d4open(c, (base + ".DBF").c_str());
  if (t == 0) {
    code4errorCode(c, 0);
    *detail = "Unable to open database file.";
    return false;
  }
  bool ok = false;
  C4Index index = i4open(t, (base + ".MDX").c_str());
  if (index == 0 && RestoreIndexLength(base + ".MDX")) {
    // A cut-off index whose tag headers survived: lengthened, it opens and
    // the reindex rebuilds it.
    code4errorCode(c, 0);
    index = i4open(t, (base + ".MDX").c_str());
  }
  if (index == 0) {
    *detail = "Unable to open index file.";
  } else {
    const int rc = d4reindex(t);
    if (rc != 0) {
      const char* text = error4text(c, rc);
      *detail = text ? text : "";
    }
    ok = rc == 0;
    i4close(index);
  }
  d4close(t);
  code4errorCode(c, 0);
  return ok;
}

bool RunReindexAll() {
  if (!SetUpRunFolders()) {
    LastErrorText() = "Unable to locate (or create) critical directories.";
    return false;
  }
  std::unique_ptr<common::UpdateLock> lock;
  LastErrorText() = GuardAgainstUpdates(&lock, PendingUpdates::Refused);
  if (!lock) return false;
  std::string ini = Folders().install + "TALVEX32.INI";
  if (!platform::isFile(ini)) ini = Folders().server + "TALVEX32.INI";
  if (!platform::isFile(ini)) {
    LastErrorText() = "Unable to locate system configuration file (TALVEX32.INI).";
    return false;
  }
  if (!OpenRunContext()) {
    LastErrorText() = "Unexpected exception.";
    return false;
  }
  const std::vector<std::string> names = ListedTables(ini);
  std::string message;
  if (names.empty()) {
    message = "Database files list is empty.";
  } else {
    message = ReindexListedTables(RunContext(), names);
    if (message.empty()) message = ReindexArchiveTables(RunContext(), ArchiveTables(Folders().data));
  }
  CloseRunContext();
  LastErrorText() = message;
  return message.empty();
}

}  // namespace talvex::tabmend
