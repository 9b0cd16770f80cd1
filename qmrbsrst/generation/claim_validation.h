// The duplicate guard of a roster run: the comparison key of every claim
// header in BSCLAIM (passed over when its STATUS is "DEL"), and of every
// claim of this run that passed the check.
//
// A claim is a duplicate when some entry equals its eight key fields exactly.
// The entries stay in order, as the linear search had them, but are also
// hashed on the whole key, so a check costs one lookup instead of a walk of
// the list; the answer is the same. The list belongs to one run and is not
// shared between threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qmrbsrst/generation/claim_record.h"
#include "qmrbsrst/generation/claim_tables.h"

namespace talvex::qmrbsrst {

struct TClaimValidationRec {
  std::string lob, payerId, billingProvider, pcn, serviceFrom, serviceThrough, totalCharges;
  int32_t serviceLineCount = 0;
  bool operator==(const TClaimValidationRec&) const = default;
};

// "#,##0.00;(#,##0.00)": grouped, two decimals, negatives in parentheses.
std::string FormatClaimTotal(double value);

class ClaimValidationList {
 public:
  // Fills the list from BSCLAIM (its claim tag selected) and the line counts
  // from BSLINES. False, with the list empty, on any failure.
  [[nodiscard]] bool Build(RunTable& claims, RunTable& lines);
  // The key of a built claim, as the check compares it.
  static TClaimValidationRec KeyOf(const TClaim1500Record& claim);
  // True and added when no entry equals the key; false for a duplicate.
  [[nodiscard]] bool AddIfNew(const TClaimValidationRec& key);
  size_t size() const { return entries_.size(); }
  const std::vector<TClaimValidationRec>& entries() const { return entries_; }
  void Clear();

 private:
  void Add(TClaimValidationRec key);
  bool Contains(const TClaimValidationRec& key) const;
  void Index(uint32_t entry);
  static uint64_t HashOf(const TClaimValidationRec& key);
  std::vector<TClaimValidationRec> entries_;
  // Open addressing on the whole key: entry number + 1 per slot, 0 for a free
  // one; kept at most half full. A million stored claims cost no allocation
  // beyond the entries themselves.
  std::vector<uint32_t> slots_;
};

// Rejects the claim with "Duplicate claim" when it repeats an entry, and
// otherwise adds it; anything unexpected rejects it with the validation
// exception text.
void CheckDuplicateClaim(ClaimValidationList& list, TClaim1500Record* claim);

}  // namespace talvex::qmrbsrst
