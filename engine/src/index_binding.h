// The table's side of its .mdx indexes: opening and closing them on the
// shared table, compiling each tag's key and FOR expressions against the
// table's fields, keeping every tag of every open index in step with record
// appends and writes, tag-order movement and seeks for a Table handle, bulk
// rebuild and the full check.
//
// Indexes live on the SharedTable, so every handle on the table (clones
// included) finds the tags and maintains them; each Table has its own
// selected tag and cursor. OpenIndex objects are owned by the SharedTable;
// TagRef handles point into them and are removed with them. Callers hold the
// API lock. Functions return 0 or an engine code with the detail in *error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "c4dll.h"
#include "shared_table.h"

namespace talvex::engine {

class OpenIndex;
class TagCursor;

struct TagRef {
  OpenIndex* index = nullptr;
  size_t tag = 0;
  uint32_t handle = 0;
};

struct IndexRef {
  OpenIndex* index = nullptr;
  SharedTable* table = nullptr;
  Table* opener = nullptr;  // the handle that opened it (for i4close)
  uint32_t handle = 0;
};

// True when this build carries the expression and .mdx parts.
[[nodiscard]] bool indexSupportAvailable();

// Opens path (or joins it when already open on the table); *out names the
// shared OpenIndex.
[[nodiscard]] int indexOpen(SharedTable& table, std::string_view path, OpenIndex** out, EngineError* error);
// Drops one reference; the last one closes the file. Cursors of tables on
// tags of the index are dropped first.
void indexRelease(SharedTable& table, OpenIndex* index);

// Creates the production index for a new (empty) table. fieldFlags gets 1 for
// each field that is the entire key of a tag.
[[nodiscard]] int indexCreate(const std::string& mdxPath, const DbfHeader& header, const std::string& alias,
                const C4TagInfo* tags, std::vector<uint8_t>* fieldFlags, EngineError* error);
// Checks tag definitions against the fields without writing anything.
[[nodiscard]] int indexValidateTags(const DbfHeader& header, const std::string& alias, const C4TagInfo* tags,
                      std::vector<uint8_t>* fieldFlags, EngineError* error);

TagRef* indexFindTag(SharedTable& table, std::string_view name);
TagRef* indexTagByName(OpenIndex* index, std::string_view name);
const std::string& tagName(const TagRef& tag);
const std::string& tagExpression(const TagRef& tag);
const std::string& tagFilter(const TagRef& tag);

// Maintenance: every tag of every open index of the table. All or nothing:
// when one fails, the keys already changed are put back before the error
// returns (a second failure while putting back is left for d4check/d4reindex).
[[nodiscard]] int indexRecordWritten(SharedTable& table, uint32_t recno, const char* oldRec, const char* newRec,
                       EngineError* error);
[[nodiscard]] int indexRecordAppended(SharedTable& table, uint32_t recno, const char* rec, EngineError* error);
// While the table is open deny-write or exclusive, key changes of its
// production index are held in memory (an append and its write net to one
// change) and merged into the tags in one update when settled: by a move or
// seek on one of its tags, d4check, flush, unlock, close, or rebuilt when
// too many were held. A merge that fails leaves the index to be rebuilt at
// the next settle and returns the error to the call that settled.
[[nodiscard]] int indexSettle(OpenIndex* index, EngineError* error);
[[nodiscard]] int indexSettleAll(SharedTable& table, EngineError* error);
[[nodiscard]] bool indexHasHeldKeys(const SharedTable& table);
// Rebuilds every tag of every open index from the records (bulk build).
[[nodiscard]] int indexRebuildAll(SharedTable& table, EngineError* error);
[[nodiscard]] int indexCheckAll(SharedTable& table, EngineError* error);
// After a writer was killed: writes the index at path anew from its own tag
// definitions and fills every tag from the records. Only for a caller that
// keeps every other writer out. The index is not left open.
[[nodiscard]] int indexRepair(SharedTable& table, const std::string& path, EngineError* error);
// Index files are trusted (no re-reads) while the table is.
void indexSetTrusted(SharedTable& table, bool trusted);

// Cursor of one Table on its selected tag.
void tagCursorDestroy(TagCursor* cursor);
struct TagCursorDeleter {
  void operator()(TagCursor* c) const { tagCursorDestroy(c); }
};
using TagCursorPtr = std::unique_ptr<TagCursor, TagCursorDeleter>;
TagCursorPtr makeTagCursor(TagRef& tag);
TagRef* tagCursorTag(TagCursor& cursor);

// Moves; *recno = 0 at an end. Results r4success, r4eof, r4bof, r4after or an error.
[[nodiscard]] int tagFirst(TagCursor& c, bool last, uint32_t* recno, EngineError* error);
// current: the record the table stands on (its key is built from rec).
[[nodiscard]] int tagSkip(TagCursor& c, uint32_t current, const char* rec, int32_t n, uint32_t* recno,
            EngineError* error);
enum class SeekInput { Text, Bytes, Double };
[[nodiscard]] int tagSeek(TagCursor& c, SeekInput kind, std::string_view key, double number, uint32_t* recno,
            EngineError* error);
// d4seekNext: the next record with the key, when the current one has it.
[[nodiscard]] int tagSeekNext(TagCursor& c, uint32_t current, const char* rec, std::string_view key,
                uint32_t* recno, EngineError* error);

}  // namespace talvex::engine
