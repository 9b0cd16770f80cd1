// Writing one built claim into the claim table set, and deleting a claim's
// records again.
//
// SaveClaim takes a claim number from the shared counter (kind 6), adds it to
// `generated` at once, and appends the claim's records in stages: lines,
// line descriptions, payer, name records, reference IDs, and the header last,
// so a header on file means the rest was written before it. A failed stage
// marks what this claim wrote as deleted and gives 11; no number gives 10.
// Optional fields are written only where the table has them. The context's
// error state is cleared after every failure. Single-threaded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "qmrbsrst/generation/claim_record.h"
#include "qmrbsrst/generation/claim_tables.h"

namespace talvex::qmrbsrst {

struct SaveOptions {
  std::string dataDirectory;
  double runDate = 0;
  bool cleanStatus = false;  // "Save_Claims_With_Clean_Status"
  // Called with the claim number before anything of the claim is written;
  // false ends the save with 11 and nothing written.
  std::function<bool(int32_t)> announce;
};

[[nodiscard]] int SaveClaim(ClaimTableSet& set, const SaveOptions& options, TClaim1500Record* claim,
              std::vector<std::string>* generated);

// Marks every live record of `table` with the claim key as deleted, one
// record lock at a time. False when a seek, lock or write fails.
[[nodiscard]] bool DeleteClaimRecords(RunTable& table, std::string_view claimKey);

}  // namespace talvex::qmrbsrst
