// B-tree walks and changes of one tag (internal to the mdx library).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "mdx_tag.h"
#include "page_store.h"

namespace talvex::engine::mdx {

class TagTree {
 public:
  using Path = std::vector<Cursor::Level>;

  static PageStore& store(Tag& t) { return *t.file_->store_; }
  static uint32_t& root(Tag& t) { return t.root_; }
  static uint32_t& pagesUsed(Tag& t) { return t.pagesUsed_; }
  static uint16_t itemLength(const Tag& t) { return t.itemLength_; }
  static format::Node node(Tag& t, uint8_t* d) {
    return format::Node{d, t.itemLength_, t.def_.keyLength};
  }
  // Reads a node and checks that its count fits the page.
  static Status readNode(Tag& t, uint32_t page, format::Node* out);

  // Brings the tag header up to date with the file (see mdx_file.h, Sharing).
  static Status freshen(Tag& t);
  // Parses the tag header block into the Tag; Corrupt when it is unusable.
  static Status loadHeader(Tag& t);
  // Writes root and size into the cached header block.
  static Status storeHeader(Tag& t, bool hasKeys);

  // Path to the first entry at or after the probe (key prefix, or (key,
  // recno) when byRecno). The leaf index may equal the leaf's count (past its
  // end); normalise with stepForwardFromEnd.
  static Status descend(Tag& t, std::string_view key, bool byRecno, uint32_t recno, Path* path);
  static Status descendEdge(Tag& t, bool last, Path* path);
  // From a path whose leaf index is past the end, move to the next entry;
  // *eof when there is none.
  static Status settleForward(Tag& t, Path* path, bool* eof);
  static Status stepForward(Tag& t, Path* path, bool* eof);
  static Status stepBack(Tag& t, Path* path, bool* bof);

  static Status insert(Tag& t, std::string_view key, uint32_t recno, bool* added);
  static Status remove(Tag& t, std::string_view key, uint32_t recno, bool* removed);

  // Visits every node once (structure_check.cpp); seen marks pages in use.
  static Status walkAll(Tag& t, std::vector<bool>* seen, uint32_t maxRecno,
                        std::vector<TagEntry>* entries);
  static Status markPages(Tag& t, std::vector<bool>* seen, uint32_t page, const char* what);

  static int compareEntry(Tag& t, std::string_view ka, uint32_t ra, std::string_view kb,
                          uint32_t rb) {
    int c = t.compare(ka, kb);
    if (c != 0) return c;
    return ra < rb ? -1 : (ra > rb ? 1 : 0);
  }
};

// Holds the shared index lock around a read when the file is neither trusted
// nor inside an update scope (which holds the exclusive lock already).
class ReadScope {
 public:
  explicit ReadScope(Tag& t);
  ~ReadScope();
  const Status& status() const { return status_; }

 private:
  PageStore& store_;
  bool locked_ = false;
  Status status_;
};

}  // namespace talvex::engine::mdx
