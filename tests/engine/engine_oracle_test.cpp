// Independent readers as oracles: every table of the external samples read by
// us gives the values Perl's XBase and Python's dbfread give, and the tables
// we write read back in those tools with the values we stored.
#include <array>
#include <cmath>
#include <cstring>
#include <sstream>

#include "engine_test_util.h"
#include "memo_fixture.h"
#include "../common/copy_over.h"

using namespace enginetest;

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string esc(const char* p, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= 0x20 && c <= 0x7E && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out;
}

Rows parse(const std::string& text) {
  Rows rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    size_t p = 0;
    for (;;) {
      size_t q = line.find('\t', p);
      cells.push_back(line.substr(p, q == std::string::npos ? std::string::npos : q - p));
      if (q == std::string::npos) break;
      p = q + 1;
    }
    rows.push_back(cells);
  }
  return rows;
}

// Our reading, in the oracles' notation. types receives each field's type.
Rows ours(C4Context ctx, const std::string& path, bool liveOnly, std::string* types, int* rc) {
  Rows rows;
  C4Table t = d4open(ctx, path.c_str());
  if (!t) {
    *rc = code4errorCode(ctx, 0);
    return rows;
  }
  *rc = 0;
  int n = d4numFields(t);
  types->clear();
  for (int j = 1; j <= n; ++j) types->push_back(static_cast<char>(f4type(d4fieldJ(t, j))));
  for (int r = d4top(t); r == 0; r = d4skip(t, 1)) {
    if (liveOnly && d4deleted(t)) continue;
    std::vector<std::string> row{d4deleted(t) ? "1" : "0"};
    for (int j = 1; j <= n; ++j) {
      C4Field f = d4fieldJ(t, j);
      std::string s(f4str(f), static_cast<size_t>(f4len(f)));
      std::string trimmed = s.substr(0, s.find_last_not_of(std::string(" \0", 2)) + 1);
      if (s.find_first_not_of(std::string(" \0", 2)) == std::string::npos) trimmed.clear();
      switch (f4type(f)) {
        case 'M': {
          const char* m = f4memoStr(f);
          row.push_back(esc(m, f4memoLen(f)));
          break;
        }
        case 'N':
        case 'F':
        case 'D':
          row.push_back(trimmed.empty() ? "\\N" : esc(trimmed.data(), trimmed.size()));
          break;
        case 'L': {
          char c = s[0];
          row.push_back(std::strchr("TtYy", c) && c ? "1" : std::strchr("FfNn", c) && c ? "0" : "\\N");
          break;
        }
        default:
          row.push_back(esc(trimmed.data(), trimmed.size()));
      }
    }
    rows.push_back(row);
  }
  d4close(t);
  return rows;
}

std::string unesc(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() + 0 && s[i + 1] == 'x') {
      out.push_back(static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// A memo as dbfread returns it: dBASE IV memos get 8 bytes too many and are
// cut at the first 0x1F; dBASE III memos are cut at the first 0x1A.
bool dbfreadMemoAgrees(const std::string& ourEsc, const std::string& theirsEsc) {
  std::string a = unesc(ourEsc), b = unesc(theirsEsc);
  if (a == b) return true;
  if (a.find('\x1A') == std::string::npos && a.find('\x1F') == std::string::npos)
    return b.compare(0, a.size(), a) == 0;  // ours, then the stray bytes
  return a.compare(0, b.size(), b) == 0;
}

void compare(const std::string& what, const Rows& us, const Rows& them, const std::string& types,
             bool dbfread) {
  ASSERT_EQ(us.size(), them.size()) << what;
  for (size_t r = 0; r < us.size(); ++r) {
    ASSERT_EQ(us[r].size(), them[r].size()) << what << " record " << r + 1;
    EXPECT_EQ(us[r][0], them[r][0]) << what << " record " << r + 1 << " deletion flag";
    for (size_t c = 1; c < us[r].size(); ++c) {
      const std::string& a = us[r][c];
      const std::string& b = them[r][c];
      char type = types[c - 1];
      std::string where = what + " record " + std::to_string(r + 1) + " field " + std::to_string(c);
      if ((type == 'N' || type == 'F') && a != "\\N" && b != "\\N") {
        double x = std::stod(a), y = std::stod(b);
        EXPECT_NEAR(x, y, 1e-9 * std::max(1.0, std::fabs(x))) << where << ": " << a << " vs " << b;
      } else if (type == 'M' && dbfread) {
        EXPECT_TRUE(dbfreadMemoAgrees(a, b)) << where << ": " << a.substr(0, 200) << " vs " << b.substr(0, 200);
      } else if (type == 'M' && b == "\\N") {
        EXPECT_EQ(a, "") << where;  // no memo
      } else {
        EXPECT_EQ(a, b) << where;
      }
    }
  }
}

std::string oracle(const std::string& tool, const std::string& file, int* status) {
  std::string dir = sourceDir() + "/tests/engine/oracle/";
  std::string cmd = tool == "perl" ? "perl " + dir + "dbf_dump.pl '" + file + "' 2>&1"
                                   : "/usr/bin/python3 " + dir + "dbf_dump.py '" + file + "' 2>&1";
  return run(cmd, status);
}

// xbase / dbfread: which tools can read this file at all (XBase reads only
// .dbt headers of 24 or 512 bytes, dbfread only 512-byte memo blocks).
void checkWithBothTools(C4Context ctx, const std::string& file, bool xbase = true,
                        bool dbfread = true) {
  std::string types;
  int rc = 0;
  Rows all = ours(ctx, file, false, &types, &rc);
  int perlStatus = 0, pyStatus = 0;
  std::string perl = xbase ? oracle("perl", file, &perlStatus) : "";
  std::string py = dbfread ? oracle("python", file, &pyStatus) : "";
  if (rc != 0) {
    // We refuse it: so must both tools.
    EXPECT_NE(perlStatus, 0) << file << " is refused by us (" << rc << ") but read by XBase";
    EXPECT_NE(pyStatus, 0) << file << " is refused by us (" << rc << ") but read by dbfread";
    return;
  }
  ASSERT_EQ(perlStatus, 0) << file << ": " << perl;
  ASSERT_EQ(pyStatus, 0) << file << ": " << py;
  if (xbase) compare(file + " (XBase)", all, parse(perl), types, false);
  Rows live = ours(ctx, file, true, &types, &rc);
  if (dbfread) compare(file + " (dbfread)", live, parse(py), types, true);
}

TEST(Oracles, EveryExternalTableReadsAsTheToolsReadIt) {
  ScratchDir dir;
  int tables = 0;
  for (auto& e : std::filesystem::recursive_directory_iterator(sourceDir() + "/tests/fixtures/external")) {
    std::string ext = e.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".dbf" && ext != ".cat") continue;
    // A copy, so the read-only originals are never at risk.
    std::string sub = e.path().parent_path().filename().string();
    std::filesystem::create_directories(dir.file(sub));
    for (auto& sib : std::filesystem::directory_iterator(e.path().parent_path())) {
      if (sib.path().stem() == e.path().stem()) {
        std::string to = dir.file(sub + "/" + sib.path().filename().string());
        talvex::testing::CopyFileOver(sib.path(), to);
        std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
      }
    }
    Ctx ctx;
    code4autoOpen(ctx, 0);
    checkWithBothTools(ctx, dir.file(sub + "/" + e.path().filename().string()));
    ++tables;
  }
  EXPECT_GE(tables, 30);
}

TEST(Oracles, TablesWeWriteReadTheSameInBothTools) {
  ScratchDir dir;
  Ctx ctx;
  const C4FieldInfo fields[] = {{"NAME", 'C', 30, 0}, {"AMOUNT", 'N', 12, 2}, {"RATE", 'F', 10, 4},
                                {"COUNT", 'N', 6, 0}, {"DAY", 'D', 8, 0},     {"OK", 'L', 1, 0},
                                {"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0}};
  std::string path = dir.file("ours.dbf");
  C4Table t = d4create(ctx, path.c_str(), fields, nullptr);
  ASSERT_NE(t, 0u);
  struct Row { const char* name; double amount; double rate; long count; const char* day; const char* ok; std::string note; };
  std::vector<Row> rows = {
      {"Alice", 1234.5, 0.1234, 7, "20240229", "T", "a memo"},
      {"", -0.5, -12.25, -99999, "", "F", ""},
      {"with \"quotes\" and ;", 0, 0, 0, "19000101", "", std::string(3000, 'z')},
      {"last", 99999999.99, 3.14159, 123456, "99991231", "Y", "line 1\r\nline 2"},
  };
  for (const Row& r : rows) {
    ASSERT_EQ(d4appendBlank(t), 0);
    f4assign(d4field(t, "NAME"), r.name);
    f4assignDouble(d4field(t, "AMOUNT"), r.amount);
    f4assignDouble(d4field(t, "RATE"), r.rate);
    f4assignInt(d4field(t, "COUNT"), r.count);
    f4assign(d4field(t, "DAY"), r.day);
    f4assign(d4field(t, "OK"), r.ok);
    f4memoAssign(d4field(t, "NOTE"), r.note.c_str());
  }
  ASSERT_EQ(d4goLow(t, 2, 0), 0);
  ASSERT_EQ(d4delete(t), 0);
  // A changed memo that has to move, to exercise the append point.
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  f4memoAssign(d4field(t, "NOTE"), std::string(1500, 'q').c_str());
  ASSERT_EQ(d4close(t), 0);
  code4errorCode(ctx, 0);
  checkWithBothTools(ctx, path);
  // And the values are the ones we stored (not merely the same as the tools').
  int status = 0;
  Rows perl = parse(oracle("perl", path, &status));
  ASSERT_EQ(perl.size(), 4u);
  EXPECT_EQ(perl[0][1], "Alice");
  EXPECT_EQ(perl[0][7], std::string(1500, 'q'));
  EXPECT_EQ(perl[1][0], "1");
  EXPECT_EQ(perl[2][7], std::string(3000, 'z'));
  EXPECT_EQ(perl[3][2], "99999999.99");
  EXPECT_EQ(perl[3][7], "line 1\\x0d\\x0aline 2");
}

// Memo files as other programs leave them: each read as the tools read it,
// then written to by us (the memo goes where the file really ends) and read
// alike again, with the value we wrote.
TEST(Oracles, MemoFilesAsOtherProgramsLeaveThemReadAndTakeNewMemos) {
  struct Case {
    const char* what;
    uint8_t version;
    uint32_t blockSize;
    std::vector<std::string> memos;
    size_t cutTo;        // 0: the .dbt stays whole
    uint32_t nextFree;   // 0xFFFFFFFF: as written
    bool xbase, dbfread; // which tools read the file before our write
    uint32_t newBlock;   // where our memo must go
    bool xbaseAfter, dbfreadAfter;
  };
  const std::string longText(1300, 'L');
  const Case cases[] = {
      {"header-only dBASE IV .dbt (24 bytes)", 0x8B, 512, {"", ""}, 24, 0xFFFFFFFF, true, true, 1, true, true},
      {"dBASE IV .dbt cut inside its header", 0x8B, 512, {"", ""}, 100, 0xFFFFFFFF, false, true, 1, true, true},
      {"block size 1024", 0x8B, 1024, {"short", "", longText}, 0, 0xFFFFFFFF, true, false, 4, true, false},
      {"block size 64", 0x8B, 64, {longText, "", "x"}, 0, 0xFFFFFFFF, true, false, 23, true, false},
      {"next-free past the end", 0x8B, 512, {"one", "", longText}, 0, 1000, true, true, 5, true, true},
      {"dBASE III, next-free 0", 0x83, 512, {"one", "", longText}, 0, 0, true, true, 5, true, true},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    Ctx ctx;
    std::string base = dir.file("memo");
    MemoTableShape shape;
    shape.version = c.version;
    shape.blockSize = c.blockSize;
    shape.memos = c.memos;
    std::vector<unsigned char> dbt = writeMemoTable(base, shape);
    if (c.nextFree != 0xFFFFFFFF) put32le(dbt, 0, c.nextFree);
    if (c.cutTo) dbt.resize(c.cutTo);
    writeBytes(base + ".dbt", dbt);
    SCOPED_TRACE(c.what);
    checkWithBothTools(ctx, base + ".dbf", c.xbase, c.dbfread);

    C4Table t = d4open(ctx, (base + ".dbf").c_str());
    ASSERT_NE(t, 0u) << error4text(ctx, code4errorCode(ctx, 0));
    ASSERT_EQ(d4goLow(t, 2, 0), 0);  // a record without a memo: ours goes to the end
    std::string mine = std::string("written by us into: ") + c.what;
    ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), mine.c_str()), 0);
    ASSERT_EQ(d4close(t), 0) << error4text(ctx, code4errorCode(ctx, 0));
    std::vector<unsigned char> dbf = readBytes(base + ".dbf");
    uint32_t block = 0;
    std::string ptr(dbf.begin() + 97 + 15 + 5, dbf.begin() + 97 + 30);
    block = static_cast<uint32_t>(std::stoul(ptr));
    EXPECT_EQ(block, c.newBlock);
    std::vector<unsigned char> after = readBytes(base + ".dbt");
    uint32_t bs = c.version == 0x83 ? 512 : c.blockSize;
    EXPECT_EQ(after.size() % bs, 0u) << "the memo does not end on a whole block";
    EXPECT_GE(after.size(), (c.newBlock + 1) * static_cast<size_t>(bs));
    checkWithBothTools(ctx, base + ".dbf", c.xbaseAfter, c.dbfreadAfter);
    int status = 0;
    Rows perl = parse(oracle("perl", base + ".dbf", &status));
    ASSERT_EQ(status, 0);
    EXPECT_EQ(perl.at(1).at(2), mine);
    if (!c.memos[0].empty()) {
      EXPECT_EQ(unesc(perl.at(0).at(2)), c.memos[0]);
    }
  }
}

// A .dbt whose freed blocks are on the free chain still reads in both tools
// exactly as in ours, and the blocks reused hold the right memos.
TEST(Oracles, TablesWithFreedMemoBlocksReadAlikeInBothTools) {
  ScratchDir dir;
  Ctx ctx;
  const C4FieldInfo fields[] = {{"ID", 'N', 4, 0}, {"NOTE", 'M', 10, 0}, {"MORE", 'M', 10, 0}, {nullptr, 0, 0, 0}};
  std::string path = dir.file("freed.dbf");
  C4Table t = d4create(ctx, path.c_str(), fields, nullptr);
  ASSERT_NE(t, 0u);
  const int n = 12;
  std::vector<std::array<std::string, 2>> want(n);
  for (int r = 0; r < n; ++r) {
    ASSERT_EQ(d4appendBlank(t), 0);
    f4assignInt(d4field(t, "ID"), r);
    want[r][0] = std::string(100 + r * 300, static_cast<char>('a' + r));
    want[r][1] = std::string(700, static_cast<char>('A' + r));
    f4memoAssign(d4field(t, "NOTE"), want[r][0].c_str());
    f4memoAssign(d4field(t, "MORE"), want[r][1].c_str());
  }
  for (int round = 0; round < 4; ++round) {
    for (int r = 0; r < n; ++r) {
      ASSERT_EQ(d4goLow(t, r + 1, 0), 0);
      size_t len = static_cast<size_t>((r * 131 + round * 977) % 4000);
      std::string& w = want[r][round % 2 ? 0 : 1];
      w = std::to_string(round) + std::string(len, static_cast<char>('k' + round));
      f4memoAssign(d4field(t, round % 2 ? "NOTE" : "MORE"), w.c_str());
    }
  }
  ASSERT_EQ(d4goLow(t, 3, 0), 0);
  ASSERT_EQ(d4delete(t), 0);
  ASSERT_EQ(d4close(t), 0);
  std::vector<unsigned char> dbt = readBytes(dir.file("freed.dbt"));
  EXPECT_NE(get32le(dbt, 0), dbt.size() / 512) << "no block was on the free chain";
  int status = 0;
  Rows perl = parse(oracle("perl", path, &status));
  ASSERT_EQ(status, 0);
  ASSERT_EQ(perl.size(), static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) {
    EXPECT_EQ(perl[r][2], want[r][0]) << "record " << r + 1;
    EXPECT_EQ(perl[r][3], want[r][1]) << "record " << r + 1;
  }
  checkWithBothTools(ctx, path);
}

}  // namespace
