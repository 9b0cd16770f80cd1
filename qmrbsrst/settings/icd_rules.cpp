#include "qmrbsrst/settings/icd_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/text/host_date.h"
#include "qmrbsrst/settings/text_fit.h"

namespace talvex::qmrbsrst {

namespace {

// Cuts the text before the next separator off *rest (the whole of it when
// there is none); the cut part and the rest are both trimmed.
std::string_view CutToken(std::string_view* rest, char separator) {
  size_t at = rest->find(separator);
  std::string_view token = rest->substr(0, at);
  *rest = at == std::string_view::npos ? std::string_view() : Trim(rest->substr(at + 1));
  return Trim(token);
}

std::string YmdOfDay(int32_t day) { return talvex::common::hostDateToYmd(day); }

std::string MakeSortKey(const TIcdVersionControlInfo& rule) {
  char head[3 + 9 + 1 + 1];
  std::snprintf(head, sizeof head, "%-3.3s%-9.9s%1.1u", rule.claimType.c_str(),
                rule.payerId.c_str(), rule.alternate ? 1u : 0u);
  return UpperCase(std::string(head) + YmdOfDay(rule.startDay));
}

std::optional<TIcdVersionControlInfo> ParseEntry(std::string_view entry, char separator) {
  std::string_view fields[6];
  for (std::string_view& field : fields) field = CutToken(&entry, separator);

  TIcdVersionControlInfo rule;
  std::optional<int32_t> start = DayFromYmd(fields[2]);
  std::optional<int32_t> end = DayFromYmd(fields[3]);
  int32_t flags = -1;
  if (!ParseWholeNumber(fields[5], &flags)) flags = -1;

  if (fields[0].size() > 3) return std::nullopt;
  if (!fields[1].empty() && fields[0].empty()) return std::nullopt;
  if (!start) return std::nullopt;
  if (end && *end < *start) return std::nullopt;
  if (flags < 0) return std::nullopt;

  rule.claimType = std::string(fields[0]);
  rule.payerId = std::string(fields[1]);
  rule.startDay = *start;
  rule.endDay = end;
  rule.icd9 = fields[4] == "9";
  rule.alternate = (flags & 2) != 0;
  rule.sortKey = MakeSortKey(rule);
  return rule;
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

bool IsCandidate(const TIcdVersionControlInfo& rule, std::string_view type,
                 std::string_view payer) {
  bool sameType = SameText(rule.claimType, type);
  if (sameType && SameText(rule.payerId, payer)) return true;
  if (sameType && payer.size() >= 6 && !rule.payerId.empty() &&
      StartsWithText(payer, rule.payerId)) {
    return true;
  }
  if (sameType && rule.payerId.empty()) return true;
  return rule.claimType.empty() && rule.payerId.empty();
}

bool SameGroup(const TIcdVersionControlInfo& a, const TIcdVersionControlInfo& b) {
  return SameText(a.claimType, b.claimType) && SameText(a.payerId, b.payerId) &&
         a.alternate == b.alternate;
}

bool Covers(const TIcdVersionControlInfo& rule, int32_t day) {
  return rule.startDay <= day && (!rule.endDay || *rule.endDay >= day);
}

}  // namespace

std::optional<int32_t> DayFromYmd(std::string_view text) {
  double value = 0;
  if (!talvex::common::ymdToHostDate(text, &value)) return std::nullopt;
  return static_cast<int32_t>(value);
}

void BuildIcdRuleList(std::string_view ruleText, IcdRuleList* list) {
  list->clear();
  const char separator = ruleText.find(';') != std::string_view::npos ? ';' : ':';
  std::string_view rest = Trim(ruleText);
  while (!rest.empty()) {
    std::string_view entry = CutToken(&rest, '|');
    if (entry.empty()) continue;
    if (std::optional<TIcdVersionControlInfo> rule = ParseEntry(entry, separator)) {
      list->push_back(std::move(*rule));
    }
  }
  // Keys are already upper case, so byte order is the case-blind order.
  std::stable_sort(list->begin(), list->end(),
                   [](const TIcdVersionControlInfo& a, const TIcdVersionControlInfo& b) {
                     return a.sortKey < b.sortKey;
                   });
}

IcdDecision DecideIcdVersion(const IcdRuleList& list, std::string_view claimType,
                             std::string_view payerId, int32_t serviceDay, bool alternate) {
  const std::string_view type = Trim(claimType);
  const std::string_view payer = Trim(payerId);

  // Walk from the latest key down; the first candidate of the asked kind fixes
  // the group, and only that group may decide.
  for (size_t i = list.size(); i-- > 0;) {
    const TIcdVersionControlInfo& rule = list[i];
    if (!IsCandidate(rule, type, payer) || rule.alternate != alternate) continue;
    for (size_t j = i + 1; j-- > 0;) {
      const TIcdVersionControlInfo& member = list[j];
      if (!SameGroup(member, rule)) break;
      if (Covers(member, serviceDay)) return IcdDecision{true, member.icd9};
    }
    break;
  }
  if (serviceDay >= kIcd10StartDay) return IcdDecision{true, false};
  return IcdDecision{false, false};
}

IcdDecision DecideIcdVersionForDate(const IcdRuleList& list, std::string_view claimType,
                                    std::string_view payerId, double serviceDate,
                                    bool alternate) {
  if (std::isnan(serviceDate)) return IcdDecision{};
  double day = std::trunc(serviceDate);
  if (day < INT32_MIN || day > INT32_MAX) return IcdDecision{};
  return DecideIcdVersion(list, claimType, payerId, static_cast<int32_t>(day), alternate);
}

}  // namespace talvex::qmrbsrst
