#include "fuzz_walk.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "c4dll.h"

namespace talvex::fuzz {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxPhysicalSteps = 100000;
// Inputs are at most 256 KiB, so even a tree that shares pages holds fewer
// entries than this unless a walk goes round in circles.
constexpr int kMaxTagSteps = 50000;

std::uint32_t Le32(const std::uint8_t *p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

void WriteFile(const fs::path &path, const std::string &bytes) {
  std::error_code ec;
  fs::remove(path, ec);
  if (bytes.empty()) return;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

// Tag names from the .mdx tag table, read here rather than through the engine
// because the API has no tag enumeration.
std::vector<std::string> MdxTagNames(const std::string &mdx) {
  std::vector<std::string> names;
  if (mdx.size() < 544) return names;
  unsigned in_use = static_cast<unsigned char>(mdx[28]) | static_cast<unsigned char>(mdx[29]) << 8;
  for (unsigned i = 1; i <= in_use && i <= 47; ++i) {
    size_t slot = 544 + 32 * (i - 1);
    if (slot + 32 > mdx.size()) break;
    std::string name(mdx.c_str() + slot + 4, strnlen(mdx.c_str() + slot + 4, 11));
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

// Touches every field of the current record the way the callers do.
// Returns a sum over the values so that no read can be optimised away.
size_t ReadRecord(C4Table t) {
  size_t sink = 0;
  sink += size_t(d4deleted(t));
  int n = d4numFields(t);
  for (int j = 1; j <= n; ++j) {
    C4Field f = d4fieldJ(t, j);
    if (!f) continue;
    const char *s = f4str(f);
    if (s) sink += strlen(s);
    sink += size_t(f4int(f));
    double d = 0;
    f4double2(f, &d);
    sink += size_t(f4true(f));
    if (f4type(f) == 'M') {
      const char *m = f4memoStr(f);
      uint32_t len = f4memoLen(f);
      if (m && len) sink += static_cast<unsigned char>(m[len - 1]);
    }
  }
  return sink;
}

void WalkTag(C4Context c, C4Table t, C4Tag tag, WalkResult &r) {
  if (d4tagSelectP(t, tag) != 0) {
    code4errorCode(c, 0);
    return;
  }
  ++r.tags;
  const char *e = t4expr(tag);
  if (e) r.checksum += strlen(e);
  const char *f = t4filter(tag);
  if (f) r.checksum += strlen(f);
  int steps = 0;
  for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
    r.checksum += ReadRecord(t);
    ++r.keys;
    if (++steps > kMaxTagSteps) {
      r.problem = "tag walk did not end";
      break;
    }
  }
  code4errorCode(c, 0);
  steps = 0;
  for (int rc = d4bottom(t); rc == 0 && steps < 50; rc = d4skip(t, -1)) ++steps;
  code4errorCode(c, 0);
  d4seek(t, "A");
  d4seek(t, "");
  d4seekN(t, "\xff\xff\xff\xff", 4);
  d4seekDouble(t, 1.0);
  d4seekNext(t, "A");
  d4check(t);
  code4errorCode(c, 0);
  d4tagSelectP(t, 0);
  code4errorCode(c, 0);
}

// Memos that grow, shrink and empty in the first records: the free chain of
// whatever .dbt came in is walked, split, merged and cut at the end.
void RewriteMemos(C4Context c, C4Table t) {
  static const size_t sizes[] = {1500, 20, 0, 700, 5000, 3};
  size_t k = 0;
  for (int32_t rec = 1; rec <= 3 && rec <= d4recCount(t); ++rec) {
    if (d4goLow(t, rec, 0) != 0) break;
    int n = d4numFields(t);
    for (int j = 1; j <= n; ++j) {
      C4Field f = d4fieldJ(t, j);
      if (!f || f4type(f) != 'M') continue;
      for (int round = 0; round < 2; ++round) {
        std::string text(sizes[k++ % 6], static_cast<char>('a' + rec));
        f4memoAssign(f, text.c_str());
        d4flush(t);
        code4errorCode(c, 0);
      }
    }
  }
  code4errorCode(c, 0);
}

void ChangeTable(C4Context c, C4Table t, const FuzzFiles &files) {
  RewriteMemos(c, t);
  if (d4appendBlank(t) == 0) {
    int n = d4numFields(t);
    for (int j = 1; j <= n; ++j) {
      C4Field f = d4fieldJ(t, j);
      if (!f) continue;
      switch (f4type(f)) {
        case 'N':
        case 'F': f4assignDouble(f, -12.5); break;
        case 'D': f4assign(f, "19970711"); break;
        case 'L': f4assign(f, "T"); break;
        case 'M': f4memoAssign(f, "fuzz memo"); break;
        default: f4assign(f, "ZZ fuzz"); break;
      }
      code4errorCode(c, 0);
    }
    d4flush(t);
    code4errorCode(c, 0);
  }
  code4errorCode(c, 0);
  if (d4top(t) == 0) d4delete(t);
  code4errorCode(c, 0);
  d4reindex(t);
  code4errorCode(c, 0);
  d4check(t);
  code4errorCode(c, 0);
  d4pack(t);
  code4errorCode(c, 0);
  (void)files;
}

}  // namespace

FuzzFiles SplitInput(const std::uint8_t *data, std::size_t size) {
  FuzzFiles f;
  if (size < 9) {
    f.dbf.assign(reinterpret_cast<const char *>(data), size);
    return f;
  }
  f.flags = data[0];
  size_t dbf_len = Le32(data + 1), dbt_len = Le32(data + 5);
  size_t pos = 9;
  dbf_len = std::min(dbf_len, size - pos);
  f.dbf.assign(reinterpret_cast<const char *>(data + pos), dbf_len);
  pos += dbf_len;
  dbt_len = std::min(dbt_len, size - pos);
  f.dbt.assign(reinterpret_cast<const char *>(data + pos), dbt_len);
  pos += dbt_len;
  f.mdx.assign(reinterpret_cast<const char *>(data + pos), size - pos);
  return f;
}

std::string PackInput(const FuzzFiles &files) {
  std::string out(9, '\0');
  out[0] = char(files.flags);
  for (int i = 0; i < 4; ++i) {
    out[size_t(1 + i)] = char(files.dbf.size() >> (8 * i));
    out[size_t(5 + i)] = char(files.dbt.size() >> (8 * i));
  }
  return out + files.dbf + files.dbt + files.mdx;
}

FuzzFolder::FuzzFolder() {
  std::random_device rd;
  fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = base / ("talvex-fuzz-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      return;
    }
  }
  path_ = (base / "talvex-fuzz").string();
  fs::create_directories(path_);
}

FuzzFolder::~FuzzFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

WalkResult WalkFiles(const FuzzFiles &files, const FuzzFolder &folder, bool allow_index) {
  WalkResult r;
  fs::path dir(folder.path());
  WriteFile(dir / "FUZZ.dbf", files.dbf);
  WriteFile(dir / "FUZZ.dbt", files.dbt);
  WriteFile(dir / "FUZZ.mdx", allow_index ? files.mdx : std::string());

  C4Context c = code4initP();
  if (!c) {
    r.problem = "code4initP failed";
    return r;
  }
  code4autoOpen(c, 0);
  C4Table t = d4open(c, (dir / "FUZZ.dbf").string().c_str());
  if (!t) {
    error4text(c, code4errorCode(c, 0));
    code4initUndo(c);
    return r;
  }
  r.opened = true;
  int32_t count = d4recCount(t);
  int limit = count < 0 ? 0 : count > kMaxPhysicalSteps ? kMaxPhysicalSteps : int(count);
  for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
    r.checksum += ReadRecord(t);
    if (++r.records > limit) {
      if (count <= kMaxPhysicalSteps) r.problem = "physical walk passed the record count";
      break;
    }
  }
  code4errorCode(c, 0);
  int back = 0;
  for (int rc = d4bottom(t); rc == 0 && back < 50; rc = d4skip(t, -1)) ++back;
  code4errorCode(c, 0);
  d4goLow(t, count, 0);
  d4goLow(t, count + 1, 0);
  d4goLow(t, -1, 0);
  code4errorCode(c, 0);

  if (allow_index && (files.flags & kOpenIndex) && !files.mdx.empty()) {
    C4Index i = i4open(t, nullptr);
    if (i) {
      for (const std::string &name : MdxTagNames(files.mdx)) {
        C4Tag tag = i4tag(i, name.c_str());
        if (tag) WalkTag(c, t, tag, r);
        code4errorCode(c, 0);
      }
    }
    code4errorCode(c, 0);
    if (files.flags & kChangeTable) ChangeTable(c, t, files);
    if (i) i4close(i);
  } else if (files.flags & kChangeTable) {
    ChangeTable(c, t, files);
  }
  code4errorCode(c, 0);
  d4close(t);
  code4errorCode(c, 0);
  code4initUndo(c);
  return r;
}

}  // namespace talvex::fuzz
