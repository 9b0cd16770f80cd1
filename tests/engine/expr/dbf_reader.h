// Reads a .dbf file's field layout and records straight from its bytes, so
// that the expression tests can run on dBASE-written tables without the
// engine.
#ifndef TALVEX_TESTS_ENGINE_EXPR_DBF_READER_H
#define TALVEX_TESTS_ENGINE_EXPR_DBF_READER_H

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "expr/expression.h"

namespace talvex::engine::expr::testing {

inline std::string ReadFileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline unsigned Le(const std::string &b, size_t off, int n) {
  unsigned v = 0;
  for (int i = n - 1; i >= 0; --i) v = v * 256 + static_cast<unsigned char>(b[off + size_t(i)]);
  return v;
}

struct DbfTable {
  std::vector<FieldInfo> fields;
  std::vector<std::string> records;  // index 0 = record 1
};

inline bool ReadDbf(const std::string &path, DbfTable &t) {
  std::string b = ReadFileBytes(path);
  if (b.size() < 32) return false;
  unsigned count = Le(b, 4, 4), header = Le(b, 8, 2), reclen = Le(b, 10, 2);
  int offset = 1;
  for (size_t p = 32; p + 32 <= header && b[p] != '\x0d'; p += 32) {
    FieldInfo f;
    f.name = std::string(b.c_str() + p, strnlen(b.c_str() + p, 11));
    f.type = b[p + 11];
    f.len = static_cast<unsigned char>(b[p + 16]);
    f.dec = static_cast<unsigned char>(b[p + 17]);
    f.offset = offset;
    offset += f.len;
    t.fields.push_back(f);
  }
  for (unsigned r = 0; r < count && header + (r + 1) * size_t(reclen) <= b.size(); ++r)
    t.records.push_back(b.substr(header + r * size_t(reclen), reclen));
  return true;
}

}  // namespace talvex::engine::expr::testing

#endif
