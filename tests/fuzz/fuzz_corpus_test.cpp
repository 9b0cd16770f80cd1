// Replays the kept fuzz corpus (tests/fixtures/fuzz) through the same walk as
// the libFuzzer target, so every build checks the inputs that once found or
// nearly found faults. Seeds named "seed-*" are real table sets whose walk
// results are known.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz_walk.h"

namespace talvex::fuzz {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

WalkResult Walk(const std::string &bytes, bool allow_index = true) {
  FuzzFolder folder;
  return WalkFiles(SplitInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()),
                   folder, allow_index);
}

std::vector<fs::path> CorpusFiles() {
  std::vector<fs::path> files;
  for (const auto &e : fs::directory_iterator(TALVEX_FUZZ_CORPUS))
    if (e.is_regular_file() && e.path().extension() != ".md") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FuzzCorpus, EveryInputWalksWithoutFault) {
  std::vector<fs::path> files = CorpusFiles();
  ASSERT_GE(files.size(), 10u) << TALVEX_FUZZ_CORPUS;
  for (const fs::path &p : files) {
    std::string bytes = ReadAll(p);
    for (bool index : {false, true}) {
      WalkResult r = Walk(bytes, index);
      EXPECT_EQ(r.problem, "") << p.filename() << (index ? " with index" : "");
    }
  }
}

TEST(FuzzCorpus, SeedsFromRealTablesWalkCompletely) {
  // jdbfdriver TEST: 3 records, tags TEST1 and TEST2 over all of them.
  WalkResult r = Walk(ReadAll(fs::path(TALVEX_FUZZ_CORPUS) / "seed-jdbf-test"));
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(r.records, 3);
  EXPECT_EQ(r.tags, 2);
  EXPECT_EQ(r.keys, 6);
  // perl-xbase test: 3 records with memos (record 2 deleted), no index.
  r = Walk(ReadAll(fs::path(TALVEX_FUZZ_CORPUS) / "seed-perl-test"));
  EXPECT_TRUE(r.opened);
  EXPECT_EQ(r.records, 3);
  EXPECT_EQ(r.tags, 0);
}

TEST(FuzzCorpus, ContainerSplitsAndCutsLengths) {
  FuzzFiles f;
  f.flags = kOpenIndex;
  f.dbf = "abc";
  f.dbt = std::string("\0\1", 2);
  f.mdx = "xyz";
  std::string packed = PackInput(f);
  FuzzFiles g = SplitInput(reinterpret_cast<const std::uint8_t *>(packed.data()), packed.size());
  EXPECT_EQ(g.flags, f.flags);
  EXPECT_EQ(g.dbf, f.dbf);
  EXPECT_EQ(g.dbt, f.dbt);
  EXPECT_EQ(g.mdx, f.mdx);
  // A length past the end takes what is there, leaving the rest empty.
  packed[1] = '\x7f';
  g = SplitInput(reinterpret_cast<const std::uint8_t *>(packed.data()), packed.size());
  EXPECT_EQ(g.dbf.size(), packed.size() - 9);
  EXPECT_TRUE(g.dbt.empty() && g.mdx.empty());
}

}  // namespace
}  // namespace talvex::fuzz
