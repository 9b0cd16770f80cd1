// The call records that the host and qmrbsrst share: fixed little-endian byte
// layouts, identical in every build (the records hold engine handles, which
// are 32-bit values, and no addresses).
//
// The host owns every record; the library reads the "in" fields and writes the
// "out" fields of the one record it is given and keeps no pointer into it past
// the call. Texts are string[N] fields (common/text/length_prefixed.h), read
// and written without ever passing their width. Bytes marked unused belong to
// the host: the library neither reads nor writes them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/text/length_prefixed.h"

namespace talvex::qmrbsrst {

using common::ShortString;

inline constexpr int kServiceCodeSlots = 277;
inline constexpr int kDiagnosisSlots = 40;
inline constexpr size_t kListEntryWidth = 128;

#pragma pack(push, 1)

struct TRosterInfoCall {
  ShortString<255> dataDirectory;  // in
  uint8_t autoGeneratePcn;         // out, 0 or 1
  uint8_t unused257[3];
  int32_t maxLinesPerRoster;       // out
  uint8_t allowNonMedicare;        // out, 0 or 1
};

struct TRosterHcpcsCall {
  ShortString<255> dataDirectory;  // in
  uint8_t unused256[33];
  ShortString<1> rosterType;       // in
  ShortString<kListEntryWidth> entries[kServiceCodeSlots];  // out
};

struct TRosterDiagnosisCall {
  ShortString<255> dataDirectory;    // in
  ShortString<255> configDirectory;  // in
  uint8_t unused512[48];
  ShortString<1> rosterType;         // in
  uint8_t typeRFlag;                 // out
  ShortString<kListEntryWidth> entries[kDiagnosisSlots];  // out
};

struct TRosterPcnCall {
  int32_t suffixNumber;  // in, above 0
  int32_t serialNumber;  // in, above 0; taken modulo 1000
  uint8_t unused8[14];
  ShortString<25> prefix;  // in, first 6 characters used
  double date;             // in, host date-time value, not 0
  uint8_t unused56[2];
  ShortString<20> pcn;     // out
};

// Claim generation's record: the driver that fills it lives in generation/.
struct TGenerateRosterClaimsCall {
  ShortString<255> dataDirectory;
  ShortString<255> hostText256;
  ShortString<255> hostText512;
  ShortString<255> configDirectory;
  uint32_t context;        // the host's engine context
  int32_t hostValue1028;
  ShortString<15> hostText1032;
  double runDate;
  int32_t rosterNumber;
  uint32_t rosterTable;    // the host's handle of BSROSTER, or 0
  int32_t acceptedCount;   // out
  uint8_t reserved1068[4];
  double acceptedTotal;    // out
  int32_t rejectedCount;   // out
  uint8_t reserved1084[4];
  double rejectedTotal;    // out
};

// Record of the library's own extra export that hands out one control counter
// (host stand-in and tests; the host itself reaches the counter only through
// claim generation).
struct TRosterCounterCall {
  ShortString<255> dataDirectory;  // in
  uint32_t context;                // in, engine context
  int32_t kind;                    // in, 0 to 14
  int32_t value;                   // out, the new counter value or -1
};

#pragma pack(pop)

static_assert(offsetof(TRosterInfoCall, autoGeneratePcn) == 256);
static_assert(offsetof(TRosterInfoCall, maxLinesPerRoster) == 260);
static_assert(offsetof(TRosterInfoCall, allowNonMedicare) == 264);
static_assert(sizeof(TRosterInfoCall) == 265);

static_assert(offsetof(TRosterHcpcsCall, rosterType) == 289);
static_assert(offsetof(TRosterHcpcsCall, entries) == 291);
static_assert(sizeof(TRosterHcpcsCall) == 291 + 277 * 129);

static_assert(offsetof(TRosterDiagnosisCall, configDirectory) == 256);
static_assert(offsetof(TRosterDiagnosisCall, rosterType) == 560);
static_assert(offsetof(TRosterDiagnosisCall, typeRFlag) == 562);
static_assert(offsetof(TRosterDiagnosisCall, entries) == 563);
static_assert(sizeof(TRosterDiagnosisCall) == 563 + 40 * 129);

static_assert(offsetof(TRosterPcnCall, serialNumber) == 4);
static_assert(offsetof(TRosterPcnCall, prefix) == 22);
static_assert(offsetof(TRosterPcnCall, date) == 48);
static_assert(offsetof(TRosterPcnCall, pcn) == 58);
static_assert(sizeof(TRosterPcnCall) == 79);

static_assert(offsetof(TGenerateRosterClaimsCall, hostText256) == 256);
static_assert(offsetof(TGenerateRosterClaimsCall, hostText512) == 512);
static_assert(offsetof(TGenerateRosterClaimsCall, configDirectory) == 768);
static_assert(offsetof(TGenerateRosterClaimsCall, context) == 1024);
static_assert(offsetof(TGenerateRosterClaimsCall, hostValue1028) == 1028);
static_assert(offsetof(TGenerateRosterClaimsCall, hostText1032) == 1032);
static_assert(offsetof(TGenerateRosterClaimsCall, runDate) == 1048);
static_assert(offsetof(TGenerateRosterClaimsCall, rosterNumber) == 1056);
static_assert(offsetof(TGenerateRosterClaimsCall, rosterTable) == 1060);
static_assert(offsetof(TGenerateRosterClaimsCall, acceptedCount) == 1064);
static_assert(offsetof(TGenerateRosterClaimsCall, acceptedTotal) == 1072);
static_assert(offsetof(TGenerateRosterClaimsCall, rejectedCount) == 1080);
static_assert(offsetof(TGenerateRosterClaimsCall, rejectedTotal) == 1088);
static_assert(sizeof(TGenerateRosterClaimsCall) == 1096);

static_assert(offsetof(TRosterCounterCall, context) == 256);
static_assert(offsetof(TRosterCounterCall, kind) == 260);
static_assert(offsetof(TRosterCounterCall, value) == 264);
static_assert(sizeof(TRosterCounterCall) == 268);

}  // namespace talvex::qmrbsrst
