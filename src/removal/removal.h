// Removing the items of the ticked rows, and the report of how it went.
//
// The ticked rows are collected once, then handled from the bottom row up:
// deleting a handled row leaves the indices of the rows still to come
// valid. A removed item's row is deleted at once, so the rows match the
// disk at every moment, also after a cancel: the rows of removed items are
// gone, failed and unhandled rows stay ticked. The cancel flag is read
// before each item; the item in hand is finished (a large tree is deleted
// to its end). Runs on the removal thread; the rows back end must allow
// that (the list view back end sends its messages to the UI thread, which
// keeps pumping).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/removal.h"
#include "results/rows.h"

namespace cs::removal {

enum class RemovalMode { Recycle = 0, Permanent = 1 };

// How one item is removed; true when it is gone. The platform functions by
// default; tests may count or interleave.
using RemoveItem = bool (*)(const std::u16string& path);

inline RemoveItem RemoverFor(RemovalMode mode) {
    return mode == RemovalMode::Permanent ? platform::DeletePathPermanently : platform::RecyclePath;
}

// The rows whose check box is ticked, in ascending order; collecting stops
// at the first row that cannot be read.
template <results::RowList R>
std::vector<int32_t> CollectTickedRows(const R& rows) {
    std::vector<int32_t> ticked;
    const int32_t count = rows.Count();
    for (int32_t r = 0; r < count; ++r) {
        const int state = rows.StateImage(r);
        if (state < 0)
            break;
        if (state == results::kTicked)
            ticked.push_back(r);
    }
    return ticked;
}

// Removes the items of the ticked rows and returns how many were removed;
// every item that could not be removed adds one to `failures`.
template <results::RowList R>
int32_t RemoveTickedItems(R& rows, RemoveItem remove, const std::atomic<uint8_t>& cancelRequested,
                          std::atomic<int32_t>& failures) {
    const std::vector<int32_t> ticked = CollectTickedRows(rows);
    int32_t removed = 0;
    for (auto it = ticked.rbegin(); it != ticked.rend(); ++it) {
        if (cancelRequested.load(std::memory_order_relaxed) != 0)
            break;
        const std::u16string path = rows.Text(*it, results::kPathColumn);
        if (!path.empty() && remove(path)) {
            rows.DeleteRow(*it);
            rows.Arrange();
            ++removed;
        } else {
            failures.fetch_add(1, std::memory_order_relaxed);
        }
    }
    return removed;
}

// The removal thread: prepares the thread for the platform's shell calls,
// runs RemoveTickedItems and sets `removed` (kRemovalRunning until then).
// The caller joins it; `rows`, the flags and counters must outlive it.
inline constexpr int32_t kRemovalRunning = -1;

template <results::RowList R>
std::thread StartRemovalThread(R& rows, RemovalMode mode,
                               const std::atomic<uint8_t>& cancelRequested,
                               std::atomic<int32_t>& failures, std::atomic<int32_t>& removed) {
    removed.store(kRemovalRunning);
    return std::thread([&rows, mode, &cancelRequested, &failures, &removed] {
        platform::RemovalThreadScope scope;
        removed.store(RemoveTickedItems(rows, RemoverFor(mode), cancelRequested, failures));
    });
}

// The sentence the user reads when a removal has ended.
std::u16string RemovalReport(int32_t failures);

}  // namespace cs::removal
