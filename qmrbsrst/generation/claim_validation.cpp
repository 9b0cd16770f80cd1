#include "qmrbsrst/generation/claim_validation.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "common/tableengine/table.h"
#include "common/text/host_date.h"
#include "common/text/number_format.h"
#include "qmrbsrst/settings/text_fit.h"
#include "qmrbsrst/status/status_messages.h"

namespace talvex::qmrbsrst {

std::string FormatClaimTotal(double value) {
  const std::string digits = talvex::common::formatNumber(std::fabs(value), 2, true);
  const bool zero = digits.find_first_not_of("0.,") == std::string::npos;
  if (value < 0 && !zero) return "(" + digits + ")";
  return digits;
}

namespace {

// Claims a run may add to the list (a roster has at most 10,000 lines).
constexpr size_t kRunClaimsRoom = 10000;

// A built claim's dates are always formatted, a day of 0 included, so they
// never match a stored blank date.
std::string Ymd(double date) { return talvex::common::hostDateToYmd(date); }

// The claim key is "%10.10s" of the number, so the few numbers of eleven
// characters share the key of their first ten: -1234567890 that of -123456789.
int32_t KeyNumber(int32_t claimNumber) {
  return claimNumber < -999999999 ? claimNumber / 10 : claimNumber;
}

// A field's value trimmed, as RunTable::Text gives it; "" for an absent field.
std::string TextOf(C4Field field) {
  if (field == 0) return {};
  const char* s = f4str(field);
  return s ? std::string(Trim(s)) : std::string();
}

// Live BSLINES records per claim key (by its number), from one pass over the
// table in record order. A seek per stored claim costs a tag descent and a
// record read each; counting here gives the same numbers, since the line
// tag's key begins with the same "%10.10s" text of the record's claim number
// that the seek used. The selected tag is restored for the run's later seeks.
std::unordered_map<int32_t, int32_t> LiveLineCounts(RunTable& lines) {
  C4Table t = lines.handle();
  C4Field claim = lines.Field("CLAIM");
  if (t == 0 || claim == 0) throw std::runtime_error("line table incomplete");
  const C4Tag tag = d4tagSelected(t);
  std::unordered_map<int32_t, int32_t> counts;
  if (d4tagSelectP(t, 0) != r4success) throw std::runtime_error("line table unreadable");
  int rc = d4top(t);
  while (rc == r4success) {
    // A number beyond 32 bits has a key no stored claim's number can make.
    const long long number = f4int(claim);
    if (d4deleted(t) == 0 && number >= INT32_MIN && number <= INT32_MAX) {
      ++counts[KeyNumber(static_cast<int32_t>(number))];
    }
    rc = d4skip(t, 1);
  }
  if (d4tagSelectP(t, tag) != r4success || (rc != r4eof && rc != r4bof)) {
    throw std::runtime_error("line count failed");
  }
  return counts;
}

}  // namespace

uint64_t ClaimValidationList::HashOf(const TClaimValidationRec& k) {
  uint64_t h = static_cast<uint32_t>(k.serviceLineCount);
  for (const std::string* s : {&k.lob, &k.payerId, &k.billingProvider, &k.pcn, &k.serviceFrom,
                               &k.serviceThrough, &k.totalCharges}) {
    h = (h ^ std::hash<std::string_view>{}(*s)) * 0x9E3779B97F4A7C15ull;
  }
  return h ^ (h >> 29);
}

bool ClaimValidationList::Contains(const TClaimValidationRec& key) const {
  if (slots_.empty()) return false;
  const size_t mask = slots_.size() - 1;
  for (size_t i = HashOf(key) & mask; slots_[i] != 0; i = (i + 1) & mask) {
    if (entries_[slots_[i] - 1] == key) return true;
  }
  return false;
}

void ClaimValidationList::Index(uint32_t entry) {
  const size_t mask = slots_.size() - 1;
  size_t i = HashOf(entries_[entry]) & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = entry + 1;
}

void ClaimValidationList::Add(TClaimValidationRec key) {
  if (entries_.size() >= UINT32_MAX - 1) throw std::length_error("validation list full");
  entries_.push_back(std::move(key));
  if ((entries_.size() + 1) * 2 > slots_.size()) {
    slots_.assign(std::max<size_t>(64, slots_.size() * 2), 0);
    for (uint32_t e = 0; e < entries_.size(); ++e) Index(e);
  } else {
    Index(static_cast<uint32_t>(entries_.size() - 1));
  }
}

void ClaimValidationList::Clear() {
  entries_.clear();
  slots_.clear();
}

bool ClaimValidationList::Build(RunTable& claims, RunTable& lines) {
  Clear();
  C4Context context = claims.context();
  try {
    C4Table t = claims.handle();
    C4Field status = claims.Field("STATUS");
    C4Field claimField = claims.Field("CLAIM");
    C4Field totals = claims.Field("C_TOTCHGS");
    if (t == 0 || status == 0 || claimField == 0 || totals == 0 || !lines) {
      throw std::runtime_error("claim table incomplete");
    }
    // A field the table lacks reads as "".
    const C4Field lob = claims.Field("C_LOB"), payerId = claims.Field("C_PAYER_I"),
                  billingProvider = claims.Field("C_BILLPROV"), pcn = claims.Field("C_PCN"),
                  serviceFrom = claims.Field("C_SERVFROM"), serviceThrough = claims.Field("C_SERVTHRU");
    const std::unordered_map<int32_t, int32_t> lineCounts = LiveLineCounts(lines);
    // An unfiltered claim tag holds every record once, so record order visits
    // the same claims; it spares a tag step per claim (an index lock and
    // read beside other users) and lets the engine read ahead. The list's
    // order never changes a check's result. The tag is selected again after.
    const C4Tag tag = d4tagSelected(t);
    const char* filter = tag != 0 ? t4filter(tag) : nullptr;
    const bool recordOrder = filter == nullptr || *filter == 0;
    if (recordOrder && d4tagSelectP(t, 0) != r4success) throw std::runtime_error("claim table unreadable");
    // Room for every stored claim and the claims of a run at once: no entry
    // is moved, no index rebuilt (a growth of a million entries costs
    // seconds).
    const long stored = d4recCount(t);
    if (stored > 0) {
      const size_t room = static_cast<size_t>(stored) + kRunClaimsRoom;
      entries_.reserve(room);
      size_t slots = 64;
      while (slots < (room + 1) * 2) slots *= 2;
      slots_.assign(slots, 0);
    }
    int rc = d4top(t);
    while (rc == r4success) {
      const char* raw = f4str(status);
      if (raw == nullptr) throw std::runtime_error("status unreadable");
      if (std::string_view(raw) != "DEL") {
        TClaimValidationRec k;
        k.lob = TextOf(lob);
        k.payerId = TextOf(payerId);
        k.billingProvider = TextOf(billingProvider);
        k.pcn = TextOf(pcn);
        k.serviceFrom = TextOf(serviceFrom);
        k.serviceThrough = TextOf(serviceThrough);
        double total = 0;
        if (f4double2(totals, &total) < 0) throw std::runtime_error("total unreadable");
        k.totalCharges = FormatClaimTotal(total);
        const auto found = lineCounts.find(KeyNumber(static_cast<int32_t>(f4int(claimField))));
        k.serviceLineCount = found == lineCounts.end() ? 0 : found->second;
        Add(std::move(k));
      }
      rc = d4skip(t, 1);
    }
    if (recordOrder && d4tagSelectP(t, tag) != r4success) throw std::runtime_error("claim tag lost");
    if (rc != r4eof) throw std::runtime_error("claim walk failed");
    return true;
  } catch (...) {
    Clear();
    talvex::common::clearEngineError(context);
    return false;
  }
}

TClaimValidationRec ClaimValidationList::KeyOf(const TClaim1500Record& c) {
  TClaimValidationRec k;
  k.lob = c.C_LOB;
  k.payerId = c.C_PAYER_I;
  k.billingProvider = c.C_BILLPROV;
  k.pcn = c.C_PCN;
  k.serviceFrom = Ymd(c.C_SERVFROM);
  k.serviceThrough = Ymd(c.C_SERVTHRU);
  k.totalCharges = FormatClaimTotal(c.C_TOTCHGS);
  k.serviceLineCount = c.serviceLineCount;
  return k;
}

bool ClaimValidationList::AddIfNew(const TClaimValidationRec& key) {
  if (Contains(key)) return false;
  Add(key);
  return true;
}

void CheckDuplicateClaim(ClaimValidationList& list, TClaim1500Record* claim) {
  try {
    if (!list.AddIfNew(ClaimValidationList::KeyOf(*claim))) {
      claim->accepted = false;
      claim->message = "Duplicate claim";
    }
  } catch (...) {
    claim->accepted = false;
    claim->message = RosterStatusMessage(kStatusValidationException);
  }
}

}  // namespace talvex::qmrbsrst
