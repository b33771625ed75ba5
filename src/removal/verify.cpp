#include "removal/verify.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>

#include "platform/file.h"
#include "platform/text.h"
#include "results/list_text.h"

namespace cs::removal {

using platform::ItemCheck;
using platform::ItemFacts;
using platform::ItemRoute;

ScanRecord::ScanRecord(const engine::ScanResults& results, uint32_t criteria)
    : results_(&results), exactContents_((criteria & engine::CRIT_EXACT_CONTENTS) != 0) {
    auto add = [this](const std::u16string& joined, const std::vector<ItemFacts>& facts) {
        size_t i = 0;
        for (std::u16string_view path : engine::SplitPaths(joined)) {
            if (i < facts.size())
                items_.emplace(std::u16string(path), facts[i]);
            ++i;
        }
    };
    for (const engine::MatchGroup& g : results.matchGroups) {
        add(g.paths, g.facts);
        if (!g.proved)
            for (std::u16string_view path : engine::SplitPaths(g.paths))
                unproved_.emplace(path);
    }
    for (const engine::FolderGroup& g : results.folderGroups)
        add(g.paths, g.facts);
    for (size_t i = 0; i < results.zeroByteFiles.size() && i < results.zeroByteFacts.size(); ++i)
        items_.emplace(results.zeroByteFiles[i], results.zeroByteFacts[i]);
}

const ItemFacts* ScanRecord::Facts(const std::u16string& path) const {
    const auto it = items_.find(path);
    return it == items_.end() ? nullptr : &it->second;
}

bool ScanRecord::Route(const std::u16string& path, ItemRoute& route) const {
    if (!results_ || results_->root.empty())
        return false;
    const std::u16string* found = nullptr;
    size_t start = 0;
    for (size_t r = 0; r <= results_->moreRoots.size(); ++r) {
        const std::u16string& candidate = r == 0 ? results_->root : results_->moreRoots[r - 1];
        if (candidate.empty())
            continue;
        // The Linux root "/" already ends in the separator its children follow.
        const size_t from = candidate.back() == platform::kPathSeparator ? candidate.size()
                                                                         : candidate.size() + 1;
        if (path.size() > from && path.compare(0, candidate.size(), candidate) == 0 &&
            (from == candidate.size() || path[candidate.size()] == platform::kPathSeparator) &&
            (!found || candidate.size() > found->size())) {
            found = &candidate;
            start = from;
        }
    }
    if (!found)
        return false;
    const std::u16string& root = *found;
    const auto rootFacts = results_->folders.find(root);
    if (rootFacts == results_->folders.end())
        return false;
    route = ItemRoute{};
    route.rootPath = root;
    route.root = rootFacts->second;
    size_t from = start;
    for (;;) {
        const size_t sep = path.find(platform::kPathSeparator, from);
        if (sep == std::u16string::npos)
            break;
        if (sep == from)
            return false;  // an empty name: not a path the walk made
        const auto folder = results_->folders.find(path.substr(0, sep));
        if (folder == results_->folders.end())
            return false;
        route.folders.push_back({path.substr(from, sep - from), folder->second});
        from = sep + 1;
    }
    route.name = path.substr(from);
    return !route.name.empty();
}

std::string WhyText(Why why, ItemCheck check) {
    switch (why) {
        case Why::Verified:
            return "verified";
        case Why::NotListed:
            return "not an item this scan listed";
        case Why::ItemChanged:
            return platform::ItemCheckText(check);
        case Why::NoKeeper:
            return "no other copy of its group stays";
        case Why::HoldsLastCopy:
            return "holds a file whose every copy would go";
        case Why::KeeperDiffers:
            return "unverified: no copy that stays has the same contents";
        case Why::NotCompared:
            return "unverified: the contents could not be read to compare";
        case Why::NoCopyBelow:
            return "unverified: holds a file with no identical copy outside it that stays";
        case Why::KeeperGone:
            return "the copy it relied on changed or went since the check";
        case Why::NotRemoved:
            return platform::ItemCheckText(check);
        case Why::Cancelled:
            return "cancelled";
    }
    return "unknown";
}

VerdictCounts CountVerdicts(const std::vector<ItemVerdict>& verdicts) {
    VerdictCounts counts;
    for (const ItemVerdict& v : verdicts) {
        if (v.verdict == Verdict::Verified)
            ++counts.verified;
        else if (v.verdict == Verdict::Unverified)
            ++counts.unverified;
        else
            ++counts.refused;
    }
    return counts;
}

bool IsSystemRefusal(ItemCheck check) {
    // The shell's names count too: the item was still the one verified,
    // only the recycle bin could not be handed it.
    switch (check) {
        case ItemCheck::NotRemoved:
        case ItemCheck::NotTrashed:
        case ItemCheck::ShellNameEndsWithDotOrSpace:
        case ItemCheck::ShellDeviceName:
        case ItemCheck::ShellPathTooLong:
            return true;
        default:
            return false;
    }
}

bool Permitted(const ItemVerdict& verdict, const RemovalPolicy& policy) {
    switch (verdict.verdict) {
        case Verdict::Verified:
            return true;
        case Verdict::Unverified:
            return policy.allowUnverified;
        case Verdict::Refused:
            return verdict.why == Why::NoKeeper && policy.allowAllCopies;
    }
    return false;
}

namespace {

bool SameFile(const ItemFacts& now, const ItemFacts& seen) {
    if (seen.HasIdentity() && !now.SameIdentity(seen))
        return false;
    return now.isFolder == seen.isFolder &&
           (now.isFolder || (now.size == seen.size && now.mtime == seen.mtime));
}

enum class Sameness { Same, Different, Failed, Cancelled };

constexpr size_t kCompareChunk = 1 << 20;

// Both files in full, each opened and checked to be the file looked at.
Sameness CompareContents(const std::u16string& a, const ItemFacts& aFacts, const std::u16string& b,
                         const ItemFacts& bFacts, const std::atomic<uint8_t>& cancel,
                         std::atomic<uint64_t>* bytes) {
    if (aFacts.size != bFacts.size)
        return Sameness::Different;
    platform::FileReader ra, rb;
    if (ra.Open(a) != platform::Status::Ok || rb.Open(b) != platform::Status::Ok)
        return Sameness::Failed;
    ItemFacts fa, fb;
    if (ra.ReadFacts(fa) && !SameFile(fa, aFacts))
        return Sameness::Failed;
    if (rb.ReadFacts(fb) && !SameFile(fb, bFacts))
        return Sameness::Failed;
    ra.HintSequential();
    rb.HintSequential();
    std::unique_ptr<char[]> bufA(new char[kCompareChunk]);
    std::unique_ptr<char[]> bufB(new char[kCompareChunk]);
    uint64_t done = 0;
    while (done < aFacts.size) {
        if (cancel.load(std::memory_order_relaxed) != 0)
            return Sameness::Cancelled;
        const int64_t na = ra.Read(bufA.get(), kCompareChunk);
        if (na < 0)
            return Sameness::Failed;
        if (na == 0)
            break;
        // Fill the same span from b: reads may come back short.
        int64_t nb = 0;
        while (nb < na) {
            const int64_t n = rb.Read(bufB.get() + nb, static_cast<size_t>(na - nb));
            if (n <= 0)
                return n < 0 ? Sameness::Failed : Sameness::Different;
            nb += n;
        }
        if (std::memcmp(bufA.get(), bufB.get(), static_cast<size_t>(na)) != 0)
            return Sameness::Different;
        done += static_cast<uint64_t>(na);
        if (bytes)
            bytes->fetch_add(2 * static_cast<uint64_t>(na), std::memory_order_relaxed);
    }
    if (done != aFacts.size)
        return Sameness::Failed;  // shorter than it said: it changed
    char extra;
    return rb.Read(&extra, 1) == 0 ? Sameness::Same : Sameness::Different;
}

// Whether `path` lies somewhere below `folder`.
bool IsInside(std::u16string_view path, std::u16string_view folder) {
    if (folder.empty() || path.size() <= folder.size() + 1)
        return false;
    std::u16string prefix(folder);
    if (prefix.back() != platform::kPathSeparator)
        prefix.push_back(platform::kPathSeparator);
    return path.size() > prefix.size() &&
           results::SameFolder(path.substr(0, prefix.size()), prefix);
}

class Checker {
public:
    Checker(const std::vector<RowSnapshot>& rows, const ScanRecord& record,
            const std::atomic<uint8_t>& cancel, std::atomic<uint64_t>* bytes)
        : rows_(rows), record_(record), cancel_(cancel), bytes_(bytes) {
        for (size_t r = 0; r < rows.size(); ++r) {
            const RowSnapshot& row = rows[r];
            if (row.run < 0)
                continue;
            if (row.ticked && row.group == results::kFolderGroup)
                tickedFolders_.push_back(row.path);
            if (row.group == results::kFileGroup)
                fileRowOf_.emplace(row.path, r);
        }
    }

    ItemVerdict Judge(int32_t r) {
        const RowSnapshot& row = rows_[static_cast<size_t>(r)];
        ItemVerdict v;
        v.row = r;
        v.path = row.path;
        const ItemFacts* seen = record_.Facts(row.path);
        ItemFacts now;
        if (!seen || !Look(row.path, now, v.check))
            return Refuse(std::move(v), seen ? Why::ItemChanged : Why::NotListed);
        if (!SameFile(now, *seen)) {
            v.check = now.SameIdentity(*seen) || !seen->HasIdentity() ? ItemCheck::Changed
                                                                      : ItemCheck::Replaced;
            return Refuse(std::move(v), Why::ItemChanged);
        }
        switch (row.group) {
            case results::kZeroByteGroup:
                // Nothing of an empty file can be lost but its name.
                v.verdict = Verdict::Verified;
                v.why = Why::Verified;
                return v;
            case results::kFolderGroup:
                return JudgeFolder(std::move(v), *seen);
            default:
                return JudgeFile(std::move(v), r, *seen);
        }
    }

private:
    static ItemVerdict Refuse(ItemVerdict v, Why why) {
        v.verdict = Verdict::Refused;
        v.why = why;
        return v;
    }

    bool Cancelled() const { return cancel_.load(std::memory_order_relaxed) != 0; }

    bool Look(const std::u16string& path, ItemFacts& now, ItemCheck& check) const {
        ItemRoute route;
        if (!record_.Route(path, route)) {
            check = ItemCheck::PathChanged;
            return false;
        }
        check = platform::InspectItem(route, now);
        return check == ItemCheck::Ok;
    }

    // Whether the item goes with this removal: ticked, or below a ticked
    // folder.
    bool Goes(const std::u16string& path, bool ticked) const {
        if (ticked)
            return true;
        return std::any_of(tickedFolders_.begin(), tickedFolders_.end(),
                           [&](const std::u16string& f) { return IsInside(path, f); });
    }

    // The members of a file's match group that stay, unchanged since the
    // scan, other physical files than `self`, and not below `outside`.
    std::vector<Relied> StayingMembers(size_t fileRow, const ItemFacts& self,
                                       std::u16string_view outside) const {
        std::vector<Relied> keepers;
        const int32_t run = rows_[fileRow].run;
        size_t first = fileRow;
        while (first > 0 && rows_[first - 1].run == run)
            --first;
        for (size_t m = first; m < rows_.size() && rows_[m].run == run; ++m) {
            const RowSnapshot& member = rows_[m];
            if (m == fileRow || Goes(member.path, member.ticked) || IsInside(member.path, outside))
                continue;
            const ItemFacts* seen = record_.Facts(member.path);
            ItemFacts now;
            ItemCheck check;
            if (!seen || !Look(member.path, now, check) || !SameFile(now, *seen) ||
                now.SameIdentity(self))
                continue;
            keepers.push_back({member.path, *seen});
        }
        return keepers;
    }

    // Among `keepers`, the first with the same bytes as the file; under
    // exact contents any unchanged keeper has them by the scan's proof.
    Sameness FindSame(const std::u16string& path, const ItemFacts& facts,
                      std::vector<Relied>& keepers, bool scanProved) const {
        if (scanProved)
            return keepers.empty() ? Sameness::Different : Sameness::Same;
        bool failed = false;
        for (const Relied& k : keepers) {
            const Sameness s = CompareContents(path, facts, k.path, k.facts, cancel_, bytes_);
            if (s == Sameness::Same) {
                keepers = {k};
                return s;
            }
            if (s == Sameness::Cancelled)
                return s;
            failed = failed || s == Sameness::Failed;
        }
        return failed ? Sameness::Failed : Sameness::Different;
    }

    ItemVerdict JudgeFile(ItemVerdict v, int32_t r, const ItemFacts& seen) {
        std::vector<Relied> keepers = StayingMembers(static_cast<size_t>(r), seen, u"");
        if (keepers.empty())
            return Refuse(std::move(v), Why::NoKeeper);
        const Sameness same = FindSame(v.path, seen, keepers, record_.ProvedByScan(v.path));
        v.detail = keepers.front().path;
        if (same == Sameness::Same) {
            v.verdict = Verdict::Verified;
            v.why = Why::Verified;
            v.needs.push_back(std::move(keepers));
            return v;
        }
        if (same == Sameness::Cancelled)
            return Refuse(std::move(v), Why::Cancelled);
        v.verdict = Verdict::Unverified;
        v.why = same == Sameness::Failed ? Why::NotCompared : Why::KeeperDiffers;
        v.needs.push_back(std::move(keepers));
        return v;
    }

    ItemVerdict JudgeFolder(ItemVerdict v, const ItemFacts& seen) {
        // Keeper folders: other members of the folder group that stay and
        // neither hold nor sit inside this one.
        const size_t self = static_cast<size_t>(v.row);
        const int32_t run = rows_[self].run;
        std::vector<Relied> keeperFolders;
        for (size_t m = 0; m < rows_.size(); ++m) {
            const RowSnapshot& member = rows_[m];
            if (member.run != run || m == self || Goes(member.path, member.ticked) ||
                IsInside(member.path, v.path) || IsInside(v.path, member.path))
                continue;
            const ItemFacts* facts = record_.Facts(member.path);
            ItemFacts now;
            ItemCheck check;
            if (facts && Look(member.path, now, check) && SameFile(now, *facts) &&
                !now.SameIdentity(seen))
                keeperFolders.push_back({member.path, *facts});
        }
        if (keeperFolders.empty())
            return Refuse(std::move(v), Why::NoKeeper);
        v.needs.push_back(keeperFolders);

        ItemRoute route;
        if (!record_.Route(v.path, route)) {
            v.check = ItemCheck::PathChanged;
            return Refuse(std::move(v), Why::ItemChanged);
        }
        v.check = platform::ListFolderTree(route, v.below);
        v.treeListed = v.check == ItemCheck::Ok;
        if (v.check != ItemCheck::Ok)
            return Refuse(std::move(v), Why::ItemChanged);

        Why unverified = Why::Verified;
        for (const platform::TreeFile& file : v.below) {
            if (Cancelled())
                return Refuse(std::move(v), Why::Cancelled);
            const std::u16string path = platform::JoinPath(v.path, file.relativePath);
            std::vector<Relied> copies;
            bool scanProved = false;
            if (const auto it = fileRowOf_.find(path); it != fileRowOf_.end()) {
                const ItemFacts* listed = record_.Facts(path);
                copies = StayingMembers(it->second, file.facts, v.path);
                scanProved = record_.ProvedByScan(path) && listed && SameFile(file.facts, *listed);
                if (copies.empty()) {
                    v.detail = path;
                    return Refuse(std::move(v), Why::HoldsLastCopy);
                }
            }
            Sameness same = FindSame(path, file.facts, copies, scanProved);
            if (same != Sameness::Same && same != Sameness::Cancelled) {
                // The natural copy: the same place below a keeper folder.
                std::vector<Relied> twins = TwinsBelow(keeperFolders, file, path);
                same = FindSame(path, file.facts, twins, false);
                if (same == Sameness::Same)
                    copies = std::move(twins);
            }
            if (same == Sameness::Cancelled)
                return Refuse(std::move(v), Why::Cancelled);
            if (same == Sameness::Same) {
                v.needs.push_back(std::move(copies));
                continue;
            }
            if (unverified == Why::Verified) {
                unverified = same == Sameness::Failed ? Why::NotCompared : Why::NoCopyBelow;
                v.detail = path;
            }
        }
        v.verdict = unverified == Why::Verified ? Verdict::Verified : Verdict::Unverified;
        v.why = unverified;
        return v;
    }

    std::vector<Relied> TwinsBelow(const std::vector<Relied>& keeperFolders,
                                   const platform::TreeFile& file,
                                   const std::u16string& self) const {
        std::vector<Relied> twins;
        for (const Relied& folder : keeperFolders) {
            const std::u16string twin = platform::JoinPath(folder.path, file.relativePath);
            if (twin == self || Goes(twin, false))
                continue;
            ItemFacts now;
            ItemCheck check;
            if (Look(twin, now, check) && !now.isFolder && now.size == file.facts.size &&
                !now.SameIdentity(file.facts))
                twins.push_back({twin, now});
        }
        return twins;
    }

    const std::vector<RowSnapshot>& rows_;
    const ScanRecord& record_;
    const std::atomic<uint8_t>& cancel_;
    std::atomic<uint64_t>* bytes_;
    std::vector<std::u16string> tickedFolders_;
    std::unordered_map<std::u16string, size_t> fileRowOf_;
};

}  // namespace

std::vector<ItemVerdict> VerifyTicked(const std::vector<RowSnapshot>& rows,
                                      const ScanRecord& record,
                                      const std::atomic<uint8_t>& cancelRequested,
                                      std::atomic<uint64_t>* bytesCompared,
                                      std::atomic<int32_t>* itemsChecked) {
    Checker checker(rows, record, cancelRequested, bytesCompared);
    std::vector<ItemVerdict> verdicts;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].run < 0 || !rows[r].ticked)
            continue;
        if (cancelRequested.load(std::memory_order_relaxed) != 0) {
            ItemVerdict v;
            v.row = static_cast<int32_t>(r);
            v.path = rows[r].path;
            v.why = Why::Cancelled;
            verdicts.push_back(std::move(v));
            continue;
        }
        verdicts.push_back(checker.Judge(static_cast<int32_t>(r)));
        if (itemsChecked && verdicts.back().why != Why::Cancelled)
            itemsChecked->fetch_add(1, std::memory_order_relaxed);
    }
    return verdicts;
}

std::vector<int32_t> KeepFirstOfFullyTickedGroups(std::vector<RowSnapshot>& rows) {
    std::vector<int32_t> kept;
    size_t first = 0;
    while (first < rows.size()) {
        if (rows[first].run < 0) {
            ++first;
            continue;
        }
        size_t end = first;
        bool allTicked = true;
        while (end < rows.size() && rows[end].run == rows[first].run) {
            allTicked = allTicked && rows[end].ticked;
            ++end;
        }
        if (allTicked && rows[first].group != results::kZeroByteGroup) {
            rows[first].ticked = false;
            kept.push_back(static_cast<int32_t>(first));
        }
        first = end;
    }
    return kept;
}

bool StillHolds(const ItemVerdict& verdict, const ScanRecord& record, Why& why, ItemCheck& check) {
    for (const std::vector<Relied>& need : verdict.needs) {
        const bool holds = std::any_of(need.begin(), need.end(), [&](const Relied& item) {
            ItemRoute route;
            ItemFacts now;
            return record.Route(item.path, route) &&
                   platform::InspectItem(route, now) == ItemCheck::Ok && SameFile(now, item.facts);
        });
        if (!holds) {
            why = Why::KeeperGone;
            return false;
        }
    }
    if (verdict.treeListed) {
        // The tree must still be the one whose files were vouched for: a
        // file added or rewritten below since has no verified copy. Files
        // gone meanwhile (a ticked row below it removed first) lose nothing.
        ItemRoute route;
        std::vector<platform::TreeFile> now;
        if (!record.Route(verdict.path, route)) {
            why = Why::NotListed;
            return false;
        }
        check = platform::ListFolderTree(route, now);
        std::unordered_map<std::u16string, const ItemFacts*> before;
        for (const platform::TreeFile& file : verdict.below)
            before.emplace(file.relativePath, &file.facts);
        const bool same =
            check == ItemCheck::Ok &&
            std::all_of(now.begin(), now.end(), [&](const platform::TreeFile& file) {
                const auto it = before.find(file.relativePath);
                return it != before.end() && SameFile(file.facts, *it->second);
            });
        if (!same) {
            if (check == ItemCheck::Ok)
                check = ItemCheck::Changed;
            why = Why::ItemChanged;
            return false;
        }
    }
    return true;
}

}  // namespace cs::removal
