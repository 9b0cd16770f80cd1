#include "driver/update_journal.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "platform/ascii_text.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "common/updatelock/update_lock.h"
#include "driver/run_list.h"
#include "driver/run_state.h"
#include "driver/table_guard.h"
#include "restructure/table_files.h"
#include "catalogue/catalogue.h"

namespace talvex::tabmend {
namespace {

namespace fs = talvex::platform;

constexpr char kMagic[] = "TALVEX TABMEND JOURNAL 2";
constexpr char kCritical[] = "Unable to locate (or create) critical directories.";

Journal& Current() {
  static Journal journal;
  return journal;
}

// Whether this call has a journal on disk: a restructure run outside an
// update call (a tool, a test of one update) journals nothing.
bool& Active() {
  static bool active = false;
  return active;
}

// Updates whose fingerprints are in Current() but whose tables are not yet
// synced, and the tables (upper-cased data path + base) whose data and memo
// files were synced since their last swap, which the end of the call need not
// sync again.
std::vector<int>& UnsyncedSwaps() {
  static std::vector<int> numbers;
  return numbers;
}

std::set<std::string>& SyncedSinceSwap() {
  static std::set<std::string> tables;
  return tables;
}

// CRC-32 (the zip polynomial) eight bytes a step: the fingerprints read every
// swapped table whole, so this is where their cost lies.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;
const CrcTables& Crc32Tables() {
  static const CrcTables tables = [] {
    CrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i) {
      for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFFu];
    }
    return t;
  }();
  return tables;
}

// Carries a running CRC (start 0xFFFFFFFF, finish with ~) over more bytes.
uint32_t Crc32Update(uint32_t crc, const unsigned char* bytes, size_t size) {
  const CrcTables& t = Crc32Tables();
  for (; size >= 8; bytes += 8, size -= 8) {
    const uint32_t low = crc ^ (bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                static_cast<uint32_t>(bytes[3]) << 24);
    crc = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^
          t[4][low >> 24] ^ t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
  }
  for (; size > 0; ++bytes, --size) crc = t[0][(crc ^ *bytes) & 0xFFu] ^ (crc >> 8);
  return crc;
}

uint32_t Crc32(const std::string& bytes) {
  return ~Crc32Update(0xFFFFFFFFu, reinterpret_cast<const unsigned char*>(bytes.data()),
                      bytes.size());
}

// Strict decimal in the range of the applied flags.
std::optional<int> UpdateNumber(const std::string& text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  int n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < kFirstFlagNumber || n > kLastFlagNumber) return std::nullopt;
  return n;
}

// "word rest": the first blank splits; the rest may be empty or hold blanks.
std::pair<std::string, std::string> Split(const std::string& line) {
  const size_t blank = line.find(' ');
  if (blank == std::string::npos) return {line, ""};
  return {line.substr(0, blank), line.substr(blank + 1)};
}

bool Write(const Journal& journal) {
  return fs::writeWholeFile(JournalPath(), EncodeJournal(journal), true);
}

using talvex::ascii::upper;

std::string Native(const std::string& hostText) {
  std::string out = ascii::upper(hostText);
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

// The journal goes first, then the data folder's pending mark: a mark
// without a journal is only removed by the next call, never the reverse.
bool RemoveJournal(const Journal& journal) {
  const std::string path = JournalPath();
  if ((fs::deleteFile(path) && fs::syncDirectory(Folders().work)) || !fs::pathExists(path)) {
    if (!common::RemovePendingUpdate(Folders().data)) {
      NoteFailureDetail(fs::lastFileError());
    }
    return true;
  }
  Journal finished = journal;
  finished.finished = true;
  return Write(finished);
}

// One table of an applied update: where it goes back and what it is restored from.
struct RestoreItem {
  std::string data;    // D + location
  std::string backup;  // B + location
  const UpdatedTable* table;
  MemoRule memo;
};

std::vector<RestoreItem> ItemsOf(const JournalUpdate& update, const RestructureSpec& row) {
  std::vector<RestoreItem> items;
  for (const std::string& relative : update.relatives) {
    for (const UpdatedTable& table : row.tables()) {
      items.push_back({Folders().data + relative, Folders().backup + relative, &table,
                       MemoRuleOf(row)});
    }
  }
  return items;
}

void CannotRestore(const RestoreItem& item, const char* ext) {
  LastErrorText() = "Unable to restore table " + item.data + item.table->base +
                    ".dbf: its backup " + BackupFileOf(item.backup, *item.table, ext) +
                    " is missing or incomplete; nothing was deleted.";
}

// Every file the rollback will copy must be there before it copies any.
bool BackupsPresent(const Journal& journal) {
  for (const JournalUpdate& update : journal.updates) {
    const RestructureSpec* row = FindRestructureSpec(update.number);
    for (const RestoreItem& item : ItemsOf(update, *row)) {
      for (const char* ext : RestoreSet(item.backup, *item.table, item.memo)) {
        if (!fs::isFile(BackupFileOf(item.backup, *item.table, ext))) {
          CannotRestore(item, ext);
          return false;
        }
      }
    }
    for (const JournalBackup& backup : update.backups) {
      const std::string original = Folders().backup + backup.relative + "original\\" + backup.base;
      if (backup.original && !fs::isFile(original + ".dbf")) {
        LastErrorText() = "Unable to restore table " + Folders().data + backup.relative +
                          backup.base + ".dbf: its backup " + original +
                          ".dbf is missing or incomplete; nothing was deleted.";
        return false;
      }
    }
  }
  return true;
}

uint64_t SizeOf(const std::string& path) {
  auto file = fs::File::open(path, fs::OpenMode::ReadOnly);
  uint64_t size = UINT64_MAX;
  if (!file || !file->size(&size)) return UINT64_MAX;
  return size;
}

// CRC-32 of a whole file, read in large pieces; nullopt when unreadable.
std::optional<std::pair<uint64_t, uint32_t>> FileCrc(const std::string& path) {
  auto file = fs::File::open(path, fs::OpenMode::ReadOnly);
  if (!file) return std::nullopt;
  constexpr size_t kPiece = 1 << 20;
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kPiece]);  // not zeroed
  uint64_t at = 0;
  uint32_t crc = 0xFFFFFFFFu;
  for (;;) {
    size_t got = 0;
    if (!file->readAt(at, buffer.get(), kPiece, &got)) return std::nullopt;
    crc = Crc32Update(crc, buffer.get(), got);
    at += got;
    if (got < kPiece) break;
  }
  return std::make_pair(at, ~crc);
}

std::string FilePrint(const std::string& path) {
  if (!fs::isFile(path)) return "-";
  std::optional<std::pair<uint64_t, uint32_t>> crc = FileCrc(path);
  if (!crc) return "?";
  char text[48];
  std::snprintf(text, sizeof text, "%llu:%08x", static_cast<unsigned long long>(crc->first),
                static_cast<unsigned>(crc->second));
  return text;
}

// Syncs the tables of the updates swapped since the last journal write.
bool SyncSwappedTables() {
  for (int number : UnsyncedSwaps()) {
    const RestructureSpec* row = FindRestructureSpec(number);
    const JournalUpdate* update = nullptr;
    for (const JournalUpdate& u : Current().updates) {
      if (u.number == number) update = &u;
    }
    if (row == nullptr || update == nullptr) continue;
    for (const std::string& relative : update->relatives) {
      const std::string folder = Folders().data + relative;
      // The files only: whatever of the swap's folder entries a power cut
      // undoes leaves the file from before the swap (a state the journal
      // knows) or none. The folders are synced once, at the end of the call.
      // Only the fingerprinted files: a rollback puts every index back from
      // its backup, so the swapped .mdx need not reach the disk before the
      // end of the call, when it is synced once.
      for (const UpdatedTable& table : row->tables()) {
        for (const char* ext : {".dbf", ".dbt"}) {
          const std::string path = folder + table.base + ext;
          if (fs::isFile(path) && !fs::syncFile(path)) {
            NoteFailureDetail("sync of " + path);
            return false;
          }
        }
        SyncedSinceSwap().insert(ascii::upper(folder + table.base));
      }
    }
  }
  UnsyncedSwaps().clear();
  return true;
}

}  // namespace

std::string TableFingerprint(const std::string& folder, const std::string& base) {
  const std::string at = WithBackslash(folder) + base;
  return FilePrint(at + ".dbf") + "/" + FilePrint(at + ".dbt");
}

bool JournalUpdateSwapped(int number) {
  if (!Active()) return true;
  JournalUpdate* update = nullptr;
  for (JournalUpdate& u : Current().updates) {
    if (u.number == number) update = &u;
  }
  const RestructureSpec* row = FindRestructureSpec(number);
  if (update == nullptr || row == nullptr) return true;
  update->swaps.clear();
  for (const std::string& relative : update->relatives) {
    for (const UpdatedTable& table : row->tables()) {
      const std::string folder = Folders().data + relative;
      update->swaps.push_back({relative, table.base, TableFingerprint(folder, table.base)});
      SyncedSinceSwap().erase(ascii::upper(folder + table.base));
    }
  }
  // The fingerprints reach the disk with the next journal write, after these
  // tables (SyncSwappedTables): a fingerprint on disk always describes
  // synced files, so a power cut cannot pass for another workstation's write.
  UnsyncedSwaps().push_back(number);
  return true;
}

bool SaveJournal() {
  if (!Active()) return true;
  if (SyncSwappedTables() && Write(Current())) return true;
  NoteFailureDetail("write " + JournalPath());
  return false;
}

bool UnchangedSinceSwaps(const Journal& journal) {
  struct Known {
    std::vector<std::string> prints;  // every state this call left the table in
    int lastSwap = 0;
    std::string backup;               // B + location, for the message
    const UpdatedTable* table = nullptr;
  };
  std::map<std::string, Known> tables;  // upper-cased data path + base
  // The tables of an update cut short inside its swap hold its own work
  // copies or nothing: no one else's writes, and no fingerprint to match.
  std::vector<std::string> midSwap;
  for (const JournalUpdate& update : journal.updates) {
    const RestructureSpec* row = FindRestructureSpec(update.number);
    if (row == nullptr || !update.swaps.empty()) continue;
    for (const std::string& relative : update.relatives) {
      for (const UpdatedTable& table : row->tables()) {
        midSwap.push_back(ascii::upper(Folders().data + relative + table.base));
      }
    }
  }
  for (const JournalUpdate& update : journal.updates) {
    const RestructureSpec* row = FindRestructureSpec(update.number);
    if (row == nullptr) continue;
    for (const JournalSwap& swap : update.swaps) {
      Known& known = tables[ascii::upper(Folders().data + swap.relative + swap.base)];
      known.prints.push_back(swap.fingerprint);
      if (update.number > known.lastSwap) known.lastSwap = update.number;
      for (const UpdatedTable& table : row->tables()) {
        if (ascii::upper(table.base) == ascii::upper(swap.base)) known.table = &table;
      }
      known.backup = Folders().backup + swap.relative;
    }
  }
  bool unchanged = true;
  for (const JournalUpdate& update : journal.updates) {
    for (const JournalSwap& swap : update.swaps) {
      const std::string folder = Folders().data + swap.relative;
      Known& known = tables[ascii::upper(folder + swap.base)];
      if (known.table == nullptr || known.lastSwap != update.number) continue;  // once per table
      const std::string key = ascii::upper(folder + swap.base);
      if (std::find(midSwap.begin(), midSwap.end(), key) != midSwap.end()) continue;
      const std::string now = TableFingerprint(folder, swap.base);
      // A table missing its data file was cut short inside a swap: nobody
      // can have written into it.
      if (now.rfind("-/", 0) == 0) continue;
      if (std::find(known.prints.begin(), known.prints.end(), now) != known.prints.end()) continue;
      const std::string backupData = BackupFileOf(known.backup, *known.table, ".dbf");
      const std::string backupMemo = BackupFileOf(known.backup, *known.table, ".dbt");
      if (now == FilePrint(backupData) + "/" + FilePrint(backupMemo)) continue;  // already put back
      char number[8];
      std::snprintf(number, sizeof number, "%04d", update.number);
      NoteFailureDetail("table " + folder + swap.base + ".dbf changed after update " + number +
                        " replaced it (swapped " + [&] {
                          std::string all;
                          for (const std::string& p : known.prints) all += (all.empty() ? "" : ", ") + p;
                          return all;
                        }() + "; now " + now + "); kept, its backup is " + backupData);
      if (unchanged) {
        LastErrorText() = "Unable to restore table " + folder + swap.base +
                          ".dbf: it was changed after update " + number +
                          " replaced it; it was kept, and nothing was restored (see "
                          "update\\tabmend.log).";
      }
      unchanged = false;
    }
  }
  return unchanged;
}

std::string EncodeJournal(const Journal& journal) {
  std::string text = std::string(kMagic) + "\n";
  text += "call " + journal.call + "\n";
  text += "data " + journal.data + "\n";
  for (const JournalUpdate& update : journal.updates) {
    const std::string n = std::to_string(update.number);
    text += "update " + n + "\n";
    for (const std::string& relative : update.relatives) text += "location " + n + " " + relative + "\n";
    for (const JournalBackup& backup : update.backups) {
      text += "backup " + n + " " + (backup.original ? "original " : "plain ") + backup.base + " " +
              backup.relative + "\n";
    }
    for (const JournalSwap& swap : update.swaps) {
      text += "swapped " + n + " " + swap.fingerprint + " " + swap.base + " " + swap.relative + "\n";
    }
  }
  if (journal.finished) text += "finished\n";
  char end[32];
  std::snprintf(end, sizeof end, "end %08x\n", static_cast<unsigned>(Crc32(text)));
  return text + end;
}

std::optional<Journal> DecodeJournal(const std::string& bytes) {
  if (bytes.size() < 14 || bytes.back() != '\n') return std::nullopt;
  const size_t endLine = bytes.rfind('\n', bytes.size() - 2);
  if (endLine == std::string::npos) return std::nullopt;
  const std::string body = bytes.substr(0, endLine + 1);
  char want[32];
  std::snprintf(want, sizeof want, "end %08x\n", static_cast<unsigned>(Crc32(body)));
  if (bytes.compare(endLine + 1, std::string::npos, want) != 0) return std::nullopt;

  std::vector<std::string> lines;
  for (size_t at = 0; at < body.size();) {
    const size_t nl = body.find('\n', at);
    lines.push_back(body.substr(at, nl - at));
    at = nl + 1;
  }
  if (lines.size() < 3 || lines[0] != kMagic) return std::nullopt;
  Journal journal;
  auto [callWord, call] = Split(lines[1]);
  auto [dataWord, data] = Split(lines[2]);
  if (callWord != "call" || dataWord != "data" || data.empty()) return std::nullopt;
  journal.call = call;
  journal.data = data;
  auto find = [&](const std::string& text) -> JournalUpdate* {
    std::optional<int> n = UpdateNumber(text);
    if (!n) return nullptr;
    for (JournalUpdate& update : journal.updates) {
      if (update.number == *n) return &update;
    }
    return nullptr;
  };
  for (size_t i = 3; i < lines.size(); ++i) {
    if (journal.finished) return std::nullopt;  // nothing follows "finished"
    auto [word, rest] = Split(lines[i]);
    if (word == "finished" && rest.empty() && lines[i] == "finished") {
      journal.finished = true;
    } else if (word == "update") {
      std::optional<int> n = UpdateNumber(rest);
      if (!n || find(rest) != nullptr || FindRestructureSpec(*n) == nullptr) return std::nullopt;
      journal.updates.push_back({*n, {}, {}, {}});
    } else if (word == "location") {
      auto [number, relative] = Split(rest);
      JournalUpdate* update = find(number);
      if (update == nullptr) return std::nullopt;
      update->relatives.push_back(relative);
    } else if (word == "backup") {
      auto [number, rest2] = Split(rest);
      auto [kind, rest3] = Split(rest2);
      auto [base, relative] = Split(rest3);
      JournalUpdate* update = find(number);
      if (update == nullptr || (kind != "original" && kind != "plain") || base.empty()) {
        return std::nullopt;
      }
      update->backups.push_back({relative, base, kind == "original"});
    } else if (word == "swapped") {
      auto [number, rest2] = Split(rest);
      auto [fingerprint, rest3] = Split(rest2);
      auto [base, relative] = Split(rest3);
      JournalUpdate* update = find(number);
      if (update == nullptr || fingerprint.empty() || base.empty()) return std::nullopt;
      update->swaps.push_back({relative, base, fingerprint});
    } else {
      return std::nullopt;
    }
  }
  return journal;
}

std::string JournalPath() { return Folders().work + "tabmend.jnl"; }

const Journal& CurrentJournal() { return Current(); }

bool BeginJournal() {
  // A journal write cut short leaves its temporary file beside it.
  for (const std::string& name : fs::listFiles(Folders().work, "tabmend.jnl.~*")) {
    (void)fs::deleteFile(Folders().work + name);  // never read: only its name is matched
  }
  Journal& journal = Current();
  journal = Journal{};
  UnsyncedSwaps().clear();
  SyncedSinceSwap().clear();
  journal.call = std::to_string(
      std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::system_clock::now().time_since_epoch())
          .count());
  journal.data = Folders().data;
  Active() = false;
  // Every workstation sees the mark; only this one sees the journal.
  if (!common::WritePendingUpdate(Folders().data, {fs::workstationName(), JournalPath()})) {
    LastErrorText() = kCritical;
    NoteFailureDetail("write " + common::PendingUpdatePath(Folders().data));
    return false;
  }
  if (!Write(journal)) {
    // Nothing was changed yet: a mark left behind only makes the next call check.
    (void)common::RemovePendingUpdate(Folders().data);
    LastErrorText() = kCritical;
    return false;
  }
  Active() = true;
  return true;
}

bool JournalUpdateBegun(int number, const std::vector<std::string>& relatives,
                        const std::vector<JournalBackup>& backups) {
  if (!Active()) return true;
  if (!SyncSwappedTables()) {
    LastErrorText() = kCritical;
    return false;
  }
  Journal next = Current();
  next.updates.push_back({number, relatives, backups, {}});
  if (!Write(next)) {
    LastErrorText() = kCritical;
    return false;
  }
  Current() = std::move(next);
  return true;
}

bool EndJournal() {
  if (!Active()) return true;
  // The swapped-in files reach the disk before the journal that could undo
  // them goes.
  std::vector<std::pair<std::string, std::string>> done;  // folder, base
  bool synced = SyncSwappedTables();
  std::vector<std::string> folders;
  for (const JournalUpdate& update : Current().updates) {
    const RestructureSpec* row = FindRestructureSpec(update.number);
    for (const RestoreItem& item : ItemsOf(update, *row)) {
      std::pair<std::string, std::string> key{item.data, item.table->base};
      if (std::find(done.begin(), done.end(), key) != done.end()) continue;
      done.push_back(key);
      if (std::find(folders.begin(), folders.end(), item.data) == folders.end()) {
        folders.push_back(item.data);
      }
      const bool dataSynced = SyncedSinceSwap().count(ascii::upper(item.data + item.table->base)) != 0;
      for (const char* ext : {".dbf", ".dbt", ".mdx"}) {
        if (dataSynced && std::string(ext) != ".mdx") continue;
        const std::string path = item.data + item.table->base + ext;
        if (fs::isFile(path) && !fs::syncFile(path)) synced = false;
      }
    }
  }
  for (const std::string& folder : folders) synced = fs::syncDirectory(folder) && synced;
  if (synced && DropJournal()) return true;
  LastErrorText() = kCritical;
  return false;
}

bool DropJournal() {
  if (!Active()) return true;
  Active() = false;
  return RemoveJournal(Current());
}

bool VerifyRestored(const Journal& journal, std::string* failed) {
  // The rollback restores from the highest number down, so the lowest update
  // of a table wrote its files last: its backup is what the folder must hold.
  std::map<std::string, std::pair<RestoreItem, std::string>> expected;  // data file -> item, source
  std::vector<const JournalUpdate*> order;
  for (const JournalUpdate& update : journal.updates) order.push_back(&update);
  std::sort(order.begin(), order.end(),
            [](const JournalUpdate* a, const JournalUpdate* b) { return a->number < b->number; });
  for (const JournalUpdate* update : order) {
    const RestructureSpec* row = FindRestructureSpec(update->number);
    if (row == nullptr) continue;
    for (const RestoreItem& item : ItemsOf(*update, *row)) {
      for (const char* ext : RestoreSet(item.backup, *item.table, item.memo)) {
        expected.emplace(item.data + item.table->base + ext,
                         std::make_pair(item, BackupFileOf(item.backup, *item.table, ext)));
      }
    }
  }
  std::vector<std::string> folders;
  for (const auto& [target, what] : expected) {
    const auto& [item, source] = what;
    const uint64_t size = SizeOf(target);
    if (size == UINT64_MAX || size != SizeOf(source) || !fs::syncFile(target)) {
      LastErrorText() = "Unable to restore table " + item.data + item.table->base +
                        ".dbf from its backup " + source + ".";
      if (failed != nullptr) *failed = "table " + item.data + item.table->base + ".dbf";
      return false;
    }
    if (std::find(folders.begin(), folders.end(), item.data) == folders.end()) {
      folders.push_back(item.data);
    }
  }
  for (const std::string& folder : folders) {
    if (!fs::syncDirectory(folder)) {
      LastErrorText() = "Unable to restore the tables of " + folder + ".";
      if (failed != nullptr) *failed = "the tables of " + folder;
      return false;
    }
  }
  return true;
}

bool FinishInterruptedCall() {
  const std::string path = JournalPath();
  if (!fs::pathExists(path)) return true;
  std::string bytes;
  std::optional<Journal> journal;
  if (fs::readWholeFile(path, &bytes)) journal = DecodeJournal(bytes);
  if (!journal) {
    LastErrorText() = "Unable to read the update journal " + path +
                      " (damaged or of another version); nothing was changed.";
    return false;
  }
  if (journal->finished) {
    RemoveJournal(*journal);
    return true;
  }
  if (Native(journal->data) != Native(Folders().data)) {
    LastErrorText() = "The update journal " + path + " belongs to the data directory " +
                      journal->data + "; nothing was changed.";
    return false;
  }
  if (!BackupsPresent(*journal)) return false;
  if (!UnchangedSinceSwaps(*journal)) return false;
  std::vector<GuardedTable> tables;
  for (const JournalUpdate& update : journal->updates) {
    for (const RestoreItem& item : ItemsOf(update, *FindRestructureSpec(update.number))) {
      tables.push_back({item.data, item.table->base});
    }
  }
  if (!HoldTables(tables)) return false;

  RunState& run = CurrentRun();
  run.appliedFlags.clearAll();
  run.updateLocations.clear();
  for (const JournalUpdate& update : journal->updates) {
    run.appliedFlags[update.number] = true;
    run.updateLocations[update.number] = update.relatives;
  }
  const bool whole = RollBackAppliedUpdates();
  run.appliedFlags.clearAll();
  run.updateLocations.clear();
  if (!whole || !RolledBack(*journal)) return false;
  if (!RemoveJournal(*journal)) {
    LastErrorText() = kCritical;
    return false;
  }
  return true;
}

}  // namespace talvex::tabmend
