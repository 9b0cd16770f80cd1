#include "shared_table.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>

#include "c4dll.h"
#include "platform/file_system.h"
#include "index_binding.h"
#include "lock_ranges.h"

namespace talvex::engine {

namespace {

using platform::File;
using platform::LockResult;
using platform::OpenMode;

constexpr size_t kReadAheadBytes = 256 * 1024;
// How long records read ahead beside other writers are served to a walk in
// record order: the bound on how old a record served that way can be.
constexpr int64_t kSharedReadAheadUs = 10000;

int64_t nowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
constexpr size_t kWriteBehindBytes = 1024 * 1024;
// Header byte 14 (dBASE: "incomplete transaction"): how many writers have
// begun changing the table and not yet closed it; 255 sticks until a repair.
constexpr uint64_t kWriterMarkByte = 14;

// Overwrites target with the bytes of the file at fromPath, in place (others
// may hold target open), and cuts it to that size.
bool copyInto(File& target, const std::string& fromPath, std::string* why) {
  std::unique_ptr<File> in = File::open(fromPath, OpenMode::ReadOnly, why);
  uint64_t size = 0;
  if (!in || !in->size(&size)) return false;
  std::vector<char> buf(256 * 1024);
  for (uint64_t pos = 0; pos < size;) {
    size_t got = 0;
    size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - pos));
    if (!in->readAt(pos, buf.data(), want, &got) || got != want || !target.writeAt(pos, buf.data(), got)) {
      *why = target.path() + " could not be rewritten from " + fromPath + ": " + target.lastError();
      return false;
    }
    pos += got;
  }
  if (!target.truncate(size)) {
    *why = target.path() + " could not be cut: " + target.lastError();
    return false;
  }
  return true;
}

bool syncFile(const std::string& path) {
  std::string why;
  std::unique_ptr<File> f = File::open(path, OpenMode::ReadWrite, &why);
  return f && f->sync();
}

std::map<std::string, std::weak_ptr<SharedTable>>& registry() {
  static std::map<std::string, std::weak_ptr<SharedTable>> r;
  return r;
}

std::string registryKey(const std::string& nativePath) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::weakly_canonical(nativePath, ec);
  std::string key = ec ? nativePath : p.string();
#ifdef _WIN32
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
#endif
  return key;
}

size_t lastSeparator(std::string_view path) {
  size_t a = path.find_last_of("/\\");
  return a == std::string_view::npos ? 0 : a + 1;
}

}  // namespace

std::string withDbfExtension(std::string_view path) {
  size_t base = lastSeparator(path);
  if (path.find('.', base) == std::string_view::npos) return std::string(path) + ".dbf";
  return std::string(path);
}

std::string replaceExtension(std::string_view path, std::string_view ext) {
  size_t base = lastSeparator(path);
  size_t dot = path.rfind('.');
  std::string out(path);
  if (dot != std::string_view::npos && dot >= base) out.resize(dot);
  out += ext;
  return out;
}

std::string baseName(std::string_view path) {
  size_t base = lastSeparator(path);
  std::string_view name = path.substr(base);
  size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

std::shared_ptr<SharedTable> SharedTable::findOpen(std::string_view nativePath) {
  auto it = registry().find(registryKey(std::string(nativePath)));
  if (it == registry().end()) return nullptr;
  return it->second.lock();
}

std::shared_ptr<SharedTable> SharedTable::acquire(std::string_view path, int accessMode,
                                                  EngineError* error) {
  std::string full = withDbfExtension(path);
  // Resolve the real file first: two spellings of one file share one state.
  std::string why;
  std::unique_ptr<File> probe = File::open(full, OpenMode::ReadOnly, &why);
  if (!probe) {
    error->code = e4open;
    error->detail = full + ": " + why;
    return nullptr;
  }
  std::string key = registryKey(probe->path());
  probe.reset();
  auto it = registry().find(key);
  if (it != registry().end()) {
    if (std::shared_ptr<SharedTable> existing = it->second.lock()) {
      if (accessMode > existing->heldMode_ && existing->upgradeMode(accessMode, error) != 0)
        return nullptr;
      return existing;
    }
  }
  std::shared_ptr<SharedTable> t(new SharedTable());
  if (t->open(full, accessMode, error) != 0) return nullptr;
  t->key_ = key;
  registry()[key] = t;
  return t;
}

int SharedTable::ioError(int code, const std::string& what, EngineError* error) {
  error->code = code;
  error->detail = path_ + ": " + what + (io_ && !io_->lastError().empty() ? " (" + io_->lastError() + ")" : "");
  return code;
}

int SharedTable::open(std::string_view path, int accessMode, EngineError* error) {
  std::string why;
  io_ = File::open(path, OpenMode::ReadWrite, &why);
  if (!io_) {
    io_ = File::open(path, OpenMode::ReadOnly, &why);
    readOnly_ = true;
  }
  if (!io_) {
    error->code = e4open;
    error->detail = std::string(path) + ": " + why;
    return e4open;
  }
  path_ = io_->path();
  alias_ = baseName(path_);

  if (int rc = takeModeLocks(accessMode, error)) return rc;

  uint8_t first[kDbfFixedHeader];
  size_t got = 0;
  if (!io_->readAt(0, first, sizeof first, &got)) return ioError(e4read, "header read failed", error);
  if (got < sizeof first) {
    error->code = e4data;
    error->detail = path_ + ": the file is shorter than a table header";
    return e4data;
  }
  std::string bad;
  uint16_t hl = dbfHeaderLength(first, &bad);
  if (hl == 0) {
    error->code = e4data;
    error->detail = path_ + (isLevel7Version(first[0]) ? " is " : ": ") + bad;
    return e4data;
  }
  std::vector<uint8_t> head(hl);
  if (!io_->readAt(0, head.data(), hl, &got)) return ioError(e4read, "header read failed", error);
  if (!decodeDbfHeader(head.data(), got, &header_, &bad)) {
    error->code = e4data;
    error->detail = path_ + ": " + bad;
    return e4data;
  }
  uint64_t size = 0;
  if (!io_->size(&size)) return ioError(e4read, "size failed", error);
  uint64_t need = static_cast<uint64_t>(header_.headerLen) +
                  static_cast<uint64_t>(header_.recCount) * header_.recordLen;
  repairPending_ = head[kWriterMarkByte] != 0;
  if (size < need && repairPending_) {
    // A writer died and a power cut kept its count but not all of the file's
    // growth: only the whole records are there; the repair writes the count.
    header_.recCount = static_cast<uint32_t>((size > header_.headerLen ? size - header_.headerLen : 0) /
                                             header_.recordLen);
    need = size;
  }
  if (size < need) {
    error->code = e4read;
    error->detail = path_ + ": the file is shorter than its " + std::to_string(header_.recCount) +
                    " records (truncated)";
    return e4read;
  }
  count_ = header_.recCount;

  bool memoFields = false;
  for (const FieldDesc& f : header_.fields)
    if (f.type == 'M' || f.type == 'B' || f.type == 'G') memoFields = true;
  if (memoFields) {
    std::string memoPath = replaceExtension(path_, ".dbt");
    memo_ = MemoFile::open(memoPath, memoIV(), readOnly_, &why);
    if (!memo_) {
      error->code = e4memo;
      error->detail = memoPath + ": " + why;
      return e4memo;
    }
    memo_->keepLinks(heldMode_ >= 1);
  }
  return 0;
}

int SharedTable::takeModeLocks(int mode, EngineError* error) {
  LockResult gate = lockWithRetry(*io_, kRepairGateByte, 1, false, kRepairWaitMs);
  if (gate != LockResult::Locked) {
    error->code = gate == LockResult::HeldElsewhere ? r4locked : e4lock;
    error->detail = path_ + ": the table is being repaired by another user";
    return error->code;
  }
  int rc = takeOpenAndWriterBytes(mode, error);
  io_->unlockRange(kRepairGateByte, 1);
  return rc;
}

int SharedTable::takeOpenAndWriterBytes(int mode, EngineError* error) {
  bool exclusiveOpen = mode >= 2;
  LockResult r = io_->lockRange(kOpenByte, 1, exclusiveOpen && !readOnly_);
  if (r == LockResult::HeldElsewhere) {
    error->code = e4exclusive;
    error->detail = path_ + ": the table is open exclusively elsewhere";
    return e4exclusive;
  }
  if (r == LockResult::Failed) return ioError(e4lock, "open lock failed", error);
  bool denyWrite = mode >= 1;
  r = io_->lockRange(kWriterByte, 1, denyWrite && !readOnly_);
  if (r == LockResult::HeldElsewhere) {
    if (mode == 0) {
      // Someone keeps writers out: this handle may only read.
      readOnly_ = true;
      heldMode_ = 0;
      return 0;
    }
    io_->unlockRange(kOpenByte, 1);
    error->code = e4exclusive;
    error->detail = path_ + ": the table is open elsewhere";
    return e4exclusive;
  }
  if (r == LockResult::Failed) {
    io_->unlockRange(kOpenByte, 1);
    return ioError(e4lock, "open lock failed", error);
  }
  if (mode >= 1 && readOnly_) {
    error->code = e4exclusive;
    error->detail = path_ + ": the table cannot be opened for writing";
    return e4exclusive;
  }
  heldMode_ = mode;
  return 0;
}

int SharedTable::upgradeMode(int mode, EngineError* error) {
  if (readOnly_) {
    error->code = e4exclusive;
    error->detail = path_ + ": the table is open read-only";
    return e4exclusive;
  }
  // Unlock, then lock exclusively: portable (a Win32 handle cannot upgrade in place).
  if (mode >= 2) {
    io_->unlockRange(kOpenByte, 1);
    if (io_->lockRange(kOpenByte, 1, true) != LockResult::Locked) {
      // Back to sharing where the system lets it: that lock only keeps others
      // from exclusive use, and the refusal is what this call reports.
      (void)io_->lockRange(kOpenByte, 1, false);
      error->code = e4exclusive;
      error->detail = path_ + ": the table is open elsewhere";
      return e4exclusive;
    }
  }
  if (heldMode_ < 1) {
    // Under the gate no repairer holds the writer byte, so taking it back
    // shared after a refusal cannot fail for that reason.
    if (lockWithRetry(*io_, kRepairGateByte, 1, false, kRepairWaitMs) != LockResult::Locked) {
      error->code = r4locked;
      error->detail = path_ + ": the table is being repaired by another user";
      return r4locked;
    }
    io_->unlockRange(kWriterByte, 1);
    bool upgraded = io_->lockRange(kWriterByte, 1, true) == LockResult::Locked;
    if (!upgraded && lockWithRetry(*io_, kWriterByte, 1, false, kShortLockWaitMs) != LockResult::Locked)
      readOnly_ = true;  // another upgrader won in between: this handle may only read now
    io_->unlockRange(kRepairGateByte, 1);
    if (!upgraded) {
      error->code = e4exclusive;
      error->detail = path_ + ": the table is open elsewhere";
      return e4exclusive;
    }
  }
  if (!trusted()) {
    countStale_ = true;
    cacheCount_ = 0;
  }
  heldMode_ = mode;
  if (memo_) memo_->keepLinks(heldMode_ >= 1);
  return 0;
}

SharedTable::~SharedTable() {
  EngineError ignored;
  if (indexSettleAll(*this, &ignored) != 0) keepMark_ = true;
  indexes_.clear();
  if (io_) {
    // A destructor reports to nobody: what fails here is what d4check and the
    // next open's repair find.
    (void)flush(&ignored);
    if (modified_ && trusted() && !readOnly_) {
      // Nobody else writes: make the end of the file exact.
      uint64_t end = static_cast<uint64_t>(header_.headerLen) +
                     static_cast<uint64_t>(count_) * header_.recordLen;
      uint8_t eof = kDbfEndMarker;
      if (io_->writeAt(end, &eof, 1)) (void)io_->truncate(end + 1);
    }
    if (counted_ && !keepMark_ && !readOnly_) {
      // Counted out under the header lock; when it cannot be had the mark
      // stays, which costs the next lone opener a needless repair only.
      bool lock = heldMode_ < 1;
      if (!lock || lockWithRetry(*io_, kHeaderLockOffset, 1, true, kShortLockWaitMs) == LockResult::Locked) {
        uint8_t mark = 0;
        size_t got = 0;
        if (io_->readAt(kWriterMarkByte, &mark, 1, &got) && got == 1 && mark > 0 && mark < 255) {
          --mark;
          (void)io_->writeAt(kWriterMarkByte, &mark, 1);  // a mark left high only costs a check
        }
        if (lock) io_->unlockRange(kHeaderLockOffset, 1);
      }
    }
    io_->unlockRange(kWriterByte, 1);
    io_->unlockRange(kOpenByte, 1);
  }
  auto it = registry().find(key_);
  if (it != registry().end() && it->second.expired()) registry().erase(it);
}

void SharedTable::fileLockTaken() {
  if (fileLockHolders_++ == 0) {
    cacheCount_ = 0;  // what was read before may be stale
    if (heldMode_ < 1) countStale_ = true;
  }
}

void SharedTable::fileLockReleased() {
  if (fileLockHolders_ > 0) --fileLockHolders_;
  if (!trusted()) cacheCount_ = 0;
}

int SharedTable::beginChange(EngineError* error) {
  if (counted_ || readOnly_) return 0;
  // Nobody else writes the header while the open mode or our table lock
  // keeps them out (and our own table lock covers the header byte).
  bool lock = !trusted();
  if (lock) {
    LockResult r = lockWithRetry(*io_, kHeaderLockOffset, 1, true, kShortLockWaitMs);
    if (r != LockResult::Locked) {
      error->code = r == LockResult::HeldElsewhere ? r4locked : e4lock;
      error->detail = path_ + ": the header lock is held by another user";
      return error->code;
    }
  }
  uint8_t mark = 0;
  size_t got = 0;
  bool ok = io_->readAt(kWriterMarkByte, &mark, 1, &got) && got == 1;
  if (ok && mark < 255) ++mark;
  ok = ok && io_->writeAt(kWriterMarkByte, &mark, 1);
  if (lock) io_->unlockRange(kHeaderLockOffset, 1);
  // Synced, so that after a power cut too the next opener knows to repair
  // whatever of this writer's changes reached the disk only in part.
  ok = ok && io_->sync();
  if (!ok) return ioError(e4write, "header write failed", error);
  counted_ = true;
  return 0;
}

int SharedTable::rereadCount(EngineError* error) {
  uint8_t b[4];
  size_t got = 0;
  if (!io_->readAt(4, b, 4, &got) || got != 4) return ioError(e4read, "header read failed", error);
  count_ = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  header_.recCount = count_;
  cacheCount_ = 0;
  countStale_ = false;
  return 0;
}

int SharedTable::repairAfterCrash(EngineError* error) {
  if (!repairPending_) return 0;
  repairPending_ = false;
  if (readOnly_) return 0;
  // Only with every other writer gone: a live one may be in the middle of
  // its change, and its mark is its own to take back.
  // The gate keeps openers from taking the writer byte while it changes
  // hands; they wait for the repair rather than open read-only.
  bool upgraded = false;
  if (heldMode_ < 1) {
    if (lockWithRetry(*io_, kRepairGateByte, 1, true, kShortLockWaitMs) != LockResult::Locked) return 0;
    io_->unlockRange(kWriterByte, 1);
    if (io_->lockRange(kWriterByte, 1, true) != LockResult::Locked) {
      (void)io_->lockRange(kWriterByte, 1, false);  // back to sharing where it can
      io_->unlockRange(kRepairGateByte, 1);
      return 0;
    }
    upgraded = true;
  }
  int rc = 0;
  uint8_t mark = 0;
  size_t got = 0;
  if (!io_->readAt(kWriterMarkByte, &mark, 1, &got) || got != 1) rc = ioError(e4read, "header read failed", error);
  if (rc == 0 && mark != 0) {
    fileLockTaken();
    rc = installPack(error);
    if (rc == 0) rc = rereadCount(error);
    const uint32_t counted = count_;
    if (rc == 0) rc = dropTornAppends(error);
    if (rc == 0 && header_.productionIndex == 1) {
      std::string mdxPath = replaceExtension(path_, ".mdx");
      if (platform::isFile(mdxPath)) rc = indexRepair(*this, mdxPath, error);
      // The rebuilt index reaches the disk before the mark is cleared.
      if (rc == 0 && platform::isFile(mdxPath) && !syncFile(mdxPath))
        rc = ioError(e4write, "the repaired index " + mdxPath + " could not be synced", error);
    }
    if (rc == 0) {
      // Records past the count are the leftovers of an append that never counted.
      uint64_t end = header_.headerLen + static_cast<uint64_t>(count_) * header_.recordLen;
      uint8_t eof = kDbfEndMarker;
      uint8_t zero = 0;
      if (!io_->writeAt(end, &eof, 1) || !io_->truncate(end + 1) ||
          (count_ != counted && writeHeaderCount(error) != 0) || !io_->sync() ||
          !io_->writeAt(kWriterMarkByte, &zero, 1))
        rc = ioError(e4write, "repair after an interrupted change failed", error);
    }
    fileLockReleased();
  }
  if (upgraded) {
    io_->unlockRange(kWriterByte, 1);
    (void)io_->lockRange(kWriterByte, 1, false);  // back to sharing where it can
    io_->unlockRange(kRepairGateByte, 1);
  }
  return rc;
}

int SharedTable::dropTornAppends(EngineError* error) {
  uint64_t size = 0;
  if (!io_->size(&size)) return ioError(e4read, "size failed", error);
  const uint64_t hl = header_.headerLen, rl = header_.recordLen;
  count_ = std::min<uint32_t>(count_, static_cast<uint32_t>((size > hl ? size - hl : 0) / rl));
  // A record that never wholly reached the disk (a power cut kept the count
  // and the file's growth but lost some of its sectors) has a first byte
  // that is neither live nor deleted, or lies on a disk sector that reads as
  // nothing but zeros, which no record ever holds. At the end such records
  // are cut off; before a good one they are marked deleted, so that record
  // numbers stay and nothing half-written is live.
  constexpr uint64_t kSector = 512;
  std::vector<bool> torn(count_, false);
  std::vector<char> buf(256 * 1024);
  const uint64_t end = hl + static_cast<uint64_t>(count_) * rl;
  for (uint64_t pos = hl / kSector * kSector; pos < end;) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), end - pos)), got = 0;
    if (!io_->readAt(pos, buf.data(), want, &got) || got != want) return ioError(e4read, "record read failed", error);
    for (size_t at = 0; at < got; at += kSector) {
      size_t n = std::min<size_t>(kSector, got - at);
      uint64_t from = std::max(pos + at, hl), to = pos + at + n;
      // The file's last sector counts too when what of it lies inside the records is zeros.
      bool wholeSector = n == kSector || (pos + at + n == end && n >= 32);
      if (wholeSector && std::all_of(buf.begin() + at, buf.begin() + at + n, [](char c) { return c == 0; }))
        for (uint64_t r = (from - hl) / rl; r < count_ && hl + r * rl < to; ++r) torn[r] = true;
      for (uint64_t r = (from - hl + rl - 1) / rl; r < count_ && hl + r * rl < to; ++r) {
        char flag = buf[static_cast<size_t>(hl + r * rl - pos)];
        if (flag != ' ' && flag != '*') torn[r] = true;
      }
    }
    pos += got;
  }
  while (count_ > 0 && torn[count_ - 1]) --count_;
  const char deleted = '*';
  for (uint32_t r = 0; r < count_; ++r)
    if (torn[r] && !io_->writeAt(hl + r * rl, &deleted, 1))
      return ioError(e4write, "record write failed", error);
  header_.recCount = count_;
  countStale_ = false;
  return 0;
}

int SharedTable::recCount(uint32_t* count, EngineError* error) {
  // Buffered appends exist only while trusted, and the file does not count them yet.
  if (!trusted() || (countStale_ && appendCount_ == 0)) {
    uint8_t b[4];
    size_t got = 0;
    if (!io_->readAt(4, b, 4, &got) || got != 4) return ioError(e4read, "header read failed", error);
    uint32_t n = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                 (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    if (n != count_) {
      uint64_t size = 0;
      if (!io_->size(&size)) return ioError(e4read, "size failed", error);
      uint64_t need = header_.headerLen + static_cast<uint64_t>(n) * header_.recordLen;
      if (size < need) return ioError(e4read, "the record count passes the end of the file", error);
      count_ = n;
      header_.recCount = n;
    }
    countStale_ = false;
  }
  *count = count_;
  return 0;
}

int SharedTable::readRecord(uint32_t recno, char* out, EngineError* error, bool walk) {
  const size_t rl = header_.recordLen;
  if (recno == 0 || recno > count_) {
    error->code = e4record;
    error->detail = path_ + ": record " + std::to_string(recno) + " does not exist";
    return e4record;
  }
  if (appendCount_ && recno >= appendFirst_ && recno < appendFirst_ + appendCount_) {
    std::memcpy(out, appendBuf_.data() + (recno - appendFirst_) * rl, rl);
    return 0;
  }
  uint64_t off = header_.headerLen + static_cast<uint64_t>(recno - 1) * rl;
  uint32_t n = static_cast<uint32_t>(std::max<size_t>(1, kReadAheadBytes / rl));
  if (!trusted()) {
    // Beside other writers only a walk in record order reads ahead, and more
    // the longer it goes, so a seek followed by a step reads little.
    const bool sequential = walk && walkLast_ != 0 && recno == walkLast_ + 1;
    walkRun_ = sequential ? walkRun_ + 1 : 0;
    walkLast_ = walk ? recno : 0;
    cacheCount_ = 0;
    if (!sequential) {
      size_t got = 0;
      if (!io_->readAt(off, out, rl, &got)) return ioError(e4read, "record read failed", error);
      if (got != rl) return ioError(e4read, "record " + std::to_string(recno) + " is cut short", error);
      return 0;
    }
    n = std::min<uint32_t>(n, 2u << std::min<uint32_t>(walkRun_, 20));
  } else if (cacheCount_ && recno >= cacheFirst_ && recno < cacheFirst_ + cacheCount_) {
    std::memcpy(out, cache_.data() + (recno - cacheFirst_) * rl, rl);
    return 0;
  }
  uint32_t onDisk = appendCount_ ? appendFirst_ - 1 : count_;
  n = std::min<uint32_t>(n, onDisk - recno + 1);
  cache_.resize(static_cast<size_t>(n) * rl);
  size_t got = 0;
  cacheCount_ = 0;
  const int64_t readAt = nowUs();
  if (!io_->readAt(off, cache_.data(), cache_.size(), &got)) return ioError(e4read, "record read failed", error);
  if (got < rl) return ioError(e4read, "record " + std::to_string(recno) + " is cut short", error);
  cacheFirst_ = recno;
  cacheCount_ = static_cast<uint32_t>(got / rl);
  cacheReadAtUs_ = readAt;
  std::memcpy(out, cache_.data(), rl);
  return 0;
}

bool SharedTable::nextReadAhead(uint32_t recno, char* out) {
  if (trusted() || walkLast_ == 0 || recno != walkLast_ + 1) return false;
  if (!cacheCount_ || recno < cacheFirst_ || recno >= cacheFirst_ + cacheCount_) return false;
  if (nowUs() - cacheReadAtUs_ >= kSharedReadAheadUs) {
    cacheCount_ = 0;
    return false;
  }
  const size_t rl = header_.recordLen;
  std::memcpy(out, cache_.data() + (recno - cacheFirst_) * rl, rl);
  walkLast_ = recno;
  return true;
}

void SharedTable::forgetSharedReadAhead() {
  if (trusted()) return;
  cacheCount_ = 0;
  walkLast_ = 0;
}

int SharedTable::touchDate(EngineError* error) {
  modified_ = true;
  if (dateWritten_) return 0;
  todayForHeader(&header_.year, &header_.month, &header_.day);
  uint8_t d[3] = {header_.year, header_.month, header_.day};
  if (!io_->writeAt(1, d, 3)) return ioError(e4write, "header write failed", error);
  dateWritten_ = true;
  return 0;
}

int SharedTable::writeRecord(uint32_t recno, const char* rec, EngineError* error) {
  const size_t rl = header_.recordLen;
  if (readOnly_) {
    error->code = e4exclusive;
    error->detail = path_ + ": the table is open read-only (another user keeps writers out)";
    return e4exclusive;
  }
  if (recno == 0 || recno > count_) {
    error->code = e4record;
    error->detail = path_ + ": record " + std::to_string(recno) + " does not exist";
    return e4record;
  }
  if (int rc = touchDate(error)) return rc;
  if (appendCount_ && recno >= appendFirst_ && recno < appendFirst_ + appendCount_) {
    std::memcpy(appendBuf_.data() + (recno - appendFirst_) * rl, rec, rl);
    return 0;
  }
  uint64_t off = header_.headerLen + static_cast<uint64_t>(recno - 1) * rl;
  if (!io_->writeAt(off, rec, rl)) return ioError(e4write, "record write failed", error);
  if (cacheCount_ && recno >= cacheFirst_ && recno < cacheFirst_ + cacheCount_)
    std::memcpy(cache_.data() + (recno - cacheFirst_) * rl, rec, rl);
  return 0;
}

int SharedTable::writeHeaderCount(EngineError* error) {
  todayForHeader(&header_.year, &header_.month, &header_.day);
  header_.recCount = count_;
  uint8_t b[7];
  encodeDateAndCount(header_, b);
  if (!io_->writeAt(1, b, 7)) return ioError(e4write, "header write failed", error);
  dateWritten_ = true;
  return 0;
}

int SharedTable::appendRecord(const char* rec, File& lockFile, bool needLocks,
                              bool appendLockHeld, bool writeBehind, const AddKeys& addKeys,
                              uint32_t* recno, EngineError* error) {
  const size_t rl = header_.recordLen;
  if (readOnly_) {
    error->code = e4exclusive;
    error->detail = path_ + ": the table is open read-only (another user keeps writers out)";
    return e4exclusive;
  }
  if (count_ == 0xFFFFFFFFu) return ioError(e4write, "the table is full", error);
  modified_ = true;
  if (!needLocks && writeBehind) {
    // Flush first, so that a failed buffer write never takes this record with it.
    if (appendCount_ && appendBuf_.size() + rl > kWriteBehindBytes) {
      if (int rc = flushAppends(error)) return rc;
    }
    if (appendCount_ == 0) {
      appendFirst_ = count_ + 1;
      appendBuf_.clear();
    }
    appendBuf_.insert(appendBuf_.end(), rec, rec + rl);
    ++appendCount_;
    ++count_;
    if (int rc = addKeys(count_, error)) {
      appendBuf_.resize(appendBuf_.size() - rl);
      --appendCount_;
      --count_;
      return rc;
    }
    *recno = count_;
    return 0;
  }
  if (int rc = flushAppends(error)) return rc;

  bool appendLocked = false, headerLocked = false;
  auto release = [&]() {
    if (headerLocked) lockFile.unlockRange(kHeaderLockOffset, 1);
    if (appendLocked) lockFile.unlockRange(kAppendLockOffset, 1);
  };
  if (needLocks) {
    LockResult r;
    if (!appendLockHeld) {
      r = lockWithRetry(lockFile, kAppendLockOffset, 1, true, kShortLockWaitMs);
      if (r != LockResult::Locked) {
        error->code = r == LockResult::HeldElsewhere ? r4locked : e4lock;
        error->detail = path_ + ": the append lock is held by another user";
        return error->code;
      }
      appendLocked = true;
    }
    r = lockWithRetry(lockFile, kHeaderLockOffset, 1, true, kShortLockWaitMs);
    if (r != LockResult::Locked) {
      release();
      error->code = r == LockResult::HeldElsewhere ? r4locked : e4lock;
      error->detail = path_ + ": the header lock is held by another user";
      return error->code;
    }
    headerLocked = true;
    uint32_t n = 0;
    if (int rc = recCount(&n, error)) {
      release();
      return rc;
    }
  }
  const uint32_t oldCount = count_;
  std::vector<char> bytes(rl + 1);
  std::memcpy(bytes.data(), rec, rl);
  bytes[rl] = static_cast<char>(kDbfEndMarker);
  uint64_t off = header_.headerLen + static_cast<uint64_t>(oldCount) * rl;
  if (!io_->writeAt(off, bytes.data(), bytes.size())) {
    release();
    return ioError(e4write, "append failed", error);
  }
  ++count_;
  int rc = writeHeaderCount(error);
  if (rc == 0) {
    rc = addKeys(count_, error);
    if (rc) error->detail += " (the record was not appended)";
  }
  if (rc) takeBackAppend(oldCount);
  release();
  if (rc == 0) *recno = count_;
  return rc;
}

void SharedTable::takeBackAppend(uint32_t oldCount) {
  const size_t rl = header_.recordLen;
  const uint64_t end = header_.headerLen + static_cast<uint64_t>(oldCount) * rl;
  const uint32_t tried = count_;
  count_ = oldCount;
  if (cacheCount_ && cacheFirst_ + cacheCount_ - 1 > oldCount)
    cacheCount_ = oldCount >= cacheFirst_ ? oldCount - cacheFirst_ + 1 : 0;
  EngineError ignored;
  // The count may or may not have reached the file: write it again either way.
  if (writeHeaderCount(&ignored) == 0) {
    // Bytes past the count are not records; cutting them is tidiness only.
    const char marker = static_cast<char>(kDbfEndMarker);
    if (io_->writeAt(end, &marker, 1)) (void)io_->truncate(end + 1);
    return;
  }
  // The file may count the record: at least it must not be live and unindexed.
  count_ = tried;
  const char deleted = '*';
  (void)io_->writeAt(end, &deleted, 1);  // the append already failed; this is the last resort
}

int SharedTable::flushAppends(EngineError* error) {
  if (appendCount_ == 0) return 0;
  const size_t rl = header_.recordLen;
  appendBuf_.push_back(static_cast<char>(kDbfEndMarker));
  uint64_t off = header_.headerLen + static_cast<uint64_t>(appendFirst_ - 1) * rl;
  bool ok = io_->writeAt(off, appendBuf_.data(), appendBuf_.size());
  appendBuf_.pop_back();
  if (!ok) return ioError(e4write, "append failed", error);
  appendCount_ = 0;
  appendBuf_.clear();
  return writeHeaderCount(error);
}

int SharedTable::flush(EngineError* error) {
  if (!io_ || readOnly_) return 0;
  if (int rc = flushAppends(error)) return rc;
  if (modified_ && trusted()) {
    if (int rc = writeHeaderCount(error)) return rc;
  }
  return 0;
}

// A pack builds the whole new table aside and only then puts it in place, so
// that a killed pack leaves the old table or, once the new files are whole,
// a pack the next lone opener finishes:
//   1. the kept memos into x.pbt (synced),
//   2. the kept records, with their new memo blocks, into x.pkt (synced),
//   3. x.pkt renamed to x.pkd: from here on the pack is done, whatever happens,
//   4. x.pbt copied over x.dbt, x.pkd over x.dbf (in place: others may hold
//      both open), then x.pbt and x.pkd deleted.
int SharedTable::pack(const std::vector<bool>& keep, EngineError* error) {
  if (readOnly_) {
    error->code = e4exclusive;
    error->detail = path_ + ": the table is open read-only";
    return e4exclusive;
  }
  if (int rc = flushAppends(error)) return rc;
  if (int rc = beginChange(error)) return rc;
  // A pack whose install failed earlier is finished first: the records the
  // caller chose from are then not the table's any more.
  if (platform::isFile(replaceExtension(path_, ".pkd"))) {
    if (int rc = installPack(error)) return rc;
    error->code = e4data;
    error->detail = path_ + ": an earlier pack was put in place first; pack again";
    return e4data;
  }
  std::vector<uint32_t> memoBlocks;
  std::vector<size_t> memoFields;
  if (memo_) {
    for (size_t j = 0; j < header_.fields.size(); ++j) {
      char t = header_.fields[j].type;
      if (t == 'M' || t == 'B' || t == 'G') memoFields.push_back(j);
    }
    if (int rc = packMemoFile(keep, memoFields, &memoBlocks, error)) return rc;
  }
  uint32_t written = 0;
  if (int rc = writePackedTable(keep, memoFields, memoBlocks, &written, error)) {
    (void)platform::deleteFile(replaceExtension(path_, ".pbt"));  // a leftover is swept at the next pack
    return rc;
  }
  modified_ = true;
  if (int rc = installPack(error)) {
    // The new files are whole and stay for the next lone opener to put in place.
    keepMark_ = true;
    return rc;
  }
  count_ = written;
  header_.recCount = written;
  cacheCount_ = 0;
  return writeHeaderCount(error);
}

int SharedTable::writePackedTable(const std::vector<bool>& keep, const std::vector<size_t>& memoFields,
                                  const std::vector<uint32_t>& memoBlocks, uint32_t* written,
                                  EngineError* error) {
  const std::string tempPath = replaceExtension(path_, ".pkt");
  const std::string donePath = replaceExtension(path_, ".pkd");
  std::string why;
  auto failed = [&](int code, const std::string& what) {
    (void)platform::deleteFile(tempPath);  // the failure is reported; a leftover is truncated next time
    error->code = code;
    error->detail = path_ + ": pack stopped, table and memo file left as they were: " + what;
    return code;
  };
  (void)platform::deleteFile(tempPath);  // a stale copy is truncated by the create anyway
  std::unique_ptr<File> out = File::open(tempPath, OpenMode::CreateTruncate, &why);
  if (!out) return failed(e4create, tempPath + ": " + why);
  const size_t rl = header_.recordLen;
  std::vector<char> head(header_.headerLen);
  size_t got = 0;
  if (!io_->readAt(0, head.data(), head.size(), &got) || got != head.size())
    return failed(e4read, "the header could not be read");
  const uint32_t total = count_;
  const uint32_t chunk = static_cast<uint32_t>(std::max<size_t>(1, kReadAheadBytes / rl));
  std::vector<char> in, buf;
  uint32_t kept = 0;
  uint64_t woff = header_.headerLen;
  cacheCount_ = 0;
  for (uint32_t rec = 1; rec <= total;) {
    uint32_t n = std::min(chunk, total - rec + 1);
    in.resize(static_cast<size_t>(n) * rl);
    uint64_t off = header_.headerLen + static_cast<uint64_t>(rec - 1) * rl;
    if (!io_->readAt(off, in.data(), in.size(), &got) || got != in.size())
      return failed(e4read, "records could not be read");
    buf.clear();
    for (uint32_t i = 0; i < n; ++i) {
      if (rec + i - 1 >= keep.size() || !keep[rec + i - 1]) continue;
      size_t at = buf.size();
      buf.insert(buf.end(), in.begin() + static_cast<long>(i * rl), in.begin() + static_cast<long>((i + 1) * rl));
      // The memo pointers of the compacted .dbt, kept record by kept record.
      for (size_t m = 0; m < memoFields.size(); ++m) {
        const FieldDesc& f = header_.fields[memoFields[m]];
        formatMemoPointer(memoBlocks[kept * memoFields.size() + m], memoIV(), buf.data() + at + f.offset);
      }
      ++kept;
    }
    if (rec + n > total) buf.push_back(static_cast<char>(kDbfEndMarker));
    if (!buf.empty() && !out->writeAt(woff, buf.data(), buf.size()))
      return failed(e4write, tempPath + ": " + out->lastError());
    woff += buf.size();
    rec += n;
  }
  if (total == 0) {
    const char eof = static_cast<char>(kDbfEndMarker);
    if (!out->writeAt(woff, &eof, 1)) return failed(e4write, tempPath + ": " + out->lastError());
  }
  DbfHeader h = header_;
  h.recCount = kept;
  todayForHeader(&h.year, &h.month, &h.day);
  uint8_t dc[7];
  encodeDateAndCount(h, dc);
  std::memcpy(head.data() + 1, dc, sizeof dc);
  if (!out->writeAt(0, head.data(), head.size()) || !out->sync())
    return failed(e4write, tempPath + ": " + out->lastError());
  out.reset();
  (void)platform::deleteFile(donePath);  // a file left in the way fails the rename below
  if (!platform::moveFile(tempPath, donePath)) return failed(e4write, tempPath + " could not be renamed");
  *written = kept;
  return 0;
}

// Puts a finished pack (x.pkd, with x.pbt when the table has memos) in place;
// without x.pkd, removes what an unfinished pack left. Copying again what
// was already copied does no harm, so a pack killed here is simply redone.
int SharedTable::installPack(EngineError* error) {
  const std::string donePath = replaceExtension(path_, ".pkd");
  const std::string memoTemp = replaceExtension(path_, ".pbt");
  if (!platform::isFile(donePath)) {
    // Leftovers of a pack that never finished; the next pack overwrites them.
    if (platform::isFile(replaceExtension(path_, ".pkt"))) (void)platform::deleteFile(replaceExtension(path_, ".pkt"));
    if (platform::isFile(memoTemp)) (void)platform::deleteFile(memoTemp);
    return 0;
  }
  std::string why;
  bool ok = true;
  if (memo_ && platform::isFile(memoTemp)) {
    std::string memoPath = memo_->path();
    ok = copyInto(memo_->file(), memoTemp, &why);
    memo_.reset();
    std::string reopenWhy;
    memo_ = MemoFile::open(memoPath, memoIV(), readOnly_, &reopenWhy);
    if (!memo_) {
      ok = false;
      why = memoPath + ": " + reopenWhy;
    } else {
      memo_->keepLinks(heldMode_ >= 1);
    }
  }
  ok = ok && copyInto(*io_, donePath, &why);
  if (ok) {
    // Installed: the files left would only be installed again, with the same bytes.
    (void)platform::deleteFile(memoTemp);
    (void)platform::deleteFile(donePath);
  }
  cacheCount_ = 0;
  if (!ok) {
    error->code = e4write;
    error->detail = path_ + ": the packed table could not be put in place (" + why +
                    "); it stays in " + donePath + " and is put in place on the next open";
    return e4write;
  }
  return rereadCount(error);
}

// Writes every live memo of the kept records into x.pbt beside the table;
// *blocks gets the new block of each kept record's memo fields, in record
// order. Nothing of the table is changed here.
int SharedTable::packMemoFile(const std::vector<bool>& keep, const std::vector<size_t>& fields,
                              std::vector<uint32_t>* blocks, EngineError* error) {
  const std::string tempPath = replaceExtension(path_, ".pbt");
  auto failed = [&](int code, const std::string& why) {
    (void)platform::deleteFile(tempPath);  // the failure is reported; a leftover is truncated next time
    error->code = code;
    error->detail = path_ + ": pack stopped, table and memo file left as they were: " + why;
    return code;
  };
  std::string why;
  (void)platform::deleteFile(tempPath);  // a stale copy is truncated by the create anyway
  std::unique_ptr<MemoFile> fresh =
      MemoFile::create(tempPath, memo_->ivStyle(), memo_->blockSize(), alias_, &why);
  if (!fresh) return failed(e4create, tempPath + ": " + why);
  const size_t rl = header_.recordLen;
  std::vector<char> rec(rl);
  std::vector<MemoRun> none;
  std::string text;
  blocks->clear();
  for (uint32_t r = 1; r <= count_; ++r) {
    if (r - 1 >= keep.size() || !keep[r - 1]) continue;
    size_t got = 0;
    uint64_t off = header_.headerLen + static_cast<uint64_t>(r - 1) * rl;
    if (!io_->readAt(off, rec.data(), rl, &got) || got != rl)
      return failed(e4read, "record " + std::to_string(r) + " could not be read");
    for (size_t j : fields) {
      const FieldDesc& f = header_.fields[j];
      uint32_t old = 0, now = 0;
      if (!parseMemoPointer(std::string_view(rec.data() + f.offset, f.len), &old))
        return failed(e4memo, "record " + std::to_string(r) + " field " + f.name +
                                  " holds no memo block number");
      if (!memo_->read(old, &text, &why))
        return failed(e4memo, "record " + std::to_string(r) + " field " + f.name + ": " + why);
      if (!fresh->write(text, &now, false, &none, &why)) return failed(e4write, why);
      blocks->push_back(now);
    }
  }
  if (!fresh->file().sync()) return failed(e4write, tempPath + ": " + fresh->file().lastError());
  return 0;
}

}  // namespace talvex::engine
