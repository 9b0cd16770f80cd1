// INI reading with the results of the Windows private-profile calls (see
// profile.h for the rules). The file is parsed on every call: settings are
// read a handful of times per call, and a cache would need invalidation.
#include <strings.h>

#include <optional>
#include <vector>

#include "platform/file_system.h"
#include "platform/profile.h"

namespace talvex::platform {
namespace {

struct Entry {
  std::string key;
  std::optional<std::string> value;  // none for a line without "="
};

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The entries of the first section of that name, in file order; none when
// the file or the section is missing.
std::optional<std::vector<Entry>> readSection(std::string_view file, std::string_view section) {
  std::string content;
  if (!readWholeFile(file, &content)) return std::nullopt;
  std::string_view want = trim(section);
  std::optional<std::vector<Entry>> found;
  bool inside = false;
  std::string_view rest = content;
  while (!rest.empty()) {
    size_t end = rest.find_first_of("\r\n");
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    line = trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        if (found) break;  // later sections of the same name do not count
        inside = sameName(trim(line.substr(1, close - 1)), want);
        if (inside) found.emplace();
        continue;
      }
      // Without "]" the line is an ordinary key line.
    }
    if (!inside) continue;
    size_t eq = line.find('=');
    Entry e;
    if (eq == std::string_view::npos) {
      e.key = std::string(line);
    } else {
      e.key = std::string(trim(line.substr(0, eq)));
      e.value = std::string(trim(line.substr(eq + 1)));
    }
    found->push_back(std::move(e));
  }
  return found;
}

std::string withoutQuotes(std::string v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

std::string cut(std::string v) {
  if (v.size() > kProfileBufferSize - 1) v.resize(kProfileBufferSize - 1);
  return v;
}

std::optional<std::string> lookup(std::string_view file, std::string_view section,
                                  std::string_view key) {
  auto entries = readSection(file, section);
  if (!entries) return std::nullopt;
  std::string_view k = trim(key);
  for (const Entry& e : *entries)
    if (sameName(e.key, k)) return e.value ? std::optional(withoutQuotes(*e.value)) : std::nullopt;
  return std::nullopt;
}

}  // namespace

std::string profileString(std::string_view file, std::string_view section,
                          std::string_view key, std::string_view defaultValue) {
  if (auto v = lookup(file, section, key)) return cut(std::move(*v));
  std::string_view d = defaultValue;
  while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
  return cut(std::string(d));
}

int profileInt(std::string_view file, std::string_view section, std::string_view key,
               int defaultValue) {
  auto v = lookup(file, section, key);
  if (!v || v->empty()) return defaultValue;
  const std::string value = cut(std::move(*v));
  std::string_view s = value;
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  unsigned base = 10;
  if (i + 1 < s.size() && s[i] == '0') {
    char p = static_cast<char>(s[i + 1] | 0x20);
    if (p == 'x') base = 16;
    if (p == 'o') base = 8;
    if (p == 'b') base = 2;
    if (base != 10) i += 2;
  }
  uint32_t result = 0;  // wraps like the 32-bit system call
  for (; i < s.size(); ++i) {
    char c = s[i];
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') d = static_cast<unsigned>((c | 0x20) - 'a' + 10);
    else break;
    if (d >= base) break;
    result = result * base + d;
  }
  if (negative) result = 0u - result;
  return static_cast<int>(result);
}

std::vector<std::string> profileKeys(std::string_view file, std::string_view section) {
  std::vector<std::string> keys;
  auto entries = readSection(file, section);
  if (!entries) return keys;
  size_t used = 1;  // the list ends with an extra NUL
  for (const Entry& e : *entries) {
    bool seen = false;
    for (const std::string& k : keys) seen = seen || sameName(k, e.key);
    if (seen || e.key.empty() || !e.value) continue;
    if (used + e.key.size() + 1 > kProfileBufferSize) break;
    used += e.key.size() + 1;
    keys.push_back(e.key);
  }
  return keys;
}

}  // namespace talvex::platform
