// Walking and changing a tag's B-tree.
//
// Invariants kept by every change: a node holds at most maxKeys items; a
// branch with n keys has n + 1 children; branch key i is the last key of
// child i's subtree; every leaf is at the same depth; a non-root node is
// never empty (an emptied leaf is unlinked and freed, a branch left with one
// child is merged into or borrows from a neighbour). Leaves split into new
// left half + old page as right half, so the parent's key for the old page
// stays right and only one item is added above.
#include "tag_tree.h"

#include <cstring>
#include <string>

#include "mdx_file.h"

namespace talvex::engine::mdx {

using namespace format;

namespace {

std::string where(Tag& t, uint32_t page) {
  return TagTree::store(t).path + ": tag " + t.name() + " page " + std::to_string(page);
}

uint32_t childAt(const Node& n, uint32_t i) { return i < n.count() ? n.pointer(i) : n.trailing(); }

}  // namespace

int Tag::compare(std::string_view a, std::string_view b) const {
  int c = compareKeys(def_.type, a, b);
  return def_.descending ? -c : c;
}

Status TagTree::readNode(Tag& t, uint32_t page, Node* out) {
  if (page == t.headerPage_) return Status::corrupt(where(t, page) + " is the tag header, not a node");
  uint8_t* d = nullptr;
  Status st = store(t).block(page, &d);
  if (!st) return Status::corrupt(st.message() + " (tag " + t.name() + ")");
  Node n = node(t, d);
  if (n.count() > t.maxKeys_)
    return Status::corrupt(where(t, page) + " holds " + std::to_string(n.count()) +
                           " keys, more than the " + std::to_string(t.maxKeys_) + " that fit");
  *out = n;
  return Status::ok();
}

Status TagTree::freshen(Tag& t) {
  PageStore& s = store(t);
  if ((s.trusted || s.updateDepth > 0) && t.freshEpoch_ == s.epoch) return Status::ok();
  uint8_t w[kTagWatchedBytes];
  Status st = s.readRaw(uint64_t(t.headerPage_) * kPageBytes, w, sizeof w);
  if (!st) return st;
  if (std::memcmp(w, t.watched_, sizeof w) != 0) {
    // Another writer changed this tag: whatever we cached may be stale.
    s.dropClean();
    if (s.updateDepth == 0 || !s.anyDirty()) {
      st = s.reloadHeaderFields();
      if (!st) return st;
    }
    st = loadHeader(t);
    if (!st) return st;
    ++t.version_;
  }
  t.freshEpoch_ = s.epoch;
  return Status::ok();
}

Status TagTree::storeHeader(Tag& t, bool) {
  PageStore& s = store(t);
  uint8_t* h = nullptr;
  Status st = s.block(t.headerPage_, &h, "tag header");
  if (!st) return st;
  Node root;
  st = readNode(t, t.root_, &root);
  if (!st) return st;
  put32(h + kTagRoot, t.root_);
  put32(h + kTagPagesUsed, t.pagesUsed_);
  h[kTagHasKeys] = (root.leaf() && root.count() == 0) ? 0 : 1;
  put32(h + kTagFirstNode, t.root_);
  put32(h + kTagRootCopy, t.root_);
  s.markDirty(t.headerPage_);
  t.touched_ = true;
  ++t.version_;
  return Status::ok();
}

Status TagTree::descend(Tag& t, std::string_view key, bool byRecno, uint32_t recno, Path* path) {
  path->clear();
  uint32_t page = t.root_;
  for (;;) {
    if (path->size() >= size_t(kMaxDepth))
      return Status::corrupt(where(t, page) + ": tree deeper than " + std::to_string(kMaxDepth) +
                             " levels (a loop?)");
    for (const auto& l : *path)
      if (l.page == page) return Status::corrupt(where(t, page) + " is its own descendant (loop)");
    Node n;
    Status st = readNode(t, page, &n);
    if (!st) return st;
    uint32_t cnt = n.count(), lo = 0, hi = cnt;
    const size_t kl = t.keyLength();
    if (n.leaf()) {
      while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        std::string_view k(n.key(mid), kl);
        int c = byRecno ? compareEntry(t, k, n.pointer(mid), key, recno) : t.compare(k, key);
        if (c < 0) lo = mid + 1; else hi = mid;
      }
      path->push_back({page, lo});
      return Status::ok();
    }
    while (lo < hi) {
      uint32_t mid = (lo + hi) / 2;
      if (t.compare(std::string_view(n.key(mid), kl), key) < 0) lo = mid + 1; else hi = mid;
    }
    uint32_t pick = lo;
    if (byRecno && lo < cnt && t.compare(std::string_view(n.key(lo), kl), key) == 0) {
      // Duplicates of the key may span children lo..end; each child's last
      // record number tells which one holds (key, recno).
      uint32_t end = lo;
      while (end < cnt && t.compare(std::string_view(n.key(end), kl), key) == 0) ++end;
      uint32_t a = lo, b = end;
      while (a < b) {
        uint32_t mid = (a + b) / 2;
        uint32_t p = n.pointer(mid), last = 0;
        for (int depth = 0;; ++depth) {
          Node c;
          if (depth >= kMaxDepth) return Status::corrupt(where(t, p) + ": loop below a branch");
          st = readNode(t, p, &c);
          if (!st) return st;
          if (c.leaf()) {
            last = c.count() ? c.pointer(c.count() - 1) : 0;
            break;
          }
          p = c.trailing();
        }
        if (last < recno) a = mid + 1; else b = mid;
      }
      pick = a;
    }
    path->push_back({page, pick});
    page = childAt(n, pick);
  }
}

Status TagTree::descendEdge(Tag& t, bool last, Path* path) {
  path->clear();
  uint32_t page = t.root_;
  for (;;) {
    if (path->size() >= size_t(kMaxDepth))
      return Status::corrupt(where(t, page) + ": tree deeper than " + std::to_string(kMaxDepth) +
                             " levels (a loop?)");
    Node n;
    Status st = readNode(t, page, &n);
    if (!st) return st;
    uint32_t i = last ? n.count() : 0;
    path->push_back({page, i});
    if (n.leaf()) return Status::ok();
    page = childAt(n, i);
  }
}

Status TagTree::settleForward(Tag& t, Path* path, bool* eof) {
  *eof = false;
  // Empty leaves are skipped; more skips than the file has blocks is a cycle.
  uint64_t budget = uint64_t(store(t).pageCount) + 2;
  for (;;) {
    if (path->empty()) {
      *eof = true;
      return Status::ok();
    }
    Node n;
    Status st = readNode(t, path->back().page, &n);
    if (!st) return st;
    if (path->back().index < n.count()) return Status::ok();
    if (budget-- == 0) return Status::corrupt(where(t, path->back().page) + ": endless leaf chain");
    path->pop_back();
    while (!path->empty()) {
      Node p;
      st = readNode(t, path->back().page, &p);
      if (!st) return st;
      if (path->back().index < p.count()) {
        ++path->back().index;
        break;
      }
      path->pop_back();
    }
    if (path->empty()) {
      *eof = true;
      return Status::ok();
    }
    Node p;
    st = readNode(t, path->back().page, &p);
    if (!st) return st;
    uint32_t page = childAt(p, path->back().index);
    for (;;) {
      if (path->size() >= size_t(kMaxDepth))
        return Status::corrupt(where(t, page) + ": tree deeper than " +
                               std::to_string(kMaxDepth) + " levels (a loop?)");
      Node c;
      st = readNode(t, page, &c);
      if (!st) return st;
      path->push_back({page, 0});
      if (c.leaf()) break;
      page = childAt(c, 0);
    }
  }
}

Status TagTree::stepForward(Tag& t, Path* path, bool* eof) {
  if (path->empty()) {
    *eof = true;
    return Status::ok();
  }
  ++path->back().index;
  return settleForward(t, path, eof);
}

Status TagTree::stepBack(Tag& t, Path* path, bool* bof) {
  *bof = false;
  uint64_t budget = uint64_t(store(t).pageCount) + 2;
  for (;;) {
    if (path->empty()) {
      *bof = true;
      return Status::ok();
    }
    Node n;
    Status st = readNode(t, path->back().page, &n);
    if (!st) return st;
    uint32_t& i = path->back().index;
    if (i > n.count()) i = n.count();
    if (i > 0) {
      --i;
      return Status::ok();
    }
    if (budget-- == 0) return Status::corrupt(where(t, path->back().page) + ": endless leaf chain");
    path->pop_back();
    while (!path->empty() && path->back().index == 0) path->pop_back();
    if (path->empty()) {
      *bof = true;
      return Status::ok();
    }
    --path->back().index;
    Node p;
    st = readNode(t, path->back().page, &p);
    if (!st) return st;
    uint32_t page = childAt(p, path->back().index);
    for (;;) {
      if (path->size() >= size_t(kMaxDepth))
        return Status::corrupt(where(t, page) + ": tree deeper than " +
                               std::to_string(kMaxDepth) + " levels (a loop?)");
      Node c;
      st = readNode(t, page, &c);
      if (!st) return st;
      path->push_back({page, c.count()});
      if (c.leaf()) break;
      page = childAt(c, c.count());
    }
  }
}

namespace {

// The node changes below work on the path from the root to a leaf. Each
// helper marks what it touches dirty; nothing is written before the flush.
struct Editor {
  Tag& t;
  PageStore& s;
  TagTree::Path& path;
  uint32_t kl;
  uint32_t item;

  Status node(uint32_t page, Node* n) { return TagTree::readNode(t, page, n); }
  void dirty(uint32_t page) { s.markDirty(page); }

  Status allocNode(uint32_t* page, uint8_t** d);
  Status freeNode(uint32_t page);
  void setRoot(uint32_t page);

  // Branch keys above level: the subtree at path[level] now ends with key.
  Status fixupMax(size_t level, const char* key) {
    std::string k(key, kl);  // key may live in a node about to change
    for (size_t i = level; i-- > 0;) {
      Node p;
      Status st = node(path[i].page, &p);
      if (!st) return st;
      uint32_t idx = path[i].index;
      if (idx < p.count()) {
        std::memcpy(p.item(idx) + 4, k.data(), kl);
        dirty(path[i].page);
        return Status::ok();
      }
    }
    return Status::ok();
  }

  Status insertAt(size_t level, uint32_t pos, uint32_t ptr, const std::string& key);
  Status removeChild(size_t level);
  Status branchShrunk(size_t level);
  Status rebalance(size_t level);
};

Status Editor::allocNode(uint32_t* page, uint8_t** d) {
  Status st = s.allocBlock(page, d);
  if (!st) return st;
  TagTree::pagesUsed(t) += s.pagesPerBlock;
  return Status::ok();
}

Status Editor::freeNode(uint32_t page) {
  Status st = s.freeBlock(page);
  if (!st) return st;
  TagTree::pagesUsed(t) = TagTree::pagesUsed(t) >= s.pagesPerBlock ? TagTree::pagesUsed(t) - s.pagesPerBlock : 0;
  return Status::ok();
}

void Editor::setRoot(uint32_t page) { TagTree::root(t) = page; }

Status Editor::insertAt(size_t level, uint32_t pos, uint32_t ptr, const std::string& key) {
  const uint32_t page = path[level].page;
  Node n;
  Status st = node(page, &n);
  if (!st) return st;
  const uint32_t cnt = n.count();
  const bool leaf = n.leaf();
  if (pos > cnt) return Status::corrupt(where(t, page) + ": insert position past the node");
  if (cnt < t.maxKeysPerNode()) {
    std::memmove(n.item(pos + 1), n.item(pos), size_t(cnt - pos) * item + 4);
    n.setItem(pos, ptr, key.data());
    n.setCount(cnt + 1);
    dirty(page);
    if (leaf && pos == cnt) return fixupMax(level, key.data());
    return Status::ok();
  }

  // Full: lay out all cnt + 1 items, then cut in two.
  const uint32_t total = cnt + 1;
  std::vector<uint8_t> tmp(kNodeItems + size_t(total) * item + 4);
  Node tn{tmp.data(), item, kl};
  std::memcpy(tn.item(0), n.item(0), size_t(pos) * item);
  tn.setItem(pos, ptr, key.data());
  std::memcpy(tn.item(pos + 1), n.item(pos), size_t(cnt - pos) * item + 4);
  const uint32_t trailing = get32(tn.item(total));

  uint32_t leftPage = 0;
  uint8_t* ld = nullptr;
  st = allocNode(&leftPage, &ld);
  if (!st) return st;
  Node left{ld, item, kl};
  // Leaves: halves. Branches: the middle child ends the left node and its
  // key moves up as the left node's key in the parent.
  const uint32_t leftCount = leaf ? total / 2 : (total + 1) / 2 - 1;
  const uint32_t rightStart = leaf ? leftCount : leftCount + 1;
  const std::string sep(tn.key(leftCount - (leaf ? 1 : 0)), kl);
  std::memcpy(left.item(0), tn.item(0), size_t(leftCount) * item);
  left.setCount(leftCount);
  left.setTrailing(leaf ? 0 : tn.pointer(leftCount));
  put32(ld + kNodeLink, page);
  const uint32_t rightCount = total - rightStart;
  std::memset(n.item(0), 0, s.blockBytes - kNodeItems);
  std::memcpy(n.item(0), tn.item(rightStart), size_t(rightCount) * item);
  n.setCount(rightCount);
  n.setTrailing(leaf ? 0 : trailing);
  dirty(page);
  dirty(leftPage);
  if (leaf && pos == cnt) {
    st = fixupMax(level, n.key(rightCount - 1));
    if (!st) return st;
  }
  if (level == 0) {
    uint32_t rootPage = 0;
    uint8_t* rd = nullptr;
    st = allocNode(&rootPage, &rd);
    if (!st) return st;
    Node r{rd, item, kl};
    r.setItem(0, leftPage, sep.data());
    r.setCount(1);
    r.setTrailing(page);
    setRoot(rootPage);
    return Status::ok();
  }
  return insertAt(level - 1, path[level - 1].index, leftPage, sep);
}


// Removes item idx of a node, moving the trailing pointer along.
void dropItem(Node& n, uint32_t idx, uint32_t item) {
  uint32_t cnt = n.count();
  std::memmove(n.item(idx), n.item(idx + 1), size_t(cnt - idx - 1) * item + 4);
  std::memset(n.item(cnt - 1) + 4, 0, item);  // old last item's tail and old trailing
  n.setCount(cnt - 1);
}

// Points child i (an item or the trailing pointer) at page.
void setChild(Node& n, uint32_t i, uint32_t page) {
  if (i < n.count()) put32(n.item(i), page); else n.setTrailing(page);
}

Status Editor::removeChild(size_t level) {
  const uint32_t page = path[level].page;
  Node p;
  Status st = node(page, &p);
  if (!st) return st;
  const uint32_t c = path[level].index, cnt = p.count();
  if (c > cnt) return Status::corrupt(where(t, page) + ": child index past the node");
  if (c < cnt) {
    dropItem(p, c, item);
    dirty(page);
  } else if (cnt == 0) {
    // The branch's only child went: the branch goes too.
    if (level == 0) {
      std::memset(p.d, 0, s.blockBytes);
      dirty(page);
      return Status::ok();
    }
    st = freeNode(page);
    if (!st) return st;
    return removeChild(level - 1);
  } else {
    // The rightmost child went: the previous one becomes rightmost and its
    // key, now the subtree's last, moves up.
    const uint32_t newTrailing = p.pointer(cnt - 1);
    const std::string newMax(p.key(cnt - 1), kl);
    std::memset(p.item(cnt - 1), 0, item + 4);
    p.setCount(cnt - 1);
    p.setTrailing(newTrailing);
    dirty(page);
    st = fixupMax(level, newMax.data());
    if (!st) return st;
  }
  return branchShrunk(level);
}

Status Editor::branchShrunk(size_t level) {
  Node p;
  Status st = node(path[level].page, &p);
  if (!st) return st;
  if (p.count() > 0 || p.leaf()) return Status::ok();
  if (level > 0) return rebalance(level);
  // A root branch with a single child: the child becomes the root.
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    Node r;
    st = node(TagTree::root(t), &r);
    if (!st) return st;
    if (r.leaf() || r.count() > 0) return Status::ok();
    const uint32_t old = TagTree::root(t);
    setRoot(r.trailing());
    st = freeNode(old);
    if (!st) return st;
  }
  return Status::corrupt(where(t, TagTree::root(t)) + ": chain of single-child roots");
}

Status Editor::rebalance(size_t level) {
  const uint32_t page = path[level].page;
  const uint32_t gPage = path[level - 1].page, pIdx = path[level - 1].index;
  Node p, g;
  Status st = node(page, &p);
  if (st) st = node(gPage, &g);
  if (!st) return st;
  const uint32_t only = p.trailing(), gCnt = g.count();
  const uint32_t maxKeys = t.maxKeysPerNode();
  if (pIdx > 0) {
    const uint32_t lPage = g.pointer(pIdx - 1);
    Node l;
    st = node(lPage, &l);
    if (!st) return st;
    if (l.leaf()) return Status::corrupt(where(t, lPage) + ": leaf beside a branch");
    const std::string kL(g.key(pIdx - 1), kl);
    const uint32_t lCnt = l.count();
    if (lCnt + 1 <= maxKeys) {
      // Merge: the left node takes the lone child; the parent loses one key.
      const uint32_t lTrailing = l.trailing();
      l.setItem(lCnt, lTrailing, kL.data());
      l.setCount(lCnt + 1);
      l.setTrailing(only);
      dirty(lPage);
      setChild(g, pIdx, lPage);
      dropItem(g, pIdx - 1, item);
      dirty(gPage);
      st = freeNode(page);
      if (!st) return st;
      return branchShrunk(level - 1);
    }
    // Borrow the left node's last child.
    const uint32_t lTrailing = l.trailing();
    const uint32_t newLTrailing = l.pointer(lCnt - 1);
    const std::string newKL(l.key(lCnt - 1), kl);
    std::memset(l.item(lCnt - 1), 0, item + 4);
    l.setCount(lCnt - 1);
    l.setTrailing(newLTrailing);
    p.setItem(0, lTrailing, kL.data());
    p.setCount(1);
    p.setTrailing(only);
    std::memcpy(g.item(pIdx - 1) + 4, newKL.data(), kl);
    dirty(lPage);
    dirty(page);
    dirty(gPage);
    return Status::ok();
  }
  if (gCnt == 0) return Status::ok();  // no neighbour (foreign file): leave it
  const uint32_t rPage = childAt(g, 1);
  Node r;
  st = node(rPage, &r);
  if (!st) return st;
  if (r.leaf()) return Status::corrupt(where(t, rPage) + ": leaf beside a branch");
  const std::string kP(g.key(0), kl);
  const uint32_t rCnt = r.count();
  if (rCnt + 1 <= maxKeys) {
    std::memmove(r.item(1), r.item(0), size_t(rCnt) * item + 4);
    r.setItem(0, only, kP.data());
    r.setCount(rCnt + 1);
    dirty(rPage);
    dropItem(g, 0, item);
    dirty(gPage);
    st = freeNode(page);
    if (!st) return st;
    return branchShrunk(level - 1);
  }
  // Borrow the right node's first child.
  const uint32_t r0 = r.pointer(0);
  const std::string kR0(r.key(0), kl);
  dropItem(r, 0, item);
  p.setItem(0, only, kP.data());
  p.setCount(1);
  p.setTrailing(r0);
  std::memcpy(g.item(0) + 4, kR0.data(), kl);
  dirty(rPage);
  dirty(page);
  dirty(gPage);
  return Status::ok();
}

}  // namespace

Status TagTree::insert(Tag& t, std::string_view key, uint32_t recno, bool* added) {
  *added = false;
  Path path;
  Status st;
  bool eof = false;
  if (t.def_.unique) {
    st = descend(t, key, false, 0, &path);
    if (st) st = settleForward(t, &path, &eof);
    if (!st) return st;
    if (!eof) {
      Node n;
      st = readNode(t, path.back().page, &n);
      if (!st) return st;
      if (t.compare(std::string_view(n.key(path.back().index), t.keyLength()), key) == 0)
        return Status::ok();  // the first record of a key keeps its entry
    }
  }
  st = descend(t, key, true, recno, &path);
  if (!st) return st;
  Node leaf;
  st = readNode(t, path.back().page, &leaf);
  if (!st) return st;
  uint32_t idx = path.back().index;
  if (idx < leaf.count() && leaf.pointer(idx) == recno &&
      t.compare(std::string_view(leaf.key(idx), t.keyLength()), key) == 0)
    return Status::ok();  // already there
  PageStore& s = store(t);
  Editor e{t, s, path, uint32_t(t.keyLength()), t.itemLength_};
  st = e.insertAt(path.size() - 1, idx, recno, std::string(key));
  if (!st) return st;
  *added = true;
  return storeHeader(t, true);
}

Status TagTree::remove(Tag& t, std::string_view key, uint32_t recno, bool* removed) {
  *removed = false;
  Path path;
  bool eof = false;
  Status st = descend(t, key, true, recno, &path);
  if (st) st = settleForward(t, &path, &eof);
  if (!st) return st;
  auto at = [&](bool* match) -> Status {
    Node n;
    Status r = readNode(t, path.back().page, &n);
    if (!r) return r;
    uint32_t i = path.back().index;
    *match = n.pointer(i) == recno && t.compare(std::string_view(n.key(i), t.keyLength()), key) == 0;
    return Status::ok();
  };
  bool found = false;
  if (!eof) {
    st = at(&found);
    if (!st) return st;
  }
  if (!found) {
    // Files from other writers may hold duplicates out of record order:
    // look through every entry with this key.
    st = descend(t, key, false, 0, &path);
    if (st) st = settleForward(t, &path, &eof);
    uint64_t budget = uint64_t(store(t).pageCount) * t.maxKeysPerNode() + 1;
    while (st && !eof && !found && budget-- > 0) {
      Node n;
      st = readNode(t, path.back().page, &n);
      if (!st) break;
      if (t.compare(std::string_view(n.key(path.back().index), t.keyLength()), key) != 0) break;
      st = at(&found);
      if (st && !found) st = stepForward(t, &path, &eof);
    }
    if (!st) return st;
    if (!found) return Status::ok();
  }
  PageStore& s = store(t);
  Editor e{t, s, path, uint32_t(t.keyLength()), t.itemLength_};
  const size_t level = path.size() - 1;
  Node n;
  st = readNode(t, path[level].page, &n);
  if (!st) return st;
  const uint32_t idx = path[level].index, cnt = n.count();
  dropItem(n, idx, t.itemLength_);
  s.markDirty(path[level].page);
  *removed = true;
  if (cnt > 1) {
    if (idx == cnt - 1) st = e.fixupMax(level, n.key(cnt - 2));
  } else if (level > 0) {
    st = e.freeNode(path[level].page);
    if (st) st = e.removeChild(level - 1);
  }
  if (!st) return st;
  return storeHeader(t, true);
}

}  // namespace talvex::engine::mdx
