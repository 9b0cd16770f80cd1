// Free-block scheme of our .mdx files.
//
// Header bytes 36-39 hold the page of the first free block (0 = none) and
// bytes 40-43 the number of free blocks. A free block is all zeros except
// bytes 4-7, the page of the next free block (0 ends the list), the layout
// other xBase writers describe for this field. Blocks are freed when a leaf
// empties, a branch is merged into its neighbour, the root collapses, or a
// bulk build replaces a tag's whole tree. allocBlock pops the head of the
// list before it grows the file by one block at the end (header bytes 32-35).
// No tag points at a free block, so readers that ignore bytes 36-43 never see
// one. A link outside the file, a list longer than its count or a count with
// no list left is reported as corruption instead of being followed.
#include <cstring>

#include "page_store.h"

namespace talvex::engine::mdx {

using namespace format;

Status PageStore::allocBlock(uint32_t* page, uint8_t** data) {
  uint32_t p;
  if (freeHead != 0) {
    if (freeCount == 0)
      return Status::corrupt(path + ": free list head " + std::to_string(freeHead) +
                             " with a free count of 0");
    uint8_t* d = nullptr;
    Status st = block(freeHead, &d, "free");
    if (!st) return st;
    uint32_t next = get32(d + kNodeLink);
    if (next != 0 && (!validBlock(next) || next == freeHead))
      return Status::corrupt(path + ": free block " + std::to_string(freeHead) +
                             " links to page " + std::to_string(next));
    p = freeHead;
    freeHead = next;
    --freeCount;
    std::memset(d, 0, blockBytes);
    markDirty(p);
    *page = p;
    *data = d;
    return Status::ok();
  }
  if (pageCount > UINT32_MAX - pagesPerBlock) return Status::invalid(path + ": index is full");
  p = pageCount;
  pageCount += pagesPerBlock;
  *page = p;
  *data = newBlock(p);
  return Status::ok();
}

Status PageStore::freeBlock(uint32_t page) {
  if (!validBlock(page))
    return Status::corrupt(path + ": freeing page " + std::to_string(page) + " outside the file");
  uint8_t* d = newBlock(page);
  put32(d + kNodeLink, freeHead);
  freeHead = page;
  ++freeCount;
  return Status::ok();
}

}  // namespace talvex::engine::mdx
