// The central flu biller question: when it is asked, with which default, and
// what the answer does to the claim's prior authorization.
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/message_box.h"
#include "roster_fixture.h"

namespace talvex::qmrbsrst::testing {
namespace {

struct Question {
  int asked = 0;
  std::string title, text;
  bool defaultYes = false;
  bool answer = false;
};

bool Answer(void* context, std::string_view title, std::string_view text, bool defaultYes) {
  auto* q = static_cast<Question*>(context);
  ++q->asked;
  q->title = title;
  q->text = text;
  q->defaultYes = defaultYes;
  return q->answer;
}

using CentralFluBiller = RosterFixture;

TEST_F(CentralFluBiller, QuestionAndSettingsDecideThePriorAuthorization) {
  struct Case {
    const char* name;
    const char* type;
    bool prompt, defaultYes, answer;
    bool asked, flagged;
  };
  const Case cases[] = {
      {"asked, default Yes, answered Yes", "I", true, true, true, true, true},
      {"asked, default No, answered No", "I", true, false, false, true, false},
      {"the answer overrides the default", "I", true, true, false, true, false},
      {"asked, default No, answered Yes", "I", true, false, true, true, true},
      {"no prompt: the default stands", "I", false, true, false, false, true},
      {"no prompt, default No", "I", false, false, true, false, false},
      {"not an influenza roster", "P", true, true, true, false, false},
  };
  int roster = kRoster;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ++roster;
    std::ofstream(dir_ + "BSRSTER.CTL")
        << "Needs_Central_Flu_Biller_Prompt=" << (c.prompt ? "yes" : "no") << "\r\n"
        << "Central_Flu_Biller_Default=" << (c.defaultYes ? "YES" : "NO") << "\r\n";
    Row header = header_;
    for (auto& [field, value] : header) {
      if (field == "R_ROSTER") value = std::to_string(roster);
      if (field == "R_TYPE") value = c.type;
    }
    AppendRow(context_, dir_, "bsroster", header);
    const std::string pcn = "F" + std::to_string(roster);
    AddLine(1, pcn, "DOE", roster);

    Question q;
    q.answer = c.answer;
    platform::setYesNoResponder(&Answer, &q);
    TGenerateRosterClaimsCall call = MakeCall();
    call.rosterNumber = roster;
    const int32_t code = Generate(&call);
    platform::setYesNoResponder(nullptr, nullptr);
    ASSERT_EQ(code, 0);

    EXPECT_EQ(q.asked, c.asked ? 1 : 0);
    if (c.asked) {
      EXPECT_EQ(q.title, "Central Flu Biller Designation");
      EXPECT_EQ(q.text, "Is this a Central Flu Biller roster?");
      EXPECT_EQ(q.defaultYes, c.defaultYes);
    }
    // This layout of BSCPAYER has no authorization fields: the authorization
    // travels as the payer's reference ID.
    int32_t claim = 0;
    for (const StoredClaim& h : LiveClaims()) {
      if (h.fields.at("C_PCN") == pcn) claim = h.claim;
    }
    ASSERT_NE(claim, 0);
    std::vector<std::string> payerIds;
    for (const StoredClaim& id : Live("bsrecid", "ID_CLAIM")) {
      if (id.claim != claim || id.fields.at("ID_TYPE") != "MSCP") continue;
      payerIds.push_back(id.fields.at("ID_ID") + "/" + id.fields.at("ID_IDTP") + "/" +
                         id.fields.at("ID_SEQB"));
    }
    EXPECT_EQ(payerIds, c.flagged ? std::vector<std::string>{"39/P4/1"}
                                  : std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace talvex::qmrbsrst::testing
