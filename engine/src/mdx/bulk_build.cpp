// Rebuilding a tag from a batch of keys: sort once, then write full leaves
// left to right and each branch level above them, never key by key.
#include <algorithm>
#include <cstring>
#include <numeric>

#include "mdx_tag.h"
#include "tag_tree.h"

namespace talvex::engine::mdx {

using namespace format;

namespace {

// Every node page of the tag, or nothing when the old tree is damaged: a
// damaged tree might point into other tags, and freeing those would spread
// the damage. Its blocks are then simply left unused.
std::vector<uint32_t> oldNodes(Tag& t, uint32_t root, uint32_t headerPage) {
  PageStore& s = TagTree::store(t);
  std::vector<uint32_t> pages, stack{root};
  std::vector<bool> seen(s.pageCount, false);
  while (!stack.empty()) {
    uint32_t p = stack.back();
    stack.pop_back();
    if (p == headerPage || !s.validBlock(p) || seen[p]) return {};
    seen[p] = true;
    Node n;
    if (!TagTree::readNode(t, p, &n)) return {};
    pages.push_back(p);
    if (!n.leaf())
      for (uint32_t i = 0; i <= n.count(); ++i)
        stack.push_back(i < n.count() ? n.pointer(i) : n.trailing());
  }
  return pages;
}

// Character keys in byte order (reversed for a descending tag), then by
// record number. Millions of keys scattered in the batch would make each
// comparison a cache miss; instead 16 key bytes at a time are copied beside
// the entries as two numbers and sorted, and only runs that agree on them
// are sorted again on the next 16 (names padded with blanks agree on many).
struct SortEntry {
  uint64_t hi, lo;
  uint32_t index, recno;
};

void sortByKeyBytes(const KeyBatch& keys, bool desc, size_t offset, SortEntry* first,
                    SortEntry* last) {
  const size_t kl = keys.keyLength();
  const size_t take = std::min<size_t>(kl - offset, 16);
  for (SortEntry* e = first; e != last; ++e) {
    unsigned char b[16] = {};
    std::memcpy(b, keys.key(e->index).data() + offset, take);
    uint64_t hi = 0, lo = 0;
    for (int k = 0; k < 8; ++k) {
      hi = (hi << 8) | b[k];
      lo = (lo << 8) | b[8 + k];
    }
    e->hi = hi;
    e->lo = lo;
  }
  auto before = [desc](const SortEntry& a, const SortEntry& b) {
    if (a.hi != b.hi) return desc ? a.hi > b.hi : a.hi < b.hi;
    if (a.lo != b.lo) return desc ? a.lo > b.lo : a.lo < b.lo;
    return a.recno < b.recno;
  };
  // A run that agrees on these bytes too (the blanks after a short name)
  // is still in record order from the slice before: nothing to sort.
  if (!std::is_sorted(first, last, before)) std::sort(first, last, before);
  if (offset + take >= kl) return;
  for (SortEntry* run = first; run != last;) {
    SortEntry* end = run + 1;
    while (end != last && end->hi == run->hi && end->lo == run->lo) ++end;
    if (end - run > 1) sortByKeyBytes(keys, desc, offset + take, run, end);
    run = end;
  }
}

void sortCharacterKeys(const KeyBatch& keys, bool desc, std::vector<uint32_t>* order) {
  std::vector<SortEntry> entries(keys.size());
  for (size_t i = 0; i < entries.size(); ++i) entries[i] = {0, 0, uint32_t(i), keys.recno(i)};
  if (keys.keyLength() > 0)
    sortByKeyBytes(keys, desc, 0, entries.data(), entries.data() + entries.size());
  for (size_t i = 0; i < entries.size(); ++i) (*order)[i] = entries[i].index;
}

}  // namespace

Status Tag::bulkBuild(const KeyBatch& keys) {
  if (keys.keyLength() != keyLength())
    return Status::invalid("tag " + name() + ": batch of " + std::to_string(keys.keyLength()) +
                           "-byte keys for " + std::to_string(keyLength()) + "-byte keys");
  const size_t total = keys.size();
  for (size_t i = 0; i < total; ++i)
    if (keys.recno(i) == 0) return Status::invalid("tag " + name() + ": record number 0");

  std::vector<uint32_t> order(total);
  const bool desc = def_.descending;
  const size_t kl = keyLength();
  auto keyCmp = [&](uint32_t a, uint32_t b) -> int {
    if (def_.type == KeyType::Character) {
      int c = std::memcmp(keys.key(a).data(), keys.key(b).data(), kl);
      return desc ? -c : c;
    }
    return compare(keys.key(a), keys.key(b));
  };
  if (def_.type == KeyType::Character) {
    sortCharacterKeys(keys, desc, &order);
  } else {
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
      int c = keyCmp(a, b);
      if (c != 0) return c < 0;
      return keys.recno(a) < keys.recno(b);
    });
  }
  // Drop repeats of an entry, and of a key in a unique tag (the lowest
  // record number stays, as a rebuild by dBASE keeps it).
  size_t kept = 0;
  for (size_t i = 0; i < total; ++i) {
    if (kept > 0) {
      uint32_t prev = order[kept - 1], cur = order[i];
      // Record numbers first: in a tag that allows repeats only an entry
      // given twice is dropped, and comparing keys would touch the batch.
      if ((def_.unique || keys.recno(prev) == keys.recno(cur)) && keyCmp(prev, cur) == 0) continue;
    }
    order[kept++] = order[i];
  }
  order.resize(kept);

  Status st = file_->beginUpdate();
  if (!st) return st;
  PageStore& s = TagTree::store(*this);
  st = TagTree::freshen(*this);
  if (st) {
    for (uint32_t p : oldNodes(*this, root_, headerPage_)) {
      st = s.freeBlock(p);
      if (!st) break;
    }
  }
  uint32_t nodes = 0;
  auto alloc = [&](uint32_t* page, uint8_t** d) {
    Status a = s.allocBlock(page, d);
    if (a) ++nodes;
    return a;
  };

  // Level 0: leaves, filled evenly so the last one is not nearly empty.
  struct Child {
    uint32_t page;
    uint32_t lastKey;  // index into the batch
  };
  std::vector<Child> level;
  const uint32_t maxKeys = maxKeys_;
  const size_t leafCount = std::max<size_t>(1, (kept + maxKeys - 1) / maxKeys);
  size_t next = 0;
  uint32_t previous = 0;
  for (size_t leaf = 0; st && leaf < leafCount; ++leaf) {
    size_t take = kept / leafCount + (leaf < kept % leafCount ? 1 : 0);
    uint32_t page = 0;
    uint8_t* d = nullptr;
    st = alloc(&page, &d);
    if (!st) break;
    Node n{d, itemLength_, uint32_t(kl)};
    for (size_t i = 0; i < take; ++i) {
      uint32_t e = order[next + i];
      n.setItem(uint32_t(i), keys.recno(e), keys.key(e).data());
    }
    n.setCount(uint32_t(take));
    n.setTrailing(0);
    put32(d + kNodeLink, previous);
    previous = page;
    next += take;
    level.push_back({page, take ? order[next - 1] : 0});
  }
  // Branch levels: up to maxKeys + 1 children each, spread evenly.
  while (st && level.size() > 1) {
    std::vector<Child> up;
    const size_t groups = (level.size() + maxKeys) / (maxKeys + 1);
    size_t at = 0;
    previous = 0;
    for (size_t g = 0; st && g < groups; ++g) {
      size_t take = level.size() / groups + (g < level.size() % groups ? 1 : 0);
      uint32_t page = 0;
      uint8_t* d = nullptr;
      st = alloc(&page, &d);
      if (!st) break;
      Node n{d, itemLength_, uint32_t(kl)};
      for (size_t i = 0; i + 1 < take; ++i)
        n.setItem(uint32_t(i), level[at + i].page, keys.key(level[at + i].lastKey).data());
      n.setCount(uint32_t(take - 1));
      n.setTrailing(level[at + take - 1].page);
      put32(d + kNodeLink, previous);
      previous = page;
      up.push_back({page, level[at + take - 1].lastKey});
      at += take;
    }
    level.swap(up);
  }
  if (st) {
    root_ = level.front().page;
    pagesUsed_ = nodes * s.pagesPerBlock;
    st = TagTree::storeHeader(*this, kept > 0);
  }
  if (!st) s.fail(st);
  Status end = file_->endUpdate();
  return st ? end : st;
}

}  // namespace talvex::engine::mdx
