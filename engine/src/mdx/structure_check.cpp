// Whole-tree checks: what a reader would trip over, found before it does.
#include <string>

#include "mdx_file.h"
#include "mdx_tag.h"
#include "tag_tree.h"

namespace talvex::engine::mdx {

using namespace format;

namespace {

struct Walk {
  Tag& t;
  std::vector<bool>& seen;
  uint32_t maxRecno;
  std::vector<TagEntry>* entries;
  int leafDepth = -1;
  bool hasLast = false;
  std::string lastKey;
  uint32_t lastRecno = 0;

  std::string at(uint32_t page) const {
    return TagTree::store(t).path + ": tag " + t.name() + " page " + std::to_string(page);
  }

  Status visit(uint32_t page, int depth, bool isRoot, std::string* subtreeLast) {
    if (depth >= kMaxDepth) return Status::corrupt(at(page) + ": tree deeper than 24 levels");
    Status st = TagTree::markPages(t, &seen, page, "node");
    if (!st) return st;
    Node n;
    st = TagTree::readNode(t, page, &n);
    if (!st) return st;
    const size_t kl = t.keyLength();
    const uint32_t cnt = n.count();
    if (n.leaf()) {
      if (leafDepth < 0) leafDepth = depth;
      if (depth != leafDepth)
        return Status::corrupt(at(page) + ": leaf at depth " + std::to_string(depth) +
                               ", other leaves at " + std::to_string(leafDepth));
      if (cnt == 0 && !isRoot) return Status::corrupt(at(page) + ": empty leaf below a branch");
      for (uint32_t i = 0; i < cnt; ++i) {
        std::string_view k(n.key(i), kl);
        uint32_t r = n.pointer(i);
        if (r == 0 || (maxRecno != 0 && r > maxRecno))
          return Status::corrupt(at(page) + ": record number " + std::to_string(r) +
                                 " is not a record of the table");
        if (hasLast) {
          int c = TagTree::compareEntry(t, k, r, lastKey, lastRecno);
          if (c <= 0)
            return Status::corrupt(at(page) + ": entry " + std::to_string(i) + " (record " +
                                   std::to_string(r) + ") is out of order");
          if (t.def().unique && t.compare(k, lastKey) == 0)
            return Status::corrupt(at(page) + ": duplicate key in a unique tag (record " +
                                   std::to_string(r) + ")");
        }
        hasLast = true;
        lastKey.assign(k.data(), kl);
        lastRecno = r;
        if (entries) entries->push_back(TagEntry{lastKey, r});
      }
      if (cnt > 0) subtreeLast->assign(n.key(cnt - 1), kl);
      return Status::ok();
    }
    for (uint32_t i = 0; i <= cnt; ++i) {
      // Re-read: visiting children may have evicted nothing, but keep the
      // node view fresh in case the cache map grew.
      st = TagTree::readNode(t, page, &n);
      if (!st) return st;
      uint32_t child = i < cnt ? n.pointer(i) : n.trailing();
      std::string childLast;
      st = visit(child, depth + 1, false, &childLast);
      if (!st) return st;
      if (i < cnt) {
        st = TagTree::readNode(t, page, &n);
        if (!st) return st;
        if (childLast.size() != kl || t.compare(std::string_view(n.key(i), kl), childLast) != 0)
          return Status::corrupt(at(page) + ": branch key " + std::to_string(i) +
                                 " is not the last key of child page " + std::to_string(child));
      } else {
        *subtreeLast = childLast;
      }
    }
    return Status::ok();
  }
};

}  // namespace

Status TagTree::markPages(Tag& t, std::vector<bool>* seen, uint32_t page, const char* what) {
  PageStore& s = store(t);
  if (!s.validBlock(page))
    return Status::corrupt(s.path + ": tag " + t.name() + " " + what + " page " +
                           std::to_string(page) + " is outside the file");
  for (uint32_t p = page; p < page + s.pagesPerBlock; ++p) {
    if ((*seen)[p])
      return Status::corrupt(s.path + ": tag " + t.name() + " " + what + " page " +
                             std::to_string(page) + " is used twice");
    (*seen)[p] = true;
  }
  return Status::ok();
}

Status TagTree::walkAll(Tag& t, std::vector<bool>* seen, uint32_t maxRecno,
                        std::vector<TagEntry>* entries) {
  Walk w{t, *seen, maxRecno, entries, -1, false, {}, 0};
  std::string last;
  return w.visit(t.root_, 0, true, &last);
}

Status Tag::checkStructure(uint32_t maxRecno, std::vector<TagEntry>* entries) {
  ReadScope scope(*this);
  if (!scope.status()) return scope.status();
  if (entries) entries->clear();
  std::vector<bool> seen(TagTree::store(*this).pageCount, false);
  Status st = TagTree::markPages(*this, &seen, headerPage_, "header");
  if (!st) return st;
  return TagTree::walkAll(*this, &seen, maxRecno, entries);
}

Status MdxFile::checkStructure() {
  PageStore& s = *store_;
  if (tags_.empty()) return Status::ok();
  // One lock for the whole check so every tag is seen at one moment.
  bool locked = false;
  if (s.updateDepth == 0 && !s.trusted) {
    Status st = s.lock(false);
    if (!st) return st;
    locked = true;
  }
  Status st;
  for (auto& t : tags_) {
    st = TagTree::freshen(*t);
    if (!st) break;
  }
  std::vector<bool> seen(s.pageCount, false);
  for (size_t i = 0; st && i < tags_.size(); ++i)
    st = TagTree::markPages(*tags_[i], &seen, tags_[i]->headerPage_, "header");
  for (size_t i = 0; st && i < tags_.size(); ++i)
    st = TagTree::walkAll(*tags_[i], &seen, 0, nullptr);
  if (st) {
    uint32_t page = s.freeHead, n = 0;
    while (st && page != 0) {
      if (n >= s.freeCount) {
        st = Status::corrupt(s.path + ": free list longer than its count of " +
                             std::to_string(s.freeCount));
        break;
      }
      st = TagTree::markPages(*tags_[0], &seen, page, "free list");
      if (!st) break;
      uint8_t* d = nullptr;
      st = s.block(page, &d, "free");
      if (!st) break;
      page = get32(d + kNodeLink);
      ++n;
    }
    if (st && n != s.freeCount)
      st = Status::corrupt(s.path + ": free list holds " + std::to_string(n) +
                           " blocks, the header says " + std::to_string(s.freeCount));
  }
  if (locked) s.unlock();
  return st;
}

}  // namespace talvex::engine::mdx
