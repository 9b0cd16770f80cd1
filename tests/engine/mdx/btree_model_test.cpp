// Random changes to several tags of one file, checked against a plain model
// after every few hundred steps, then against the independent reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <tuple>

#include "mdx_file.h"
#include "mdx_tag.h"
#include "mdx_test_util.h"

using namespace talvex::engine::mdx;

namespace {

// An entry as the model orders it: by value (bytes for C, number for N and D,
// reversed for descending tags), then record number.
struct ModelEntry {
  std::string key;
  double number;
  uint32_t recno;
};

struct ModelTag {
  TagDef def;
  std::vector<ModelEntry> entries;  // unordered; sorted for comparison

  bool less(const ModelEntry& a, const ModelEntry& b) const {
    int c;
    if (def.type == KeyType::Character)
      c = a.key.compare(b.key) < 0 ? -1 : (a.key == b.key ? 0 : 1);
    else
      c = a.number < b.number ? -1 : (a.number == b.number ? 0 : 1);
    if (def.descending) c = -c;
    if (c != 0) return c < 0;
    return a.recno < b.recno;
  }
  bool sameKey(const ModelEntry& a, const ModelEntry& b) const {
    return def.type == KeyType::Character ? a.key == b.key : a.number == b.number;
  }
  std::vector<ModelEntry> sorted() const {
    auto v = entries;
    std::sort(v.begin(), v.end(), [&](auto& a, auto& b) { return less(a, b); });
    return v;
  }
};

class KeyMaker {
 public:
  explicit KeyMaker(uint32_t seed) : rng_(seed) {}

  ModelEntry make(const TagDef& def, uint32_t recno) {
    ModelEntry e;
    e.recno = recno;
    if (def.type == KeyType::Character) {
      // A small alphabet and short texts: many duplicates and shared prefixes.
      static const char alphabet[] = "AB Zab0~";
      std::string t;
      size_t len = rng_() % (def.keyLength + 1);
      for (size_t i = 0; i < len && i < 6; ++i) t.push_back(alphabet[rng_() % 8]);
      e.key = encodeCharKey(t, def.keyLength);
      e.number = 0;
    } else if (def.type == KeyType::Numeric) {
      static const double pool[] = {0, 1, -1, 0.05, -0.05, 3.5, -3.5, 42, 100, 125, -200,
                                    1234567, 0.5, 99.99, -1e6, 2.25e-3, 7};
      double v = pool[rng_() % (sizeof pool / sizeof pool[0])];
      if (rng_() % 3 == 0) v = double(int(rng_() % 2001) - 1000) / 8;
      e.number = v;
      e.key = encodeNumericKey(v);
    } else {
      if (rng_() % 10 == 0) {
        e.number = kBlankDateValue;
        e.key = blankDateKey();
      } else {
        e.number = 2450000 + double(rng_() % 400);
        e.key = encodeDateKey(e.number);
      }
    }
    return e;
  }
  uint32_t next(uint32_t n) { return rng_() % n; }

 private:
  std::mt19937 rng_;
};

std::vector<TagDef> sampleDefs() {
  return {
      {"CLAIM", "STR(CLAIM,10)", "", KeyType::Character, 10, false, false},
      {"NAMEDESC", "UPPER(NAME)", "", KeyType::Character, 25, false, true},
      {"AMOUNT", "AMOUNT", "", KeyType::Numeric, 12, false, false},
      {"SEEN", "SEEN", "", KeyType::Date, 8, false, false},
      {"UCLAIM", "CLAIM", "AMOUNT > 0", KeyType::Character, 10, true, false},
      {"UAMTDESC", "AMOUNT", "", KeyType::Numeric, 12, true, true},
  };
}

void expectTagMatches(Tag& tag, const ModelTag& model, const char* when) {
  SCOPED_TRACE(std::string(when) + " tag " + tag.name());
  std::vector<ModelEntry> want = model.sorted();
  Cursor c(tag);
  ASSERT_TRUE(c.first().isOk());
  size_t i = 0;
  for (; c.valid(); ++i) {
    ASSERT_LT(i, want.size()) << "tag holds more entries than the model";
    ASSERT_EQ(mdxtest::hex(c.key()), mdxtest::hex(want[i].key)) << "entry " << i;
    ASSERT_EQ(c.recno(), want[i].recno) << "entry " << i;
    ASSERT_TRUE(c.next().isOk());
  }
  ASSERT_EQ(i, want.size());
  // Backwards from the end gives the same entries reversed.
  ASSERT_TRUE(c.prev().isOk());
  for (size_t j = want.size(); j-- > 0;) {
    ASSERT_TRUE(c.valid()) << "backward walk ended early at " << j;
    ASSERT_EQ(c.recno(), want[j].recno);
    ASSERT_TRUE(c.prev().isOk());
  }
  EXPECT_TRUE(c.bof());
  uint64_t count = 0;
  ASSERT_TRUE(tag.countEntries(&count).isOk());
  EXPECT_EQ(count, want.size());
}

TEST(MdxModel, RandomInsertsAndRemovesMatchModelAndIndependentReader) {
  mdxtest::TempDir dir;
  const std::string path = dir.file("CLAIMS.MDX");
  Status st;
  auto file = MdxFile::create(path, CreateOptions{"CLAIMS", 0x1B}, sampleDefs(), &st);
  ASSERT_TRUE(file) << st.message();

  std::vector<ModelTag> model;
  for (const TagDef& d : sampleDefs()) model.push_back(ModelTag{d, {}});
  KeyMaker keys(12345);
  // The record each tag entry came from: recno -> key per tag.
  std::map<uint32_t, std::vector<ModelEntry>> live;
  uint32_t nextRecno = 1;

  for (int step = 1; step <= 6000; ++step) {
    uint32_t op = keys.next(10);
    if (op < 6 || live.empty()) {
      uint32_t r = nextRecno++;
      std::vector<ModelEntry> row;
      for (size_t t = 0; t < model.size(); ++t) {
        ModelEntry e = keys.make(model[t].def, r);
        bool added = false;
        ASSERT_TRUE(file->tag(t).insert(e.key, r, &added).isOk());
        bool expected = true;
        if (model[t].def.unique)
          for (auto& m : model[t].entries)
            if (model[t].sameKey(m, e)) expected = false;
        ASSERT_EQ(added, expected) << "step " << step << " tag " << t;
        if (added) model[t].entries.push_back(e);
        row.push_back(e);
      }
      live[r] = row;
    } else {
      auto it = live.begin();
      std::advance(it, keys.next(uint32_t(live.size())));
      uint32_t r = it->first;
      for (size_t t = 0; t < model.size(); ++t) {
        const ModelEntry& e = it->second[t];
        bool removed = false;
        ASSERT_TRUE(file->tag(t).remove(e.key, r, &removed).isOk());
        auto& ents = model[t].entries;
        auto m = std::find_if(ents.begin(), ents.end(),
                              [&](auto& x) { return x.recno == r && x.key == e.key; });
        ASSERT_EQ(removed, m != ents.end()) << "step " << step << " tag " << t;
        if (m != ents.end()) ents.erase(m);
        // Removing again finds nothing.
        ASSERT_TRUE(file->tag(t).remove(e.key, r, &removed).isOk());
        ASSERT_FALSE(removed);
      }
      live.erase(it);
    }
    if (step % 750 == 0) {
      Status check = file->checkStructure();
      ASSERT_TRUE(check.isOk()) << "step " << step << ": " << check.message();
      for (size_t t = 0; t < model.size(); ++t)
        expectTagMatches(file->tag(t), model[t], "during the run");
    }
  }

  // Seeks land where the model's lower bound is.
  for (size_t t = 0; t < model.size(); ++t) {
    Tag& tag = file->tag(t);
    auto want = model[t].sorted();
    for (int probe = 0; probe < 200; ++probe) {
      ModelEntry p = keys.make(model[t].def, 0);
      auto lb = std::find_if(want.begin(), want.end(), [&](auto& e) {
        ModelEntry q = p;
        q.recno = 0;
        return !model[t].less(e, q);
      });
      Cursor c(tag);
      SeekResult r;
      ASSERT_TRUE(c.seek(p.key, &r).isOk());
      if (lb == want.end()) {
        EXPECT_EQ(r, SeekResult::Eof);
        continue;
      }
      ASSERT_TRUE(c.valid());
      EXPECT_EQ(c.recno(), lb->recno);
      EXPECT_EQ(r, model[t].sameKey(*lb, p) ? SeekResult::Found : SeekResult::After);
    }
  }

  // Reopened, the file reads the same, for us and for the independent reader.
  file.reset();
  file = MdxFile::open(path, OpenOptions{}, &st);
  ASSERT_TRUE(file) << st.message();
  ASSERT_TRUE(file->checkStructure().isOk());
  for (size_t t = 0; t < model.size(); ++t) expectTagMatches(file->tag(t), model[t], "after reopening");
#ifndef _WIN32
  // The independent reader (perl) runs in the Linux builds only.
  mdxtest::Walks walks;
  std::string err;
  ASSERT_TRUE(mdxtest::perlWalk(path, &walks, &err)) << err;
  for (size_t t = 0; t < model.size(); ++t) {
    auto want = model[t].sorted();
    auto& got = walks[model[t].def.name];
    ASSERT_EQ(got.size(), want.size()) << model[t].def.name;
    for (size_t i = 0; i < want.size(); ++i) {
      ASSERT_EQ(got[i].second, want[i].recno) << model[t].def.name << " entry " << i;
      ASSERT_EQ(got[i].first, mdxtest::hex(want[i].key)) << model[t].def.name << " entry " << i;
    }
  }
#endif
}

TEST(MdxModel, FreedBlocksAreReusedBeforeTheFileGrows) {
  mdxtest::TempDir dir;
  const std::string path = dir.file("REUSE.MDX");
  Status st;
  auto file = MdxFile::create(path, CreateOptions{"REUSE"},
                              {{"K", "K", "", KeyType::Character, 40, false, false}}, &st);
  ASSERT_TRUE(file) << st.message();
  Tag& tag = file->tag(0);
  auto key = [](uint32_t i) { return encodeCharKey("key" + std::to_string(i * 7919 % 5000), 40); };
  for (uint32_t i = 1; i <= 5000; ++i) ASSERT_TRUE(tag.insert(key(i), i).isOk());
  const auto grown = std::filesystem::file_size(path);
  for (uint32_t i = 1; i <= 5000; ++i) ASSERT_TRUE(tag.remove(key(i), i).isOk());
  EXPECT_GT(file->freeBlockCount(), 100u);
  ASSERT_TRUE(file->checkStructure().isOk());
  for (uint32_t i = 1; i <= 5000; ++i) ASSERT_TRUE(tag.insert(key(i), i).isOk());
  EXPECT_EQ(std::filesystem::file_size(path), grown);
  Status check = file->checkStructure();
  EXPECT_TRUE(check.isOk()) << check.message();
  uint64_t n = 0;
  ASSERT_TRUE(tag.countEntries(&n).isOk());
  EXPECT_EQ(n, 5000u);
}

}  // namespace
