// The catalogue rows against the run list and the rules every row must obey
// for the restructure procedure to handle it.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "catalogue/catalogue.h"

namespace talvex::tabmend {
namespace {

// The run list as the update driver knows it.
constexpr int kRunList[] = {
    92,  94,  95,  100, 102, 104, 105, 106, 107, 110, 111, 112, 113, 114, 115, 116, 117, 119,
    120, 121, 123, 126, 127, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143,
    144, 145, 146, 147, 148, 150, 151, 153, 154, 155, 156, 157, 158, 159, 160, 161, 162, 163,
    164, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174, 175, 176, 177, 178, 179, 181, 182,
    184, 185, 187, 189, 191, 192, 194, 195, 196, 197, 198, 199, 200, 201, 202, 203};

TEST(Catalogue, RowsAreTheRunListInOrder) {
  auto rows = Catalogue();
  ASSERT_EQ(rows.size(), std::size(kRunList));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].number, kRunList[i]);
    EXPECT_EQ(FindRestructureSpec(kRunList[i]), &rows[i]);
  }
  for (int missing : {91, 93, 96, 97, 98, 99, 101, 103, 108, 109, 118, 122, 124, 125, 128, 129,
                      130, 149, 152, 180, 183, 186, 188, 190, 193, 204, 0, -1})
    EXPECT_EQ(FindRestructureSpec(missing), nullptr) << missing;
}

TEST(Catalogue, MessagesAndCloneDirectory) {
  const RestructureSpec* s = FindRestructureSpec(92);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->numberText(), "0092");
  EXPECT_EQ(s->messagePrefix(), "Update0092- ");
  EXPECT_EQ(CloneDirectory("C:\\APP\\", *s), "C:\\APP\\update\\clone\\updt0036");
  EXPECT_EQ(CloneDirectory("", *s), "update\\clone\\updt0036");
  EXPECT_EQ(FindRestructureSpec(203)->messagePrefix(), "Update0203- ");
}

TEST(Catalogue, EveryRowFitsItsForm) {
  int previousFolder = 0;
  for (const RestructureSpec& s : Catalogue()) {
    SCOPED_TRACE(s.numberText());
    ASSERT_EQ(std::strlen(s.cloneFolder), 8u);
    ASSERT_EQ(std::string(s.cloneFolder, 4), "updt");
    int folder = std::stoi(s.cloneFolder + 4);
    EXPECT_GE(folder, previousFolder) << "clone folders follow the release order";
    previousFolder = folder;
    ASSERT_GE(s.tableCount, 1u);
    ASSERT_LE(s.tableCount, kMaxUpdatedTables);
    std::set<std::string> names;
    for (const UpdatedTable& t : s.tables()) {
      EXPECT_TRUE(names.insert(t.base).second) << "table listed twice: " << t.base;
      for (const char* c = t.base; *c; ++c) EXPECT_FALSE(*c >= 'A' && *c <= 'Z');
      if (s.form != RestructureForm::Single) {
        EXPECT_FALSE(t.memo);
      }
    }
    const bool single = s.form == RestructureForm::Single;
    EXPECT_EQ(std::strlen(s.locationBasis) == 0, single);
    if (!single) {
      std::string basis = s.locationBasis;
      ASSERT_GT(basis.size(), 4u);
      EXPECT_EQ(basis.substr(basis.size() - 4), ".dbf");
    } else {
      EXPECT_EQ(s.tableCount, 1u);
    }
    const bool addMissing = s.form == RestructureForm::AddMissing;
    EXPECT_EQ(addMissing, s.number == 106 || s.number == 113);
    EXPECT_EQ(s.probe.kind == ProbeKind::None, addMissing);
    if (!addMissing) {
      EXPECT_GT(std::strlen(s.probe.name), 0u);
    }
    const bool widthKind = s.probe.kind == ProbeKind::WidthBelow ||
                           s.probe.kind == ProbeKind::WidthAtMost ||
                           s.probe.kind == ProbeKind::DecimalsBelow;
    EXPECT_EQ(s.probe.operand > 0, widthKind);
    if (s.form == RestructureForm::AllLocations || addMissing) {
      EXPECT_FALSE(s.locateCheck);
      EXPECT_FALSE(s.hasConversion());
    }
  }
}

TEST(Catalogue, ConversionsAndTheirFolders) {
  const std::set<int> flagged = {107, 115, 116, 117, 153, 165, 167, 168, 169};
  for (const RestructureSpec& s : Catalogue()) {
    SCOPED_TRACE(s.numberText());
    ConversionInput expected = ConversionInput::None;
    if (flagged.count(s.number)) expected = ConversionInput::BackupAndWork;
    if (s.number == 121) expected = ConversionInput::DataAndWork;
    if (s.number == 147) expected = ConversionInput::WorkAndBaseName;
    if (s.number == 163) expected = ConversionInput::WorkOnly;
    EXPECT_EQ(s.conversion, expected);
    EXPECT_EQ(std::strlen(s.conversionSummary) > 0, s.hasConversion());
    if (expected == ConversionInput::BackupAndWork) {
      EXPECT_EQ(s.form, RestructureForm::Flagged);
    } else if (s.hasConversion()) {
      EXPECT_EQ(s.form, RestructureForm::Single);
    }
  }
  EXPECT_STREQ(FindRestructureSpec(147)->probedTable().base, "bcprov");
  EXPECT_STREQ(FindRestructureSpec(121)->probedTable().base, "patient");
  EXPECT_STREQ(FindRestructureSpec(163)->probedTable().base, "submit");
}

TEST(ProbeDecision, EachKindAtItsBoundary) {
  auto field = [](int width, int decimals) {
    ProbeFindings f;
    f.tableOpened = true;
    f.fieldExists = true;
    f.fieldWidth = width;
    f.fieldDecimals = decimals;
    return f;
  };
  ProbeFindings noField;
  noField.tableOpened = true;

  const Probe absent{ProbeKind::FieldAbsent, "X", 0};
  EXPECT_TRUE(ProbeNeedsUpdate(absent, noField));
  EXPECT_FALSE(ProbeNeedsUpdate(absent, field(1, 0)));
  const Probe present{ProbeKind::FieldPresent, "X", 0};
  EXPECT_FALSE(ProbeNeedsUpdate(present, noField));
  EXPECT_TRUE(ProbeNeedsUpdate(present, field(1, 0)));

  const Probe below{ProbeKind::WidthBelow, "X", 30};
  EXPECT_TRUE(ProbeNeedsUpdate(below, field(29, 0)));
  EXPECT_FALSE(ProbeNeedsUpdate(below, field(30, 0)));
  const Probe atMost{ProbeKind::WidthAtMost, "X", 35};
  EXPECT_TRUE(ProbeNeedsUpdate(atMost, field(35, 0)));
  EXPECT_FALSE(ProbeNeedsUpdate(atMost, field(36, 0)));
  const Probe decimals{ProbeKind::DecimalsBelow, "X", 3};
  EXPECT_TRUE(ProbeNeedsUpdate(decimals, field(10, 2)));
  EXPECT_FALSE(ProbeNeedsUpdate(decimals, field(10, 3)));
  const Probe noDecimals{ProbeKind::PresentWithoutDecimals, "X", 0};
  EXPECT_TRUE(ProbeNeedsUpdate(noDecimals, field(5, 0)));
  EXPECT_FALSE(ProbeNeedsUpdate(noDecimals, field(5, 1)));
  // A table lacking the field is left alone by the width kinds.
  for (const Probe& p : {below, atMost, decimals, noDecimals})
    EXPECT_FALSE(ProbeNeedsUpdate(p, noField));

  const Probe tag{ProbeKind::TagAbsent, "BYNPI", 0};
  ProbeFindings withTag = noField;
  withTag.indexHasTag = true;
  EXPECT_TRUE(ProbeNeedsUpdate(tag, noField));
  EXPECT_FALSE(ProbeNeedsUpdate(tag, withTag));

  // An unreadable table always needs the update.
  ProbeFindings unopened;
  for (const Probe& p : {absent, present, below, atMost, decimals, noDecimals, tag})
    EXPECT_TRUE(ProbeNeedsUpdate(p, unopened));
}

}  // namespace
}  // namespace talvex::tabmend
