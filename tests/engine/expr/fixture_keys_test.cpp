// Key expressions stored in dBASE-written index files: each must compile
// against its table with the key type and length dBASE stored, and, where
// the index holds keys, give the same key bytes for every record.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "dbf_reader.h"

namespace talvex::engine::expr::testing {
namespace {

namespace fs = std::filesystem;

const std::string kFixtures = TALVEX_EXTERNAL_FIXTURES;

struct StoredTag {
  std::string file, expression;
  char type;
  int key_length;
};

// Tag expressions, types and key lengths from every .mdx tag header.
std::vector<StoredTag> MdxTags(const std::string &path) {
  std::vector<StoredTag> tags;
  std::string b = ReadFileBytes(path);
  if (b.size() < 544) return tags;
  unsigned in_use = Le(b, 28, 2);
  for (unsigned i = 1; i <= in_use; ++i) {
    size_t slot = 544 + 32 * (i - 1);
    if (slot + 32 > b.size()) break;
    size_t header = size_t(Le(b, slot, 4)) * 512;
    if (header + 244 > b.size()) continue;
    StoredTag t;
    t.file = path;
    t.type = b[header + 9];
    t.key_length = int(Le(b, header + 12, 2));
    t.expression = std::string(b.c_str() + header + 24, strnlen(b.c_str() + header + 24, 220));
    tags.push_back(t);
  }
  return tags;
}

std::unique_ptr<Expression> CompileFor(const StoredTag &tag, const DbfTable &table) {
  std::string alias = fs::path(tag.file).stem().string();
  CompileResult r = Compile(tag.expression, MakeFieldResolver(table.fields, alias));
  EXPECT_TRUE(r.ok()) << tag.file << ": " << tag.expression << ": " << r.error;
  return std::move(r.expression);
}

TEST(FixtureKeys, EveryMdxTagCompilesWithItsStoredTypeAndLength) {
  ASSERT_TRUE(fs::is_directory(kFixtures)) << kFixtures;
  int checked = 0;
  for (const auto &entry : fs::recursive_directory_iterator(kFixtures)) {
    std::string ext = entry.path().extension().string();
    if (ext != ".MDX" && ext != ".mdx") continue;
    fs::path dbf = entry.path();
    dbf.replace_extension(ext == ".MDX" ? ".DBF" : ".dbf");
    DbfTable table;
    ASSERT_TRUE(ReadDbf(dbf.string(), table)) << dbf;
    for (const StoredTag &tag : MdxTags(entry.path().string())) {
      auto e = CompileFor(tag, table);
      if (!e) continue;
      EXPECT_EQ(char(e->type()), tag.type) << tag.file << ": " << tag.expression;
      EXPECT_EQ(e->keyLength(), tag.key_length) << tag.file << ": " << tag.expression;
      for (size_t r = 0; r < table.records.size(); ++r) e->Evaluate(table.records[r], int(r + 1));
      ++checked;
    }
  }
  // The README lists 28 tags over the qlets, pms-crm and jdbfdriver sets.
  EXPECT_GE(checked, 28);
}

#ifndef _WIN32  // the Perl reader runs on the Linux builds only
// recno -> key of an .ndx, read by the independent Perl XBase::Index reader.
std::map<int, std::string> NdxKeysByPerl(const std::string &path) {
  std::map<int, std::string> keys;
  std::string cmd =
      "perl -MXBase::Index -e 'my $i = XBase::Index->new($ARGV[0]) or die; $i->prepare_select;"
      " while (my ($k, $v) = $i->fetch) { print \"$v|$k\\n\" }' '" + path + "'";
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return keys;
  char line[512];
  while (fgets(line, sizeof line, p)) {
    std::string s(line);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    size_t bar = s.find('|');
    if (bar != std::string::npos) keys[std::stoi(s.substr(0, bar))] = s.substr(bar + 1);
  }
  pclose(p);
  return keys;
}

TEST(FixtureKeys, NdxKeysOfDbaseTablesMatchOurEvaluation) {
  for (const char *base : {"LETS_ADS", "PROV_ADS"}) {
    std::string ndx = kFixtures + "/qlets/" + base + ".NDX";
    std::string b = ReadFileBytes(ndx);
    ASSERT_GT(b.size(), 124u) << ndx;
    StoredTag tag{ndx, std::string(b.c_str() + 24, strnlen(b.c_str() + 24, 100)), 'C',
                  int(Le(b, 12, 2))};
    EXPECT_EQ(tag.expression, "type + STR(class) + STR(id)");
    DbfTable table;
    ASSERT_TRUE(ReadDbf(kFixtures + "/qlets/" + base + ".DBF", table));
    auto e = CompileFor(tag, table);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->keyLength(), tag.key_length);
    std::map<int, std::string> keys = NdxKeysByPerl(ndx);
    ASSERT_EQ(keys.size(), table.records.size()) << base;
    for (size_t r = 0; r < table.records.size(); ++r)
      EXPECT_EQ(e->Evaluate(table.records[r], int(r + 1)).text, keys[int(r + 1)])
          << base << " record " << r + 1;
  }
}

#endif

TEST(FixtureKeys, NdxOnADateExpressionCompilesToItsStoredLength) {
  std::string b = ReadFileBytes(kFixtures + "/qlets/REMDATE.NDX");
  ASSERT_GT(b.size(), 124u);
  DbfTable table;
  ASSERT_TRUE(ReadDbf(kFixtures + "/qlets/QREMINDR.DBF", table));
  StoredTag tag{"QREMINDR", std::string(b.c_str() + 24, strnlen(b.c_str() + 24, 100)), 'C',
                int(Le(b, 12, 2))};
  auto e = CompileFor(tag, table);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->keyLength(), tag.key_length);  // 10 + 8 + 10 + 10
  EXPECT_EQ(tag.key_length, 38);
}

}  // namespace
}  // namespace talvex::engine::expr::testing
