// Other writers, both ways: tables written by GDAL (ogr2ogr) and shapelib
// (dbfcreate, dbfadd) read in our engine with the values those tools stored,
// and tables we write read in ogrinfo and dbfdump with the values we stored.
// The tools must be installed (gdal-bin, shapelib): a missing tool fails.
#include <algorithm>
#include <map>
#include <sstream>

#include "engine_test_util.h"

using namespace enginetest;

namespace {

using Record = std::map<std::string, std::string>;

std::string runOk(const std::string& cmd) {
  int status = 0;
  std::string out = run(cmd + " 2>&1", &status);
  EXPECT_EQ(status, 0) << cmd << ":\n" << out;
  return out;
}

std::string trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// ogrinfo -al -q: "OGRFeature(layer):N" then "  NAME (Type) = value" lines.
std::vector<Record> ogrRecords(const std::string& file) {
  std::vector<Record> out;
  std::istringstream in(runOk("ogrinfo -al -q '" + file + "'"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("OGRFeature(", 0) == 0) {
      out.emplace_back();
      continue;
    }
    size_t open = line.find(" ("), eq = line.find(") = ");
    if (out.empty() || line.size() < 3 || line[0] != ' ' || open == std::string::npos ||
        eq == std::string::npos)
      continue;
    out.back()[trimmed(line.substr(0, open))] = line.substr(eq + 4);
  }
  return out;
}

// dbfdump -r -m: "Record: N" then "NAME: value" lines, values as stored
// (without -r it prints dates and logicals empty); "(NULL)" is an empty text.
std::vector<Record> dbfdumpRecords(const std::string& file) {
  std::vector<Record> out;
  std::istringstream in(runOk("dbfdump -r -m '" + file + "'"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Record: ", 0) == 0) {
      out.emplace_back();
      continue;
    }
    size_t colon = line.find(": ");
    if (out.empty() || colon == std::string::npos) continue;
    std::string v = trimmed(line.substr(colon + 2));
    out.back()[line.substr(0, colon)] = v == "(NULL)" ? "" : v;
  }
  return out;
}

// Our reading of every live record: field name -> f4str without blanks; a
// number of asterisks or a date of zeros (GDAL's empty values) as "".
std::vector<Record> ourRecords(C4Context ctx, const std::string& file) {
  std::vector<Record> out;
  C4Table t = d4open(ctx, file.c_str());
  EXPECT_NE(t, 0u) << file << ": " << error4text(ctx, code4errorCode(ctx, 0));
  if (!t) return out;
  for (int r = d4top(t); r == 0; r = d4skip(t, 1)) {
    if (d4deleted(t)) continue;
    Record rec;
    for (int j = 1; j <= d4numFields(t); ++j) {
      C4Field f = d4fieldJ(t, j);
      int type = f4type(f);
      std::string v = type == 'M' ? std::string(f4memoStr(f), f4memoLen(f)) : trimmed(str(f));
      if (((type == 'N' || type == 'F') && v.find_first_not_of('*') == std::string::npos) ||
          (type == 'D' && v == "00000000"))
        v.clear();
      rec[f4name(f)] = v;
    }
    out.push_back(rec);
  }
  d4close(t);
  return out;
}

double num(const std::string& s) { return s.empty() ? 0 : std::stod(s); }

TEST(Interop, TablesShapelibWritesReadAlikeInOurs) {
  ScratchDir dir;
  std::string f = dir.file("shp.dbf");
  runOk("dbfcreate '" + f + "' -s NAME 40 -n AMOUNT 12 2 -n CNT 6 0");
  const std::vector<std::vector<std::string>> rows = {
      {"Alice Smith", "1234.5", "7"},
      {"", "-0.25", "-42"},
      {std::string(40, 'W'), "0", "0"},
      {"semi;colon and \"quotes\"", "99999999.99", "123456"}};
  for (const auto& r : rows)
    runOk("dbfadd '" + f + "' '" + r[0] + "' " + r[1] + " " + r[2]);
  Ctx ctx;
  std::vector<Record> us = ourRecords(ctx, f), them = dbfdumpRecords(f);
  ASSERT_EQ(us.size(), rows.size());
  ASSERT_EQ(them.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(us[i]["NAME"], rows[i][0]) << "record " << i + 1;
    EXPECT_DOUBLE_EQ(num(us[i]["AMOUNT"]), std::stod(rows[i][1])) << "record " << i + 1;
    EXPECT_EQ(us[i]["CNT"], rows[i][2]) << "record " << i + 1;
    EXPECT_EQ(them[i]["NAME"], rows[i][0]) << "record " << i + 1;
    EXPECT_DOUBLE_EQ(num(them[i]["AMOUNT"]), num(us[i]["AMOUNT"])) << "record " << i + 1;
  }
  // And we can go on writing to it.
  C4Table t = d4open(ctx, f.c_str());
  ASSERT_NE(t, 0u);
  ASSERT_EQ(d4appendBlank(t), 0);
  f4assign(d4field(t, "NAME"), "added by us");
  f4assignDouble(d4field(t, "AMOUNT"), -12.75);
  f4assignInt(d4field(t, "CNT"), 5);
  ASSERT_EQ(d4close(t), 0);
  them = dbfdumpRecords(f);
  ASSERT_EQ(them.size(), rows.size() + 1);
  EXPECT_EQ(them.back()["NAME"], "added by us");
  EXPECT_DOUBLE_EQ(num(them.back()["AMOUNT"]), -12.75);
  EXPECT_EQ(them.back()["CNT"], "5");
}

TEST(Interop, TablesGdalWritesReadAlikeInOurs) {
  ScratchDir dir;
  writeBytes(dir.file("in.csv"),
             [] {
               std::string s =
                   "NAME,AMT,CNT,DAY,BIG,FLAG\n"
                   "\"Jones, Mary\",1.25,3,2024/02/29,123456789012,1\n"
                   "plain,-0.5,,,,0\n"
                   "\"" + std::string(200, 'T') + "\",1000000.125,-7,1999/12/31,-5,1\n";
               return std::vector<unsigned char>(s.begin(), s.end());
             }());
  std::string csvt = "\"String(254)\",\"Real(14.3)\",\"Integer\",\"Date\",\"Integer64\",\"Integer(Boolean)\"\n";
  writeBytes(dir.file("in.csvt"), std::vector<unsigned char>(csvt.begin(), csvt.end()));
  std::string f = dir.file("gdal.dbf");
  runOk("ogr2ogr -f 'ESRI Shapefile' '" + f + "' '" + dir.file("in.csv") + "'");
  Ctx ctx;
  std::vector<Record> us = ourRecords(ctx, f), them = ogrRecords(f);
  ASSERT_EQ(us.size(), 3u);
  ASSERT_EQ(them.size(), 3u);
  const char* names[] = {"Jones, Mary", "plain", nullptr};
  for (size_t i = 0; i < 3; ++i) {
    std::string where = "record " + std::to_string(i + 1);
    EXPECT_EQ(us[i]["NAME"], names[i] ? names[i] : std::string(200, 'T')) << where;
    EXPECT_EQ(us[i]["NAME"], them[i]["NAME"]) << where;
    EXPECT_DOUBLE_EQ(num(us[i]["AMT"]), num(them[i]["AMT"])) << where;
    for (const char* n : {"CNT", "BIG", "FLAG"})
      EXPECT_EQ(us[i][n], them[i][n] == "(null)" ? "" : them[i][n]) << where << " " << n;
    std::string day = them[i]["DAY"];
    if (day == "(null)") day.clear();
    day.erase(std::remove(day.begin(), day.end(), '/'), day.end());
    EXPECT_EQ(us[i]["DAY"], day) << where;
  }
  EXPECT_EQ(us[0]["DAY"], "20240229");
  EXPECT_DOUBLE_EQ(num(us[2]["AMT"]), 1000000.125);
  EXPECT_EQ(us[0]["BIG"], "123456789012");
}

// Every field type the tools know (C, N, F, D, L; M is ours alone), long
// texts, and a deleted record, which GDAL leaves out and dbfdump lists.
TEST(Interop, TablesWeWriteReadAlikeInGdalAndShapelib) {
  ScratchDir dir;
  Ctx ctx;
  const C4FieldInfo fields[] = {{"NAME", 'C', 254, 0}, {"AMOUNT", 'N', 12, 2}, {"RATE", 'F', 10, 4},
                                {"COUNT", 'N', 9, 0},  {"DAY", 'D', 8, 0},     {"OK", 'L', 1, 0},
                                {"NOTE", 'M', 10, 0},  {nullptr, 0, 0, 0}};
  std::string f = dir.file("ours.dbf");
  C4Table t = d4create(ctx, f.c_str(), fields, nullptr);
  ASSERT_NE(t, 0u);
  struct Row { std::string name; double amount, rate; long count; const char* day; const char* ok; bool del; };
  const std::vector<Row> rows = {
      {"Alice", 1234.5, 0.1234, 7, "20240229", "T", false},
      {"deleted one", -1, -1, -1, "20000101", "F", true},
      {std::string(254, 'x'), -0.5, -12.25, -99999999, "19000101", "F", false},
      {"last, with comma", 99999999.99, 3.1416, 123456789, "99991231", "T", false},
  };
  for (const Row& r : rows) {
    ASSERT_EQ(d4appendBlank(t), 0);
    f4assign(d4field(t, "NAME"), r.name.c_str());
    f4assignDouble(d4field(t, "AMOUNT"), r.amount);
    f4assignDouble(d4field(t, "RATE"), r.rate);
    f4assignInt(d4field(t, "COUNT"), r.count);
    f4assign(d4field(t, "DAY"), r.day);
    f4assign(d4field(t, "OK"), r.ok);
    f4memoAssign(d4field(t, "NOTE"), "a memo the tools do not read");
    if (r.del) {
      ASSERT_EQ(d4delete(t), 0);
    }
  }
  ASSERT_EQ(d4close(t), 0);
  std::vector<Row> live;
  for (const Row& r : rows)
    if (!r.del) live.push_back(r);

  std::vector<Record> gdal = ogrRecords(f);
  ASSERT_EQ(gdal.size(), live.size()) << "GDAL does not leave out the deleted record";
  for (size_t i = 0; i < live.size(); ++i) {
    std::string where = "GDAL record " + std::to_string(i + 1);
    EXPECT_EQ(gdal[i]["NAME"], live[i].name) << where;
    EXPECT_DOUBLE_EQ(num(gdal[i]["AMOUNT"]), live[i].amount) << where;
    EXPECT_DOUBLE_EQ(num(gdal[i]["RATE"]), live[i].rate) << where;
    EXPECT_EQ(gdal[i]["COUNT"], std::to_string(live[i].count)) << where;
    std::string day = gdal[i]["DAY"];
    day.erase(std::remove(day.begin(), day.end(), '/'), day.end());
    EXPECT_EQ(day, live[i].day) << where;
    EXPECT_EQ(gdal[i]["OK"], live[i].ok) << where;
  }

  std::vector<Record> shp = dbfdumpRecords(f);
  ASSERT_EQ(shp.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    std::string where = "shapelib record " + std::to_string(i + 1);
    EXPECT_EQ(shp[i]["NAME"], rows[i].name) << where;
    EXPECT_DOUBLE_EQ(num(shp[i]["AMOUNT"]), rows[i].amount) << where;
    EXPECT_DOUBLE_EQ(num(shp[i]["RATE"]), rows[i].rate) << where;
    EXPECT_EQ(shp[i]["COUNT"], std::to_string(rows[i].count)) << where;
    EXPECT_EQ(shp[i]["DAY"], rows[i].day) << where;
    EXPECT_EQ(shp[i]["OK"], rows[i].ok) << where;
  }
}

}  // namespace
