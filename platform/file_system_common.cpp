// The parts of the file layer that are the same on every system.
#include <cctype>

#include "platform/file_io.h"
#include "platform/file_system.h"
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
