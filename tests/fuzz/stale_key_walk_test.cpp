// Reproducer of a hang the fuzzer found: a tag entry whose key no longer
// matches its record (here the one key of tag CODE reads "XY" while the
// record holds "XX"). d4skip(1) from that entry returns 0 on the same record
// again and again, so a d4top/d4skip walk never reaches the end. A stale or
// corrupt index must end the walk (end of file or an error), never loop.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "c4dll.h"
#include "fuzz_walk.h"

namespace talvex::fuzz {
namespace {

namespace fs = std::filesystem;

TEST(StaleKeyWalk, WalkOverAKeyThatDisagreesWithItsRecordEnds) {
  std::ifstream in(fs::path(TALVEX_FUZZ_CORPUS) / "seed-qlets-qdistrib", std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), {}};
  FuzzFiles files =
      SplitInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
  ASSERT_EQ(files.mdx.size(), 6144u);
  // Page 8 is the root leaf of tag CODE: count 1, then record 1 with key "XX".
  ASSERT_EQ(files.mdx.substr(4096 + 12, 2), "XX");
  files.mdx[4096 + 13] = 'Y';

  FuzzFolder folder;
  for (auto [ext, data] : {std::pair{".dbf", &files.dbf}, {".dbt", &files.dbt}, {".mdx", &files.mdx}}) {
    std::ofstream out(fs::path(folder.path()) / (std::string("QDISTRIB") + ext), std::ios::binary);
    out.write(data->data(), std::streamsize(data->size()));
  }
  C4Context c = code4initP();
  code4autoOpen(c, 0);
  C4Table t = d4open(c, (fs::path(folder.path()) / "QDISTRIB.dbf").string().c_str());
  ASSERT_NE(t, 0u);
  C4Index i = i4open(t, nullptr);
  ASSERT_NE(i, 0u);
  C4Tag tag = i4tag(i, "CODE");
  ASSERT_NE(tag, 0u);
  ASSERT_EQ(d4tagSelectP(t, tag), 0);

  int steps = 0;
  int rc = d4top(t);
  while (rc == 0 && steps < 10) {
    rc = d4skip(t, 1);
    ++steps;
  }
  EXPECT_NE(rc, 0) << "d4skip keeps returning record " << d4recNoLow(t);
  EXPECT_LE(steps, 2);
  code4errorCode(c, 0);
  d4close(t);
  code4initUndo(c);
}

}  // namespace
}  // namespace talvex::fuzz
