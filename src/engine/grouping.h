// Grouping: files and folders from the walk into match groups, with the
// results a linear first-match search would give but at a cost that grows
// with the number of files, not files times groups. Scan thread only.
//
// Why an index gives the same answer. A file joins the first group, in
// creation order, whose founder it matches on every active criterion. Under
// a content criterion a file without digests is never grouped, so every
// founder and every candidate has both digests, and "matches" is an
// equivalence: equal size (when asked), equal ASCII-folded name key (when
// asked), equal digests (when asked). Hence at most one group can accept a
// file, and finding it by its key tuple in a hash index gives the group the
// linear search would find. Groups are ordered by the walk position of their
// founder, which is their creation order in the linear search.
//
// Why digests can wait. Equal digests imply equal sizes under exact
// contents (every byte is covered), and under similar contents for files
// below 2 MiB (the head covers the whole file); files of 2 MiB or more can
// only match each other. So files are first bucketed by that size class and
// the name key, which need no reading. A file alone in its bucket is never
// opened. When a second file arrives, both get a cheap signature (a hash of
// their first and last 4 KiB, or of all of a small file, bytes both digests
// cover); differing signatures prove differing digests.
//
// Why bytes stand for digests. Two files have equal digests exactly when
// the bytes the digests cover are equal (a collision aside, which only the
// digests can suffer). So within a signature bucket the first file founds
// a class without being read, and a later file is compared byte for byte
// with the founders of the first few classes, stopping at the first
// difference; only classes beyond those few are found through their
// digests, so a bucket of many files that share their ends stays linear.
// Nothing outside the engine sees a digest.
//
// Why a cache can stand in for the reads, and where it cannot. With a
// cache (ScanHooks::cache), a file the cache knows unchanged gets its
// signature without a read, and where the cache also holds its full
// digest it is placed by comparing full digests with the founders of its
// signature bucket: equal joins, and when every live class's founder has
// one, unequal everywhere founds a class. Full digests are learnt during
// reads the scan makes anyway (small files are read whole for their
// signature; under exact contents a comparison that ends equal, the
// digests, and a file that founds a class, which is read to its end). Two
// rules keep the answer the uncached one: a file is placed by digest only
// when no earlier file of its bucket still waits for a read (it could
// found the class this one would join), and only on a digest the cache
// gave (two files both read in this scan are compared byte for byte, as
// ever). A group that took a member on a cached digest is marked
// unproved, for removal to compare in full.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/options.h"
#include "engine/scan_results.h"
#include "platform/item_facts.h"

namespace cs::engine {

class NamePatterns;
struct ScanProgress;
struct ScanHooks;

class Grouper {
public:
    Grouper(const ScanOptions& options, const NamePatterns& patterns, ScanResults& results,
            const std::atomic<uint8_t>& cancel, ScanProgress* progress, const ScanHooks& hooks);
    ~Grouper();
    Grouper(const Grouper&) = delete;
    Grouper& operator=(const Grouper&) = delete;

    // A file of non-zero size that passed the walk's filters, with what the
    // walk saw of it (its size among them) and its change time. False when
    // the scan was cancelled while reading.
    bool AddFile(const std::u16string& path, std::u16string_view name,
                 const platform::ItemFacts& facts, uint64_t ctime);
    // Applies what still waits for digests once the walk has ended. False
    // when the scan was cancelled; then what waited is dropped, as a
    // cancelled single-threaded scan would not have reached it either.
    bool Finish(bool walkCompleted);
    // A folder met by the walk (only called when folder names are matched).
    void AddFolder(const std::u16string& path, std::u16string_view name,
                   const platform::ItemFacts& facts);
    // A zero-byte file to list (only called when they are listed).
    void AddZeroByteFile(std::u16string path, const platform::ItemFacts& facts);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace cs::engine
