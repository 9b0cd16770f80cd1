// The registry stand-in: one REGEDIT4 text file holding keys of the current
// user's hive. Each call loads the file, and a change rewrites it whole
// through a temporary file and a rename.
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "platform/registry.h"

namespace talvex::platform {
namespace {

constexpr char kHive[] = "HKEY_CURRENT_USER";

struct Value {
  std::string name;  // "" is the default value, written "@"
  std::string raw;   // the text after "=", as stored
};

struct Key {
  std::string name;  // full name, hive first
  std::vector<Value> values;
};

struct Hive {
  std::vector<Key> keys;
};

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

// Key path as the rest of the code names it: no separators at either end.
std::string cleanPath(std::string_view p) {
  while (!p.empty() && p.front() == '\\') p.remove_prefix(1);
  while (!p.empty() && p.back() == '\\') p.remove_suffix(1);
  return std::string(p);
}

std::string fullName(const std::string& path) { return std::string(kHive) + "\\" + path; }

// Reads a quoted REGEDIT4 string starting at s[pos] == '"'; pos ends after
// the closing quote.
std::optional<std::string> unquote(std::string_view s, size_t* pos) {
  if (*pos >= s.size() || s[*pos] != '"') return std::nullopt;
  std::string out;
  for (size_t i = *pos + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\') {
      if (i + 1 >= s.size()) return std::nullopt;
      out += s[++i];
    } else if (c == '"') {
      *pos = i + 1;
      return out;
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

std::string quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

enum class Load { Ok, Failed };

Load parse(const std::string& text, Hive* hive) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(std::move(line));
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);

  size_t i = 0;
  while (i < lines.size() && trimmed(lines[i]).empty()) ++i;
  if (i == lines.size()) return Load::Ok;  // an empty file is an empty hive
  std::string head = trimmed(lines[i]);
  if (head != "REGEDIT4" && head != "Windows Registry Editor Version 5.00") return Load::Failed;

  Key* current = nullptr;
  bool skipping = false;  // inside a "[-key]" deletion section
  for (++i; i < lines.size(); ++i) {
    std::string l = trimmed(lines[i]);
    if (l.empty() || l[0] == ';') continue;
    if (l[0] == '[') {
      if (l.back() != ']') return Load::Failed;
      std::string name = l.substr(1, l.size() - 2);
      skipping = !name.empty() && name[0] == '-';
      current = nullptr;
      if (skipping) continue;
      for (Key& k : hive->keys)
        if (sameName(k.name, name)) current = &k;
      if (!current) {
        hive->keys.push_back(Key{name, {}});
        current = &hive->keys.back();
      }
      continue;
    }
    if (skipping) continue;
    if (!current) return Load::Failed;
    Value v;
    size_t pos = 0;
    if (l[0] == '@') {
      pos = 1;
    } else {
      auto name = unquote(l, &pos);
      if (!name) return Load::Failed;
      v.name = *name;
    }
    while (pos < l.size() && (l[pos] == ' ' || l[pos] == '\t')) ++pos;
    if (pos >= l.size() || l[pos] != '=') return Load::Failed;
    v.raw = trimmed(std::string_view(l).substr(pos + 1));
    // Binary values continue on the next line after a trailing backslash.
    while (!v.raw.empty() && v.raw.back() == '\\' && v.raw.front() != '"' &&
           i + 1 < lines.size()) {
      v.raw.pop_back();
      v.raw += trimmed(lines[++i]);
    }
    bool replaced = false;
    for (Value& old : current->values)
      if (sameName(old.name, v.name)) {
        old = v;
        replaced = true;
      }
    if (!replaced) current->values.push_back(std::move(v));
  }
  return Load::Ok;
}

std::string serialize(const Hive& hive) {
  std::string out = "REGEDIT4\r\n";
  for (const Key& k : hive.keys) {
    out += "\r\n[" + k.name + "]\r\n";
    for (const Value& v : k.values)
      out += (v.name.empty() ? std::string("@") : quote(v.name)) + "=" + v.raw + "\r\n";
  }
  return out + "\r\n";
}

Load loadHive(Hive* hive) {
  std::string path = registryFilePath();
  if (path.empty()) return Load::Failed;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? Load::Ok : Load::Failed;
  std::string text;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return Load::Failed;
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return parse(text, hive);
}

bool makeFolders(const std::string& file) {
  for (size_t i = 1; i < file.size(); ++i) {
    if (file[i] != '/') continue;
    std::string dir = file.substr(0, i);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool saveHive(const Hive& hive) {
  std::string path = registryFilePath();
  if (path.empty() || !makeFolders(path)) return false;
  std::string temp = path + ".~" + std::to_string(getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::string text = serialize(hive);
  bool ok = true;
  for (size_t done = 0; done < text.size();) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// Serializes read-modify-write cycles of all processes on one registry file,
// so two writers cannot lose each other's values.
class WriterLock {
 public:
  WriterLock() {
    std::string path = registryFilePath();
    if (path.empty() || !makeFolders(path)) return;
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~WriterLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

 private:
  int fd_ = -1;
};

Key* findKey(Hive& hive, const std::string& path) {
  std::string name = fullName(path);
  for (Key& k : hive.keys)
    if (sameName(k.name, name)) return &k;
  return nullptr;
}

// A key exists when it has a section, or when a section lies below it (its
// parents need no section of their own, as on import).
bool keyExists(const Hive& hive, const std::string& path) {
  std::string name = fullName(path);
  for (const Key& k : hive.keys) {
    if (sameName(k.name, name)) return true;
    if (k.name.size() > name.size() && k.name[name.size()] == '\\' &&
        sameName(std::string_view(k.name).substr(0, name.size()), name))
      return true;
  }
  return false;
}

// Adds a section for the key and each missing parent; true when it added any.
bool ensureKey(Hive& hive, const std::string& path) {
  bool added = false;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\') continue;
    std::string part = path.substr(0, i);
    if (!findKey(hive, part)) {
      hive.keys.push_back(Key{fullName(part), {}});
      added = true;
    }
  }
  return added;
}

bool setValue(const std::string& path, std::string_view name, std::string raw) {
  WriterLock lock;
  Hive hive;
  if (loadHive(&hive) != Load::Ok) return false;
  ensureKey(hive, path);
  Key* k = findKey(hive, path);
  for (Value& v : k->values)
    if (sameName(v.name, name)) {
      v.raw = std::move(raw);
      return saveHive(hive);
    }
  k->values.push_back(Value{std::string(name), std::move(raw)});
  return saveHive(hive);
}

std::string joinPath(const std::string& a, std::string_view b) {
  std::string sub = cleanPath(b);
  if (sub.empty()) return a;
  return a.empty() ? sub : a + "\\" + sub;
}

}  // namespace

std::string registryFilePath() {
  if (const char* env = getenv("TALVEX_REGISTRY"); env && *env) return env;
  if (const char* xdg = getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    return std::string(xdg) + "/talvex/registry.reg";
  const char* home = getenv("HOME");
  if (!home || !*home) {
    struct passwd* pw = getpwuid(getuid());
    home = pw ? pw->pw_dir : nullptr;
  }
  if (!home || !*home) return {};
  return std::string(home) + "/.config/talvex/registry.reg";
}

std::unique_ptr<RegistryKey> RegistryKey::createCurrentUser(std::string_view keyPath) {
  std::string path = cleanPath(keyPath);
  if (path.empty()) return nullptr;
  WriterLock lock;
  Hive hive;
  if (loadHive(&hive) != Load::Ok) return nullptr;
  if (ensureKey(hive, path) && !saveHive(hive)) return nullptr;
  return std::unique_ptr<RegistryKey>(new RegistryKey(path, 0));
}

std::unique_ptr<RegistryKey> RegistryKey::openCurrentUser(std::string_view keyPath) {
  std::string path = cleanPath(keyPath);
  if (path.empty()) return nullptr;
  Hive hive;
  if (loadHive(&hive) != Load::Ok || !keyExists(hive, path)) return nullptr;
  return std::unique_ptr<RegistryKey>(new RegistryKey(path, 0));
}

RegistryKey::~RegistryKey() = default;

std::unique_ptr<RegistryKey> RegistryKey::openSubKey(std::string_view name) const {
  return openCurrentUser(joinPath(path_, name));
}

std::unique_ptr<RegistryKey> RegistryKey::createSubKey(std::string_view name) const {
  return createCurrentUser(joinPath(path_, name));
}

RegistryRead RegistryKey::readString(std::string_view name, std::string* out) const {
  Hive hive;
  if (loadHive(&hive) != Load::Ok) return RegistryRead::Failed;
  Key* k = findKey(hive, path_);
  if (!k) return keyExists(hive, path_) ? RegistryRead::Missing : RegistryRead::Failed;
  for (const Value& v : k->values) {
    if (!sameName(v.name, name)) continue;
    if (v.raw.empty() || v.raw[0] != '"') return RegistryRead::NotString;
    size_t pos = 0;
    auto text = unquote(v.raw, &pos);
    if (!text || pos != v.raw.size()) return RegistryRead::Failed;
    *out = *text;
    return RegistryRead::Ok;
  }
  return RegistryRead::Missing;
}

bool RegistryKey::writeString(std::string_view name, std::string_view value) {
  return setValue(path_, name, quote(value));
}

bool RegistryKey::writeDword(std::string_view name, uint32_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(value));
  return setValue(path_, name, buf);
}

bool RegistryKey::deleteValue(std::string_view name) {
  WriterLock lock;
  Hive hive;
  if (loadHive(&hive) != Load::Ok) return false;
  Key* k = findKey(hive, path_);
  if (!k) return false;
  for (size_t i = 0; i < k->values.size(); ++i)
    if (sameName(k->values[i].name, name)) {
      k->values.erase(k->values.begin() + static_cast<long>(i));
      return saveHive(hive);
    }
  return false;
}

}  // namespace talvex::platform
