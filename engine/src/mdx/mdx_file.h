// A dBASE IV .mdx production index: up to 47 named tags, each a B-tree of
// (key, record number) entries in one file of 512-byte pages.
//
// Ownership: an MdxFile owns its File and its Tag objects; Tag references and
// Cursors stay valid until the MdxFile is destroyed (a Cursor must not outlive
// its file). Not thread-safe: one thread at a time per MdxFile. Several
// MdxFile objects (in this or other processes) may share one file.
//
// Sharing: a writer holds the index lock (1 byte at 0xEFFFFFFE of the .mdx,
// exclusive) while it changes pages and tag headers; a reader that is not
// trusted takes the same byte shared around each read operation and re-reads
// a tag's pages when the tag header (root, size, change counter at byte 20)
// differs from what it last saw. setTrusted(true) tells the file that nobody
// else can change it (table locked or opened exclusively): no reader locks, no
// re-reads. Locks are retried for up to lockWaitMs, then StatusCode::Locked.
//
// Errors: every call returns a Status; a corrupt page (number past the end,
// misaligned, a loop, counts or lengths beyond the page) gives Corrupt with a
// text naming the tag and page, never a crash or an endless walk. After a
// failed write the file may be inconsistent; rebuild it (create + bulkBuild).
//
// Recovery: readDefinitions() reads only the header, tag table and tag
// headers, so a table can rebuild an index whose trees are damaged: create()
// over the same path with those definitions, then bulkBuild() every tag.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "key_codec.h"
#include "mdx_status.h"

namespace talvex::platform {
class File;
}

namespace talvex::engine::mdx {

inline constexpr size_t kMaxTags = 47;
inline constexpr size_t kMaxTagNameLength = 10;
inline constexpr size_t kMaxExpressionLength = 219;  // 220 bytes with the NUL
inline constexpr uint64_t kIndexLockOffset = 0xEFFFFFFEull;

struct TagDef {
  std::string name;        // 1-10 of A-Z 0-9 _; stored in upper case
  std::string expression;  // as typed, case kept
  std::string filter;      // FOR condition text, "" for none
  KeyType type = KeyType::Character;
  uint16_t keyLength = 0;  // C: 1-100; N: 12; D: 8
  bool unique = false;     // only the first record of each key is kept
  bool descending = false;
};

struct CreateOptions {
  std::string dataName;        // .dbf base name without extension (upper-cased, ≤16)
  uint8_t languageDriver = 0;  // copy of .dbf byte 29
  int year = 0, month = 0, day = 0;  // header dates; 0 = today
};

struct OpenOptions {
  bool readOnly = false;
  int lockWaitMs = 2000;
  // Reads only the definitions: tag roots and the free list are not checked
  // (readDefinitions, so that an index torn by a killed writer can be rebuilt).
  bool definitionsOnly = false;
};

class Tag;
class PageStore;

class MdxFile {
 public:
  // Creates (or empties) the file and writes every tag as an empty root leaf.
  static std::unique_ptr<MdxFile> create(std::string_view path, const CreateOptions& options,
                                         const std::vector<TagDef>& tags, Status* status,
                                         const OpenOptions& open = {});
  // Validates the header, tag table and every tag header; trees are checked
  // page by page as they are read, and completely by checkStructure().
  static std::unique_ptr<MdxFile> open(std::string_view path, const OpenOptions& options,
                                       Status* status);
  static Status readDefinitions(std::string_view path, std::vector<TagDef>* tags,
                                CreateOptions* options);
  ~MdxFile();
  MdxFile(const MdxFile&) = delete;
  MdxFile& operator=(const MdxFile&) = delete;

  size_t tagCount() const;
  Tag& tag(size_t i);
  // Case-insensitive; nullptr when there is no such tag.
  Tag* findTag(std::string_view name);

  void setTrusted(bool trusted);
  [[nodiscard]] bool trusted() const;

  // Groups several changes (e.g. every tag of one record write) under one
  // exclusive index lock and one flush. Nests; endUpdate of the outermost
  // scope writes the dirty pages and headers and releases the lock. Single
  // insert/remove/bulkBuild calls open their own scope when none is open.
  Status beginUpdate();
  Status endUpdate();
  // While set (and trusted), the outermost endUpdate keeps the changed pages
  // in memory instead of writing them; reads see them, the file does not
  // until flushHeld(). For an owner that no other process writes beside.
  void setHoldPages(bool hold);
  bool hasHeldPages() const;
  size_t heldPageCount() const;
  // Writes the held pages under the index lock, all or none; on a failure
  // they are dropped and this object matches the file again.
  Status flushHeld();

  // Every tag's tree (see Tag::checkStructure), the free-page list, and that
  // no page is used twice (by two tags, a tag and the free list ...).
  Status checkStructure();

  uint32_t pagesPerBlock() const;
  uint32_t freeBlockCount() const;  // blocks on the free list
  const std::string& path() const;

 private:
  MdxFile();
  Status parse();
  Status parseHeaders();
  friend class Tag;
  friend class TagTree;
  friend class Cursor;
  void forgetChanges();
  std::unique_ptr<PageStore> store_;
  bool holdPages_ = false;
  std::vector<std::unique_ptr<Tag>> tags_;
};

}  // namespace talvex::engine::mdx
