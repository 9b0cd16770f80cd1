// Install at a release, update, and compare with the newest layouts: every
// table of the data folder and of the claim archives must have exactly the
// newest fields and tags, and every live record must keep the values of the
// fields its old and new layouts share.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "c4dll.h"
#include "installation_fixture.h"
#include "releases/layouts.h"

namespace talvex::tabmend::testing {
namespace {

namespace stdfs = std::filesystem;

struct FieldInfo {
  std::string name;
  char type;
  int len, dec;
};

struct TableContents {
  std::vector<FieldInfo> fields;
  std::vector<std::map<std::string, std::string>> live;  // physical order
  std::map<std::string, std::string> tags;                // name -> expression
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TableContents ReadTable(C4Context c, const std::string& path, const std::string& base) {
  TableContents out;
  C4Table t = d4open(c, (path + ".dbf").c_str());
  if (t == 0) {
    ADD_FAILURE() << "cannot open " << path;
    return out;
  }
  for (int j = 1; j <= d4numFields(t); ++j) {
    C4Field f = d4fieldJ(t, j);
    out.fields.push_back({f4name(f), static_cast<char>(f4type(f)), f4len(f), f4decimals(f)});
  }
  if (auto newest = releases::NewestLayout(base)) {
    if (C4Index index = i4open(t, (path + ".mdx").c_str())) {
      for (const auto& tag : newest->tags) {
        if (C4Tag found = i4tag(index, tag.name.c_str())) out.tags[tag.name] = t4expr(found);
      }
      i4close(index);
    }
  }
  code4errorCode(c, 0);
  for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
    if (d4deleted(t)) continue;
    std::map<std::string, std::string> row;
    for (int j = 1; j <= d4numFields(t); ++j) {
      C4Field f = d4fieldJ(t, j);
      const char* text = f4type(f) == 'M' ? f4memoStr(f) : f4str(f);
      row[f4name(f)] = f4type(f) == 'M' ? std::string(text, f4memoLen(f)) : std::string(text);
    }
    out.live.push_back(std::move(row));
  }
  d4close(t);
  code4errorCode(c, 0);
  return out;
}

// Every table file where the updater works, by relative base path ("archub92/2003/bcclaim").
std::map<std::string, TableContents> ReadAll(const std::string& nativeData) {
  std::map<std::string, TableContents> out;
  C4Context c = code4initP();
  code4autoOpen(c, 0);
  for (const auto& entry : stdfs::recursive_directory_iterator(nativeData)) {
    if (entry.path().extension() != ".dbf" || !InUpdateLocation(nativeData, entry.path().string())) {
      continue;
    }
    stdfs::path rel = stdfs::relative(entry.path(), nativeData);
    rel.replace_extension();
    const std::string base = entry.path().stem().string();
    out[rel.generic_string()] = ReadTable(c, (stdfs::path(nativeData) / rel).string(), base);
  }
  code4initUndo(c);
  return out;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// What a field of the old layout must read as in the new one.
bool SameValue(const FieldInfo& from, const FieldInfo& to, const std::string& a,
               const std::string& b) {
  if (from.type == to.type && from.len == to.len && from.dec == to.dec) return a == b;
  if ((from.type == 'N' || from.type == 'F') && (to.type == 'N' || to.type == 'F')) {
    const std::string ta = Trim(a), tb = Trim(b);
    if (ta.empty() || tb.empty()) return ta.empty() == tb.empty();
    return std::fabs(std::stod(ta) - std::stod(tb)) < std::pow(10.0, -to.dec) / 2 + 1e-9;
  }
  if (from.type == 'C' && to.type == 'C') return Trim(a) == Trim(b.substr(0, from.len));
  return true;  // a change of type: the engine's conversion decides
}

void ExpectNewestAndPreserved(const std::map<std::string, TableContents>& before,
                              const std::map<std::string, TableContents>& after) {
  for (const auto& [rel, now] : after) {
    SCOPED_TRACE(rel);
    const std::string base = stdfs::path(rel).filename().string();
    auto newest = releases::NewestLayout(base);
    ASSERT_TRUE(newest.has_value());
    ASSERT_EQ(now.fields.size(), newest->fields.size());
    for (size_t i = 0; i < now.fields.size(); ++i) {
      const auto& want = newest->fields[i];
      EXPECT_EQ(now.fields[i].name, want.name);
      EXPECT_EQ(now.fields[i].type, want.type) << want.name;
      EXPECT_EQ(now.fields[i].len, want.len) << want.name;
      EXPECT_EQ(now.fields[i].dec, want.dec) << want.name;
    }
    for (const auto& tag : newest->tags) {
      auto found = now.tags.find(tag.name);
      ASSERT_NE(found, now.tags.end()) << "tag " << tag.name;
      EXPECT_EQ(Upper(found->second), Upper(tag.expression)) << tag.name;
    }
    auto was = before.find(rel);
    ASSERT_NE(was, before.end()) << "table appeared";
    ASSERT_EQ(now.live.size(), was->second.live.size()) << "live records";
    for (const FieldInfo& old : was->second.fields) {
      auto to = std::find_if(now.fields.begin(), now.fields.end(),
                             [&](const FieldInfo& f) { return f.name == old.name; });
      if (to == now.fields.end()) continue;
      for (size_t r = 0; r < now.live.size(); ++r) {
        const std::string& a = was->second.live[r].at(old.name);
        const std::string& b = now.live[r].at(old.name);
        if (!SameValue(old, *to, a, b)) {
          ADD_FAILURE() << old.name << " of live record " << r + 1 << ": '" << a << "' became '"
                        << b << "'";
          break;
        }
      }
    }
  }
  EXPECT_EQ(before.size(), after.size());
}

class EndToEnd : public InstallationTest,
                 public ::testing::WithParamInterface<host::ReleaseNumber> {};

// One release for each first update the gate yields beyond the last
// converting update, and one with nothing to run.
INSTANTIATE_TEST_SUITE_P(
    ReleasesWithoutConversions, EndToEnd,
    ::testing::Values(host::ReleaseNumber{2, 16, 0, 100}, host::ReleaseNumber{2, 17, 0, 200},
                      host::ReleaseNumber{2, 21, 0, 200}, host::ReleaseNumber{2, 23, 0, 100},
                      host::ReleaseNumber{2, 24, 0, 100}, host::ReleaseNumber{2, 29, 0, 200},
                      host::ReleaseNumber{2, 31, 0, 100}, host::ReleaseNumber{2, 35, 0, 200},
                      host::ReleaseNumber{2, 44, 0, 100}, host::ReleaseNumber{2, 45, 0, 300},
                      host::ReleaseNumber{2, 57, 0, 300}, host::ReleaseNumber{2, 9, 0, 0},
                      host::ReleaseNumber{4, 6, 0, 100}, host::ReleaseNumber{3, 7, 0, 0}),
    [](const auto& info) {
      const auto& r = info.param;
      return "R" + std::to_string(r.major) + "_" + std::to_string(r.minor) + "_" +
             std::to_string(r.release) + "_" + std::to_string(r.build);
    });

TEST_P(EndToEnd, UpdateReachesTheNewestLayoutAndKeepsEveryLiveRecord) {
  const host::ReleaseNumber r = GetParam();
  Install(r, 24, 11);
  const auto before = ReadAll(nativeData);
  CallResult call = Update(std::nullopt);  // the program file names the release
  ASSERT_EQ(call.result, 0) << call.error();
  ExpectNewestAndPreserved(before, ReadAll(nativeData));
  // Nothing is left in the work folder for any table.
  for (const auto& entry : stdfs::recursive_directory_iterator(nativeInstall + "/update")) {
    if (entry.path().string().find("/backup") != std::string::npos) continue;
    if (entry.path().filename() == "tabmend.log") continue;  // the run log
    EXPECT_FALSE(entry.is_regular_file()) << entry.path();
  }
}

TEST_F(InstallationTest, TwentyThousandClaimsArriveWhole) {
  Install({2, 16, 0, 100}, 20000, 3);
  const auto before = ReadAll(nativeData);
  CallResult call = Update(std::string("2.16.0.100"));
  ASSERT_EQ(call.result, 0) << call.error();
  ExpectNewestAndPreserved(before, ReadAll(nativeData));
}

}  // namespace
}  // namespace talvex::tabmend::testing
