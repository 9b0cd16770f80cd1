// ICD code-set rules: the rule list built from the host's
// "Master1500IcdVersionControlSettings" text, and the decision whether a
// claim of a given claim type, payer and service date is coded in ICD-9 or
// ICD-10.
//
// Rule text: entries separated by "|"; each entry holds six fields, claim
// type code, payer ID, start date, end date (yyyymmdd), code set ("9" for
// ICD-9) and a flags number (value 2 marks an alternate rule). The fields are
// separated by ";" when the text holds a ";" anywhere, else by ":". Malformed
// entries are dropped without a word. Dates are whole host days (the integer
// part of a host date-time value). Pure values and functions; safe from any
// thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::qmrbsrst {

// 1 October 2015 as a whole host day: the date the ICD-10 code set began.
inline constexpr int32_t kIcd10StartDay = 42278;

struct TIcdVersionControlInfo {
  std::string claimType;  // at most 3 characters, may be empty
  std::string payerId;    // may be empty (only when claimType is given)
  int32_t startDay = 0;
  std::optional<int32_t> endDay;  // none: open-ended
  bool icd9 = false;
  bool alternate = false;
  std::string sortKey;  // "%-3.3s%-9.9s%1.1u" + start "yyyymmdd", upper case
};

// Sorted ascending by sortKey without regard to case; equal keys all kept, in
// the order of the text.
using IcdRuleList = std::vector<TIcdVersionControlInfo>;

// Empties the list, then fills it from the rule text.
void BuildIcdRuleList(std::string_view ruleText, IcdRuleList* list);

struct IcdDecision {
  bool decided = false;
  bool icd9 = false;
};

// The ICD version for a claim; claimType and payerId are trimmed first.
IcdDecision DecideIcdVersion(const IcdRuleList& list, std::string_view claimType,
                             std::string_view payerId, int32_t serviceDay, bool alternate);

// The same for a host date-time value, cut to its whole day. NaN, or a value
// beyond the 32-bit day range, has no day and is never decided.
IcdDecision DecideIcdVersionForDate(const IcdRuleList& list, std::string_view claimType,
                                    std::string_view payerId, double serviceDate,
                                    bool alternate);

// The whole host day of a yyyymmdd text; nullopt when it is not a valid date.
std::optional<int32_t> DayFromYmd(std::string_view text);

}  // namespace talvex::qmrbsrst
