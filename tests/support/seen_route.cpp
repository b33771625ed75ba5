#include "support/seen_route.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text.h"

namespace cs::test {

std::map<std::u16string, platform::DirEntry> Listing(const std::u16string& folder) {
    std::map<std::u16string, platform::DirEntry> out;
    platform::DirReader reader;
    EXPECT_EQ(reader.Open(folder), platform::Status::Ok);
    platform::DirEntry entry;
    while (reader.Next(entry))
        out.emplace(entry.name, entry);
    return out;
}

platform::ItemFacts FactsOf(const platform::DirEntry& entry) {
    platform::ItemFacts facts;
    facts.isFolder = entry.isDirectory;
    facts.size = entry.isDirectory ? 0 : entry.size;
    facts.mtime = entry.mtime;
    facts.device = entry.device;
    facts.inode = entry.inode;
    return facts;
}

Seen Scanned(const TempTree& tree, const std::string& relative) {
    return Scanned(tree.Root16(), relative);
}

Seen Scanned(const std::u16string& root, const std::string& relative) {
    Seen seen;
    seen.route.rootPath = root;
    seen.route.root.isFolder = true;
    EXPECT_TRUE(
        platform::FolderIdentity(root, seen.route.root.device, seen.route.root.inode));
    std::u16string folder = root;
    const std::u16string path = ToU16(std::filesystem::path(relative).make_preferred());
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(platform::kPathSeparator, start);
        const std::u16string name = path.substr(start, end - start);
        const auto entries = Listing(folder);
        const auto found = entries.find(name);
        EXPECT_NE(found, entries.end()) << relative;
        const platform::ItemFacts facts =
            found == entries.end() ? platform::ItemFacts{} : FactsOf(found->second);
        if (end == std::u16string::npos) {
            seen.route.name = name;
            seen.item = facts;
            return seen;
        }
        seen.route.folders.push_back({name, facts});
        folder = platform::JoinPath(folder, name);
        start = end + 1;
    }
}

}  // namespace cs::test
