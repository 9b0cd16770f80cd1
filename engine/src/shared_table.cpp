#include "shared_table.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "c4dll.h"
#include "common/platform/file_system.h"
#include "index_binding.h"
#include "lock_ranges.h"

namespace talvex::engine {

namespace {

using platform::File;
using platform::LockResult;
using platform::OpenMode;

constexpr size_t kReadAheadBytes = 256 * 1024;
constexpr size_t kWriteBehindBytes = 1024 * 1024;

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
      io_->lockRange(kOpenByte, 1, false);
      error->code = e4exclusive;
      error->detail = path_ + ": the table is open elsewhere";
      return e4exclusive;
    }
  }
  if (heldMode_ < 1) {
    io_->unlockRange(kWriterByte, 1);
    if (io_->lockRange(kWriterByte, 1, true) != LockResult::Locked) {
      io_->lockRange(kWriterByte, 1, false);
      error->code = e4exclusive;
      error->detail = path_ + ": the table is open elsewhere";
      return e4exclusive;
    }
  }
  heldMode_ = mode;
  if (memo_) memo_->keepLinks(heldMode_ >= 1);
  return 0;
}

SharedTable::~SharedTable() {
  EngineError ignored;
  indexes_.clear();
  if (io_) {
    flush(&ignored);
    if (modified_ && trusted() && !readOnly_) {
      // Nobody else writes: make the end of the file exact.
      uint64_t end = static_cast<uint64_t>(header_.headerLen) +
                     static_cast<uint64_t>(count_) * header_.recordLen;
      uint8_t eof = kDbfEndMarker;
      io_->writeAt(end, &eof, 1);
      io_->truncate(end + 1);
    }
    io_->unlockRange(kWriterByte, 1);
    io_->unlockRange(kOpenByte, 1);
  }
  auto it = registry().find(key_);
  if (it != registry().end() && it->second.expired()) registry().erase(it);
}

void SharedTable::fileLockTaken() {
  if (fileLockHolders_++ == 0) cacheCount_ = 0;  // what was read before may be stale
}

void SharedTable::fileLockReleased() {
  if (fileLockHolders_ > 0) --fileLockHolders_;
  if (!trusted()) cacheCount_ = 0;
}

int SharedTable::recCount(uint32_t* count, EngineError* error) {
  if (!trusted()) {
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
    }
  }
  *count = count_;
  return 0;
}

int SharedTable::readRecord(uint32_t recno, char* out, EngineError* error) {
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
  if (!trusted()) {
    cacheCount_ = 0;
    size_t got = 0;
    if (!io_->readAt(off, out, rl, &got)) return ioError(e4read, "record read failed", error);
    if (got != rl) return ioError(e4read, "record " + std::to_string(recno) + " is cut short", error);
    return 0;
  }
  if (cacheCount_ && recno >= cacheFirst_ && recno < cacheFirst_ + cacheCount_) {
    std::memcpy(out, cache_.data() + (recno - cacheFirst_) * rl, rl);
    return 0;
  }
  uint32_t onDisk = appendCount_ ? appendFirst_ - 1 : count_;
  uint32_t n = static_cast<uint32_t>(std::max<size_t>(1, kReadAheadBytes / rl));
  n = std::min<uint32_t>(n, onDisk - recno + 1);
  cache_.resize(static_cast<size_t>(n) * rl);
  size_t got = 0;
  cacheCount_ = 0;
  if (!io_->readAt(off, cache_.data(), cache_.size(), &got)) return ioError(e4read, "record read failed", error);
  if (got < rl) return ioError(e4read, "record " + std::to_string(recno) + " is cut short", error);
  cacheFirst_ = recno;
  cacheCount_ = static_cast<uint32_t>(got / rl);
  std::memcpy(out, cache_.data(), rl);
  return 0;
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
    if (io_->writeAt(end, &marker, 1)) io_->truncate(end + 1);
    return;
  }
  // The file may count the record: at least it must not be live and unindexed.
  count_ = tried;
  const char deleted = '*';
  io_->writeAt(end, &deleted, 1);
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

int SharedTable::pack(const std::vector<bool>& keep, EngineError* error) {
  if (readOnly_) {
    error->code = e4exclusive;
    error->detail = path_ + ": the table is open read-only";
    return e4exclusive;
  }
  if (int rc = flushAppends(error)) return rc;
  std::vector<uint32_t> memoBlocks;
  std::vector<size_t> memoFields;
  if (memo_) {
    for (size_t j = 0; j < header_.fields.size(); ++j) {
      char t = header_.fields[j].type;
      if (t == 'M' || t == 'B' || t == 'G') memoFields.push_back(j);
    }
    if (int rc = packMemoFile(keep, memoFields, &memoBlocks, error)) return rc;
  }
  const size_t rl = header_.recordLen;
  const uint32_t total = count_;
  std::vector<char> in, out;
  uint32_t written = 0;
  uint32_t rec = 1;
  const uint32_t chunk = static_cast<uint32_t>(std::max<size_t>(1, kReadAheadBytes / rl));
  cacheCount_ = 0;
  while (rec <= total) {
    uint32_t n = std::min(chunk, total - rec + 1);
    in.resize(static_cast<size_t>(n) * rl);
    size_t got = 0;
    uint64_t off = header_.headerLen + static_cast<uint64_t>(rec - 1) * rl;
    if (!io_->readAt(off, in.data(), in.size(), &got) || got != in.size())
      return ioError(e4read, "record read failed during pack", error);
    out.clear();
    for (uint32_t i = 0; i < n; ++i) {
      if (rec + i - 1 < keep.size() && keep[rec + i - 1]) {
        size_t at = out.size();
        out.insert(out.end(), in.begin() + static_cast<long>(i * rl),
                   in.begin() + static_cast<long>((i + 1) * rl));
        // The memo pointers of the compacted .dbt, kept record by kept record.
        size_t kept = written + at / rl;
        for (size_t m = 0; m < memoFields.size(); ++m) {
          const FieldDesc& f = header_.fields[memoFields[m]];
          formatMemoPointer(memoBlocks[kept * memoFields.size() + m], memoIV(),
                            out.data() + at + f.offset);
        }
      }
    }
    if (!out.empty()) {
      uint64_t woff = header_.headerLen + static_cast<uint64_t>(written) * rl;
      if (!io_->writeAt(woff, out.data(), out.size()))
        return ioError(e4write, "record write failed during pack", error);
      written += static_cast<uint32_t>(out.size() / rl);
    }
    rec += n;
  }
  count_ = written;
  modified_ = true;
  uint64_t end = header_.headerLen + static_cast<uint64_t>(written) * rl;
  uint8_t eof = kDbfEndMarker;
  if (!io_->writeAt(end, &eof, 1) || !io_->truncate(end + 1))
    return ioError(e4write, "truncate failed during pack", error);
  return writeHeaderCount(error);
}

// Writes every live memo of the kept records into a new .dbt beside the old
// one, then puts it in the old one's place; *blocks gets the new block of each
// kept record's memo fields, in record order. Nothing is changed until the new
// file is whole: a memo that cannot be read or a failed write leaves table and
// memo file as they were. With no other opener the new file replaces the old
// by a rename; when others have the table open (and so the .dbt, which they
// would go on reading under its old name) its bytes are copied over the old
// file instead.
int SharedTable::packMemoFile(const std::vector<bool>& keep, const std::vector<size_t>& fields,
                              std::vector<uint32_t>* blocks, EngineError* error) {
  const std::string memoPath = memo_->path();
  const std::string tempPath = replaceExtension(path_, ".pbt");
  auto failed = [&](int code, const std::string& why) {
    platform::deleteFile(tempPath);
    error->code = code;
    error->detail = path_ + ": pack stopped, table and memo file left as they were: " + why;
    return code;
  };
  std::string why;
  platform::deleteFile(tempPath);
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
  fresh.reset();

  // Alone: no other process holds the open byte, and none can take it while
  // the files are swapped.
  bool alone = heldMode_ >= 2;
  bool lockedHere = false;
  if (!alone) {
    io_->unlockRange(kOpenByte, 1);
    lockedHere = io_->lockRange(kOpenByte, 1, true) == LockResult::Locked;
    if (!lockedHere) io_->lockRange(kOpenByte, 1, false);
    alone = lockedHere;
  }
  bool ok = true;
  if (alone) {
    memo_.reset();  // a Win32 file cannot be replaced while open
    ok = platform::copyFile(tempPath, memoPath);
    if (!ok) why = "the new memo file could not replace " + memoPath;
    memo_ = MemoFile::open(memoPath, memoIV(), readOnly_, &why);
    if (!memo_) ok = false;
    else memo_->keepLinks(heldMode_ >= 1);
  } else {
    std::unique_ptr<platform::File> in =
        platform::File::open(tempPath, platform::OpenMode::ReadOnly, &why);
    uint64_t size = 0;
    ok = in && in->size(&size);
    std::vector<char> buf(256 * 1024);
    for (uint64_t pos = 0; ok && pos < size;) {
      size_t got = 0;
      size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - pos));
      ok = in->readAt(pos, buf.data(), want, &got) && got == want &&
           memo_->file().writeAt(pos, buf.data(), got);
      pos += got;
    }
    ok = ok && memo_->file().truncate(size);
    if (!ok) why = memoPath + " could not be rewritten: " + memo_->file().lastError();
    memo_->keepLinks(heldMode_ >= 1);  // its bytes changed under the kept links
  }
  if (lockedHere) {
    io_->unlockRange(kOpenByte, 1);
    io_->lockRange(kOpenByte, 1, false);
  }
  platform::deleteFile(tempPath);
  if (!ok) {
    error->code = e4memo;
    error->detail = path_ + ": pack stopped: " + why;
    return e4memo;
  }
  return 0;
}

}  // namespace talvex::engine
