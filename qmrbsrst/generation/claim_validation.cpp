#include "qmrbsrst/generation/claim_validation.h"

#include <climits>
#include <cmath>
#include <stdexcept>
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

// A built claim's dates are always formatted, a day of 0 included, so they
// never match a stored blank date.
std::string Ymd(double date) { return talvex::common::hostDateToYmd(date); }

// The claim key is "%10.10s" of the number, so the few numbers of eleven
// characters share the key of their first ten: -1234567890 that of -123456789.
int32_t KeyNumber(int32_t claimNumber) {
  return claimNumber < -999999999 ? claimNumber / 10 : claimNumber;
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

std::string ClaimValidationList::Joined(const TClaimValidationRec& k) {
  // Length-prefixed parts, so no text can run into its neighbour.
  std::string out;
  for (const std::string* s : {&k.lob, &k.payerId, &k.billingProvider, &k.pcn, &k.serviceFrom,
                               &k.serviceThrough, &k.totalCharges}) {
    out += std::to_string(s->size());
    out += ':';
    out += *s;
  }
  out += std::to_string(k.serviceLineCount);
  return out;
}

void ClaimValidationList::Add(TClaimValidationRec key) {
  keys_.insert(Joined(key));
  entries_.push_back(std::move(key));
}

void ClaimValidationList::Clear() {
  entries_.clear();
  keys_.clear();
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
    const std::unordered_map<int32_t, int32_t> lineCounts = LiveLineCounts(lines);
    // An unfiltered claim tag holds every record once, so record order visits
    // the same claims; it spares a tag step per claim (an index lock and
    // read beside other users) and lets the engine read ahead. The list's
    // order never changes a check's result. The tag is selected again after.
    const C4Tag tag = d4tagSelected(t);
    const char* filter = tag != 0 ? t4filter(tag) : nullptr;
    const bool recordOrder = filter == nullptr || *filter == 0;
    if (recordOrder && d4tagSelectP(t, 0) != r4success) throw std::runtime_error("claim table unreadable");
    int rc = d4top(t);
    while (rc == r4success) {
      const char* raw = f4str(status);
      if (raw == nullptr) throw std::runtime_error("status unreadable");
      if (std::string_view(raw) != "DEL") {
        TClaimValidationRec k;
        k.lob = claims.Text("C_LOB");
        k.payerId = claims.Text("C_PAYER_I");
        k.billingProvider = claims.Text("C_BILLPROV");
        k.pcn = claims.Text("C_PCN");
        k.serviceFrom = claims.Text("C_SERVFROM");
        k.serviceThrough = claims.Text("C_SERVTHRU");
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
  if (keys_.count(Joined(key)) != 0) return false;
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
