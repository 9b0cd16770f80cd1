// A table change killed at every one of its writes (and, for pack, at every
// create, rename, delete and copy): the next open must pass d4check and hold
// exactly the records of some whole number of the changes made (the records
// before, or after, each single change), every field and memo as written.
// The killed process is this program run again with C4_CHILD naming the
// change and TALVEX_FAULT_INJECT="crash:<op>:<n>" ending it before its nth
// operation of that kind. TALVEX_CRASH_STRIDE=k tries every kth point only
// (for slow builds such as AddressSanitizer).
// The lock bytes lie past 2 GiB: 64-bit file offsets on 32-bit builds too.
#define _FILE_OFFSET_BITS 64
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include <fcntl.h>

#include <thread>

#include "platform/testing/fault_seam.h"
#include "engine_test_util.h"

using namespace enginetest;

namespace {

const C4FieldInfo kFields[] = {{"CLAIM", 'N', 10, 0}, {"NAME", 'C', 12, 0}, {"AMOUNT", 'N', 9, 2},
                               {"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0}};
const C4TagInfo kTags[] = {{"BY_CLAIM", "CLAIM", nullptr, 0, 0},
                           {"LIVE_NAME", "UPPER(NAME)", ".NOT. DELETED()", 0, 0},
                           {"BY_AMOUNT", "AMOUNT", nullptr, 0, 1},
                           {nullptr, nullptr, nullptr, 0, 0}};
constexpr int kStartRecords = 150;
constexpr int kAppends = 24;
constexpr int kChanges = 6;

struct Row {
  bool deleted = false;
  long claim = 0;
  std::string name, amount, note;
  bool operator==(const Row& o) const {
    return deleted == o.deleted && claim == o.claim && name == o.name && amount == o.amount &&
           note == o.note;
  }
};
using Rows = std::vector<Row>;

std::string fixed(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.2f", v);
  return b;
}

// Record i of the start table or of the appends: keys scattered, so that
// appends split inner pages of every tag, and memos of several lengths.
Row made(int i) {
  Row r;
  r.claim = 100000 + i;
  r.name = "N" + std::to_string((i * 7919) % 1009);
  r.amount = fixed((i * 37) % 500 + 0.25);
  // A memo on every third record: a pack writes one memo per write.
  if (i % 3 == 0)
    for (int k = 0; k <= i % 4; ++k) r.note += "note of record " + std::to_string(i) + ";";
  r.deleted = i <= kStartRecords && i % 7 == 0;
  return r;
}
// The jth key-changing write: the record and its new values.
int changedRecord(int j) { return 3 + j * 23; }
Row changed(int j, Row r) {
  r.claim = 900000 + j;
  r.name = "CHANGED" + std::to_string(j);
  r.amount = fixed(j * 11.5);
  r.note = std::string(300 + j * 200, static_cast<char>('a' + j));  // grows: the memo moves
  return r;
}
int deletedRecord(int j) { return 5 + j * 23; }

void assign(C4Table t, const Row& r) {
  f4assignInt(d4field(t, "CLAIM"), r.claim);
  f4assign(d4field(t, "NAME"), r.name.c_str());
  f4assign(d4field(t, "AMOUNT"), r.amount.c_str());
  f4memoAssign(d4field(t, "NOTE"), r.note.c_str());
}

Rows readAll(C4Table t) {
  Rows rows;
  int32_t n = d4recCount(t);
  for (int32_t i = 1; i <= n; ++i) {
    EXPECT_EQ(d4goLow(t, i, 0), 0);
    Row r;
    r.deleted = d4deleted(t) != 0;
    r.claim = f4int(d4field(t, "CLAIM"));
    r.name = str(d4field(t, "NAME"));
    std::string a = str(d4field(t, "AMOUNT"));
    r.amount = a.substr(a.find_first_not_of(' ') == std::string::npos ? 0 : a.find_first_not_of(' '));
    r.note = f4memoStr(d4field(t, "NOTE"));
    rows.push_back(r);
  }
  return rows;
}

// The changes, as the child makes them and as the states they may leave.
int childMain(const std::string& command) {
  std::istringstream in(command);
  std::string what, path;
  int mode = 0;
  in >> what >> path >> mode;
  C4Context c = code4initP();
  code4accessMode(c, mode);
  code4optimizeWrite(c, mode >= 1 ? 1 : 0);
  C4Table t = d4open(c, path.c_str());
  if (!t) return 2;
  int rc = 0;
  if (what == "append") {
    for (int i = 1; i <= kAppends && rc == 0; ++i) {
      rc = d4appendStart(t, 0);
      assign(t, made(kStartRecords + i));
      if (rc == 0) rc = d4append(t);
    }
  } else if (what == "write") {
    for (int j = 0; j < kChanges && rc == 0; ++j) {
      rc = d4goLow(t, changedRecord(j), 0);
      Row now;
      now.note = f4memoStr(d4field(t, "NOTE"));
      assign(t, changed(j, now));
      if (rc == 0) rc = j % 2 ? d4writeLow(t, changedRecord(j), 0, 1) : d4flush(t);
    }
  } else if (what == "delete") {
    for (int j = 0; j < kChanges && rc == 0; ++j) {
      rc = d4goLow(t, deletedRecord(j), 0);
      if (rc == 0) rc = d4delete(t);
      if (rc == 0) rc = d4flush(t);
    }
  } else if (what == "pack") {
    rc = d4pack(t);
  } else if (what == "reindex") {
    rc = d4reindex(t);
  } else if (what == "hold") {
    // One append, then alive (the table open, counted as a writer) until
    // stdin closes; then gone without closing, as a killed process.
    std::string ready;
    in >> ready;
    rc = d4appendStart(t, 0);
    assign(t, made(kStartRecords + 1));
    if (rc == 0) rc = d4append(t);
    if (FILE* f = std::fopen(ready.c_str(), "w")) std::fclose(f);
    while (std::getchar() != EOF) {
    }
    _exit(rc == 0 ? 0 : 3);
  }
  if (rc == 0) rc = d4close(t);
  code4initUndo(c);
  // What the run did, for the parent to count its crash points.
  std::printf("%d", rc);
  for (int op : {TALVEX_FAULT_WRITE, TALVEX_FAULT_CREATE, TALVEX_FAULT_MOVE, TALVEX_FAULT_DELETE,
                 TALVEX_FAULT_COPY})
    std::printf(" %d", static_cast<int>(c4faultCount(op)));
  std::printf("\n");
  return rc == 0 ? 0 : 3;
}

const int kChildHook = [] {
  if (const char* cmd = std::getenv("C4_CHILD")) {
    int rc = childMain(cmd);
    std::fflush(stdout);
    _exit(rc);
  }
  return 0;
}();

std::string self() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

int stride() {
  const char* s = std::getenv("TALVEX_CRASH_STRIDE");
  int k = s ? std::atoi(s) : 1;
  return k > 0 ? k : 1;
}

bool haveDbfread() {
  int status = 0;
  run("/usr/bin/python3 -c 'import dbfread' 2>/dev/null", &status);
  return status == 0;
}

class CrashTest : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string base;
  std::vector<unsigned char> dbf, dbt, mdx;
  Rows before;

  void SetUp() override {
    base = dir.file("claims");
    Ctx ctx;
    C4Table t = d4create(ctx, (base + ".dbf").c_str(), kFields, kTags);
    ASSERT_NE(t, 0u);
    for (int i = 1; i <= kStartRecords; ++i) {
      Row r = made(i);
      ASSERT_EQ(d4appendStart(t, 0), 0);
      assign(t, r);
      ASSERT_EQ(d4append(t), 0);
      if (r.deleted) {
        ASSERT_EQ(d4delete(t), 0);
        ASSERT_EQ(d4flush(t), 0);
      }
    }
    before = readAll(t);
    ASSERT_EQ(d4close(t), 0);
    dbf = readBytes(base + ".dbf");
    dbt = readBytes(base + ".dbt");
    mdx = readBytes(base + ".mdx");
  }

  void restore() {
    for (const char* ext : {".pkt", ".pkd", ".pbt"}) std::remove((base + ext).c_str());
    writeBytes(base + ".dbf", dbf);
    writeBytes(base + ".dbt", dbt);
    writeBytes(base + ".mdx", mdx);
  }

  // Runs the change in a child; *counts gets its writes, creates, moves,
  // deletes and copies when it ran to the end.
  int runChild(const std::string& command, const std::string& inject, std::vector<int>* counts) {
    int status = 0;
    std::string out = run("TALVEX_FAULT_INJECT='nosync" + (inject.empty() ? "" : "," + inject) +
                              "' C4_CHILD='" + command + "' " + self() + " 2>&1",
                          &status);
    std::istringstream in(out);
    int rc = -1;
    counts->clear();
    if (in >> rc) {
      for (int v; in >> v;) counts->push_back(v);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The table as the next user finds it: d4check clean and one of the states.
  void expectOneOf(const std::vector<Rows>& states, const std::string& what, bool oracle) {
    Ctx ctx;
    C4Table t = d4open(ctx, (base + ".dbf").c_str());
    ASSERT_NE(t, 0u) << what << ": " << error4text(ctx, code4errorCode(ctx, 0));
    EXPECT_EQ(d4check(t), 0) << what << ": " << error4text(ctx, code4errorCode(ctx, 0));
    Rows now = readAll(t);
    bool found = false;
    for (const Rows& s : states) found = found || s == now;
    EXPECT_TRUE(found) << what << ": " << now.size() << " records, none of the expected states";
    EXPECT_EQ(d4close(t), 0) << what;
    std::vector<unsigned char> head = readBytes(base + ".dbf");
    ASSERT_GT(head.size(), 14u);
    EXPECT_EQ(head[14], 0) << what << ": the mark of the killed writer is still set";
    if (oracle) {
      // The independent reader sees the same live records.
      std::string py = run("/usr/bin/python3 " + sourceDir() + "/tests/engine/oracle/dbf_dump.py '" +
                           base + ".dbf' 2>&1");
      std::vector<long> claims;
      std::istringstream lines(py);
      for (std::string line; std::getline(lines, line);) {
        std::istringstream cols(line);
        std::string flag, claim;
        cols >> flag >> claim;
        claims.push_back(std::atol(claim.c_str()));
      }
      std::vector<long> want;
      for (const Row& r : now)
        if (!r.deleted) want.push_back(r.claim);
      EXPECT_EQ(claims, want) << what << ": dbfread reads otherwise:\n" << py;
    }
  }

  // Every crash point of the change, for each kind of operation in ops.
  void crashLoop(const std::string& command, const std::vector<Rows>& states,
                 const std::vector<std::pair<std::string, int>>& ops) {
    restore();
    std::vector<int> counts;
    ASSERT_EQ(runChild(command, "", &counts), 0) << command << " does not run to its end";
    ASSERT_EQ(counts.size(), 5u);
    expectOneOf({states.back()}, command + " uncut", false);
    bool oracle = haveDbfread();
    int tried = 0;
    for (const auto& [op, index] : ops) {
      int total = counts[static_cast<size_t>(index)];
      if (op == "write") {
        ASSERT_GT(total, 0) << command << " does not write";
      }
      for (int n = 1; n <= total; n += stride()) {
        restore();
        std::string inject = "crash:" + op + ":" + std::to_string(n);
        std::vector<int> ignored;
        ASSERT_EQ(runChild(command, inject, &ignored), 86) << command << " " << inject << " did not crash";
        expectOneOf(states, command + " " + inject, oracle && n % 16 == 1);
        if (HasFailure()) return;
        ++tried;
      }
    }
    std::printf("%s: %d crash points\n", command.substr(0, command.find(' ')).c_str(), tried);
  }

  std::vector<Rows> appendStates() const {
    std::vector<Rows> s{before};
    for (int i = 1; i <= kAppends; ++i) {
      s.push_back(s.back());
      s.back().push_back(made(kStartRecords + i));
    }
    return s;
  }
  std::vector<Rows> writeStates() const {
    std::vector<Rows> s{before};
    for (int j = 0; j < kChanges; ++j) {
      s.push_back(s.back());
      Row& r = s.back()[static_cast<size_t>(changedRecord(j) - 1)];
      r = changed(j, r);
    }
    return s;
  }
  std::vector<Rows> deleteStates() const {
    std::vector<Rows> s{before};
    for (int j = 0; j < kChanges; ++j) {
      s.push_back(s.back());
      s.back()[static_cast<size_t>(deletedRecord(j) - 1)].deleted = true;
    }
    return s;
  }
  std::vector<Rows> packStates() const {
    Rows packed;
    for (const Row& r : before)
      if (!r.deleted) packed.push_back(r);
    return {before, packed};
  }
};

const std::vector<std::pair<std::string, int>> kWrites{{"write", 0}};

TEST_F(CrashTest, AppendKilledAtEveryWrite) {
  std::string path = base + ".dbf";
  crashLoop("append " + path + " 0", appendStates(), kWrites);
  // Deny-write with write-behind: keys go in before the buffered records.
  crashLoop("append " + path + " 1", appendStates(), kWrites);
}

TEST_F(CrashTest, KeyChangingWriteKilledAtEveryWrite) {
  std::string path = base + ".dbf";
  crashLoop("write " + path + " 0", writeStates(), kWrites);
  crashLoop("write " + path + " 1", writeStates(), kWrites);
}

TEST_F(CrashTest, DeleteKilledAtEveryWrite) {
  crashLoop("delete " + base + ".dbf 0", deleteStates(), kWrites);
}

TEST_F(CrashTest, PackKilledAtEveryWriteCreateRenameDeleteAndCopy) {
  crashLoop("pack " + base + ".dbf 0", packStates(),
            {{"write", 0}, {"create", 1}, {"move", 2}, {"delete", 3}, {"copy", 4}});
}

TEST_F(CrashTest, ReindexKilledAtEveryWrite) {
  crashLoop("reindex " + base + ".dbf 0", {before}, kWrites);
}

// The mark of a live writer is its own: an opener while it lives repairs
// nothing; once it is gone without closing, the next opener repairs. A
// writer that closes counts itself out.
TEST_F(CrashTest, OnlyTheMarkOfAWriterThatIsGoneIsRepaired) {
  std::string path = base + ".dbf", ready = dir.file("ready");
  auto mark = [&] { return static_cast<int>(readBytes(path)[14]); };
  FILE* child = popen(("C4_CHILD='hold " + path + " 0 " + ready + "' " + self()).c_str(), "w");
  ASSERT_NE(child, nullptr);
  for (int i = 0; i < 1000 && !std::filesystem::exists(ready); ++i) usleep(10000);
  ASSERT_TRUE(std::filesystem::exists(ready));
  EXPECT_EQ(mark(), 1);
  {
    Ctx ctx;
    C4Table t = d4open(ctx, path.c_str());
    ASSERT_NE(t, 0u);
    EXPECT_EQ(mark(), 1) << "a live writer's mark was taken for a killed one's";
    EXPECT_EQ(d4recCount(t), kStartRecords + 1);
    EXPECT_EQ(d4check(t), 0) << error4text(ctx, code4errorCode(ctx, 0));
    ASSERT_EQ(d4goLow(t, 1, 0), 0);
    ASSERT_EQ(f4assign(d4field(t, "NAME"), "PARENT"), 0);
    ASSERT_EQ(d4flush(t), 0);
    EXPECT_EQ(mark(), 2);
    pclose(child);  // the child ends without closing the table
    ASSERT_EQ(d4close(t), 0);
    EXPECT_EQ(mark(), 1) << "the parent counts itself out, the dead child stays";
  }
  {
    Ctx ctx;
    C4Table t = d4open(ctx, path.c_str());
    ASSERT_NE(t, 0u);
    EXPECT_EQ(mark(), 0) << "nobody else writes: the lone opener repairs";
    EXPECT_EQ(d4check(t), 0) << error4text(ctx, code4errorCode(ctx, 0));
    Rows want = before;
    want.push_back(made(kStartRecords + 1));
    want[0].name = "PARENT";
    EXPECT_TRUE(readAll(t) == want);
    EXPECT_EQ(d4close(t), 0);
  }
}

// A power cut may keep a dead writer's header (its mark and a count that
// runs ahead) while losing sectors of its records: the lone opener cuts
// records that are not on disk at all and marks deleted those that are only
// in part (a sector of nothing but zeros), and keeps every other record.
TEST_F(CrashTest, APowerCutThatKeptTheCountButLostSectorsOfTheRecords) {
  std::vector<unsigned char> bytes = dbf;
  const size_t hl = bytes[8] | (bytes[9] << 8), rl = bytes[10] | (bytes[11] << 8);
  bytes[14] = 1;  // a writer had begun and never closed
  const uint32_t counted = kStartRecords + 3;  // three appends counted, none written
  for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<unsigned char>(counted >> (8 * i));
  bytes.resize(hl + kStartRecords * rl);  // without the end marker: the cut lost it too
  const size_t sector = (hl + 60 * rl + 511) / 512 * 512;
  std::fill(bytes.begin() + sector, bytes.begin() + sector + 512, 0);
  writeBytes(base + ".dbf", bytes);

  Ctx ctx;
  C4Table t = d4open(ctx, (base + ".dbf").c_str());
  ASSERT_NE(t, 0u) << error4text(ctx, code4errorCode(ctx, 0));
  EXPECT_EQ(d4recCount(t), kStartRecords);
  EXPECT_EQ(d4check(t), 0) << error4text(ctx, code4errorCode(ctx, 0));
  Rows got = readAll(t);
  ASSERT_EQ(got.size(), before.size());
  const size_t firstTorn = (sector - hl) / rl, lastTorn = (sector + 511 - hl) / rl;
  for (size_t r = 0; r < got.size(); ++r) {
    if (r >= firstTorn && r <= lastTorn)
      EXPECT_TRUE(got[r].deleted) << "record " << r + 1 << " lay on the lost sector";
    else
      EXPECT_TRUE(got[r] == before[r]) << "record " << r + 1 << " was sound and changed";
  }
  EXPECT_EQ(d4close(t), 0);
  EXPECT_EQ(readBytes(base + ".dbf")[14], 0) << "the repair left the writer mark";
}

// While another user repairs, it holds the writer byte exclusively, as a
// deny-write user would. An opener then must wait for the repair and get a
// handle that writes, not take the repairer for a deny-write user and open
// read-only (two workstations drawing numbers saw their draws fail).
TEST_F(CrashTest, AnOpenerDuringAnotherUsersRepairWaitsAndMayWrite) {
  constexpr off_t kWriterByte = 0xEFFFFFFEll + 3, kGateByte = 0xEFFFFFFEll + 4;
  // Locks of its own open file description, as the engine takes them.
  int repairer = ::open((base + ".dbf").c_str(), O_RDWR);
  ASSERT_GE(repairer, 0);
  auto lock = [&](off_t at, short type) {
    struct flock f {};
    f.l_type = type;
    f.l_whence = SEEK_SET;
    f.l_start = at;
    f.l_len = 1;
    return fcntl(repairer, F_OFD_SETLK, &f) == 0;
  };
  ASSERT_TRUE(lock(kGateByte, F_WRLCK));
  ASSERT_TRUE(lock(kWriterByte, F_WRLCK));
  std::thread done([&] {
    usleep(300000);
    lock(kWriterByte, F_UNLCK);
    lock(kGateByte, F_UNLCK);
  });
  Ctx ctx;
  C4Table t = d4open(ctx, (base + ".dbf").c_str());
  done.join();
  ASSERT_NE(t, 0u) << error4text(ctx, code4errorCode(ctx, 0));
  EXPECT_EQ(d4appendBlank(t), 0) << "the opener was left read-only";
  EXPECT_EQ(d4close(t), 0);

  // A deny-write user that is no repairer still leaves a mode-0 opener read-only.
  ASSERT_TRUE(lock(kWriterByte, F_WRLCK));
  Ctx other;
  t = d4open(other, (base + ".dbf").c_str());
  ASSERT_NE(t, 0u);
  EXPECT_EQ(d4appendBlank(t), e4exclusive);
  d4close(t);
  ::close(repairer);
}

}  // namespace
