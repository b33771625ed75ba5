// Verified removal: before an item of a ticked row goes, prove that it is
// the item the scan saw and that an identical copy of it stays.
//
// The essay. A match group is a claim the scan made some time ago, on
// criteria the user chose; sizes and names prove nothing about bytes, and
// the disk may have changed since. So each ticked item is judged on what
// is on disk now:
// - the item is still the one listed (same identity, kind, size and last
//   write), reached through the very folders the scan listed;
// - a keeper stays: another member of its group that is not ticked, not
//   inside a ticked folder, still unchanged, and a different physical file;
// - the keeper holds the same bytes. Under exact contents the scan has
//   compared them already and "unchanged" carries that proof over; under
//   every other criterion the two files are compared in full, now.
// A folder row is matched by name only, so it is never proof of anything:
// it needs a keeper folder of its group that stays, and every non-empty
// file below it needs a verified copy outside it that stays (a member of
// the file's match group, or the file at the same place below a keeper
// folder). A file below it whose every copy goes is a refusal, like a
// group with no keeper.
//
// What fails the first two tests is refused; what fails only the last is
// unverified and goes only with the user's explicit consent. Right before
// each removal the items relied on are looked at again (metadata only), so
// a keeper deleted or rewritten after the check still stops the removal.
//
// Runs on any one thread (the removal thread in the desktop program); the
// check reads files and reports bytes compared through `bytesCompared`.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/options.h"
#include "engine/scan_results.h"
#include "platform/checked_removal.h"
#include "results/rows.h"
#include "results/selection.h"

namespace cs::removal {

// What the scan saw, indexed by path. Holds a pointer to the results,
// which must outlive it and stay unchanged.
class ScanRecord {
public:
    ScanRecord() = default;
    ScanRecord(const engine::ScanResults& results, uint32_t criteria);

    // The facts of an item the scan listed (file group or folder group
    // member, zero-byte file); null when it did not list it.
    const platform::ItemFacts* Facts(const std::u16string& path) const;
    // The checked way to a path below the root through listed folders;
    // false when the path is outside the root or a folder was not listed.
    bool Route(const std::u16string& path, platform::ItemRoute& route) const;
    // Whether every file group was matched on exact contents.
    bool ExactContents() const { return exactContents_; }
    // Whether the scan compared the file group of `path` byte for byte:
    // matched on exact contents, and none of it on what a cache remembered.
    bool ProvedByScan(const std::u16string& path) const {
        return exactContents_ && unproved_.count(path) == 0;
    }

private:
    const engine::ScanResults* results_ = nullptr;
    bool exactContents_ = false;
    // Members of file groups the scan did not prove (MatchGroup::proved).
    std::unordered_set<std::u16string> unproved_;
    std::unordered_map<std::u16string, platform::ItemFacts> items_;
};

enum class Verdict { Verified, Unverified, Refused };

enum class Why {
    Verified,       // a keeper with the same bytes stays
    NotListed,      // not an item this scan listed, or outside its root
    ItemChanged,    // `check` says how the item differs from the scan's
    NoKeeper,       // no other member of its group stays unchanged
    HoldsLastCopy,  // a folder holding a file whose every copy goes
    KeeperDiffers,  // unverified: no keeper has the same bytes
    NotCompared,    // unverified: a file could not be read to compare
    NoCopyBelow,    // unverified: a file below the folder has no copy outside
    KeeperGone,     // a keeper relied on changed or went after the check
    NotRemoved,     // `check` says how the system refused it (in use, denied, no trash)
    Cancelled,
};

// One item relied on: looked at again right before the removal.
struct Relied {
    std::u16string path;
    platform::ItemFacts facts;
};

struct ItemVerdict {
    int32_t row = -1;
    std::u16string path;
    Verdict verdict = Verdict::Refused;
    Why why = Why::NotListed;
    platform::ItemCheck check = platform::ItemCheck::Ok;
    std::u16string detail;  // the keeper, or the file below a folder concerned
    // Each inner list is one need: it holds while any of its items does.
    std::vector<std::vector<Relied>> needs;
    std::vector<platform::TreeFile> below;  // folders: what was verified
    bool treeListed = false;
};

// Short English words for a verdict's reason ("changed since the scan").
std::string WhyText(Why why, platform::ItemCheck check);

// The rows as the check needs them: path, section, match group (run) and
// tick, in row order.
struct RowSnapshot {
    std::u16string path;
    int group = 0;
    int32_t run = -1;  // -1 for separators
    bool ticked = false;
};

template <results::RowList R>
std::vector<RowSnapshot> SnapshotRows(const R& rows) {
    std::vector<RowSnapshot> snapshot;
    const int32_t count = rows.Count();
    snapshot.reserve(static_cast<size_t>(count));
    int32_t run = 0;
    for (int32_t r = 0; r < count; ++r) {
        RowSnapshot row;
        if (results::IsItemRow(rows, r)) {
            row.path = rows.Text(r, results::kPathColumn);
            row.group = rows.Group(r);
            row.run = run;
            row.ticked = rows.StateImage(r) == results::kTicked;
            if (results::EndsRun(rows, r, count))
                ++run;
        }
        snapshot.push_back(std::move(row));
    }
    return snapshot;
}

// Judges every ticked row, in row order. `itemsChecked`, when given,
// counts the ticked rows judged so far, for a progress display.
std::vector<ItemVerdict> VerifyTicked(const std::vector<RowSnapshot>& rows,
                                      const ScanRecord& record,
                                      const std::atomic<uint8_t>& cancelRequested,
                                      std::atomic<uint64_t>* bytesCompared = nullptr,
                                      std::atomic<int32_t>* itemsChecked = nullptr);

template <results::RowList R>
std::vector<ItemVerdict> VerifyTickedItems(const R& rows, const ScanRecord& record,
                                           const std::atomic<uint8_t>& cancelRequested,
                                           std::atomic<uint64_t>* bytesCompared = nullptr) {
    return VerifyTicked(SnapshotRows(rows), record, cancelRequested, bytesCompared);
}

struct VerdictCounts {
    int32_t verified = 0;
    int32_t unverified = 0;
    int32_t refused = 0;
};
VerdictCounts CountVerdicts(const std::vector<ItemVerdict>& verdicts);

// What the user has consented to beyond verified items.
struct RemovalPolicy {
    bool allowUnverified = false;  // items whose bytes no keeper proved
    bool allowAllCopies = false;   // groups with no keeper at all
    // An item already gone from its place has nothing left to lose: it
    // counts as removed and its row goes.
    bool goneIsRemoved = false;
};

bool Permitted(const ItemVerdict& verdict, const RemovalPolicy& policy);

// Right before removing: whether every need still holds and, for a folder,
// whether its tree is still what was verified. Fills `why` when not.
bool StillHolds(const ItemVerdict& verdict, const ScanRecord& record, Why& why,
                platform::ItemCheck& check);

// For a removal that keeps one copy of every group whatever the ticks:
// in the file and folder sections, the first row of each group whose every
// row is ticked is unticked in `rows`, so that it stays as the group's
// keeper. Returns those rows. Empty files hold nothing to lose and are
// left as ticked.
std::vector<int32_t> KeepFirstOfFullyTickedGroups(std::vector<RowSnapshot>& rows);

// What happened to one ticked item.
struct ItemOutcome {
    std::u16string path;
    bool removed = false;
    Why why = Why::Verified;
    platform::ItemCheck check = platform::ItemCheck::Ok;
};

// Whether the check is the system's (or its recycle bin's) refusal to
// remove an item that was still the one verified, rather than a change on
// disk.
bool IsSystemRefusal(platform::ItemCheck check);

// Removes the items of the permitted verdicts from the bottom row up,
// deleting each removed item's row; every ticked item handled and not
// removed adds one to `failures`. Returns how many were removed. The
// verdicts must come from VerifyTickedItems on these rows, unchanged since.
template <results::RowList R>
int32_t RemoveVerifiedItems(R& rows, const std::vector<ItemVerdict>& verdicts,
                            const ScanRecord& record, bool toTrash, const RemovalPolicy& policy,
                            const std::atomic<uint8_t>& cancelRequested,
                            std::atomic<int32_t>& failures,
                            std::vector<ItemOutcome>* outcomes = nullptr) {
    int32_t removed = 0;
    for (auto it = verdicts.rbegin(); it != verdicts.rend(); ++it) {
        if (cancelRequested.load(std::memory_order_relaxed) != 0)
            break;
        ItemOutcome outcome;
        outcome.path = it->path;
        outcome.why = it->why;
        outcome.check = it->check;
        if (rows.Text(it->row, results::kPathColumn) != it->path) {
            outcome.why = Why::NotListed;  // the rows moved under us
        } else if (policy.goneIsRemoved && it->why == Why::ItemChanged &&
                   it->check == platform::ItemCheck::Vanished) {
            outcome.removed = true;
        } else if (Permitted(*it, policy) && StillHolds(*it, record, outcome.why, outcome.check)) {
            platform::ItemRoute route;
            const platform::ItemFacts* facts = record.Facts(it->path);
            if (facts && record.Route(it->path, route)) {
                outcome.check = platform::RemoveCheckedItem(route, *facts, toTrash);
                outcome.removed = outcome.check == platform::ItemCheck::Ok ||
                                  (policy.goneIsRemoved &&
                                   outcome.check == platform::ItemCheck::Vanished);
                if (!outcome.removed)
                    outcome.why =
                        IsSystemRefusal(outcome.check) ? Why::NotRemoved : Why::ItemChanged;
            } else {
                outcome.why = Why::NotListed;
            }
        }
        if (outcome.removed) {
            rows.DeleteRow(it->row);
            rows.Arrange();
            ++removed;
        } else {
            failures.fetch_add(1, std::memory_order_relaxed);
        }
        if (outcomes)
            outcomes->push_back(std::move(outcome));
    }
    return removed;
}

}  // namespace cs::removal
