// Writing a message into the host's token table, including tables the host
// got wrong.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "driver/report_to_host.h"

namespace talvex::tabmend {
namespace {

struct Table {
  explicit Table(int keyWidth = 32, int valueWidth = 128, int capacity = 8)
      : keys(static_cast<size_t>(keyWidth * capacity), 'k'),
        values(static_cast<size_t>(valueWidth * capacity), 'v') {
    record.KeyStride = keyWidth;
    record.ValueStride = valueWidth;
    record.KeySlots = keys.data();
    record.ValueSlots = values.data();
  }
  void put(int i, const char* key, const char* value) {
    std::strcpy(keys.data() + i * record.KeyStride, key);
    std::strcpy(values.data() + i * record.ValueStride, value);
    record.EntryCount = std::max(record.EntryCount, i + 1);
  }
  std::string key(int i) const { return keys.data() + i * record.KeyStride; }
  std::string value(int i) const { return values.data() + i * record.ValueStride; }
  std::vector<char> keys, values;
  TabmendCallRecord record{};
};

TEST(ReportToHost, AppendsAtEntryCountWhenTheKeyIsNew) {
  Table t;
  t.put(0, "%USER%", "front desk");
  t.put(1, "%PRODUCT%", "Nova");
  EXPECT_TRUE(ReportToHost(&t.record, "TABMEND_ERR", "Update0092- Unable to copy clone table files."));
  EXPECT_EQ(t.record.EntryCount, 3);
  EXPECT_EQ(t.key(2), "%TABMEND_ERR%");
  EXPECT_EQ(t.value(2), "Update0092- Unable to copy clone table files.");
  EXPECT_EQ(t.value(0), "front desk");
}

TEST(ReportToHost, ReplacesTheValueOfAnExistingKeyCaseSensitively) {
  Table t;
  t.put(0, "%tabmend_err%", "lower case is another key");
  t.put(1, "%TABMEND_ERR%", "old message");
  t.put(2, "%USER%", "x");
  EXPECT_TRUE(ReportToHost(&t.record, "TABMEND_ERR", "new"));
  EXPECT_EQ(t.record.EntryCount, 3);
  EXPECT_EQ(t.value(1), "new");
  EXPECT_EQ(t.value(0), "lower case is another key");
}

TEST(ReportToHost, RefusesWhatItCannotWriteSafely) {
  EXPECT_FALSE(ReportToHost(nullptr, "TABMEND_ERR", "x"));
  for (auto spoil : std::vector<void (*)(TabmendCallRecord&)>{
           [](TabmendCallRecord& r) { r.KeySlots = nullptr; },
           [](TabmendCallRecord& r) { r.ValueSlots = nullptr; },
           [](TabmendCallRecord& r) { r.KeyStride = 0; },
           [](TabmendCallRecord& r) { r.ValueStride = -128; },
           [](TabmendCallRecord& r) { r.KeyStride = TABMEND_MAX_STRIDE + 1; },
           [](TabmendCallRecord& r) { r.EntryCount = -1; },
           [](TabmendCallRecord& r) { r.EntryCount = TABMEND_MAX_ENTRIES + 1; },
           [](TabmendCallRecord& r) { r.KeyStride = 13; },  // "%TABMEND_ERR%" needs 14
       }) {
    Table t;
    const auto keysBefore = t.keys;
    const auto valuesBefore = t.values;
    spoil(t.record);
    const int32_t count = t.record.EntryCount;
    EXPECT_FALSE(ReportToHost(&t.record, "TABMEND_ERR", "message"));
    EXPECT_EQ(t.record.EntryCount, count);
    EXPECT_EQ(t.keys, keysBefore);
    EXPECT_EQ(t.values, valuesBefore);
  }
}

TEST(ReportToHost, CutsAValueToItsSlotAndNeverReadsPastAKeySlot) {
  Table t(16, 8, 4);
  // Slot 0 holds 16 key bytes without a NUL: compared within its slot only.
  std::memset(t.keys.data(), 'K', 16);
  t.record.EntryCount = 1;
  EXPECT_TRUE(ReportToHost(&t.record, "TABMEND_ERR", "a long message"));
  EXPECT_EQ(t.record.EntryCount, 2);
  EXPECT_EQ(t.value(1), "a long ");
  EXPECT_EQ(t.values[2 * 8], 'v');  // the next slot is untouched
}

}  // namespace
}  // namespace talvex::tabmend
