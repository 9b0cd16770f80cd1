// Small real tables for one conversion: an old folder and a new folder in a
// temporary directory, each table in the layout of a release step, filled
// row by row through the engine, and read back for the checks.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "c4dll.h"
#include "platform/testing/fault_seam.h"
#include "driver/run_state.h"
#include "releases/clone_writer.h"
#include "releases/layouts.h"
#include "../common/temp_dir.h"

namespace talvex::tabmend::conversions::testing {

using Row = std::map<std::string, std::string>;

class ConversionTables : public ::testing::Test {
 protected:
  void SetUp() override {
    BeginCall();
    ASSERT_TRUE(OpenRunContext());
    c = RunContext();
    oldFolder = dir.native("old") + "/";
    newFolder = dir.native("new") + "/";
    std::filesystem::create_directories(oldFolder);
    std::filesystem::create_directories(newFolder);
  }
  void TearDown() override {
    c4faultClear();
    CloseRunContext();
  }

  // An empty table in the layout after `step`; false fields dropped from it.
  void Make(const std::string& folder, const std::string& base, int step,
            const std::vector<std::string>& without = {}) {
    auto layout = releases::LayoutAfter(base, step);
    ASSERT_TRUE(layout.has_value()) << base << " at " << step;
    for (const std::string& name : without) {
      std::erase_if(layout->fields, [&](const auto& f) { return f.name == name; });
    }
    std::string error;
    ASSERT_TRUE(releases::CreateTable(c, folder, *layout, &error)) << error;
  }

  // Appends one record (memo fields by their text).
  void Add(const std::string& folder, const std::string& base, const Row& values,
           bool deleted = false) {
    C4Table t = OpenTable(folder, base);
    ASSERT_NE(t, 0u);
    ASSERT_EQ(d4appendBlank(t), 0);
    for (const auto& [name, value] : values) {
      C4Field f = d4field(t, name.c_str());
      ASSERT_NE(f, 0u) << base << " has no " << name;
      if (f4type(f) == 'M') {
        f4memoAssign(f, value.c_str());
      } else {
        ASSERT_EQ(f4assign(f, value.c_str()), 0) << name;
      }
    }
    if (deleted) d4delete(t);
    ASSERT_EQ(d4writeLow(t, d4recNoLow(t), 0, 1), 0);
    CloseTable(t);
  }

  // Live records in record order, every value trimmed of blanks.
  std::vector<Row> Rows(const std::string& folder, const std::string& base) {
    std::vector<Row> out;
    C4Table t = OpenTable(folder, base);
    EXPECT_NE(t, 0u) << base;
    if (t == 0) return out;
    for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
      if (d4deleted(t)) continue;
      Row row;
      for (int j = 1; j <= d4numFields(t); ++j) {
        C4Field f = d4fieldJ(t, j);
        std::string v = f4type(f) == 'M' ? std::string(f4memoStr(f), f4memoLen(f)) : f4str(f);
        if (f4type(f) != 'M') {
          const size_t a = v.find_first_not_of(' '), b = v.find_last_not_of(' ');
          v = a == std::string::npos ? "" : v.substr(a, b - a + 1);
        }
        row[f4name(f)] = v;
      }
      out.push_back(std::move(row));
    }
    CloseTable(t);
    return out;
  }

  // Rows of one record type, in record order.
  std::vector<Row> RowsOfType(const std::string& folder, const std::string& base,
                              const std::string& typeField, const std::string& type) {
    std::vector<Row> out;
    for (Row& r : Rows(folder, base)) {
      if (r[typeField] == type) out.push_back(std::move(r));
    }
    return out;
  }

  C4Context c = 0;
  talvex::testing::TempDir dir;
  std::string oldFolder, newFolder;

 private:
  C4Table OpenTable(const std::string& folder, const std::string& base) {
    C4Table t = d4open(c, (folder + base + ".dbf").c_str());
    if (t == 0) return 0;
    if (std::filesystem::exists(folder + base + ".mdx")) i4open(t, (folder + base + ".mdx").c_str());
    return t;
  }
  void CloseTable(C4Table t) {
    d4close(t);
    code4errorCode(c, 0);
  }
};

}  // namespace talvex::tabmend::conversions::testing
