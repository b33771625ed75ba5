#include "engine/scan.h"

#include <vector>

#include "engine/grouping.h"
#include "engine/names.h"
#include "engine/strings.h"
#include "engine/walk_filter.h"
#include "platform/dir.h"
#include "platform/text.h"

namespace cs::engine {

std::u16string ScanProgress::CurrentFolder() const {
    std::lock_guard<std::mutex> lock(folderMutex_);
    return currentFolder_;
}

void ScanProgress::SetCurrentFolder(const std::u16string& folder) {
    std::lock_guard<std::mutex> lock(folderMutex_);
    currentFolder_ = folder;
}

namespace {

// (device, inode) pairs already met, in a flat open-addressing table: a
// node-based set would cost several times the memory on a large tree.
class IdentitySet {
public:
    IdentitySet() : slots_(1024) {}

    // True when the pair was not yet in the set.
    bool Insert(uint64_t device, uint64_t inode) {
        if (device == 0 && inode == 0)
            return true;  // no identity to compare
        if ((count_ + 1) * 2 > slots_.size())
            Grow();
        if (InsertInto(slots_, device, inode)) {
            ++count_;
            return true;
        }
        return false;
    }

private:
    // Inode 0 is never a real file's, so an all-zero slot is free.
    struct Slot {
        uint64_t device = 0;
        uint64_t inode = 0;
        bool Used() const { return device != 0 || inode != 0; }
    };

    static size_t Hash(uint64_t device, uint64_t inode) {
        uint64_t h = (inode ^ (device * 0x9E3779B97F4A7C15ull)) * 0xff51afd7ed558ccdull;
        return static_cast<size_t>(h ^ (h >> 29));
    }

    static bool InsertInto(std::vector<Slot>& slots, uint64_t device, uint64_t inode) {
        const size_t mask = slots.size() - 1;
        for (size_t i = Hash(device, inode) & mask;; i = (i + 1) & mask) {
            Slot& s = slots[i];
            if (!s.Used()) {
                s = Slot{device, inode};
                return true;
            }
            if (s.device == device && s.inode == inode)
                return false;
        }
    }

    void Grow() {
        std::vector<Slot> bigger(slots_.size() * 2);
        for (const Slot& s : slots_) {
            if (s.Used())
                InsertInto(bigger, s.device, s.inode);
        }
        slots_.swap(bigger);
    }

    std::vector<Slot> slots_;
    size_t count_ = 0;
};

platform::ItemFacts FactsOf(const platform::DirEntry& entry) {
    platform::ItemFacts facts;
    facts.size = entry.size;
    facts.mtime = entry.mtime;
    if (entry.hasIdentity) {
        facts.device = entry.device;
        facts.inode = entry.inode;
    }
    facts.isFolder = entry.isDirectory;
    return facts;
}

class Walk {
public:
    Walk(const ScanOptions& options, ScanResults& results, const std::atomic<uint8_t>& cancel,
         ScanProgress* progress, const NamePatterns& patterns, const ScanHooks& hooks,
         const platform::ItemFacts& rootFacts)
        : options_(options),
          results_(results),
          cancel_(cancel),
          progress_(progress),
          grouper_(options, patterns, results, cancel, progress, hooks),
          trash_(results.root, rootFacts),
          filter_(options.filter, results.root, rootFacts.device) {
        folders_.Insert(rootFacts.device, rootFacts.inode);
    }

    bool Run(const platform::ItemFacts& rootFacts) {
        bool completed = ScanFolder(results_.root, rootFacts, trash_.RootPlace());
        for (size_t r = 0; completed && r < options_.moreRoots.size(); ++r)
            completed = ScanMoreRoot(options_.moreRoots[r]);
        return grouper_.Finish(completed) && completed;
    }

private:
    // Several roots are one walk: one grouper, one set of identities, so a
    // root met already (itself, or inside an earlier root) adds nothing.
    bool ScanMoreRoot(const std::u16string& given) {
        std::u16string root;
        platform::ItemFacts facts;
        if (!platform::ResolveRoot(given, root, facts)) {
            ++results_.skips.foldersNotListed;
            return !Cancelled();
        }
        if (!folders_.Insert(facts.device, facts.inode))
            return true;
        results_.moreRoots.push_back(root);
        trash_ = platform::TrashFolders(root, facts);
        filter_ = EntryFilter(options_.filter, root, facts.device);
        return ScanFolder(root, facts, trash_.RootPlace());
    }

    bool Cancelled() const { return cancel_.load(std::memory_order_relaxed) != 0; }

    bool ScanFolder(const std::u16string& path, const platform::ItemFacts& facts,
                    const platform::FolderPlace& place) {
        platform::DirReader reader;
        if (reader.Open(path) != platform::Status::Ok) {
            // What could not be listed is said, so that "no duplicates"
            // can be told from "could not look". Only the root's path is
            // that short; every folder below is longer.
            if (path.size() == results_.root.size())
                results_.rootListed = false;
            else
                ++results_.skips.foldersNotListed;
            return !Cancelled();
        }
        results_.folders.emplace(path, facts);
        if (progress_)
            progress_->SetCurrentFolder(path);

        const uint32_t criteria = options_.criteria;
        const bool recursive = criteria & CRIT_RECURSIVE;
        platform::DirEntry entry;
        while (reader.Next(entry)) {
            // Links are never listed nor followed; a non-recursive scan
            // lists no folder at all.
            if (entry.isReparsePoint)
                continue;
            if (!recursive && entry.isDirectory)
                continue;
            if (Cancelled())
                return false;
            if (entry.isSystem || entry.isSpecial)
                continue;
            // Group members are kept as paths joined by line feeds, so a
            // name holding one (possible on Linux) would split into two
            // paths, one of which may name a different, real file.
            if (entry.name.find(u'\n') != std::u16string::npos)
                continue;
            if (!filter_.Admits(path, entry))
                continue;

            if (entry.isDirectory) {
                if (trash_.LeavesOut(place, entry))
                    continue;
                // A folder met twice (a bind mount, or a mount loop) would
                // list its files twice or never end.
                if (entry.hasIdentity && !folders_.Insert(entry.device, entry.inode))
                    continue;
                const std::u16string full = platform::JoinPath(path, entry.name);
                const platform::ItemFacts folder = FactsOf(entry);
                if (criteria & CRIT_SIMILAR_FOLDERS)
                    grouper_.AddFolder(full, entry.name, folder);
                if (!ScanFolder(full, folder, trash_.PlaceOf(place, entry)))
                    return false;
                continue;
            }

            // One physical file is listed once: deleting "the copy" that is
            // a second name of the same file would delete the only copy.
            // Only a file that takes part claims its identity: a second name
            // left out by the filters (a ".bak" link to a ".jpg") must not
            // hide the name that passes them.
            if (entry.size == 0) {
                if ((criteria & CRIT_LIST_ZERO_BYTE) && FirstName(entry)) {
                    grouper_.AddZeroByteFile(platform::JoinPath(path, entry.name), FactsOf(entry));
                }
                continue;
            }
            if (!options_.extensionFilter.empty()) {
                std::u16string needle = u"|";
                needle += ExtensionOf(entry.name);
                needle += u'|';
                if (FindText(options_.extensionFilter, needle, false) == 0)
                    continue;
            }
            if (!FirstName(entry))
                continue;
            if (progress_)
                progress_->filesSeen.fetch_add(1, std::memory_order_relaxed);
            if (!grouper_.AddFile(platform::JoinPath(path, entry.name), entry.name,
                                  FactsOf(entry), entry.ctime)) {
                return false;
            }
        }
        return !Cancelled();
    }

    // Only files with more than one name are remembered: on a tree of
    // small files the set of every identity was a tenth of the memory.
    bool FirstName(const platform::DirEntry& entry) {
        return !entry.hasIdentity || entry.links == 1 || files_.Insert(entry.device, entry.inode);
    }

    const ScanOptions& options_;
    ScanResults& results_;
    const std::atomic<uint8_t>& cancel_;
    ScanProgress* progress_;
    Grouper grouper_;
    platform::TrashFolders trash_;  // the current root's
    EntryFilter filter_;            // likewise
    IdentitySet folders_;
    IdentitySet files_;
};

}  // namespace

ScanOutcome RunScan(const ScanOptions& options, ScanResults& results,
                    const std::atomic<uint8_t>& cancelRequested, ScanProgress* progress,
                    const ScanHooks& hooks) {
    results.Reset();
    // The root is resolved once, here: the user named it, so a link to a
    // folder or a path with trailing separators means that folder. Every
    // path of the results starts with the resolved root, and below it the
    // walk follows no link.
    platform::ItemFacts rootFacts;
    if (!platform::ResolveRoot(options.rootPath, results.root, rootFacts)) {
        results.root = platform::StripTrailingSeparators(options.rootPath);
        results.rootListed = false;
        return ScanOutcome::Completed;
    }
    NamePatterns patterns;
    patterns.Compile();
    Walk walk(options, results, cancelRequested, progress, patterns, hooks, rootFacts);
    const bool completed = walk.Run(rootFacts);
    // Joined paths grew by doubling; what stays is held until the next scan.
    for (MatchGroup& g : results.matchGroups) {
        g.paths.shrink_to_fit();
        g.facts.shrink_to_fit();
    }
    return completed ? ScanOutcome::Completed : ScanOutcome::Cancelled;
}

}  // namespace cs::engine
