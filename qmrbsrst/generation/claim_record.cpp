#include "qmrbsrst/generation/claim_record.h"

#include "qmrbsrst/settings/text_fit.h"

namespace talvex::qmrbsrst {

std::string Cut(std::string_view text, size_t width) {
  return std::string(text.substr(0, width));
}

void AddReferenceId(RefIdList* list, std::string_view qualifier, std::string_view id,
                    std::string_view payerId) {
  std::string q(Trim(qualifier));
  const std::string i = Cut(Trim(id), 50);
  const std::string p = Cut(Trim(payerId), 30);
  if (i.empty()) return;
  if (q == "E") q = "24";
  else if (q == "S") q = "34";
  else if (q == "X") q = "XX";
  q = Cut(q, 3);
  for (const TRefIDRecord& r : *list) {
    if (r.id == i && r.qualifier == q && r.payerId == p) return;
  }
  list->push_back(TRefIDRecord{i, q, p});
}

}  // namespace talvex::qmrbsrst
