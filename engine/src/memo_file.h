// A .dbt memo file, dBASE IV style (block size from bytes 20-21, each memo
// prefixed FF FF 08 00 + length including those 8 bytes, no terminator) or
// dBASE III style (512-byte blocks, text ended by 1A 1A).
//
// Files as other programs leave them open and read: a header-only or short
// file (the first memo then pads the header to a whole block and goes to
// block 1), any block size that is a multiple of 32, a next-free word past
// the end of the file or 0. The append point is always the file's real end.
//
// dBASE IV free chain: header[0] names the first free run; a free run starts
// with the next run's block and its own length in blocks, and the chain ends
// at the first link that reaches the end of the file. Runs are kept in block
// order and merged with free neighbours; free space at the end of the file is
// cut off. A new memo takes the shortest run long enough before the file grows.
// The chain is walked in the file on every allocation and release, so it is
// kept to 128 runs; blocks freed beyond that stay unreferenced until pack.
// While no other process can write the file (keepLinks), links read once are
// kept in memory, so a walk costs no reads. A memo is rewritten in place only when it is
// its own record's (the caller passes the block as in the file) and fits its
// blocks; blocks a write gives up are handed back to the caller, who returns
// them with release() once the record no longer points at them. A dBASE III
// file has no free chain: given-up blocks stay unreferenced until pack.
//
// Every size read from the file is checked against the file's length, and a
// chain walk is bounded by the file's block count, so damage is an error text
// naming the file and block, never a read outside the file or a loop.
// Owned by one SharedTable; callers hold the API lock. Allocation and release
// in shared use hold the .dbt append lock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file_io.h"

namespace talvex::engine {

struct MemoRun {
  uint32_t block = 0;
  uint32_t count = 0;
};

class MemoFile {
 public:
  static std::unique_ptr<MemoFile> open(std::string_view path, bool ivStyle, bool readOnly,
                                        std::string* error);
  // blockSize: a multiple of 32 (dBASE III files are always 512).
  static std::unique_ptr<MemoFile> create(std::string_view path, bool ivStyle, uint32_t blockSize,
                                          std::string_view tableName, std::string* error);

  [[nodiscard]] bool ivStyle() const { return iv_; }
  uint32_t blockSize() const { return blockSize_; }
  const std::string& path() const { return path_; }

  // block 0 is "no memo" and reads as "".
  [[nodiscard]] bool read(uint32_t block, std::string* out, std::string* error);
  // *block: the record's current memo block as in the file (0 = none) on
  // entry, where the text now lives on return (0 for an empty text). Blocks
  // the record's memo no longer uses are added to *freed. shared: other
  // processes may allocate at the same time.
  [[nodiscard]] bool write(std::string_view data, uint32_t* block, bool shared, std::vector<MemoRun>* freed,
             std::string* error);
  // Puts runs back on the free chain (dBASE IV; nothing for dBASE III). A run
  // outside the file, or a chain this writer cannot follow, leaves the run
  // unreferenced rather than risk a live memo.
  [[nodiscard]] bool release(const std::vector<MemoRun>& runs, bool shared, std::string* error);

  // on: no other process can write the file from now on (the table is held
  // deny-write or exclusive), so chain links need not be re-read. off drops them.
  void keepLinks(bool on);

  platform::File& file() { return *file_; }

 private:
  MemoFile() = default;
  [[nodiscard]] bool fileBlocks(uint64_t* blocks, uint64_t* size, std::string* error);
  [[nodiscard]] bool ownBlocks(uint32_t block, uint64_t* blocks);
  [[nodiscard]] bool allocate(uint64_t need, uint32_t* at, std::string* error);
  [[nodiscard]] bool releaseOne(MemoRun run, std::string* error);
  [[nodiscard]] bool readLink(uint32_t block, uint64_t blocks, uint32_t* next, uint32_t* count, bool* isRun,
                std::string* error);
  [[nodiscard]] bool writeLink(uint64_t at, uint32_t next, uint32_t count, bool withCount, std::string* error);
  std::string where(uint32_t block) const;
  // The first 8 bytes of a block (block 0: the header), from memory when kept.
  [[nodiscard]] bool readBlockStart(uint32_t block, uint8_t out[8], size_t* got);
  [[nodiscard]] bool writeAt(uint64_t offset, const void* data, size_t len);
  [[nodiscard]] bool truncate(uint64_t size);

  std::unique_ptr<platform::File> file_;
  std::string path_;
  bool iv_ = true;
  bool readOnly_ = false;
  uint32_t blockSize_ = 512;
  bool keepLinks_ = false;
  std::unordered_map<uint32_t, std::array<uint8_t, 8>> links_;  // block -> its first 8 bytes
};

// Memo field text (10 bytes) <-> block number. False for text that is not a
// number (the field is then treated as corrupt).
[[nodiscard]] bool parseMemoPointer(std::string_view field, uint32_t* block);
// dBASE IV zero-pads, dBASE III right-aligns with blanks; 0 gives blanks.
void formatMemoPointer(uint32_t block, bool ivStyle, char out[10]);

}  // namespace talvex::engine
