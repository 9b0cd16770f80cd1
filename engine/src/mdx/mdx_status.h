// Result of an .mdx operation: a code and a short text for the engine's
// error4text. Values, cheap to copy; no exceptions leave this library.
#pragma once

#include <string>
#include <utility>

namespace talvex::engine::mdx {

enum class StatusCode {
  Ok,
  Corrupt,   // the file's bytes break the format (bad page number, loop, count ...)
  Io,        // a read, write, create or lock call failed
  Locked,    // the index lock is held by another process past the retry time
  Invalid,   // the caller passed something unusable (bad tag definition, key length)
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status ok() { return Status(); }
  static Status corrupt(std::string m) { return Status(StatusCode::Corrupt, std::move(m)); }
  static Status io(std::string m) { return Status(StatusCode::Io, std::move(m)); }
  static Status locked(std::string m) { return Status(StatusCode::Locked, std::move(m)); }
  static Status invalid(std::string m) { return Status(StatusCode::Invalid, std::move(m)); }

  bool isOk() const { return code_ == StatusCode::Ok; }
  explicit operator bool() const { return isOk(); }
  StatusCode code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  Status(StatusCode c, std::string m) : code_(c), message_(std::move(m)) {}
  StatusCode code_ = StatusCode::Ok;
  std::string message_;
};

}  // namespace talvex::engine::mdx
