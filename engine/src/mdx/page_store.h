// Block cache, locking and page allocation of one open .mdx (internal).
//
// Blocks are read through the cache and changed in place; nothing reaches the
// file until the outermost update scope ends (flush), so a failed change is
// undone by dropping the cache; a flush that fails part-way first writes back
// the old bytes of what it had written. Pointers returned by block() stay valid until
// dropClean()/dropAll(), which only run between operations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "mdx_format.h"
#include "mdx_status.h"

namespace talvex::platform {
class File;
}

namespace talvex::engine::mdx {

class PageStore {
 public:
  PageStore();
  ~PageStore();

  std::unique_ptr<platform::File> file;
  std::string path;
  bool readOnly = false;
  bool trusted = false;
  bool definitionsOnly = false;
  int lockWaitMs = 2000;

  uint8_t header[format::kHeaderBytes] = {};
  uint32_t pagesPerBlock = 2;
  uint32_t blockBytes = 1024;
  uint32_t pageCount = 0;
  uint32_t freeHead = 0;
  uint32_t freeCount = 0;

  int updateDepth = 0;
  bool updateFailed = false;
  Status failure;  // the first error of the current update scope
  uint64_t epoch = 0;  // one per outermost update scope
  uint64_t headerEpoch = ~uint64_t(0);  // epoch of the last header re-read

  bool validBlock(uint32_t page) const {
    return page >= format::kHeaderPages && page <= pageCount &&
           pageCount - page >= pagesPerBlock;
  }
  // The cached block at page, read on first use. Corrupt when page is out of range.
  Status block(uint32_t page, uint8_t** data, const char* what = "node");
  void markDirty(uint32_t page);
  // A zeroed block at page, dirty, replacing whatever the cache held.
  uint8_t* newBlock(uint32_t page);
  // Raw read of bytes straight from the file, bypassing the cache.
  Status readRaw(uint64_t offset, void* buf, size_t len);

  // Page allocator (page_allocator.cpp): a zeroed, dirty block.
  Status allocBlock(uint32_t* page, uint8_t** data);
  Status freeBlock(uint32_t page);

  // Re-reads header bytes 32-43 (page count and free list) from the file.
  Status reloadHeaderFields();
  // Writes dirty blocks (contiguous runs in one call) and the header fields.
  Status flush();
  [[nodiscard]] bool anyDirty() const;
  size_t dirtyCount() const { return dirty_.size(); }  // an upper bound
  void dropClean();
  void dropAll();

  // The index lock byte; retried for lockWaitMs when held elsewhere.
  Status lock(bool exclusive);
  void unlock();
  [[nodiscard]] bool locked() const { return lockHeld_; }
  // Records a failed change: the scope's changes are dropped at its end.
  void fail(Status st) {
    if (!updateFailed) failure = std::move(st);
    updateFailed = true;
  }

 private:
  struct Block {
    uint8_t* data = nullptr;  // in slabs_[slab]
    uint32_t slab = 0;
    bool dirty = false;
  };
  // Block buffers are carved from slabs of many blocks (a bulk build makes
  // a hundred thousand); a slab is freed when its last block leaves the cache.
  struct Slab {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t stride = 0, carved = 0, live = 0;
  };
  void takeBuffer(Block* b);
  void releaseBuffer(const Block& b);
  std::unordered_map<uint32_t, Block> cache_;
  std::vector<Slab> slabs_;
  std::vector<uint32_t> emptySlabs_;  // entries of slabs_ without bytes
  uint32_t carving_ = UINT32_MAX;     // the slab new buffers come from
  // Pages marked dirty since the last flush, so that a flush or anyDirty()
  // costs what one change touched, not the size of the cache (up to 64 MB).
  std::vector<uint32_t> dirty_;
  size_t cachedBytes_ = 0;
  bool lockHeld_ = false;
};

}  // namespace talvex::engine::mdx
