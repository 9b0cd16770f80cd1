// The parts of the file layer that are the same on every system.
#include <cctype>
#include <mutex>
#include <string>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/file_system_internal.h"
#include "platform/native_path.h"

namespace talvex::platform {
namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Folder part of a path including its final separator (or drive colon), as
// the host's ExtractFilePath gives it; "" when there is none.
std::string folderPart(std::string_view p) {
  for (size_t i = p.size(); i > 0; --i) {
    char c = p[i - 1];
    if (isPathSeparator(c) || c == ':') return std::string(p.substr(0, i));
  }
  return {};
}

}  // namespace

namespace internal {
namespace {

// The last file operation's failure, for the whole process. Not
// thread_local: in a library the host loads at run time that is dynamic TLS,
// whose scan at exit crashed LeakSanitizer's tracer in our sanitizer builds.
struct LastFailure {
  std::mutex lock;
  std::string text;
  bool noSpace = false;
};
LastFailure& Last() {
  static LastFailure last;
  return last;
}

}  // namespace

void noteFailure(std::string text, bool noSpace) {
  LastFailure& last = Last();
  const std::lock_guard<std::mutex> hold(last.lock);
  last.text = std::move(text);
  last.noSpace = noSpace;
}

void prefixFailure(const std::string& prefix) {
  LastFailure& last = Last();
  const std::lock_guard<std::mutex> hold(last.lock);
  last.text = prefix + last.text;
}

bool succeeded() {
  noteFailure("", false);
  return true;
}

}  // namespace internal

std::string lastFileError() {
  internal::LastFailure& last = internal::Last();
  const std::lock_guard<std::mutex> hold(last.lock);
  return last.text;
}

bool lastFileErrorNoSpace() {
  internal::LastFailure& last = internal::Last();
  const std::lock_guard<std::mutex> hold(last.lock);
  return last.noSpace;
}

// The failure's reason, prefixed with the operation and its files.
bool copyFile(std::string_view from, std::string_view to) {
  if (internal::copyFileAs(from, to)) return true;
  internal::prefixFailure("copy " + std::string(from) + " to " + std::string(to) + ": ");
  return false;
}

bool moveFile(std::string_view from, std::string_view to) {
  if (internal::moveFileAs(from, to)) return true;
  internal::prefixFailure("move " + std::string(from) + " to " + std::string(to) + ": ");
  return false;
}

bool deleteFile(std::string_view path) {
  if (internal::deleteFileAs(path)) return true;
  internal::prefixFailure("delete " + std::string(path) + ": ");
  return false;
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*" || pattern == "*") return true;
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool createDirectoryPath(std::string_view path) {
  std::string_view dir = path;
  if (!dir.empty() && isPathSeparator(dir.back())) dir.remove_suffix(1);
  if (dir.size() < 3 || isDirectory(dir)) return true;
  std::string parent = folderPart(dir);
  if (parent == dir) return true;
  return createDirectoryPath(parent) && createDirectory(dir);
}

bool readTextLines(std::string_view path, std::vector<std::string>* lines) {
  std::string content;
  if (!readWholeFile(path, &content)) return false;
  lines->clear();
  std::string line;
  for (size_t i = 0; i < content.size(); ++i) {
    char c = content[i];
    if (c == '\r' || c == '\n') {
      lines->push_back(std::move(line));
      line.clear();
      if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines->push_back(std::move(line));
  return true;
}

bool writeTextLines(std::string_view path, const std::vector<std::string>& lines) {
  std::string content;
  for (const std::string& l : lines) {
    content += l;
    content += "\r\n";
  }
  return writeWholeFile(path, content);
}

bool readWholeFile(std::string_view path, std::string* content) {
  auto f = File::open(path, OpenMode::ReadOnly);
  if (!f) return false;
  uint64_t size = 0;
  if (!f->size(&size) || size > SIZE_MAX / 2) return false;
  content->assign(static_cast<size_t>(size), '\0');
  size_t got = 0;
  if (!f->readAt(0, content->data(), content->size(), &got)) return false;
  content->resize(got);
  return true;
}

}  // namespace talvex::platform
