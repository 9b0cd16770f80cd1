#include "qmrbsrst/status/status_messages.h"

namespace talvex::qmrbsrst {

const char* RosterStatusMessage(uint32_t code) {
  switch (code) {
    case kStatusSuccess:
      return "Roster claim generation completed successfully.";
    case kStatusReversalFailed:
      return "Unable to reverse roster claim generation after error. Check all databases "
             "before attempting this operation again.";
    case kStatusOpenFailed:
      return "Unable to open claims database tables for roster claim generation.";
    case kStatusCloseFailed:
      return "Error closing claims database following roster claim generation.";
    case kStatusValidationListFailed:
      return "Unable to build claim validation list.";
    case kStatusRosterNotFound:
      return "Unable to locate the roster billing record.";
    case kStatusInvalidProvider:
      return "Invalid Billing Provider (not on file).";
    case kStatusInvalidPayer:
      return "Invalid Payer (not on file).";
    case kStatusGenerationException:
      return "Unexpected exception generating roster claim.";
    case kStatusNoClaimNumber:
      return "Unable to generate unique Claim ID.";
    case kStatusSaveException:
      return "Unexpected exception saving roster claim to database.";
    case kStatusValidationException:
      return "Unexpected exception validating roster claim.";
    case kStatusClaimsRejected:
      return "One or more roster claims were rejected.";
    case kStatusRosterUpdateFailed:
      return "Unable to update the roster billing record.";
    case kStatusLineUpdateFailed:
      return "Unable to update the roster billing line record.";
    default:
      return "Unknown error during roster claim generation.";
  }
}

}  // namespace talvex::qmrbsrst
