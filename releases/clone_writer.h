// Writing tables of a given layout to disk through the table engine: the
// clone folders of every release step, and the data tables of any release.
//
// Contract: every function takes the caller's engine context (code4initP) and
// leaves it with no table open and its error state cleared. Folders are host
// texts with or without a trailing "\"; missing folders are created with
// their parents. Existing table files of the same name are overwritten. Each
// table is written as base + ".dbf", plus ".mdx" when it has tags and ".dbt"
// when it has memo fields. Results are booleans; on failure *error (if given)
// names the table or folder and the engine's text, and tables written before
// the failure stay on disk. Single-threaded, like the context it uses.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "c4dll.h"
#include "releases/table_layout.h"

namespace talvex::releases {

// One empty table in `folder`.
[[nodiscard]] bool CreateTable(C4Context context, std::string_view folder, const TableLayout& layout,
                 std::string* error = nullptr);

// Every table of `tables`, empty, in `folder`.
[[nodiscard]] bool CreateTableSet(C4Context context, std::string_view folder,
                    std::span<const TableLayout> tables, std::string* error = nullptr);

// serverDirectory + "update\clone\updtNNNN\" for every clone folder of the
// catalogue, each holding the empty tables its updates copy, in the layout of
// that release step (CloneLayout).
[[nodiscard]] bool WriteCloneFolders(C4Context context, std::string_view serverDirectory,
                       std::string* error = nullptr);

}  // namespace talvex::releases
