// A .dbt memo file, dBASE IV style (block size from the header, each memo
// prefixed FF FF 08 00 + length including those 8 bytes, no terminator) or
// dBASE III style (512-byte blocks, text ended by 1A 1A).
//
// Writing never touches another record's memo: a memo is rewritten in place
// only when it is the caller's own (its block number comes from the record
// being written) and still fits its blocks (dBASE IV); otherwise it goes to
// the append point, which is the end of the free chain (IV) or the header's
// next block (III), never below the file's real end. Freed blocks are left
// unreferenced. Appends in shared use hold the .dbt append lock.
//
// Every size read from the file is checked against the file's length, so a
// pointer past the end or an absurd length word is an error, not a read
// outside a buffer. Owned by one SharedTable; callers hold the API lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/platform/file_io.h"

namespace talvex::engine {

class MemoFile {
 public:
  static std::unique_ptr<MemoFile> open(std::string_view path, bool ivStyle, bool readOnly,
                                        std::string* error);
  static std::unique_ptr<MemoFile> create(std::string_view path, bool ivStyle,
                                          std::string_view tableName, std::string* error);

  bool ivStyle() const { return iv_; }
  uint32_t blockSize() const { return blockSize_; }

  // block 0 is "no memo" and reads as "".
  bool read(uint32_t block, std::string* out, std::string* error);
  // *block: the record's current memo block (0 = none) on entry, where the
  // text now lives on return (0 for an empty text). shared: other processes
  // may append at the same time.
  bool write(std::string_view data, uint32_t* block, bool shared, std::string* error);

  // Empties the file to its header (for pack, which rewrites every memo).
  bool reset(std::string* error);
  platform::File& file() { return *file_; }

 private:
  MemoFile() = default;
  bool fileBlocks(uint64_t* blocks, uint64_t* size, std::string* error);
  bool appendPoint(uint32_t* at, uint32_t* lastLink, std::string* error);
  bool memoBlocksUsed(uint32_t block, uint64_t* blocks);

  std::unique_ptr<platform::File> file_;
  bool iv_ = true;
  bool readOnly_ = false;
  uint32_t blockSize_ = 512;
};

// Memo field text (10 bytes) <-> block number. False for text that is not a
// number (the field is then treated as corrupt).
bool parseMemoPointer(std::string_view field, uint32_t* block);
// dBASE IV zero-pads, dBASE III right-aligns with blanks; 0 gives blanks.
void formatMemoPointer(uint32_t block, bool ivStyle, char out[10]);

}  // namespace talvex::engine
