// What a scan would have recorded on its way to one item below a test
// tree: the root's identity, each folder's entry in its parent, the item's
// own entry. The checked removal's cases start from it, then change the
// disk the way users and other programs do.
#pragma once

#include <map>
#include <string>

#include "platform/checked_removal.h"
#include "platform/dir.h"
#include "support/temp_tree.h"

namespace cs::test {

struct Seen {
    platform::ItemRoute route;
    platform::ItemFacts item;
};

// `relative` is '/'-separated below the tree's root (or `root`).
Seen Scanned(const TempTree& tree, const std::string& relative);
Seen Scanned(const std::u16string& root, const std::string& relative);

// A folder's entries by name, as the walk lists them.
std::map<std::u16string, platform::DirEntry> Listing(const std::u16string& folder);

platform::ItemFacts FactsOf(const platform::DirEntry& entry);

}  // namespace cs::test
