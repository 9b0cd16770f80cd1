// One tag of an .mdx file and cursors over it.
//
// Entries are (key, record number); key bytes are exactly keyLength bytes,
// made with key_codec.h. Order: by key (reversed for descending tags), then
// by ascending record number. Unique tags keep the first entry of a key:
// insert() of a key already present adds nothing and reports added = false.
// Deleted records are the caller's business: the tag holds what it is given.
//
// A Cursor remembers its entry by value, so it survives changes to the tag
// (by this or another MdxFile): when the tag changed since its last step it
// finds its place again by (key, record number); if that entry is gone, the
// next step lands on the entry that followed it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "key_codec.h"
#include "mdx_file.h"
#include "mdx_status.h"

namespace talvex::engine::mdx {

// Keys for bulkBuild, stored back to back (one allocation for millions).
class KeyBatch {
 public:
  explicit KeyBatch(size_t keyLength) : keyLength_(keyLength) {}
  void reserve(size_t n) { bytes_.reserve(n * keyLength_); recnos_.reserve(n); }
  // key is padded with blanks / cut to keyLength.
  void add(std::string_view key, uint32_t recno);
  size_t size() const { return recnos_.size(); }
  size_t keyLength() const { return keyLength_; }
  std::string_view key(size_t i) const { return {bytes_.data() + i * keyLength_, keyLength_}; }
  uint32_t recno(size_t i) const { return recnos_[i]; }

 private:
  size_t keyLength_;
  std::vector<char> bytes_;
  std::vector<uint32_t> recnos_;
};

struct TagEntry {
  std::string key;
  uint32_t recno = 0;
};

class Tag {
 public:
  const TagDef& def() const { return def_; }
  const std::string& name() const { return def_.name; }
  KeyType type() const { return def_.type; }
  size_t keyLength() const { return def_.keyLength; }
  uint16_t maxKeysPerNode() const { return maxKeys_; }
  uint32_t headerPage() const { return headerPage_; }
  // Tag header byte 20 as last read or written.
  uint8_t changeCounter() const { return counter_; }

  // Tag order: <0, 0, >0 (descending reverses the key part). Prefix rule of
  // compareKeys applies to a shorter a.
  int compare(std::string_view a, std::string_view b) const;

  Status insert(std::string_view key, uint32_t recno, bool* added = nullptr);
  // removed = false when the entry is not in the tag (not an error).
  Status remove(std::string_view key, uint32_t recno, bool* removed = nullptr);
  // Replaces every entry: sorts the batch, drops duplicates of unique tags
  // (keeping the lowest record number), writes leaves then branches bottom-up.
  // The tag's old pages go to the free list first and are reused.
  Status bulkBuild(const KeyBatch& keys);

  Status countEntries(uint64_t* count);
  // Walks the whole tree: pages in range and aligned, no page twice, counts
  // within the page, all leaves at one depth, entries in tag order, branch
  // keys equal to the last key below them, record numbers 1..maxRecno (0 = no
  // bound), no duplicate key in a unique tag. entries (if given) receives
  // every entry in order.
  Status checkStructure(uint32_t maxRecno = 0, std::vector<TagEntry>* entries = nullptr);

 private:
  friend class MdxFile;
  friend class Cursor;
  friend class TagTree;
  Tag() = default;
  MdxFile* file_ = nullptr;
  size_t slot_ = 0;
  TagDef def_;
  uint32_t headerPage_ = 0;
  uint32_t root_ = 0;
  uint32_t pagesUsed_ = 0;
  uint16_t maxKeys_ = 0;
  uint16_t itemLength_ = 0;
  uint8_t counter_ = 0;
  uint8_t formatFlags_ = 0;
  uint64_t version_ = 0;  // bumped on every change seen; cursors compare it
  uint8_t watched_[24] = {};  // tag header bytes 0-23 as last read or written
  uint64_t freshEpoch_ = 0;   // update scope in which watched_ was last checked
  bool touched_ = false;      // changed in the current update scope
};

enum class SeekResult {
  Found,  // on the first entry whose key equals (or begins with) the probe
  After,  // no such entry; on the first entry after it in tag order
  Eof,    // no entry at or after the probe
};

class Cursor {
 public:
  explicit Cursor(Tag& tag);
  ~Cursor();

  // A probe shorter than the key length (C tags) matches keys that begin with it.
  Status seek(std::string_view key, SeekResult* result);
  // Positions on (key, recno) exactly (Found) or on the entry after it.
  Status seekEntry(std::string_view key, uint32_t recno, SeekResult* result);
  Status first();
  Status last();
  // next() past the last entry gives eof(); prev() before the first gives
  // bof(). next() from bof() goes to the first entry, prev() from eof() to the
  // last, so a walk may turn round at either end.
  Status next();
  Status prev();

  bool valid() const { return valid_; }
  [[nodiscard]] bool eof() const { return !valid_ && !bof_; }
  [[nodiscard]] bool bof() const { return !valid_ && bof_; }
  std::string_view key() const { return key_; }
  uint32_t recno() const { return recno_; }

  // A step of the path from the root: node page and item (or child) index.
  struct Level {
    uint32_t page;
    uint32_t index;
  };

 private:
  friend class TagTree;
  Tag* tag_;
  std::vector<Level> path_;
  uint64_t version_ = 0;
  bool valid_ = false;
  bool bof_ = false;
  std::string key_;
  uint32_t recno_ = 0;
};

}  // namespace talvex::engine::mdx
