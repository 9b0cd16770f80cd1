// Payer authorisations become payer identifier rows, the first two payers'
// amounts become other-payer rows, and the secondary-payer type moves on to
// the next payer as its insurance type.
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "conversions/conversion_frame.h"
#include "conversions/conversions.h"
#include "driver/run_state.h"
#include "platform/file_system.h"

namespace talvex::tabmend::conversions {
namespace {

struct ActionItem {
  std::string paySeq, mspType, payLob, aut[3], autType[3];
  double allowed = 0, paid = 0, deduct = 0, coins = 0;
};

struct PayerReadFields {
  C4Field claim = 0, paySeq = 0, mspType = 0, payLob = 0, aut[3] = {}, autType[3] = {},
          allowed = 0, paid = 0, deduct = 0, coins = 0;
};

std::string FormatAmount(double amount) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%-.2f", amount);
  return buffer;
}

// The tables and handles of one run of the conversion.
struct PayerRun {
  ConversionTable& claims;
  ConversionTable& newPayers;
  ConversionTable& cob;
  ConversionTable& ids;
  C4Field refLast, newPaySeq, insType;
  IdRowFields id;
  struct {
    C4Field claim, type, seqa, seqb, seqc, grpcd, rsncd, amtcd, amount;
  } co;
  std::vector<std::pair<std::string, std::unique_ptr<ActionItem>>> pending;
  // Where the claim table no longer has the referring name (a data folder
  // already past the name update), its name rows tell instead.
  ConversionTable* nameRows = nullptr;

  bool HasReferringName(long claim) const {
    if (refLast != 0) return !Text(refLast).empty();
    if (nameRows == nullptr) return false;
    d4top(nameRows->get());
    return d4seek(nameRows->get(), (ClaimKey(claim) + "REFC").c_str()) == 0;
  }

  bool HasPayerIdRows(long claim) const {
    d4top(ids.get());
    return d4seek(ids.get(), (ClaimKey(claim) + "MSCP").c_str()) == 0;
  }

  void FlushPayerSlots(long claim, std::array<ActionItem, 3>& slots) {
    slots[2].mspType = slots[1].mspType;
    slots[1].mspType = slots[0].mspType;
    slots[0].mspType.clear();
    if (HasPayerIdRows(claim)) {
      for (ActionItem& s : slots) {
        for (int k = 0; k < 3; ++k) {
          s.aut[k].clear();
          s.autType[k].clear();
        }
      }
    }
    for (const ActionItem& s : slots) {
      bool keep = (!s.mspType.empty() && s.payLob == "MCB") || !s.aut[0].empty() ||
                  !s.aut[1].empty() || !s.aut[2].empty() || s.allowed != 0 || s.paid != 0 ||
                  s.deduct != 0 || s.coins != 0;
      if (keep) pending.emplace_back(std::to_string(claim), std::make_unique<ActionItem>(s));
    }
  }

  bool AppendPayerAuthorization(long claim, const std::string& paySeq, long& counter,
                                const std::string& number, std::string type) {
    if (number.empty()) return true;
    if (type.empty()) {
      d4top(claims.get());
      if (d4seek(claims.get(), ClaimKey(claim).c_str()) == 0) {
        type = HasReferringName(claim) ? "9F" : "G1";
      }
    }
    const long seqb = ParseInteger(paySeq, "payer sequence");
    if (AppendIdRow(ids, id, claim, "MSCP", seqb, counter, number, type) !=
        AppendResult::Written) {
      return false;
    }
    ++counter;
    return true;
  }

  bool AppendPayerAmount(long claim, const std::string& paySeq, bool amountKind,
                         const std::string& reason, const std::string& code, double amount) {
    const char* type = nullptr;
    if (paySeq == "01") type = amountKind ? "MP" : "CP";
    if (paySeq == "02") type = amountKind ? "MS" : "CS";
    if (amount == 0 || type == nullptr) return true;
    const std::string rowType = type;
    const std::string wanted = FormatAmount(amount);
    bool equal = false;
    long largest = 0;
    cob.forEachWithKey(ClaimKey(claim) + rowType, [&] {
      if (Text(co.type) != rowType) return true;
      const bool sameCode = amountKind ? Text(co.amtcd) == code
                                       : Text(co.grpcd) == code && Text(co.rsncd) == reason;
      if (sameCode && FormatAmount(NumberField(co.amount)) == wanted) {
        equal = true;
        return false;
      }
      largest = std::max(largest, CountField(co.seqc, "sequence number"));
      return true;
    });
    if (equal) return true;
    if (!cob.appendBlank()) return false;
    f4assignInt(co.claim, claim);
    f4assign(co.type, rowType.c_str());
    f4assignInt(co.seqa, 0);
    f4assignInt(co.seqb, 0);
    f4assignInt(co.seqc, largest + 1);
    if (amountKind) {
      f4assign(co.amtcd, code.c_str());
    } else {
      f4assign(co.grpcd, code.c_str());
      f4assign(co.rsncd, reason.c_str());
    }
    f4assignDouble(co.amount, amount);
    return cob.writeCurrent();
  }

  // Step two: claim by claim in reading order.
  bool ApplyPending() {
    for (const auto& [key, item] : pending) {
      const long claim = ParseInteger(key, "claim number");
      if (!item->mspType.empty() && item->payLob == "MCB") {
        bool lockFailed = false;
        newPayers.forEachWithKey(ClaimKey(claim), [&] {
          if (d4deleted(newPayers.get()) != 0) return true;
          if (Text(newPaySeq) != item->paySeq) return true;
          if (d4lockInternal(newPayers.get(), d4recNoLow(newPayers.get()), 0, 0) != 0) {
            lockFailed = true;
            return false;
          }
          f4assign(insType, item->mspType.c_str());
          return false;
        });
        if (lockFailed) return false;
      }
      long counter = 1;
      // A row that could not be added is a failed run, never a quietly short one.
      for (int k = 0; k < 3; ++k) {
        if (!AppendPayerAuthorization(claim, item->paySeq, counter, item->aut[k],
                                      item->autType[k])) {
          return false;
        }
      }
      if (!AppendPayerAmount(claim, item->paySeq, true, "", "B6", item->allowed) ||
          !AppendPayerAmount(claim, item->paySeq, true, "", "D", item->paid) ||
          !AppendPayerAmount(claim, item->paySeq, false, "1", "PR", item->deduct) ||
          !AppendPayerAmount(claim, item->paySeq, false, "2", "PR", item->coins)) {
        return false;
      }
    }
    return true;
  }
};

// The update backs up only the payer and row tables; the old claim table it
// reads for the referring name is the copy an earlier update of the same run
// left in the backup folder. An installation already past that update has no
// such copy, so the claim table of the data folder stands in (the update does
// not change it). There the referring name has already moved into the name
// rows beside it.
std::string ClaimFolder(const std::string& oldFolder) {
  namespace fs = talvex::platform;
  if (fs::pathExists(oldFolder + "bsclaim.dbf")) return oldFolder;
  const RunFolders& folders = Folders();
  if (!folders.backup.empty() && oldFolder.rfind(folders.backup, 0) == 0) {
    return folders.data + oldFolder.substr(folders.backup.size());
  }
  return oldFolder;
}

}  // namespace

bool Convert0168(const std::string& oldFolder, const std::string& newFolder) {
  const C4Context c = RunContext();
  ErrorStateScope scope(c);
  ConversionTable claims(c, ClaimFolder(oldFolder), "bsclaim", "C_CLAIM");
  if (!claims.ok()) return false;
  ConversionTable oldPayers(c, oldFolder, "bscpayer", "CP_CLAIM");
  if (!oldPayers.ok()) return false;
  ConversionTable newPayers(c, newFolder, "bscpayer", "CP_CLAIM");
  if (!newPayers.ok()) return false;
  ConversionTable cob(c, newFolder, "bscob", "BY_CLMTYP");
  if (!cob.ok()) return false;
  ConversionTable ids(c, newFolder, "bsrecid", "BY_TYPE");
  if (!ids.ok()) return false;

  PayerRun run{claims, newPayers, cob, ids, claims.field("C_REFLNAME"),
               newPayers.field("CP_PAYSEQ"), newPayers.field("CP_INSTYP"), {}, {}, {}};
  if (!run.id.load(ids)) return false;
  run.co = {cob.field("CO_CLAIM"),  cob.field("CO_TYPE"),  cob.field("CO_LNSEQA"),
            cob.field("CO_LNSEQB"), cob.field("CO_LNSEQC"), cob.field("CO_GRPCD"),
            cob.field("CO_RSNCD"),  cob.field("CO_AMTCD"),  cob.field("CO_AMOUNT")};
  if (!run.co.claim || !run.co.type || !run.co.seqa || !run.co.seqb || !run.co.seqc ||
      !run.co.grpcd || !run.co.rsncd || !run.co.amtcd || !run.co.amount) {
    return false;
  }
  if (run.newPaySeq == 0 || run.insType == 0) return false;
  std::unique_ptr<ConversionTable> nameRows;
  if (run.refLast == 0) {
    nameRows = std::make_unique<ConversionTable>(c, ClaimFolder(oldFolder), "bsrecnm", "BY_TYPE");
    if (!nameRows->ok()) return false;
    run.nameRows = nameRows.get();
  }
  PayerReadFields p;
  p.claim = oldPayers.field("CP_CLAIM");
  p.paySeq = oldPayers.field("CP_PAYSEQ");
  p.mspType = oldPayers.field("CP_MSPTYP");
  p.payLob = oldPayers.field("CP_PAYLOB");
  static const char* const kAut[3][2] = {
      {"CP_PRIAUT", "CP_PRIATP"}, {"CP_PRIAUT2", "CP_PRIATP2"}, {"CP_PRIAUT3", "CP_PRIATP3"}};
  for (int k = 0; k < 3; ++k) {
    p.aut[k] = oldPayers.field(kAut[k][0]);
    p.autType[k] = oldPayers.field(kAut[k][1]);
  }
  p.allowed = oldPayers.field("CP_ALLOW");
  p.paid = oldPayers.field("CP_PAID");
  p.deduct = oldPayers.field("CP_DEDUCT");
  p.coins = oldPayers.field("CP_COINS");
  if (p.claim == 0) return false;
  code4errorCode(c, 0);

  std::array<ActionItem, 3> slots;
  bool havePrevious = false;
  long previous = 0;
  const bool walked = oldPayers.forEachLive([&] {
    const long claim = IntegerField(p.claim, "claim number");
    if (havePrevious && claim != previous) {
      run.FlushPayerSlots(previous, slots);
      slots = {};
    }
    const std::string seq = Text(p.paySeq);
    ActionItem& s = slots[seq == "01" ? 0 : seq == "02" ? 1 : 2];
    s.paySeq = seq;
    s.mspType = Text(p.mspType);
    s.payLob = Text(p.payLob);
    for (int k = 0; k < 3; ++k) {
      s.aut[k] = Text(p.aut[k]);
      s.autType[k] = Text(p.autType[k]);
    }
    s.allowed = NumberField(p.allowed);
    s.paid = NumberField(p.paid);
    s.deduct = NumberField(p.deduct);
    s.coins = NumberField(p.coins);
    previous = claim;
    havePrevious = true;
    return true;
  });
  if (!walked) return false;
  if (havePrevious) run.FlushPayerSlots(previous, slots);
  if (!run.ApplyPending()) return false;
  // The buffered writes reach the files here, so their failures are the run's.
  return cob.reindex() && ids.reindex() && d4flush(newPayers.get()) == 0 &&
         d4flush(cob.get()) == 0 && d4flush(ids.get()) == 0;
}

}  // namespace talvex::tabmend::conversions
