#include "page_store.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "../local_date.h"
#include "mdx_file.h"

namespace talvex::engine::mdx {

using namespace format;

PageStore::PageStore() = default;
PageStore::~PageStore() = default;

Status PageStore::readRaw(uint64_t offset, void* buf, size_t len) {
  size_t got = 0;
  if (!file->readAt(offset, buf, len, &got))
    return Status::io("cannot read " + path + ": " + file->lastError());
  if (got != len)
    return Status::corrupt(path + " is shorter than its header says (offset " +
                           std::to_string(offset) + ")");
  return Status::ok();
}

namespace {
constexpr uint32_t kSlabBlocks = 256;
}  // namespace

void PageStore::takeBuffer(Block* b) {
  if (carving_ == UINT32_MAX || slabs_[carving_].carved == kSlabBlocks ||
      slabs_[carving_].stride != blockBytes) {
    Slab fresh;
    fresh.bytes.reset(new uint8_t[size_t(kSlabBlocks) * blockBytes]);
    fresh.stride = blockBytes;
    if (emptySlabs_.empty()) {
      slabs_.push_back(std::move(fresh));
      carving_ = uint32_t(slabs_.size() - 1);
    } else {
      carving_ = emptySlabs_.back();
      emptySlabs_.pop_back();
      slabs_[carving_] = std::move(fresh);
    }
  }
  Slab& s = slabs_[carving_];
  b->data = s.bytes.get() + size_t(s.carved++) * s.stride;
  b->slab = carving_;
  ++s.live;
}

void PageStore::releaseBuffer(const Block& b) {
  if (!b.data) return;
  Slab& s = slabs_[b.slab];
  if (--s.live > 0) return;
  if (b.slab == carving_) {
    s.carved = 0;  // carved again from the start
    return;
  }
  s.bytes.reset();
  s.carved = 0;
  emptySlabs_.push_back(b.slab);
}

Status PageStore::block(uint32_t page, uint8_t** data, const char* what) {
  auto it = cache_.find(page);
  if (it != cache_.end()) {
    *data = it->second.data;
    return Status::ok();
  }
  if (!validBlock(page))
    return Status::corrupt(path + ": " + what + " page " + std::to_string(page) +
                           " is outside the file (" + std::to_string(pageCount) + " pages)");
  Block b;
  takeBuffer(&b);
  Status st = readRaw(uint64_t(page) * kPageBytes, b.data, blockBytes);
  if (!st) {
    releaseBuffer(b);
    return st;
  }
  *data = b.data;
  cachedBytes_ += blockBytes;
  cache_.emplace(page, b);
  return Status::ok();
}

uint8_t* PageStore::newBlock(uint32_t page) {
  Block& b = cache_[page];
  if (!b.data) {
    takeBuffer(&b);
    cachedBytes_ += blockBytes;
  }
  std::memset(b.data, 0, blockBytes);
  if (!b.dirty) dirty_.push_back(page);
  b.dirty = true;
  return b.data;
}

void PageStore::markDirty(uint32_t page) {
  auto it = cache_.find(page);
  if (it != cache_.end() && !it->second.dirty) {
    it->second.dirty = true;
    dirty_.push_back(page);
  }
}

bool PageStore::anyDirty() const {
  for (uint32_t page : dirty_) {
    auto it = cache_.find(page);
    if (it != cache_.end() && it->second.dirty) return true;
  }
  return false;
}

void PageStore::dropClean() {
  for (auto it = cache_.begin(); it != cache_.end();) {
    if (!it->second.dirty) {
      cachedBytes_ -= blockBytes;
      releaseBuffer(it->second);
      it = cache_.erase(it);
    } else {
      ++it;
    }
  }
  std::erase_if(dirty_, [this](uint32_t page) {
    auto it = cache_.find(page);
    return it == cache_.end() || !it->second.dirty;
  });
}

void PageStore::dropAll() {
  cache_.clear();
  slabs_.clear();
  emptySlabs_.clear();
  carving_ = UINT32_MAX;
  dirty_.clear();
  cachedBytes_ = 0;
}

Status PageStore::reloadHeaderFields() {
  uint8_t b[12];
  Status st = readRaw(kHdrPageCount, b, sizeof b);
  if (!st) return st;
  uint32_t pages = get32(b), head = get32(b + 4), count = get32(b + 8);
  uint64_t size = 0;
  if (!file->size(&size)) return Status::io("cannot size " + path + ": " + file->lastError());
  // Reading definitions only (to build the index anew after a crash): a page
  // count that a power cut kept while the file's growth was lost is no reason
  // to refuse; the tag headers lie in the file's first pages.
  if (definitionsOnly && pages >= kHeaderPages && uint64_t(pages) * kPageBytes > size)
    pages = static_cast<uint32_t>(size / kPageBytes);
  if (pages < kHeaderPages || uint64_t(pages) * kPageBytes > size)
    return Status::corrupt(path + ": header says " + std::to_string(pages) +
                           " pages but the file holds " + std::to_string(size) + " bytes");
  pageCount = pages;
  freeHead = head;
  freeCount = count;
  put32(header + kHdrPageCount, pages);
  put32(header + kHdrFreeHead, head);
  put32(header + kHdrFreeCount, count);
  return Status::ok();
}

Status PageStore::flush() {
  std::vector<uint32_t> pages;
  for (uint32_t page : dirty_) {
    auto it = cache_.find(page);
    if (it != cache_.end() && it->second.dirty) pages.push_back(page);
  }
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  // One change may dirty pages far apart (a split, its parent, the tag
  // header). Their old bytes are read first, so that a write failing part-way
  // can put back those already written: the file never holds half a change.
  // Blocks past the old end of the file have no old bytes: the truncation
  // takes them back.
  struct Run {
    size_t first, end;
    std::unique_ptr<uint8_t[]> before;
    size_t beforeBytes = 0;
  };
  std::vector<Run> runs;
  uint64_t oldSize = 0;
  if (!file->size(&oldSize)) return Status::io("cannot read " + path + ": " + file->lastError());
  size_t i = 0;
  while (i < pages.size()) {
    // Contiguous blocks go out in one write: bulk builds write thousands.
    size_t j = i + 1;
    while (j < pages.size() && pages[j] == pages[j - 1] + pagesPerBlock) ++j;
    Run r{i, j, nullptr, 0};
    const uint64_t at = uint64_t(pages[i]) * kPageBytes;
    const uint64_t old = at < oldSize ? std::min<uint64_t>(oldSize - at, uint64_t(j - i) * blockBytes) : 0;
    if (old > 0) {
      r.before.reset(new uint8_t[old]);
      if (!file->readAt(at, r.before.get(), size_t(old), &r.beforeBytes))
        return Status::io("cannot read " + path + ": " + file->lastError());
    }
    runs.push_back(std::move(r));
    i = j;
  }
  uint8_t headerBefore[15] = {};
  size_t headerGot = 0;
  if (!file->readAt(kHdrPageCount, headerBefore, sizeof headerBefore, &headerGot))
    return Status::io("cannot read " + path + ": " + file->lastError());
  // False when the file could not be put back as it was.
  auto undo = [&](size_t upTo) {
    bool ok = true;
    for (size_t k = 0; k <= upTo && k < runs.size(); ++k)
      if (runs[k].beforeBytes > 0)
        ok = file->writeAt(uint64_t(pages[runs[k].first]) * kPageBytes, runs[k].before.get(),
                           runs[k].beforeBytes) && ok;
    if (headerGot) ok = file->writeAt(kHdrPageCount, headerBefore, headerGot) && ok;
    uint64_t nowSize = 0;
    if (file->size(&nowSize) && nowSize > oldSize) ok = file->truncate(oldSize) && ok;
    return ok;
  };
  auto undoAfter = [&](const std::string& what, size_t upTo) {
    std::string message = what + ": " + file->lastError();
    if (!undo(upTo)) message += " (and the pages written before could not be put back)";
    return Status::io(message);
  };
  // A long run goes out in pieces of a buffer that is reused, not built
  // whole: fresh memory costs a page fault per 4 KiB.
  const size_t pieceBlocks = std::max<size_t>(1, (size_t(1) << 20) / blockBytes);
  std::vector<uint8_t> piece;
  for (size_t k = 0; k < runs.size(); ++k) {
    const Run& r = runs[k];
    for (size_t p0 = r.first; p0 < r.end; p0 += pieceBlocks) {
      const size_t p1 = std::min(r.end, p0 + pieceBlocks);
      piece.resize(size_t(p1 - p0) * blockBytes);
      for (size_t p = p0; p < p1; ++p)
        std::memcpy(piece.data() + (p - p0) * blockBytes, cache_[pages[p]].data, blockBytes);
      if (!file->writeAt(uint64_t(pages[p0]) * kPageBytes, piece.data(), piece.size())) {
        return undoAfter("cannot write " + path, k);
      }
    }
    for (size_t p = r.first; p < r.end; ++p) cache_[pages[p]].dirty = false;
  }
  const LocalDate today = localToday();
  put32(header + kHdrPageCount, pageCount);
  put32(header + kHdrFreeHead, freeHead);
  put32(header + kHdrFreeCount, freeCount);
  header[kHdrUpdated] = uint8_t((today.year - 1900) % 100);
  header[kHdrUpdated + 1] = uint8_t(today.month);
  header[kHdrUpdated + 2] = uint8_t(today.day);
  if (!file->writeAt(kHdrPageCount, header + kHdrPageCount, 15)) {
    return undoAfter("cannot write " + path, runs.size());
  }
  dirty_.clear();
  // Trim clean blocks now and then so a long session does not hoard memory.
  if (cachedBytes_ > (64u << 20)) dropClean();
  return Status::ok();
}

Status PageStore::lock(bool exclusive) {
  if (lockHeld_) return Status::ok();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lockWaitMs);
  int pause = 1;
  for (;;) {
    platform::LockResult r = file->lockRange(kIndexLockOffset, 1, exclusive);
    if (r == platform::LockResult::Locked) {
      lockHeld_ = true;
      return Status::ok();
    }
    if (r == platform::LockResult::Failed)
      return Status::io("cannot lock " + path + ": " + file->lastError());
    if (std::chrono::steady_clock::now() >= deadline)
      return Status::locked(path + " is being changed by another user");
    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    pause = std::min(pause * 2, 20);
  }
}

void PageStore::unlock() {
  if (!lockHeld_) return;
  file->unlockRange(kIndexLockOffset, 1);
  lockHeld_ = false;
}

}  // namespace talvex::engine::mdx
