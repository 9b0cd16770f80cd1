// Raw file access for the engine and the companions: positioned reads and
// writes, size, truncation and non-blocking byte-range locks.
//
// Every write (writeAt, truncate), create (CreateTruncate, OpenOrCreate) and
// lock passes the fault seam (file_seam.h), so tests can make the Nth one
// fail. Files are opened shared (others may read, write and delete) and not
// inherited by child processes. Paths are host texts ("\" or "/" separators); they
// are turned into native paths with each component matched case-insensitively
// (native_path.h). A File owns its OS handle and is not copyable. Results are
// booleans; on failure lastError() holds a short text. A File may be used from
// one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace talvex::platform {

enum class OpenMode {
  ReadOnly,
  ReadWrite,
  CreateTruncate,  // read-write; created, or emptied when it exists
  OpenOrCreate,    // read-write; created when missing, kept as it is otherwise
};

enum class LockResult { Locked, HeldElsewhere, Failed };

class File {
 public:
  // nullptr when the file cannot be opened; *error (if given) says why.
  static std::unique_ptr<File> open(std::string_view path, OpenMode mode,
                                    std::string* error = nullptr);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Reads up to len bytes at offset; *got is the number read (short at the end).
  [[nodiscard]] bool readAt(uint64_t offset, void* buf, size_t len, size_t* got);
  // Writes all len bytes at offset, growing the file when needed.
  [[nodiscard]] bool writeAt(uint64_t offset, const void* buf, size_t len);
  [[nodiscard]] bool size(uint64_t* out);
  [[nodiscard]] bool truncate(uint64_t length);
  [[nodiscard]] bool sync();

  // Byte-range locks never wait. They belong to this File (open file
  // description on Linux, handle on Windows), so two Files on one path in one
  // process exclude each other as two processes do. Offsets may exceed 4 GiB.
  // A zero length is refused (Failed). On POSIX an exclusive lock needs a
  // File opened for writing. On Windows a File's own lock also blocks that
  // File, and an unlock must name exactly a range that was locked; callers
  // that work on both keep to that. A lock failed by the fault seam reads as
  // HeldElsewhere, the failure callers must handle in any case.
  [[nodiscard]] LockResult lockRange(uint64_t offset, uint64_t length, bool exclusive = true);
  // False only for a range this File did not lock (the caller's own slip); the
  // system drops every lock with the handle anyway, so release paths may go on.
  bool unlockRange(uint64_t offset, uint64_t length);

  // Modification time in nanoseconds since the Unix epoch (0 if unknown).
  uint64_t modifiedTime();

  const std::string& path() const { return path_; }  // the native path opened
  const std::string& lastError() const { return error_; }

 private:
  File(intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  intptr_t handle_;
  std::string path_;
  std::string error_;
};

}  // namespace talvex::platform
