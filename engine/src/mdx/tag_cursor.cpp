// Tag entry points and cursors: each public call freshens the tag (see
// mdx_file.h, Sharing) under the right lock before it touches pages.
#include <cstring>

#include "mdx_tag.h"
#include "tag_tree.h"

namespace talvex::engine::mdx {

using namespace format;

ReadScope::ReadScope(Tag& t) : store_(TagTree::store(t)) {
  if (store_.updateDepth == 0 && !store_.trusted) {
    status_ = store_.lock(false);
    locked_ = status_.isOk();
  }
  if (status_) status_ = TagTree::freshen(t);
}

ReadScope::~ReadScope() {
  if (locked_) store_.unlock();
}

void KeyBatch::add(std::string_view key, uint32_t recno) {
  size_t n = std::min(key.size(), keyLength_);
  bytes_.insert(bytes_.end(), key.data(), key.data() + n);
  bytes_.insert(bytes_.end(), keyLength_ - n, ' ');
  recnos_.push_back(recno);
}

namespace {

Status checkKey(const Tag& t, std::string_view key, uint32_t recno) {
  if (key.size() != t.keyLength())
    return Status::invalid("tag " + t.name() + ": key of " + std::to_string(key.size()) +
                           " bytes, the tag's keys have " + std::to_string(t.keyLength()));
  if (recno == 0) return Status::invalid("tag " + t.name() + ": record number 0");
  return Status::ok();
}

}  // namespace

Status Tag::insert(std::string_view key, uint32_t recno, bool* added) {
  bool ignored = false;
  if (!added) added = &ignored;
  *added = false;
  Status st = checkKey(*this, key, recno);
  if (!st) return st;
  st = file_->beginUpdate();
  if (!st) return st;
  st = TagTree::freshen(*this);
  if (st) st = TagTree::insert(*this, key, recno, added);
  if (!st) TagTree::store(*this).fail(st);
  Status end = file_->endUpdate();
  if (!end) *added = false;
  return st ? end : st;
}

Status Tag::remove(std::string_view key, uint32_t recno, bool* removed) {
  bool ignored = false;
  if (!removed) removed = &ignored;
  *removed = false;
  Status st = checkKey(*this, key, recno);
  if (!st) return st;
  st = file_->beginUpdate();
  if (!st) return st;
  st = TagTree::freshen(*this);
  if (st) st = TagTree::remove(*this, key, recno, removed);
  if (!st) TagTree::store(*this).fail(st);
  Status end = file_->endUpdate();
  if (!end) *removed = false;
  return st ? end : st;
}

Status Tag::countEntries(uint64_t* count) {
  *count = 0;
  ReadScope scope(*this);
  if (!scope.status()) return scope.status();
  TagTree::Path path;
  Status st = TagTree::descendEdge(*this, false, &path);
  bool eof = false;
  if (st) st = TagTree::settleForward(*this, &path, &eof);
  // Whole leaves at a time; the leaf budget stops a cycle through branches.
  uint64_t leaves = uint64_t(TagTree::store(*this).pageCount) + 1;
  while (st && !eof) {
    if (leaves-- == 0) return Status::corrupt("tag " + name() + ": more leaves than the file holds");
    Node n;
    st = TagTree::readNode(*this, path.back().page, &n);
    if (!st) break;
    *count += n.count();
    path.back().index = n.count();
    st = TagTree::settleForward(*this, &path, &eof);
  }
  return st;
}

Cursor::Cursor(Tag& tag) : tag_(&tag), version_(tag.version_) {}
Cursor::~Cursor() = default;

namespace {

// Loads the entry under the path; checks that a step kept tag order, which
// also stops walks through pages that point back into the tree.
Status loadEntry(Tag& t, const std::vector<Cursor::Level>& path, std::string* key,
                 uint32_t* recno, int expectDirection, bool hadEntry) {
  Node n;
  Status st = TagTree::readNode(t, path.back().page, &n);
  if (!st) return st;
  std::string_view k(n.key(path.back().index), t.keyLength());
  uint32_t r = n.pointer(path.back().index);
  if (hadEntry && expectDirection != 0) {
    int c = TagTree::compareEntry(t, k, r, *key, *recno);
    if (c * expectDirection <= 0)
      return Status::corrupt(TagTree::store(t).path + ": tag " + t.name() + " page " +
                             std::to_string(path.back().page) + ": entries out of order");
  }
  key->assign(k.data(), k.size());
  *recno = r;
  return Status::ok();
}

}  // namespace

Status Cursor::seek(std::string_view key, SeekResult* result) {
  *result = SeekResult::Eof;
  ReadScope scope(*tag_);
  if (!scope.status()) return scope.status();
  if (key.size() > tag_->keyLength() ||
      (tag_->type() != KeyType::Character && key.size() != tag_->keyLength()))
    return Status::invalid("tag " + tag_->name() + ": seek key of " + std::to_string(key.size()) +
                           " bytes");
  version_ = tag_->version_;
  valid_ = false;
  bof_ = false;
  bool eof = false;
  Status st = TagTree::descend(*tag_, key, false, 0, &path_);
  if (st) st = TagTree::settleForward(*tag_, &path_, &eof);
  if (!st || eof) return st;
  st = loadEntry(*tag_, path_, &key_, &recno_, 0, false);
  if (!st) return st;
  valid_ = true;
  *result = tag_->compare(std::string_view(key_).substr(0, key.size()), key) == 0
                ? SeekResult::Found
                : SeekResult::After;
  return Status::ok();
}

Status Cursor::seekEntry(std::string_view key, uint32_t recno, SeekResult* result) {
  *result = SeekResult::Eof;
  ReadScope scope(*tag_);
  if (!scope.status()) return scope.status();
  if (key.size() != tag_->keyLength())
    return Status::invalid("tag " + tag_->name() + ": entry key of " + std::to_string(key.size()) +
                           " bytes");
  version_ = tag_->version_;
  valid_ = false;
  bof_ = false;
  bool eof = false;
  Status st = TagTree::descend(*tag_, key, true, recno, &path_);
  if (st) st = TagTree::settleForward(*tag_, &path_, &eof);
  if (!st || eof) return st;
  st = loadEntry(*tag_, path_, &key_, &recno_, 0, false);
  if (!st) return st;
  valid_ = true;
  *result = (recno_ == recno && tag_->compare(key_, key) == 0) ? SeekResult::Found
                                                                : SeekResult::After;
  return Status::ok();
}

Status Cursor::first() {
  ReadScope scope(*tag_);
  if (!scope.status()) return scope.status();
  version_ = tag_->version_;
  valid_ = false;
  bof_ = false;
  bool eof = false;
  Status st = TagTree::descendEdge(*tag_, false, &path_);
  if (st) st = TagTree::settleForward(*tag_, &path_, &eof);
  if (!st || eof) return st;
  st = loadEntry(*tag_, path_, &key_, &recno_, 0, false);
  valid_ = st.isOk();
  return st;
}

Status Cursor::last() {
  ReadScope scope(*tag_);
  if (!scope.status()) return scope.status();
  version_ = tag_->version_;
  valid_ = false;
  bof_ = false;
  bool bof = false;
  Status st = TagTree::descendEdge(*tag_, true, &path_);
  if (st) st = TagTree::stepBack(*tag_, &path_, &bof);
  if (!st) return st;
  if (bof) {
    bof_ = false;  // an empty tag: eof, like a seek past every key
    return st;
  }
  st = loadEntry(*tag_, path_, &key_, &recno_, 0, false);
  valid_ = st.isOk();
  return st;
}

Status Cursor::next() {
  if (!valid_) {
    if (bof_) return first();
    return Status::ok();
  }
  ReadScope scope(*tag_);
  if (!scope.status()) return scope.status();
  bool eof = false;
  Status st;
  if (version_ != tag_->version_) {
    // The tag changed: find our entry again; if it is gone, the entry that
    // now follows its place is the next one.
    std::string k = key_;
    uint32_t r = recno_;
    version_ = tag_->version_;
    st = TagTree::descend(*tag_, k, true, r, &path_);
    if (st) st = TagTree::settleForward(*tag_, &path_, &eof);
    if (!st) return st;
    if (!eof) {
      Node n;
      st = TagTree::readNode(*tag_, path_.back().page, &n);
      if (!st) return st;
      uint32_t i = path_.back().index;
      bool same = n.pointer(i) == r &&
                  tag_->compare(std::string_view(n.key(i), tag_->keyLength()), k) == 0;
      if (same) st = TagTree::stepForward(*tag_, &path_, &eof);
    }
  } else {
    st = TagTree::stepForward(*tag_, &path_, &eof);
  }
  if (!st) return st;
  if (eof) {
    valid_ = false;
    bof_ = false;
    return st;
  }
  st = loadEntry(*tag_, path_, &key_, &recno_, +1, true);
  if (!st) valid_ = false;
  return st;
}

Status Cursor::prev() {
  if (!valid_) {
    if (!bof_) return last();
    return Status::ok();
  }
  ReadScope scope(*tag_);
  if (!scope.status()) return scope.status();
  bool eof = false, bof = false;
  Status st;
  if (version_ != tag_->version_) {
    std::string k = key_;
    uint32_t r = recno_;
    version_ = tag_->version_;
    st = TagTree::descend(*tag_, k, true, r, &path_);
    if (st) st = TagTree::settleForward(*tag_, &path_, &eof);
    if (!st) return st;
    if (eof) {
      st = TagTree::descendEdge(*tag_, true, &path_);
      if (!st) return st;
    }
  }
  st = TagTree::stepBack(*tag_, &path_, &bof);
  if (!st) return st;
  if (bof) {
    valid_ = false;
    bof_ = true;
    return st;
  }
  st = loadEntry(*tag_, path_, &key_, &recno_, -1, true);
  if (!st) valid_ = false;
  return st;
}

}  // namespace talvex::engine::mdx
