#include "restructure/restructure.h"

#include <exception>
#include <functional>
#include <vector>

#include "platform/ascii_text.h"
#include "platform/file_system.h"
#include "conversions/conversion_dispatch.h"
#include "driver/run_log.h"
#include "driver/run_state.h"
#include "driver/table_guard.h"
#include "driver/update_journal.h"
#include "restructure/record_copy.h"
#include "restructure/structure_probe.h"
#include "restructure/table_files.h"
#include "restructure/table_locations.h"
#include "catalogue/catalogue.h"
#include "platform/exception_text.h"

namespace talvex::tabmend {
namespace {

namespace fs = talvex::platform;

// The locations an update works in: the data folder alone (single form) or
// the list built from the basis file.
TableLocationList LocationsOf(const RestructureSpec& row) {
  if (row.form == RestructureForm::Single) return {TableLocation{""}};
  return BuildTableLocationList(Folders().data, row.locationBasis);
}

// One run of the procedure. Each step returns false with its message stored.
class Restructure {
 public:
  Restructure(const RestructureSpec& row, bool& applied)
      : row_(row),
        applied_(applied),
        folders_(Folders()),
        memo_(MemoRuleOf(row)),
        clone_(CloneDirectory(folders_.server, row)) {}

  UpdateOutcome Run() {
    locations_ = LocationsOf(row_);
    if (!MarkLocationsNeedingUpdate()) return UpdateOutcome::NotNeeded;
    auto& remembered = CurrentRun().updateLocations[row_.number];
    remembered.clear();
    for (const TableLocation& location : locations_) remembered.push_back(location.relative);

    if (row_.locateCheck &&
        !Every(All, "Unable to locate table files in data directory.", [&](const std::string& rel) {
          for (const UpdatedTable& table : row_.tables()) {
            if (!LocateTableFiles(folders_.data + rel, table)) return false;
          }
          return true;
        })) {
      return UpdateOutcome::Failed;
    }
    if (!KeepsLastCopies() ||
        !Every(All, "Unable to delete files from previous update.", [&](const std::string& rel) {
          return CleanTableFiles(folders_.work + rel, row_.tables(), memo_, false);
        }) ||
        !Every(Marked, "Unable to copy clone table files.", [&](const std::string& rel) {
          return CopyTableFiles(clone_, folders_.work + rel, row_.tables(), memo_, true);
        }) ||
        !Every(All, "Unable to delete previous table backup files.", [&](const std::string& rel) {
          return CleanTableFiles(folders_.backup + rel, row_.tables(), memo_, true);
        }) ||
        !Every(Marked, "Unable to backup table files prior to update.", [&](const std::string& rel) {
          return CopyTableFiles(folders_.data + rel, folders_.backup + rel, row_.tables(), memo_,
                                true);
        })) {
      return UpdateOutcome::Failed;
    }
    if (!CopyRecords()) return UpdateOutcome::Failed;
    // Before anything of the data folder changes: every table the swap
    // replaces is the call's alone (one not held so far is taken now).
    if (!ForMarkedTables(HoldTable)) return UpdateOutcome::Failed;

    if (!JournalBackups()) return UpdateOutcome::Failed;
    applied_ = true;  // from here on the data folder may change

    if (row_.hasConversion() && !Convert()) {
      return Fail("Unable to translate special field values.");
    }
    // The engine shares a table's state by path within this process: no
    // handle of ours may outlive the files it was opened on.
    ForMarkedTables([](const std::string& folder, const std::string& base) {
      ReleaseTable(folder, base);
      return true;
    });
    if (!Every(Marked, "Unable to delete original table files.", [&](const std::string& rel) {
          return CleanTableFiles(folders_.data + rel, row_.tables(), memo_, false);
        }) ||
        !Every(Marked, "Unable to copy updated files to data directory.",
               [&](const std::string& rel) {
                 return CopyTableFiles(folders_.work + rel, folders_.data + rel, row_.tables(),
                                       memo_, false);
               })) {
      return UpdateOutcome::Failed;
    }
    // Held again on the new files; one opened elsewhere in between is
    // checked again before any rollback touches it.
    ForMarkedTables([](const std::string& folder, const std::string& base) {
      if (!HoldTable(folder, base)) NoteRunLogLine("not held after its swap: " + folder + base);
      return true;
    });
    for (const TableLocation& location : locations_) {
      if (DataComplete(location.relative)) {
        if (!CleanTableFiles(folders_.work + location.relative, row_.tables(), memo_, false))
          NoteFailureDetail(row_.messagePrefix() + "work files left in " + folders_.work + location.relative);
      }
    }
    return UpdateOutcome::Applied;
  }

 private:
  enum Which { All, Marked };

  // Single and all-locations forms probe the data folder only and then work
  // in every location; the flagged form probes and marks each location.
  bool MarkLocationsNeedingUpdate() {
    if (row_.form != RestructureForm::Flagged) {
      if (!NeedsUpdateProbe(row_, folders_.data)) return false;
      for (TableLocation& location : locations_) location.needsUpdate = true;
      return true;
    }
    bool any = false;
    for (TableLocation& location : locations_) {
      location.needsUpdate = NeedsUpdateProbe(row_, folders_.data + location.relative);
      any = any || location.needsUpdate;
    }
    return any;
  }

  bool ForMarkedTables(bool (*step)(const std::string& folder, const std::string& base)) {
    for (const TableLocation& location : locations_) {
      if (!location.needsUpdate) continue;
      for (const UpdatedTable& table : row_.tables()) {
        if (!step(folders_.data + location.relative, table.base)) return false;
      }
    }
    return true;
  }

  bool DataComplete(const std::string& rel) const {
    for (const UpdatedTable& table : row_.tables()) {
      if (!TableFilesComplete(folders_.data + rel, table, memo_)) return false;
    }
    return true;
  }

  // The work and backup copies of a table may be its last ones when its data
  // files are missing or cut short (a run stopped inside a swap, a table
  // removed by hand): then nothing of it is deleted and the update fails.
  bool KeepsLastCopies() {
    for (const TableLocation& location : locations_) {
      const std::string& rel = location.relative;
      for (const UpdatedTable& table : row_.tables()) {
        const bool copies = HasTableFiles(folders_.work + rel, table) ||
                            HasTableFiles(folders_.backup + rel, table) ||
                            HasTableFiles(folders_.backup + rel + "original\\", table);
        if (copies && !TableFilesComplete(folders_.data + rel, table, memo_)) {
          LastErrorText() = row_.messagePrefix() + "Table " + folders_.data + rel + table.base +
                            " is missing or incomplete in the data directory; its backup and " +
                            "work copies were kept.";
          return false;
        }
      }
    }
    return true;
  }

  // Before the first data file is deleted: the backups reach the disk, then
  // the journal names them, so that a crash from here on can be undone.
  bool JournalBackups() {
    std::vector<std::string> relatives;
    std::vector<JournalBackup> backups;
    bool synced = true;
    for (const TableLocation& location : locations_) {
      if (!location.needsUpdate) continue;
      const std::string& rel = location.relative;
      relatives.push_back(rel);
      const std::string backup = folders_.backup + rel;
      synced = SyncTableFiles(backup, row_.tables()) && synced;
      if (fs::isDirectory(backup + "original")) {
        synced = SyncTableFiles(backup + "original\\", row_.tables()) && synced;
      }
      synced = SyncFoldersUpTo(backup, folders_.work) && synced;
      for (const UpdatedTable& table : row_.tables()) {
        const bool original = fs::isFile(backup + "original\\" + table.base + ".dbf");
        backups.push_back({rel, table.base, original});
      }
    }
    if (!synced) {
      LastErrorText() = "Unable to locate (or create) critical directories.";
      return false;
    }
    return JournalUpdateBegun(row_.number, relatives, backups);
  }

  // The folder and its parents up to (not including) `top`, which already
  // existed: folders made for this update's backups are entries of them.
  static bool SyncFoldersUpTo(std::string folder, const std::string& top) {
    bool ok = true;
    folder = WithBackslash(folder);
    while (folder.size() > top.size()) {
      ok = fs::syncDirectory(folder) && ok;
      const size_t cut = folder.find_last_of("\\/", folder.size() - 2);
      if (cut == std::string::npos) break;
      folder.resize(cut + 1);
    }
    return ok;
  }

  // Step 8 for every marked location. A table backed up for the first time
  // in this call has its index checked as well; later updates of the call
  // read what an earlier one rebuilt. Damage is named with the text of the
  // File Maintenance module, so the user knows what to do about it.
  bool CopyRecords() {
    for (const TableLocation& location : locations_) {
      if (!location.needsUpdate) continue;
      const std::string& rel = location.relative;
      for (const UpdatedTable& table : row_.tables()) {
        const std::string backup = folders_.backup + rel;
        const bool firstBackup = !fs::isFile(backup + "original\\" + table.base + ".dbf");
        CopyFailure failure;
        if (CopyCommonFields(backup, folders_.work + rel, table.base, &failure, firstBackup)) {
          continue;
        }
        const std::string name = rel + UpperCase(table.base);
        if (failure.fault == CopyFault::DamagedIndex) {
          LastErrorText() = row_.messagePrefix() + "Damaged index file: " + name + ".MDX\r\n" +
                            "Perform a reindex of all database files in the File Maintenance " +
                            "module before attempting this update again.";
        } else if (failure.fault == CopyFault::DamagedMemo) {
          // A reindex leaves memo files as they are: saying it would help
          // would only bring the user back here.
          LastErrorText() = row_.messagePrefix() + "Damaged memo file: " + name + ".DBT\r\n" +
                            "The memo file is corrupt and will require manual repair.";
        } else {
          Fail("Unable to perform common field copy.");
        }
        return false;
      }
    }
    return true;
  }

  static std::string UpperCase(const std::string& text) { return ascii::upper(text); }

  bool Every(Which which, const char* message, const std::function<bool(const std::string&)>& step) {
    for (const TableLocation& location : locations_) {
      if (which == Marked && !location.needsUpdate) continue;
      if (!step(location.relative)) {
        Fail(message);
        // The run log gets the file operation and the system's own reason.
        if (!fs::lastFileError().empty()) NoteFailureDetail(fs::lastFileError());
        return false;
      }
    }
    return true;
  }

  UpdateOutcome Fail(const char* text) {
    LastErrorText() = row_.messagePrefix() + text;
    return UpdateOutcome::Failed;
  }

  bool Convert() {
    const ConversionEntry* conversion = FindConversion(row_.number);
    if (conversion == nullptr) return false;
    switch (row_.conversion) {
      case ConversionInput::BackupAndWork:
        for (const TableLocation& location : locations_) {
          if (!location.needsUpdate) continue;
          if (!conversion->routine(folders_.backup + location.relative,
                                   folders_.work + location.relative)) {
            return false;
          }
        }
        return true;
      case ConversionInput::DataAndWork:
        return conversion->routine(folders_.data, folders_.work);
      case ConversionInput::WorkAndBaseName:
        return conversion->routine(folders_.work, row_.probedTable().base);
      case ConversionInput::WorkOnly:
        return conversion->routine(folders_.work, "");
      case ConversionInput::None:
        return true;
    }
    return false;
  }

  const RestructureSpec& row_;
  bool& applied_;
  const RunFolders& folders_;
  const MemoRule memo_;
  const std::string clone_;
  TableLocationList locations_;
};

// Only adds tables that are missing; never backs up, never sets its flag.
UpdateOutcome AddMissingTables(const RestructureSpec& row) {
  const RunFolders& folders = Folders();
  const std::string clone = WithBackslash(CloneDirectory(folders.server, row));
  bool added = false;
  for (const TableLocation& location : LocationsOf(row)) {
    const std::string target = folders.data + location.relative;
    if (!fs::isDirectory(target)) (void)fs::createDirectoryPath(target);  // else the copy fails
    bool addedHere = false;
    for (const UpdatedTable& table : row.tables()) {
      const std::string base = target + table.base;
      if (fs::pathExists(base + ".dbf")) continue;
      if (!fs::copyFile(clone + table.base + ".dbf", base + ".dbf")) {
        LastErrorText() = row.messagePrefix() + "Unable to copy updated files to data directory.";
        return UpdateOutcome::Failed;
      }
      if (!fs::copyFile(clone + table.base + ".mdx", base + ".mdx")) {
        // A data file without its index would be skipped as present by every
        // later run and then fail each update that opens it: take it back.
        if (!fs::deleteFile(base + ".dbf"))
          NoteFailureDetail("delete " + base + ".dbf: " + fs::lastFileError());
        LastErrorText() = row.messagePrefix() + "Unable to copy updated files to data directory.";
        return UpdateOutcome::Failed;
      }
      added = true;
      addedHere = true;
    }
    // A rollback keeps the tables this adds, so they must outlive a power cut
    // on their own: no backup will put them back.
    if (addedHere && !SyncTableFiles(target, row.tables())) {
      LastErrorText() = row.messagePrefix() + "Unable to copy updated files to data directory.";
      return UpdateOutcome::Failed;
    }
  }
  return added ? UpdateOutcome::Applied : UpdateOutcome::NotNeeded;
}

}  // namespace

UpdateOutcome RunRestructure(const RestructureSpec& row, bool& applied) {
  applied = false;
  try {
    if (row.form == RestructureForm::AddMissing) return AddMissingTables(row);
    return Restructure(row, applied).Run();
  } catch (...) {
    // The host gets the fixed text; what failed, where, goes to the run log.
    LastErrorText() = row.messagePrefix() + "Unexpected exception.";
    NoteFailureDetail(row.messagePrefix() + platform::CurrentExceptionText());
    return UpdateOutcome::Failed;
  }
}

bool RestoreFromBackup(const RestructureSpec& row) {
  if (row.form == RestructureForm::AddMissing) return true;
  try {
    const RunFolders& folders = Folders();
    const MemoRule memo = MemoRuleOf(row);
    const bool single = row.form == RestructureForm::Single;
    std::vector<std::string> relatives;
    auto remembered = CurrentRun().updateLocations.find(row.number);
    if (remembered != CurrentRun().updateLocations.end()) {
      relatives = remembered->second;
    } else {
      for (const TableLocation& location : LocationsOf(row)) relatives.push_back(location.relative);
    }
    for (const std::string& relative : relatives) {
      const std::string backup = folders.backup + relative;
      const std::string data = folders.data + relative;
      for (const UpdatedTable& table : row.tables()) {
        if (row.form == RestructureForm::Flagged &&
            !fs::isFile(BackupFileOf(backup, table, ".dbf"))) {
          continue;  // not backed up in this call
        }
        // Never copied over while another process has it open: kept as it
        // is, and the journal stays for the next call.
        if (!HoldTable(data, table.base)) {
          LastErrorText() = "Unable to restore table " + data + table.base +
                            ".dbf: it is in use at another workstation and must be closed there "
                            "first; it was kept, and the next update call finishes the rollback.";
          return false;
        }
        ReleaseTable(data, table.base);
        const bool restored = RestoreTableFiles(backup, data, table, memo, single);
        if (!HoldTable(data, table.base))
          NoteFailureDetail(row.messagePrefix() + "table " + table.base + " could not be held again after its restore");
        if (!restored && !single) return true;
        // A memo file the new layout brought along has no place beside an
        // old table that had none.
        if (!single && !fs::isFile(BackupFileOf(backup, table, ".dbt")) &&
            fs::isFile(data + table.base + ".dbt")) {
          if (!fs::deleteFile(data + table.base + ".dbt"))
            NoteFailureDetail("delete " + data + table.base + ".dbt: " + fs::lastFileError());
        }
      }
    }
  } catch (...) {
    // What it left undone is found when the rollback is verified.
    NoteFailureDetail(row.messagePrefix() + "restore: " + platform::CurrentExceptionText());
  }
  return true;
}

}  // namespace talvex::tabmend
