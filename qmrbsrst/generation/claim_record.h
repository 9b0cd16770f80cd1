// The records one roster run works with: the roster header with its current
// patient line, the provider and payer read for the run, and the claim built
// from one line (header, one payer, up to two service lines, name and
// reference-ID records for the side tables).
//
// Plain values owned by the run; the claim record owns its lists outright, so
// disposing of a claim is destroying it. Texts hold at most the width of the
// host's string[N] field they stand for: the setters below cut, nothing else
// does. Dates are host date-time day numbers, 0 meaning none. Not shared
// between threads.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::qmrbsrst {

// A text cut to a host field width (no trimming: callers trim first).
std::string Cut(std::string_view text, size_t width);

struct TNameRecord {
  std::string nameType;   // 4
  std::string entityCode; // 1
  std::string lastName;   // 60
  std::string firstName;  // 35
  std::string middleName; // 25
  std::string suffix;     // 10
};

struct TRefIDRecord {
  std::string id;         // 50
  std::string qualifier;  // 3
  std::string payerId;    // 30
};

using NameList = std::vector<TNameRecord>;
using RefIdList = std::vector<TRefIDRecord>;

// Adds one reference ID: texts trimmed, an empty ID adds nothing, the short
// qualifiers "E", "S", "X" widen to "24", "34", "XX", an exact repeat is left
// out.
void AddReferenceId(RefIdList* list, std::string_view qualifier, std::string_view id,
                    std::string_view payerId);

struct TClaimPayer {
  bool present = false;
  std::string CP_PAYID, CP_PAYLOB, CP_PAYSRC, CP_PAYNAME, CP_EDITIND, CP_PRIAUT, CP_PRIATP;
  std::string CP_ASNBEN, CP_SIGSRC, CP_RELINS, CP_INSID;
  std::string CP_LNAME, CP_FNAME, CP_MI, CP_GEN, CP_SEX;
  double CP_DOB = 0;
  std::string CP_ESTAT, CP_PADDR1, CP_PADDR2, CP_PCITY, CP_PSTATE, CP_PZIP;
  std::string CP_IADDR1, CP_IADDR2, CP_ICITY, CP_ISTATE, CP_IZIP;
  RefIdList referenceIds;
};

struct TServiceLine {
  bool present = false;
  double L_FROM = 0, L_TO = 0;
  std::string L_POS, L_HCPCS, L_DIAG;
  double L_CHARGES = 0, L_UNITS = 0;
  std::string LA_PROCDSC;
};

inline constexpr int kServiceLineSlots = 10;

struct TClaim1500Record {
  bool accepted = false;
  int32_t claimNumber = 0;
  std::string message;
  int32_t serviceLineCount = 0;

  std::string C_PCN, C_PATLNAME, C_PATFNAME, C_PATINIT, C_PATGEN;
  double C_PATDOB = 0;
  std::string C_PATSEX, C_PATADDR1, C_PATADDR2, C_PATCITY, C_PATSTATE, C_PATZIP;
  std::string C_PATOINS, C_EMPLREL, C_ACCIREL, C_PATSIG, C_RELINFO;
  double C_ROIDATE = 0;
  std::string referringNpi;
  std::string C_REFUPIN, C_REFIDTP, C_REFTAXTP, C_REFTAXID, C_REFLNAME, C_REFFNAME, C_REFMI,
      C_REFSUFX, C_REFSTATE;
  std::string C_LABIND, C_DIAG1, C_DIAGVS;
  std::string C_PRVASSN, C_PRVSIGI;
  double C_PRVSIGD = 0;
  std::string C_FEDTAXID, C_FEDTAXTP, C_FACIND;
  std::string facilityNpi;
  std::string C_FACID, C_FACIDTP, C_FACNAME, C_FACADD1, C_FACADD2, C_FACCITY, C_FACST, C_FACZIP,
      C_FACTP, C_FACTAXID, C_FACTAXTP;
  double C_TOTCHGS = 0, C_AMTPAID = 0, C_BALDUE = 0;
  std::string C_PIN_PROV;
  int32_t C_PINPRSEQ = 0;
  std::string C_PINTYPE, C_GRP_PROV, CLERK, MEDIA, C_LOB, C_PAYER_D, C_PAYER_I, C_BILLPROV;
  int32_t C_BILLSEQ = 0;
  std::string C_BILLTYPE, C_BILLPAY, C_BILLGPNO, C_BILLNPI;
  double C_SERVFROM = 0, C_SERVTHRU = 0;
  std::string C_EDITIND;
  double C_TOTUNITS = 0;

  NameList names;
  RefIdList referringIds;
  RefIdList facilityIds;
  TClaimPayer payer;
  std::array<TServiceLine, kServiceLineSlots> lines{};
};

struct TRosterLineInfoRecord {
  bool accepted = false;
  std::string RL_PCN, RL_HIC, RL_LNAME, RL_FNAME, RL_INIT, RL_GEN, RL_SEX;
  double RL_DOB = 0;
  std::string RL_ADDR1, RL_ADDR2, RL_CITY, RL_STATE, RL_ZIP, RL_AOB, RL_SRC, RL_PREL;
  std::string RL_ILNAME, RL_IFNAME, RL_IINIT, RL_IGEN, RL_IADDR1, RL_IADDR2, RL_ICITY, RL_ISTATE,
      RL_IZIP, RL_DIAG, RL_DIAGVS;
  std::string message;
};

struct TRosterClaimRecord {
  int32_t R_ROSTER = 0;
  std::string R_SEQNO;
  double R_ENTERED = 0, R_UPDATED = 0;
  std::string R_CLERK;
  double runDate = 0;
  std::string R_CLINIC, R_PAYERID, R_PAYERLOB, R_PROVID;
  int32_t R_PROVSEQ = 0;
  std::string R_PROVTYPE, R_PROVPAYR, R_PROVGRP;
  int32_t R_PROVGSQ = 0;
  std::string R_POS;
  double R_SERVDATE = 0;
  std::string R_TYPE, R_HCPCS, R_REFNPI, R_UPIN, R_IDTP, R_REFLNAME, R_REFFNAME, R_REFMI, R_REFSX,
      R_REFSTATE, R_REFTAXID, R_REFTAXTP;
  double R_VACCINE = 0, R_ADMIN = 0;
  std::string R_FACNPI, R_FACID, R_FACIDTP, R_FACNAME, R_FACADD1, R_FACADD2, R_FACCITY, R_FACST,
      R_FACZIP, R_FACTP, R_FACTAXID, R_FACTAXTP, R_PROCDSC;
  TRosterLineInfoRecord line;
  bool centralFluBiller = false;
};

struct TProviderInfo {
  int32_t billRecSeq = 0;
  std::string billType, billId, billIdType, billLob, billPayer, billGroupNumber, billNpi,
      billFedTaxId, billFedTaxType, billAssigned, billSignatureIndicator;
  double billSignatureDate = 0;
  int32_t rendRecSeq = 0;
  std::string rendType, rendId, rendLob, rendPayer;
};

struct TPayerInfo {
  std::string PAYFULDESC, PAYADDR1, PAYADDR2, PAYCITY, PAYSTATE, PAYZIP, PAYSOURCE, PAYCLMEDIT;
};

}  // namespace talvex::qmrbsrst
