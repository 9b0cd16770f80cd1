// Texts of the status codes that claim generation returns. The texts are
// constants that live as long as the library; callers copy and never free
// them. Safe from any thread.
#pragma once

#include <cstdint>

namespace talvex::qmrbsrst {

enum RosterStatus : uint32_t {
  kStatusSuccess = 0,
  kStatusReversalFailed = 2,
  kStatusOpenFailed = 3,
  kStatusCloseFailed = 4,
  kStatusValidationListFailed = 5,
  kStatusRosterNotFound = 6,
  kStatusInvalidProvider = 7,
  kStatusInvalidPayer = 8,
  kStatusGenerationException = 9,
  kStatusNoClaimNumber = 10,
  kStatusSaveException = 11,
  kStatusValidationException = 12,
  kStatusClaimsRejected = 13,
  kStatusRosterUpdateFailed = 14,
  kStatusLineUpdateFailed = 15,
};

// Code 1 and every code above 15 give the "unknown error" text.
const char* RosterStatusMessage(uint32_t code);

}  // namespace talvex::qmrbsrst
