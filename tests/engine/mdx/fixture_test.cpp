// Every .mdx of the external sample sets: we walk each tag in the order the
// independent reader gives, and in the orders the sample notes record.
#include <gtest/gtest.h>

#include <filesystem>

#include "mdx_file.h"
#include "mdx_tag.h"
#include "mdx_test_util.h"

using namespace talvex::engine::mdx;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> fixtureIndexes() {
  std::vector<std::string> out;
  for (auto& e : fs::recursive_directory_iterator(mdxtest::fixtureDir())) {
    std::string ext = e.path().extension().string();
    if (ext == ".MDX" || ext == ".mdx") out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<TagEntry> walk(Tag& tag) {
  std::vector<TagEntry> v;
  Cursor c(tag);
  EXPECT_TRUE(c.first().isOk());
  while (c.valid()) {
    v.push_back({std::string(c.key()), c.recno()});
    EXPECT_TRUE(c.next().isOk());
  }
  return v;
}

std::unique_ptr<MdxFile> openFixture(const std::string& rel) {
  Status st;
  auto f = MdxFile::open(mdxtest::fixtureDir() + "/" + rel, OpenOptions{true}, &st);
  EXPECT_TRUE(f) << rel << ": " << st.message();
  return f;
}

TEST(MdxFixtures, EveryTagWalksLikeTheIndependentReader) {
  auto files = fixtureIndexes();
  ASSERT_GE(files.size(), 14u) << "fixtures not found under " << mdxtest::fixtureDir();
  size_t tagsSeen = 0;
  for (const auto& path : files) {
    SCOPED_TRACE(path);
    Status st;
    auto f = MdxFile::open(path, OpenOptions{true}, &st);
    ASSERT_TRUE(f) << st.message();
    Status check = f->checkStructure();
    EXPECT_TRUE(check.isOk()) << check.message();
#ifndef _WIN32
    // The independent reader (perl) runs in the Linux builds only.
    mdxtest::Walks walks;
    std::string err;
    ASSERT_TRUE(mdxtest::perlWalk(path, &walks, &err)) << err;
    EXPECT_EQ(walks.size(), f->tagCount());
#endif
    for (size_t t = 0; t < f->tagCount(); ++t) {
      Tag& tag = f->tag(t);
      ++tagsSeen;
      auto ours = walk(tag);
#ifndef _WIN32
      ASSERT_TRUE(walks.count(tag.name())) << "reader has no tag " << tag.name();
      auto& theirs = walks[tag.name()];
      ASSERT_EQ(ours.size(), theirs.size()) << tag.name();
      for (size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i].recno, theirs[i].second) << tag.name() << " entry " << i;
        EXPECT_EQ(mdxtest::hex(ours[i].key), theirs[i].first) << tag.name() << " entry " << i;
      }
#endif
      std::vector<TagEntry> checked;
      EXPECT_TRUE(tag.checkStructure(0, &checked).isOk());
      EXPECT_EQ(checked.size(), ours.size());
    }
  }
  EXPECT_GE(tagsSeen, 25u);
}

TEST(MdxFixtures, TagDefinitionsAndKnownOrders) {
  auto f = openFixture("jdbfdriver/TEST.MDX");
  ASSERT_TRUE(f);
  ASSERT_EQ(f->tagCount(), 2u);
  Tag* t1 = f->findTag("test1");
  ASSERT_TRUE(t1);
  EXPECT_EQ(t1->def().expression, "TEST1");
  EXPECT_EQ(t1->type(), KeyType::Character);
  EXPECT_EQ(t1->keyLength(), 50u);
  auto w = walk(*t1);
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[0].key, encodeCharKey("0test3", 50));
  EXPECT_EQ((std::vector<uint32_t>{w[0].recno, w[1].recno, w[2].recno}),
            (std::vector<uint32_t>{3, 1, 2}));
  Tag* t2 = f->findTag("TEST2");
  ASSERT_TRUE(t2);
  EXPECT_EQ(t2->def().expression, "test2");
  EXPECT_EQ(t2->type(), KeyType::Numeric);
  w = walk(*t2);
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(decodeNumericKeyText(w[0].key), "10");
  EXPECT_EQ(decodeNumericKeyText(w[1].key), "15");
  EXPECT_EQ(decodeNumericKeyText(w[2].key), "20");
  EXPECT_EQ(w[1].recno, 3u);

  // Seeks on a numeric tag: exact, between keys, past the end.
  Cursor c(*t2);
  SeekResult r;
  ASSERT_TRUE(c.seek(encodeNumericKey(15), &r).isOk());
  EXPECT_EQ(r, SeekResult::Found);
  EXPECT_EQ(c.recno(), 3u);
  ASSERT_TRUE(c.seek(encodeNumericKey(12.5), &r).isOk());
  EXPECT_EQ(r, SeekResult::After);
  EXPECT_EQ(c.recno(), 3u);
  ASSERT_TRUE(c.seek(encodeNumericKey(21), &r).isOk());
  EXPECT_EQ(r, SeekResult::Eof);
  // A character seek with a prefix.
  Cursor p(*t1);
  ASSERT_TRUE(p.seek("test", &r).isOk());
  EXPECT_EQ(r, SeekResult::Found);
  EXPECT_EQ(p.recno(), 1u);
}

TEST(MdxFixtures, DescendingDateTagAndExpressionTags) {
  auto f = openFixture("qlets/QLOG.MDX");
  ASSERT_TRUE(f);
  Tag* date = f->findTag("DATE");
  ASSERT_TRUE(date);
  EXPECT_TRUE(date->def().descending);
  EXPECT_EQ(date->type(), KeyType::Date);
  EXPECT_EQ(date->def().expression, "date");
  auto w = walk(*date);
  ASSERT_EQ(w.size(), 28u);
  // Newest first; equal dates by ascending record number.
  EXPECT_EQ(w[0].key, encodeDateKeyYmd(1995, 3, 14));
  EXPECT_EQ(w[0].recno, 27u);
  EXPECT_EQ(w[1].recno, 28u);
  EXPECT_EQ(w[2].key, encodeDateKeyYmd(1995, 3, 12));
  for (size_t i = 1; i < w.size(); ++i)
    EXPECT_GE(decodeDateKey(w[i - 1].key), decodeDateKey(w[i].key));
  // A descending seek lands on the first date not after the probe.
  Cursor c(*date);
  SeekResult r;
  ASSERT_TRUE(c.seek(encodeDateKeyYmd(1995, 3, 13), &r).isOk());
  EXPECT_EQ(r, SeekResult::After);
  EXPECT_EQ(c.key(), encodeDateKeyYmd(1995, 3, 12));

  auto q = openFixture("qlets/QADS.MDX");
  ASSERT_TRUE(q);
  Tag* idTyCl = q->findTag("ID_TY_CL");
  ASSERT_TRUE(idTyCl);
  EXPECT_EQ(idTyCl->def().expression, "STR(ID) + TYPE + STR(CLASS)");
  EXPECT_EQ(idTyCl->keyLength(), 22u);
  EXPECT_TRUE(walk(*idTyCl).empty());
  EXPECT_TRUE(q->findTag("ID"));  // name ends at the NUL despite older bytes after it

  auto g = openFixture("qlets/GENID.MDX");  // 4097 bytes: one byte past the last page
  ASSERT_TRUE(g);
  w = walk(g->tag(0));
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(decodeNumericKeyText(w[0].key), "43");
  EXPECT_EQ(w[0].recno, 1u);
  EXPECT_EQ(w[1].recno, 2u);

  auto d = openFixture("qlets/QDISTRIB.MDX");
  ASSERT_TRUE(d);
  Tag* cour = d->findTag("COUR_ID");
  ASSERT_TRUE(cour);
  w = walk(*cour);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].key, encodeNumericKeyText(""));  // blank field indexed as zero

  auto fac = openFixture("pms-crm/FACTURE.MDX");
  ASSERT_TRUE(fac);
  Tag* jour = fac->findTag("IND_JOUR");
  ASSERT_TRUE(jour);
  EXPECT_EQ(jour->def().expression, "dtos(date_fact)+str(code_clien)");
  EXPECT_EQ(jour->keyLength(), 18u);
}

}  // namespace
