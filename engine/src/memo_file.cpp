#include "memo_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "lock_ranges.h"
#include "platform/ascii_text.h"

namespace talvex::engine {

namespace {

constexpr uint32_t kIVMarker = 0x0008FFFF;
constexpr size_t kIVPrefix = 8;
constexpr uint32_t kIIIBlock = 512;
// Free runs kept on the chain at most: every allocation and release walks the
// chain in the file, so it stays short; blocks freed beyond it stay
// unreferenced until pack.
constexpr uint64_t kMaxFreeRuns = 128;
// A memo larger than this is refused as corrupt rather than allocated.
constexpr uint64_t kMaxMemo = 1ull << 30;

uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool readExact(platform::File& f, uint64_t off, void* buf, size_t len, std::string* error) {
  size_t got = 0;
  if (!f.readAt(off, buf, len, &got)) {
    *error = "memo read failed: " + f.lastError();
    return false;
  }
  if (got != len) {
    *error = "memo file ends early";
    return false;
  }
  return true;
}

class MemoLock {
 public:
  MemoLock(platform::File& f, bool active) : f_(f), active_(active) {}
  bool acquire(std::string* error) {
    if (!active_) return true;
    platform::LockResult r = lockWithRetry(f_, kMemoLockOffset, 1, true, kShortLockWaitMs);
    if (r == platform::LockResult::Locked) {
      held_ = true;
      return true;
    }
    *error = r == platform::LockResult::HeldElsewhere ? "memo file is locked by another user"
                                                      : "memo lock failed: " + f_.lastError();
    return false;
  }
  ~MemoLock() {
    if (held_) f_.unlockRange(kMemoLockOffset, 1);
  }

 private:
  platform::File& f_;
  bool active_;
  bool held_ = false;
};

}  // namespace

bool parseMemoPointer(std::string_view field, uint32_t* block) {
  uint64_t v = 0;
  bool digits = false;
  for (char c : field) {
    if (c == ' ' || c == '\0') {
      if (digits) {
        // blanks after the digits are tolerated, anything else is not
        continue;
      }
      continue;
    }
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
    if (v > 0xFFFFFFFFull) return false;
    digits = true;
  }
  *block = static_cast<uint32_t>(v);
  return true;
}

void formatMemoPointer(uint32_t block, bool ivStyle, char out[10]) {
  if (block == 0) {
    std::memset(out, ' ', 10);
    return;
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, ivStyle ? "%010u" : "%10u", static_cast<unsigned>(block));
  std::memcpy(out, buf, 10);
}

std::unique_ptr<MemoFile> MemoFile::open(std::string_view path, bool ivStyle, bool readOnly,
                                         std::string* error) {
  std::unique_ptr<MemoFile> m(new MemoFile());
  m->file_ = platform::File::open(path, readOnly ? platform::OpenMode::ReadOnly
                                                 : platform::OpenMode::ReadWrite,
                                  error);
  if (!m->file_ && !readOnly) {
    m->file_ = platform::File::open(path, platform::OpenMode::ReadOnly, error);
    readOnly = true;
  }
  if (!m->file_) return nullptr;
  m->path_ = m->file_->path();
  m->iv_ = ivStyle;
  m->readOnly_ = readOnly;
  uint64_t size = 0;
  if (!m->file_->size(&size)) {
    *error = "memo size failed: " + m->file_->lastError();
    return nullptr;
  }
  // A header-only file is sound (a memo table that never had a memo); what
  // must be there is the next-free word and, for dBASE IV, the block size.
  size_t need = ivStyle ? 22 : 4;
  if (size < need) {
    *error = "the memo file is " + std::to_string(size) + " bytes, shorter than its header";
    return nullptr;
  }
  uint8_t head[22];
  if (!readExact(*m->file_, 0, head, need, error)) return nullptr;
  if (ivStyle) {
    uint32_t bs = static_cast<uint32_t>(head[20] | (head[21] << 8));
    if (bs < 32 || bs % 32 != 0) {
      *error = "memo block size " + std::to_string(bs) + " is not valid";
      return nullptr;
    }
    m->blockSize_ = bs;
  } else {
    m->blockSize_ = kIIIBlock;
  }
  return m;
}

std::unique_ptr<MemoFile> MemoFile::create(std::string_view path, bool ivStyle, uint32_t blockSize,
                                           std::string_view tableName, std::string* error) {
  std::unique_ptr<MemoFile> m(new MemoFile());
  m->file_ = platform::File::open(path, platform::OpenMode::CreateTruncate, error);
  if (!m->file_) return nullptr;
  m->path_ = m->file_->path();
  m->iv_ = ivStyle;
  m->blockSize_ = ivStyle ? blockSize : kIIIBlock;
  std::vector<uint8_t> head(m->blockSize_, 0);
  put32(head.data(), 1);
  if (ivStyle) {
    for (size_t i = 0; i < tableName.size() && i < 8; ++i) {
      head[8 + i] = static_cast<uint8_t>(ascii::upperChar(tableName[i]));
    }
    head[18] = 0x02;
    head[19] = 0x01;
    head[20] = static_cast<uint8_t>(m->blockSize_);
    head[21] = static_cast<uint8_t>(m->blockSize_ >> 8);
  } else {
    head[16] = 0x03;
  }
  if (!m->file_->writeAt(0, head.data(), head.size())) {
    *error = "memo write failed: " + m->file_->lastError();
    return nullptr;
  }
  return m;
}

std::string MemoFile::where(uint32_t block) const {
  return path_ + " block " + std::to_string(block);
}

bool MemoFile::fileBlocks(uint64_t* blocks, uint64_t* size, std::string* error) {
  if (!file_->size(size)) {
    *error = path_ + ": memo size failed: " + file_->lastError();
    return false;
  }
  *blocks = (*size + blockSize_ - 1) / blockSize_;
  if (*blocks == 0) *blocks = 1;  // block 0 is the header, however short
  return true;
}

bool MemoFile::read(uint32_t block, std::string* out, std::string* error) {
  out->clear();
  if (block == 0) return true;
  uint64_t blocks = 0, size = 0;
  if (!fileBlocks(&blocks, &size, error)) return false;
  uint64_t start = static_cast<uint64_t>(block) * blockSize_;
  if (block >= blocks || start >= size) {
    *error = where(block) + ": past the end of the memo file (" + std::to_string(blocks) +
             " blocks)";
    return false;
  }
  if (iv_) {
    uint8_t prefix[kIVPrefix];
    if (start + kIVPrefix > size || !readExact(*file_, start, prefix, sizeof prefix, error) ||
        get32(prefix) != kIVMarker) {
      *error = where(block) + ": does not start a memo";
      return false;
    }
    uint32_t len = get32(prefix + 4);
    if (len < kIVPrefix || start + len > size || len - kIVPrefix > kMaxMemo) {
      *error = where(block) + ": invalid memo length " + std::to_string(len);
      return false;
    }
    out->resize(len - kIVPrefix);
    if (!out->empty() && !readExact(*file_, start + kIVPrefix, out->data(), out->size(), error)) {
      *error = where(block) + ": " + *error;
      return false;
    }
    return true;
  }
  // dBASE III: read on until 1A 1A or the end of the file.
  std::vector<char> buf(64 * 1024);
  uint64_t pos = start;
  while (pos < size) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - pos));
    size_t got = 0;
    if (!file_->readAt(pos, buf.data(), want, &got) || got == 0) {
      *error = where(block) + ": memo read failed: " + file_->lastError();
      return false;
    }
    size_t prevLen = out->size();
    out->append(buf.data(), got);
    // A terminator may straddle two chunks: search from one byte back.
    size_t from = prevLen > 0 ? prevLen - 1 : 0;
    size_t at = out->find("\x1A\x1A", from);
    if (at != std::string::npos) {
      out->resize(at);
      return true;
    }
    if (out->size() > kMaxMemo) {
      *error = where(block) + ": the memo has no end";
      return false;
    }
    pos += got;
  }
  // No terminator before the end: a single 1A ends it, as some writers do.
  if (!out->empty() && out->back() == '\x1A') out->pop_back();
  return true;
}

bool MemoFile::ownBlocks(uint32_t block, uint64_t* blocks) {
  if (block == 0 || !iv_) return false;
  uint64_t size = 0;
  if (!file_->size(&size)) return false;
  uint64_t start = static_cast<uint64_t>(block) * blockSize_;
  uint8_t prefix[kIVPrefix];
  size_t got = 0;
  if (start + kIVPrefix > size || !file_->readAt(start, prefix, kIVPrefix, &got) ||
      got != kIVPrefix)
    return false;
  uint32_t len = get32(prefix + 4);
  if (get32(prefix) != kIVMarker || len < kIVPrefix || start + len > size) return false;
  *blocks = (len + blockSize_ - 1) / blockSize_;
  return true;
}

// A free run: its first word is the next run, its second its own length in
// blocks. Anything else (a live memo, a length running past the next run or
// the file's end) is not a run, and the chain is not followed through it.
bool MemoFile::readLink(uint32_t block, uint64_t blocks, uint32_t* next, uint32_t* count,
                        bool* isRun, std::string* error) {
  uint8_t link[8];
  size_t got = 0;
  *isRun = false;
  if (!readBlockStart(block, link, &got)) {
    *error = where(block) + ": memo read failed: " + file_->lastError();
    return false;
  }
  if (got != sizeof link) return true;
  *next = get32(link);
  *count = get32(link + 4);
  if (*next == kIVMarker || *count == 0) return true;
  uint64_t end = static_cast<uint64_t>(block) + *count;
  if (end > blocks) return true;
  if (*next > block && *next < blocks && end > *next) return true;
  *isRun = true;
  return true;
}

void MemoFile::keepLinks(bool on) {
  keepLinks_ = on;
  links_.clear();
}

bool MemoFile::readBlockStart(uint32_t block, uint8_t out[8], size_t* got) {
  if (keepLinks_) {
    auto it = links_.find(block);
    if (it != links_.end()) {
      std::memcpy(out, it->second.data(), 8);
      *got = 8;
      return true;
    }
  }
  if (!file_->readAt(static_cast<uint64_t>(block) * blockSize_, out, 8, got)) return false;
  if (keepLinks_ && *got == 8) std::memcpy(links_[block].data(), out, 8);
  return true;
}

// Every write of this file goes through here, so no kept link goes stale: a
// kept block start that the write covers takes its new bytes (or is dropped
// when the write failed and the file may hold either).
bool MemoFile::writeAt(uint64_t offset, const void* data, size_t len) {
  bool ok = file_->writeAt(offset, data, len);
  if (!keepLinks_ || len == 0) return ok;
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint64_t end = offset + len;
  auto touch = [&](uint64_t block, std::array<uint8_t, 8>& kept) {
    uint64_t at = block * blockSize_;
    uint64_t from = std::max(at, offset), to = std::min(at + 8, end);
    if (from >= to) return true;
    if (!ok) return false;
    std::memcpy(kept.data() + (from - at), bytes + (from - offset), static_cast<size_t>(to - from));
    return true;
  };
  uint64_t first = offset / blockSize_, last = (end - 1) / blockSize_;
  if (last - first + 1 > links_.size()) {
    for (auto it = links_.begin(); it != links_.end();)
      it = touch(it->first, it->second) ? std::next(it) : links_.erase(it);
  } else {
    for (uint64_t b = first; b <= last; ++b) {
      auto it = links_.find(static_cast<uint32_t>(b));
      if (it != links_.end() && !touch(b, it->second)) links_.erase(it);
    }
  }
  if (ok && offset % blockSize_ == 0 && len >= 8)
    std::memcpy(links_[static_cast<uint32_t>(offset / blockSize_)].data(), bytes, 8);
  return ok;
}

bool MemoFile::truncate(uint64_t size) {
  for (auto it = links_.begin(); it != links_.end();)
    it = static_cast<uint64_t>(it->first) * blockSize_ + 8 > size ? links_.erase(it) : std::next(it);
  return file_->truncate(size);
}

bool MemoFile::writeLink(uint64_t at, uint32_t next, uint32_t count, bool withCount,
                         std::string* error) {
  uint8_t link[8];
  put32(link, next);
  put32(link + 4, count);
  if (!writeAt(at, link, withCount ? 8 : 4)) {
    *error = path_ + ": memo write failed: " + file_->lastError();
    return false;
  }
  return true;
}

// Takes `need` blocks: the shortest free run long enough (split when longer), or
// the file's end, padded to a whole block first. The caller holds the lock.
bool MemoFile::allocate(uint64_t need, uint32_t* at, std::string* error) {
  uint64_t blocks = 0, size = 0;
  if (!fileBlocks(&blocks, &size, error)) return false;
  uint8_t head[8] = {0};
  size_t got = 0;
  if (!readBlockStart(0, head, &got)) {
    *error = path_ + ": memo read failed: " + file_->lastError();
    return false;
  }
  uint64_t prevAt = 0;  // the word that leads to p: header[0] or a run's first word
  if (iv_) {
    // Best fit: the shortest run that is long enough keeps long runs for long memos.
    uint32_t p = got >= 4 ? get32(head) : 0;
    uint64_t steps = 0, bestAt = 0;
    uint32_t best = 0, bestNext = 0, bestCount = 0;
    while (p != 0 && p < blocks) {
      if (++steps > blocks) {
        *error = where(p) + ": the free block chain loops";
        return false;
      }
      uint32_t next = 0, count = 0;
      bool isRun = false;
      if (!readLink(p, blocks, &next, &count, &isRun, error)) return false;
      if (!isRun) break;  // dropped from the chain below: never reused, never overwritten
      if (count >= need && (best == 0 || count < bestCount)) {
        best = p;
        bestNext = next;
        bestCount = count;
        bestAt = prevAt;
        if (count == need) break;
      }
      prevAt = static_cast<uint64_t>(p) * blockSize_;
      p = next;
    }
    if (best != 0) {
      uint32_t follow = bestNext;
      if (bestCount > need) {
        follow = static_cast<uint32_t>(best + need);
        if (!writeLink(static_cast<uint64_t>(follow) * blockSize_, bestNext,
                       static_cast<uint32_t>(bestCount - need), true, error))
          return false;
      }
      if (!writeLink(bestAt, follow, 0, false, error)) return false;
      *at = best;
      return true;
    }
  }
  uint64_t point = blocks;
  if (point + need > 0xFFFFFFFFull) {
    *error = path_ + ": memo file is full";
    return false;
  }
  uint64_t startByte = point * blockSize_;
  if (size < startByte) {
    // A short last block or a header-only file: pad it so the memo starts on a block.
    std::vector<uint8_t> zeros(static_cast<size_t>(startByte - size), 0);
    if (!writeAt(size, zeros.data(), zeros.size())) {
      *error = path_ + ": memo write failed: " + file_->lastError();
      return false;
    }
  }
  if (!writeLink(prevAt, static_cast<uint32_t>(point + need), 0, false, error)) return false;
  *at = static_cast<uint32_t>(point);
  return true;
}

bool MemoFile::write(std::string_view data, uint32_t* block, bool shared,
                     std::vector<MemoRun>* freed, std::string* error) {
  if (readOnly_) {
    *error = path_ + ": memo file is read-only";
    return false;
  }
  uint64_t own = 0;
  bool owned = *block != 0 && ownBlocks(*block, &own);
  if (data.empty()) {
    if (owned) freed->push_back({*block, static_cast<uint32_t>(own)});
    *block = 0;
    return true;
  }
  if (data.size() > kMaxMemo) {
    *error = path_ + ": memo text is too long";
    return false;
  }
  std::vector<uint8_t> bytes;
  size_t used = iv_ ? data.size() + kIVPrefix : data.size() + 2;
  uint64_t need = (used + blockSize_ - 1) / blockSize_;
  bytes.resize(static_cast<size_t>(need * blockSize_), 0);
  if (iv_) {
    put32(bytes.data(), kIVMarker);
    put32(bytes.data() + 4, static_cast<uint32_t>(used));
    std::memcpy(bytes.data() + kIVPrefix, data.data(), data.size());
  } else {
    std::memcpy(bytes.data(), data.data(), data.size());
    bytes[data.size()] = 0x1A;
    bytes[data.size() + 1] = 0x1A;
  }

  // Never over the record's own blocks: a process killed before the record
  // is written must leave the old memo whole. The old blocks are given back
  // once the record points at the new ones.
  MemoLock lock(*file_, shared);
  if (!lock.acquire(error)) return false;
  uint32_t at = 0;
  if (!allocate(need, &at, error)) return false;
  if (!writeAt(static_cast<uint64_t>(at) * blockSize_, bytes.data(), bytes.size())) {
    *error = where(at) + ": memo write failed: " + file_->lastError();
    return false;
  }
  if (owned) freed->push_back({*block, static_cast<uint32_t>(own)});
  *block = at;
  return true;
}

bool MemoFile::release(const std::vector<MemoRun>& runs, bool shared, std::string* error) {
  if (!iv_ || runs.empty()) return true;
  if (readOnly_) return true;
  MemoLock lock(*file_, shared);
  if (!lock.acquire(error)) return false;
  for (const MemoRun& r : runs)
    if (!releaseOne(r, error)) return false;
  return true;
}

// Inserts the run where block order puts it, merged with a free run just
// before or just after it; free space that reaches the end of the file is cut
// off instead.
bool MemoFile::releaseOne(MemoRun run, std::string* error) {
  uint64_t blocks = 0, size = 0;
  if (!fileBlocks(&blocks, &size, error)) return false;
  if (run.block == 0 || run.count == 0 || static_cast<uint64_t>(run.block) + run.count > blocks)
    return true;
  uint8_t head[8];
  size_t got = 0;
  if (!readBlockStart(0, head, &got) || got < 4) {
    *error = path_ + ": memo read failed: " +
             (got < 4 && file_->lastError().empty() ? "short read" : file_->lastError());
    return false;
  }
  uint64_t prevAt = 0, prevPrevAt = 0;
  uint32_t prevBlock = 0, prevCount = 0;
  uint32_t p = get32(head);
  uint64_t steps = 0;
  while (p != 0 && p < blocks && p <= run.block) {
    if (++steps > blocks) {
      *error = where(p) + ": the free block chain loops";
      return false;
    }
    uint32_t next = 0, count = 0;
    bool isRun = false;
    if (!readLink(p, blocks, &next, &count, &isRun, error)) return false;
    // Not a chain we can extend safely, or the run is free already: leave it.
    if (!isRun || static_cast<uint64_t>(p) + count > run.block) return true;
    prevPrevAt = prevAt;
    prevAt = static_cast<uint64_t>(p) * blockSize_;
    prevBlock = p;
    prevCount = count;
    p = next;
  }
  // Count the rest of the chain: a full chain takes no new run.
  uint64_t runs = steps;
  for (uint32_t q = p; q != 0 && q < blocks && runs < kMaxFreeRuns; ++runs) {
    uint32_t qNext = 0, qCount = 0;
    bool isRun = false;
    if (!readLink(q, blocks, &qNext, &qCount, &isRun, error)) return false;
    if (!isRun) break;
    q = qNext;
  }
  bool full = runs >= kMaxFreeRuns;
  uint32_t next = p;
  uint64_t count = run.count;
  if (p != 0 && p < blocks && static_cast<uint64_t>(run.block) + run.count == p) {
    uint32_t pNext = 0, pCount = 0;
    bool isRun = false;
    if (!readLink(p, blocks, &pNext, &pCount, &isRun, error)) return false;
    if (isRun) {
      next = pNext;
      count += pCount;
    }
  }
  bool joinPrev = prevBlock != 0 && static_cast<uint64_t>(prevBlock) + prevCount == run.block;
  uint32_t start = joinPrev ? prevBlock : run.block;
  uint64_t total = joinPrev ? prevCount + count : count;
  uint64_t linkAt = joinPrev ? prevPrevAt : prevAt;
  if (start + total >= blocks && (next == 0 || next >= blocks)) {
    // The last run of the chain ends the file: the link now names the new end.
    if (!writeLink(linkAt, start, 0, false, error)) return false;
    if (!truncate(static_cast<uint64_t>(start) * blockSize_)) {
      *error = path_ + ": memo truncate failed: " + file_->lastError();
      return false;
    }
    return true;
  }
  if (joinPrev) return writeLink(prevAt, next, static_cast<uint32_t>(total), true, error);
  if (full && count == run.count) return true;  // would be one run more
  if (!writeLink(static_cast<uint64_t>(run.block) * blockSize_, next, static_cast<uint32_t>(count),
                 true, error))
    return false;
  return writeLink(prevAt, run.block, 0, false, error);
}

}  // namespace talvex::engine
