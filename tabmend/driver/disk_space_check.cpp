#include "driver/disk_space_check.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "platform/disk_space.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "driver/run_list.h"
#include "driver/run_state.h"
#include "restructure/table_files.h"
#include "catalogue/catalogue.h"

namespace talvex::tabmend {
namespace {

namespace fs = talvex::platform;

constexpr const char* kExtensions[] = {".dbf", ".mdx", ".dbt"};
// Room kept beyond the estimate: folder entries, the journal, the run log,
// and index pages that a rebuilt tag fills less tightly than the old one.
constexpr uint64_t kMarginBytes = 4u << 20;

uint64_t SizeOrZero(const std::string& path) { return fs::fileSizeOf(path).value_or(0); }

uint64_t SetSize(const std::string& folder, const std::string& base) {
  uint64_t total = 0;
  for (const char* ext : kExtensions) total += SizeOrZero(folder + base + ext);
  return total;
}

// Record count, header length and record length from a .dbf header.
struct DbfShape {
  uint64_t records = 0, header = 0, recordLength = 0;
};
bool ReadDbfShape(const std::string& path, DbfShape* shape) {
  std::unique_ptr<fs::File> file = fs::File::open(path, fs::OpenMode::ReadOnly);
  unsigned char h[12];
  size_t got = 0;
  if (!file || !file->readAt(0, h, sizeof h, &got) || got != sizeof h) return false;
  shape->records = h[4] | (h[5] << 8) | (h[6] << 16) | (static_cast<uint64_t>(h[7]) << 24);
  shape->header = h[8] | (h[9] << 8);
  shape->recordLength = h[10] | (h[11] << 8);
  return true;
}

// One table in one location as the run goes on.
struct TableCopy {
  uint64_t before = 0;   // its files before the call
  uint64_t current = 0;  // after the updates counted so far
  uint64_t stale = 0;    // an earlier call's backups of it, deleted at its first backup
  int touches = 0;
};

// The files of the new layout: the clone's header and record length over the
// old record count, the larger of the two indexes, the old memo file.
uint64_t NewLayoutSize(const std::string& data, const std::string& clone, const std::string& base,
                       uint64_t current) {
  DbfShape old, fresh;
  if (!ReadDbfShape(data + base + ".dbf", &old) || !ReadDbfShape(clone + base + ".dbf", &fresh)) {
    return current;
  }
  const uint64_t oldDbf = SizeOrZero(data + base + ".dbf");
  // A header the file cannot hold (a damaged table) says nothing of its
  // records: count the file as it is; its update refuses it later.
  if (old.recordLength == 0 || old.header + old.records * old.recordLength > oldDbf) return current;
  const uint64_t dbf = fresh.header + old.records * fresh.recordLength + 1;
  const uint64_t rest = current > oldDbf ? current - oldDbf : 0;
  return dbf + std::max(rest, SizeOrZero(clone + base + ".mdx") + SizeOrZero(data + base + ".dbt"));
}

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

}  // namespace

std::vector<VolumeNeed> DiskSpaceNeeds(int first) {
  const RunFolders& folders = Folders();
  std::map<std::string, TableCopy> tables;  // location + base
  uint64_t peakWork = 0;
  const auto visit = [&](const RestructureSpec& row, const TableLocationList& locations) {
    const std::string clone = WithBackslash(CloneDirectory(folders.server, row));
    uint64_t work = 0;
    for (const TableLocation& location : locations) {
      if (!location.needsUpdate) continue;
      const std::string data = folders.data + location.relative;
      const std::string backup = folders.backup + location.relative;
      for (const UpdatedTable& table : row.tables()) {
        TableCopy& copy = tables[location.relative + table.base];
        if (copy.touches++ == 0) {
          copy.before = copy.current = SetSize(data, table.base);
          copy.stale = SetSize(backup, table.base) + SetSize(backup + "original\\", table.base);
        }
        const uint64_t next = NewLayoutSize(data, clone, table.base, copy.current);
        work += next;
        copy.current = next;
      }
    }
    peakWork = std::max(peakWork, work);
  };
  ForEachUpdateOfRun(first, true, visit);

  // Backups: the latest copy of each table and, for one touched again, the
  // pre-call copy, less what the run deletes of an earlier call's; the work
  // copies of the largest update; the growth of the data folder.
  uint64_t backups = 0, stale = 0, growth = 0;
  for (const auto& [name, copy] : tables) {
    backups += std::max(copy.before, copy.current) + (copy.touches > 1 ? copy.before : 0);
    stale += copy.stale;
    if (copy.current > copy.before) growth += copy.current - copy.before;
  }
  const uint64_t install = backups + peakWork > stale ? backups + peakWork - stale : 0;

  std::vector<VolumeNeed> needs;
  auto add = [&](const std::string& folder, uint64_t bytes) {
    const std::string volume = fs::volumeOf(folder);
    for (VolumeNeed& need : needs) {
      if (!volume.empty() && need.volume == volume) {
        need.needed += bytes;
        return;
      }
    }
    needs.push_back({folder, volume, bytes + kMarginBytes, fs::freeDiskSpace(folder).value_or(0)});
  };
  if (tables.empty()) return needs;
  add(folders.backup, install);
  add(folders.data, growth);
  return needs;
}

bool EnoughDiskSpaceFor(int first) {
  for (const VolumeNeed& need : DiskSpaceNeeds(first)) {
    // A volume whose free space the system does not give is not refused.
    if (!fs::freeDiskSpace(need.folder) || need.free >= need.needed) continue;
    LastErrorText() = "Not enough free disk space to update the tables: the update needs " +
                      Megabytes(need.needed) + " on the disk of " + need.folder + ", which has " +
                      Megabytes(need.free) + " free; nothing was changed.";
    NoteFailureDetail("disk space: " + need.folder + " (" + need.volume + ") needs " +
                      std::to_string(need.needed) + " bytes, " + std::to_string(need.free) +
                      " bytes free");
    return false;
  }
  return true;
}

}  // namespace talvex::tabmend
