// Mending an ".mdx" production index that lost its tail (a copy or write cut
// short): when its header and every tag header are still whole but the file
// is shorter than the header's block count, the missing blocks are added as
// zero bytes so the index opens and a reindex can rebuild every tag from the
// tag headers. Node pages are not read; the reindex rewrites them.
// Raw bytes through platform; the file must not be open elsewhere.
#pragma once

#include <string_view>

namespace talvex::tabmend {

// True when the file was lengthened; false when it is missing, already long
// enough, or its header or tag list is not whole (nothing is then written).
[[nodiscard]] bool RestoreIndexLength(std::string_view mdxPath);

}  // namespace talvex::tabmend
