// Deterministic sample data for an installation: every table of a release's
// layout, created through the releases clone writer and filled with claims,
// their lines and payers, providers, payers, patients, rosters and users,
// in the data folder and in claim archive folders below "archub92" and
// "arch1500".
//
// The values depend only on the layout, the claim count and the seed, so two
// installations with the same options hold the same records. A few records
// of every table are marked deleted, and memo texts include some longer than
// any character field, so an update has something to pack and to carry.
// Uses the caller's engine context and leaves no table open in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "c4dll.h"
#include "releases/table_layout.h"

namespace talvex::host {

struct SampleOptions {
  int claims = 200;
  uint64_t seed = 1;
};

// The archive folders (relative to the data folder) a sample installation
// has, with the claim family whose tables they hold. One more folder below
// "archub92" holds no claim table at all.
struct ArchiveFolder {
  std::string relative;  // "archub92\2003\"
  releases::ClaimFamily family;
  int claims;
};
std::vector<ArchiveFolder> SampleArchiveFolders(const SampleOptions& options);

// Writes the tables of `tables` into dataFolder (host text ending in "\") and
// the family tables into the archive folders. False with *error on failure.
[[nodiscard]] bool WriteSampleData(C4Context context, const std::string& dataFolder,
                     const std::vector<releases::TableLayout>& tables,
                     const SampleOptions& options, std::string* error);

// Rosters ready for claim generation. The data folder gets one roster of
// every roster type (and a few meant to fail) under the installation's
// settings, with providers, payers and a claim counter that fit them; each
// folder below "rosters\\" is a data folder of its own (its claim tables,
// roster tables, SUBMIT, BSRSTER.CTL and TALVEX32.INI) for one submitter set
// or one group of settings. Written by WriteSampleData when the layout set
// has the roster tables.
struct SampleRoster {
  std::string folder;  // relative to the data folder: "" or "rosters\\sub00820\\"
  int32_t number = 0;  // R_ROSTER
  int32_t expectedStatus = 0;
  std::string what;
};
std::vector<SampleRoster> SampleRosters();

// Fills one already created, empty table with `claims` claims' worth of
// records (the bench uses it for large tables).
[[nodiscard]] bool FillTable(C4Context context, const std::string& folder, const releases::TableLayout& layout,
               int claims, int firstClaim, uint64_t seed, std::string* error);

}  // namespace talvex::host
