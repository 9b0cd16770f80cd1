// The catalogue of the 88 numbered updates, one RestructureSpec row each.
//
// Contract: Catalogue() is constant data with static storage, sorted by
// ascending number, and is the run list (numbers missing from it belong to no
// update). Pointers and spans stay valid for the life of the process; safe to
// read from any thread. Nothing here touches a file.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "catalogue/catalogue_row.h"

namespace talvex::tabmend {

inline constexpr int kCatalogueSize = 88;

std::span<const RestructureSpec> Catalogue();

// The row of an update number, or nullptr when no update has that number.
const RestructureSpec* FindRestructureSpec(int number);

// The clone directory C of an update: serverDirectory + "update\clone\" + its
// clone folder, without a trailing "\" (serverDirectory ends in "\" or is empty).
std::string CloneDirectory(std::string_view serverDirectory, const RestructureSpec& row);

}  // namespace talvex::tabmend
