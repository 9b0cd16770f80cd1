// What the claim migrations should have written, derived here on its own from
// the old tables an installer wrote, for the end-to-end run to compare row by
// row with what the update left. Nothing here calls the migrations.
//
// Contract: plain functions over rows read through the engine in a context of
// their own; folders are native paths ending in "/". Failures are reported as
// GoogleTest failures of the calling test. Single-threaded.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace talvex::tabmend::testing {

using Row = std::map<std::string, std::string>;
using RowSet = std::multiset<std::string>;

std::string Trim(std::string s);
// A count or sequence number; blank reads as 0.
long Int(const std::string& s);

// Records in record order, values trimmed (memos whole); fields in file
// order. Deleted records are left out unless withDeleted, which keeps them
// with "*DELETED" set to "1".
std::vector<Row> ReadRows(const std::string& base, std::vector<std::string>* fields = nullptr,
                          bool withDeleted = false);

// One text per row of the given types (all rows when types is empty): the
// named fields joined, so row sets compare whole.
RowSet Keys(const std::vector<Row>& rows, const std::vector<std::string>& fields,
            const std::string& typeField = "", const std::set<std::string>& types = {});

// Fails with the first few rows missing from `now` and not derived in it.
void ExpectSameRows(const RowSet& now, const RowSet& want, const std::string& where);

// The 1500 claim tables of one location as the installer wrote them (the
// row tables empty where the release had none yet).
struct OldProfessional {
  std::vector<Row> claims, claimsWithDeleted, lines, linesa, payers, ids, names, refs, cob;
  static OldProfessional Read(const std::string& folder);
};

// The identifier, name, reference and other-payer rows and the payers'
// insurance types that a run starting at update `first` must leave in
// `folder`. deletedClaimsSeen: the claim table the payer migration reads
// still holds the records marked deleted (no earlier rebuild dropped them),
// so a lookup there finds them.
void ExpectProfessionalRows(int first, const OldProfessional& old, const std::string& folder,
                            bool deletedClaimsSeen);

// Patients' CBSA from the old MSA (old table with its deleted records).
void ExpectCbsa(const std::vector<Row>& oldPatientsWithDeleted, const std::vector<Row>& now);
// Providers' presence-on-admission flag.
void ExpectPoaFlags(const std::vector<Row>& oldProviders, const std::vector<Row>& now);

}  // namespace talvex::tabmend::testing
