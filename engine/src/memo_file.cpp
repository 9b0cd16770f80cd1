#include "memo_file.h"

#include <cstring>
#include <vector>

#include "lock_ranges.h"

namespace talvex::engine {

namespace {

constexpr uint32_t kIVMarker = 0x0008FFFF;
constexpr size_t kIVPrefix = 8;
constexpr uint32_t kIIIBlock = 512;
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
  m->iv_ = ivStyle;
  m->readOnly_ = readOnly;
  uint8_t head[32];
  if (!readExact(*m->file_, 0, head, sizeof head, error)) {
    *error = "memo file has no header";
    return nullptr;
  }
  if (ivStyle) {
    uint32_t bs = static_cast<uint32_t>(head[20] | (head[21] << 8));
    if (bs == 0) bs = 512;  // some writers leave it 0; dBASE's default
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

std::unique_ptr<MemoFile> MemoFile::create(std::string_view path, bool ivStyle,
                                           std::string_view tableName, std::string* error) {
  std::unique_ptr<MemoFile> m(new MemoFile());
  m->file_ = platform::File::open(path, platform::OpenMode::CreateTruncate, error);
  if (!m->file_) return nullptr;
  m->iv_ = ivStyle;
  m->blockSize_ = 512;
  if (!m->reset(error)) return nullptr;
  if (ivStyle) {
    uint8_t name[8] = {0};
    for (size_t i = 0; i < tableName.size() && i < 8; ++i) {
      char c = tableName[i];
      name[i] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    if (!m->file_->writeAt(8, name, 8)) {
      *error = "memo write failed: " + m->file_->lastError();
      return nullptr;
    }
  }
  return m;
}

bool MemoFile::reset(std::string* error) {
  std::vector<uint8_t> head(blockSize_, 0);
  put32(head.data(), 1);
  if (iv_) {
    head[18] = 0x02;
    head[19] = 0x01;
    head[20] = static_cast<uint8_t>(blockSize_);
    head[21] = static_cast<uint8_t>(blockSize_ >> 8);
  } else {
    head[16] = 0x03;
  }
  if (!iv_) {
    if (!file_->truncate(0) || !file_->writeAt(0, head.data(), head.size())) {
      *error = "memo write failed: " + file_->lastError();
      return false;
    }
    return true;
  }
  // Keep the table name of an existing IV header.
  uint8_t name[8] = {0};
  size_t got = 0;
  if (file_->readAt(8, name, 8, &got) && got == 8) std::memcpy(head.data() + 8, name, 8);
  if (!file_->truncate(0) || !file_->writeAt(0, head.data(), head.size())) {
    *error = "memo write failed: " + file_->lastError();
    return false;
  }
  return true;
}

bool MemoFile::fileBlocks(uint64_t* blocks, uint64_t* size, std::string* error) {
  if (!file_->size(size)) {
    *error = "memo size failed: " + file_->lastError();
    return false;
  }
  *blocks = (*size + blockSize_ - 1) / blockSize_;
  return true;
}

bool MemoFile::read(uint32_t block, std::string* out, std::string* error) {
  out->clear();
  if (block == 0) return true;
  uint64_t blocks = 0, size = 0;
  if (!fileBlocks(&blocks, &size, error)) return false;
  uint64_t start = static_cast<uint64_t>(block) * blockSize_;
  if (block >= blocks || start >= size) {
    *error = "memo pointer " + std::to_string(block) + " is past the end of the memo file";
    return false;
  }
  if (iv_) {
    uint8_t prefix[kIVPrefix];
    if (!readExact(*file_, start, prefix, sizeof prefix, error)) return false;
    if (get32(prefix) != kIVMarker) {
      *error = "memo block " + std::to_string(block) + " does not start a memo";
      return false;
    }
    uint32_t len = get32(prefix + 4);
    if (len < kIVPrefix || start + len > size || len - kIVPrefix > kMaxMemo) {
      *error = "memo block " + std::to_string(block) + " has an invalid length " +
               std::to_string(len);
      return false;
    }
    out->resize(len - kIVPrefix);
    if (!out->empty() && !readExact(*file_, start + kIVPrefix, out->data(), out->size(), error))
      return false;
    return true;
  }
  // dBASE III: read on until 1A 1A or the end of the file.
  std::vector<char> buf(64 * 1024);
  uint64_t pos = start;
  while (pos < size) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - pos));
    size_t got = 0;
    if (!file_->readAt(pos, buf.data(), want, &got) || got == 0) {
      *error = "memo read failed: " + file_->lastError();
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
      *error = "memo at block " + std::to_string(block) + " has no end";
      return false;
    }
    pos += got;
  }
  // No terminator before the end: a single 1A ends it, as some writers do.
  if (!out->empty() && out->back() == '\x1A') out->pop_back();
  return true;
}

bool MemoFile::memoBlocksUsed(uint32_t block, uint64_t* blocks) {
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

// IV: the end of the free chain that starts at header[0]; III: header[0].
// Never below the file's real end, so live blocks are never handed out.
bool MemoFile::appendPoint(uint32_t* at, uint32_t* lastLink, std::string* error) {
  uint64_t blocks = 0, size = 0;
  if (!fileBlocks(&blocks, &size, error)) return false;
  uint8_t head[4];
  if (!readExact(*file_, 0, head, 4, error)) return false;
  uint32_t p = get32(head);
  *lastLink = 0;
  if (iv_) {
    uint32_t prev = 0;
    uint64_t steps = 0;
    while (p != 0 && p < blocks && steps++ <= blocks) {
      uint8_t link[4];
      if (!readExact(*file_, static_cast<uint64_t>(p) * blockSize_, link, 4, error)) return false;
      uint32_t next = get32(link);
      if (next <= p) {  // not a chain we can follow: fall back to the file's end
        prev = 0;
        p = 0;
        break;
      }
      prev = p;
      p = next;
    }
    *lastLink = prev;
  }
  uint64_t point = p;
  if (point < blocks) point = blocks;
  if (point == 0) point = 1;
  if (point + 1 > 0xFFFFFFFFull) {
    *error = "memo file is full";
    return false;
  }
  *at = static_cast<uint32_t>(point);
  return true;
}

bool MemoFile::write(std::string_view data, uint32_t* block, bool shared, std::string* error) {
  if (readOnly_) {
    *error = "memo file is read-only";
    return false;
  }
  if (data.empty()) {
    *block = 0;  // the old blocks are simply no longer referenced
    return true;
  }
  if (data.size() > kMaxMemo) {
    *error = "memo text is too long";
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

  uint64_t oldBlocks = 0;
  if (*block != 0 && memoBlocksUsed(*block, &oldBlocks) && oldBlocks >= need) {
    // Only the written bytes: the rest of the old blocks stays as it was.
    if (!file_->writeAt(static_cast<uint64_t>(*block) * blockSize_, bytes.data(), used)) {
      *error = "memo write failed: " + file_->lastError();
      return false;
    }
    return true;
  }

  MemoLock lock(*file_, shared);
  if (!lock.acquire(error)) return false;
  uint32_t at = 0, lastLink = 0;
  if (!appendPoint(&at, &lastLink, error)) return false;
  uint64_t end = at + need;
  if (end > 0xFFFFFFFFull) {
    *error = "memo file is full";
    return false;
  }
  if (!file_->writeAt(static_cast<uint64_t>(at) * blockSize_, bytes.data(), bytes.size())) {
    *error = "memo write failed: " + file_->lastError();
    return false;
  }
  uint8_t link[4];
  put32(link, static_cast<uint32_t>(end));
  uint64_t linkAt = lastLink ? static_cast<uint64_t>(lastLink) * blockSize_ : 0;
  if (!file_->writeAt(linkAt, link, 4)) {
    *error = "memo write failed: " + file_->lastError();
    return false;
  }
  *block = at;
  return true;
}

}  // namespace talvex::engine
