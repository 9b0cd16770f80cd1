#include "qmrbsrst/pcn/patient_control_number.h"

#include <cmath>
#include <cstdio>

#include "common/text/host_date.h"
#include "qmrbsrst/settings/text_fit.h"

namespace talvex::qmrbsrst {

namespace {
constexpr char kBase36[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
}  // namespace

std::string MakePatientControlNumber(std::string_view prefix, double date, int32_t serialNumber,
                                     int32_t suffixNumber) {
  if (suffixNumber <= 0 || serialNumber <= 0 || prefix.empty() || date == 0) return "";
  talvex::common::CalendarDate ymd;
  // The day is the whole part: a time close to midnight stays on its day.
  // Unlike the host's decoder, a value outside the calendar gives no number
  // rather than digits of a nonsense date.
  if (std::isnan(date) || !talvex::common::calendarFromHostDate(std::trunc(date), &ymd)) {
    return "";
  }

  const int32_t code =
      ((ymd.year % 10) * 372 + (ymd.month - 1) * 31 + ymd.day) * 451 + serialNumber % 1000;

  char text[48];
  std::snprintf(text, sizeof text, "%02d%02d%d%c%c%c%c%2.2d", ymd.month, ymd.day, ymd.year % 10,
                kBase36[code / 46656], kBase36[(code % 46656) / 1296], kBase36[(code % 1296) / 36],
                kBase36[code % 36], static_cast<int>(suffixNumber));
  std::string pcn = FitText(prefix, 6) + text;
  if (pcn.size() > kPcnWidth) pcn.resize(kPcnWidth);
  return pcn;
}

void FillPatientControlNumber(TRosterPcnCall* call) {
  call->pcn.assign("");
  call->pcn.assign(MakePatientControlNumber(call->prefix.str(), call->date, call->serialNumber,
                                            call->suffixNumber));
}

}  // namespace talvex::qmrbsrst
