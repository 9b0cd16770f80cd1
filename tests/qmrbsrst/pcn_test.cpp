#include "qmrbsrst/pcn/patient_control_number.h"

#include <cmath>

#include <gtest/gtest.h>

#include "common/text/host_date.h"

namespace talvex::qmrbsrst {
namespace {

double Date(int y, int m, int d) {
  double v = 0;
  EXPECT_TRUE(talvex::common::hostDateFromCalendar({y, m, d}, &v));
  return v;
}

TEST(PatientControlNumber, WorkedExamples) {
  EXPECT_EQ(MakePatientControlNumber("AB", Date(2024, 3, 15), 1234, 7), "AB    03154F4SH07");
  EXPECT_EQ(MakePatientControlNumber("CLINIC01", Date(2029, 12, 31), 999, 123),
            "CLINIC12319ZZB3123");
}

TEST(PatientControlNumber, SmallestCodeAndTimeOfDay) {
  // Year ending in 0, 1 January, serial 1000: code 451, "00CJ".
  EXPECT_EQ(MakePatientControlNumber("P", Date(2030, 1, 1), 1000, 1), "P     01010" "00CJ" "01");
  // The time of day never moves the date, even a breath before midnight.
  EXPECT_EQ(MakePatientControlNumber("AB", Date(2024, 3, 15) + 0.99999999, 1234, 7),
            "AB    03154F4SH07");
}

TEST(PatientControlNumber, SerialOnlyCountsModulo1000) {
  EXPECT_EQ(MakePatientControlNumber("X", Date(2024, 3, 15), 234, 7),
            MakePatientControlNumber("X", Date(2024, 3, 15), 1234, 7));
  EXPECT_NE(MakePatientControlNumber("X", Date(2024, 3, 15), 235, 7),
            MakePatientControlNumber("X", Date(2024, 3, 15), 234, 7));
}

TEST(PatientControlNumber, LongSuffixIsCutToTwenty) {
  std::string pcn = MakePatientControlNumber("AB", Date(2024, 3, 15), 1234, 100000);
  EXPECT_EQ(pcn, "AB    03154F4SH10000");
  EXPECT_EQ(MakePatientControlNumber("AB", Date(2024, 3, 15), 1234, 99999).size(), 20u);
  EXPECT_EQ(MakePatientControlNumber("AB", Date(2024, 3, 15), 1234, INT32_MAX).size(), 20u);
}

TEST(PatientControlNumber, RefusedInputsGiveEmpty) {
  const double d = Date(2024, 3, 15);
  EXPECT_EQ(MakePatientControlNumber("AB", d, 0, 7), "");
  EXPECT_EQ(MakePatientControlNumber("AB", d, -5, 7), "");
  EXPECT_EQ(MakePatientControlNumber("AB", d, 1, 0), "");
  EXPECT_EQ(MakePatientControlNumber("AB", d, 1, -1), "");
  EXPECT_EQ(MakePatientControlNumber("", d, 1, 1), "");
  EXPECT_EQ(MakePatientControlNumber("AB", 0, 1, 1), "");
  EXPECT_EQ(MakePatientControlNumber("AB", std::nan(""), 1, 1), "");
  EXPECT_EQ(MakePatientControlNumber("AB", 1e12, 1, 1), "");
  // A date before 1900 is still a date.
  EXPECT_EQ(MakePatientControlNumber("AB", -1.25, 1, 1).size(), 17u);
}

TEST(PatientControlNumber, CallRecordField) {
  TRosterPcnCall call{};
  call.suffixNumber = 7;
  call.serialNumber = 1234;
  call.prefix.assign("AB");
  call.date = Date(2024, 3, 15);
  call.pcn.assign("OLD VALUE");
  FillPatientControlNumber(&call);
  EXPECT_EQ(call.pcn.str(), "AB    03154F4SH07");
  call.serialNumber = 0;
  FillPatientControlNumber(&call);
  EXPECT_EQ(call.pcn.length, 0);
}

}  // namespace
}  // namespace talvex::qmrbsrst
