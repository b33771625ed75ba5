// What clonesifter-cli prints: the groups as text, JSON, CSV, NUL-ended
// records or plain lines. Text is UTF-8 with tabs, line feeds and other
// control characters in names escaped (and on Linux the backslash, so the
// escape can be undone); a Linux name byte that is not valid UTF-8 is
// written back as that same byte in text, CSV, records and lines, and in
// JSON as the escape of the lone surrogate the engine holds for it
// (\udcXX), with the raw bytes in base64 beside it. Pure; any thread.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/options.h"
#include "engine/scan_results.h"
#include "results/memory_rows.h"

namespace cs::cli {

std::string JsonString(std::u16string_view text);
// Base64 (RFC 4648, padded) of the bytes.
std::string Base64(std::string_view bytes);
// Whether the text stands for a name that is not valid UTF-8 (Linux) or
// not valid UTF-16 (Windows): it holds a lone surrogate.
bool HasLoneSurrogate(std::u16string_view text);
// A last-write time on the FILETIME scale as ISO 8601 UTC
// ("2024-05-01T12:00:00Z"); empty for 0 (unknown).
std::string IsoTime(uint64_t fileTime);
// How a scan's file groups were matched: "exact", "similar-contents",
// "names" or "size".
const char* MatchKind(uint32_t criteria);

// The rows as text: a header per section, a blank line where a separator
// row stands, one line per item: path, name and size text separated by
// tabs, and a fourth field "ticked" on ticked rows.
std::string FormatRows(const results::MemoryRows& rows);

// One listed item with what a script wants of it.
struct Member {
    std::u16string path;
    bool folder = false;
    uint64_t size = 0;
    uint64_t mtime = 0;  // FILETIME scale; 0 unknown
    bool ticked = false;
};

enum class Section { Folders, Files, ZeroByte };

struct ListedGroup {
    Section section = Section::Files;
    std::vector<Member> members;
    // File groups: whether this scan compared every member with the
    // founder (engine::MatchGroup::proved).
    bool proved = true;
    bool SameSize() const;
};

// The groups in the order the result list shows them: folder groups, file
// groups, then all zero-byte files as one group. Sizes and times are the
// scan's where it recorded them, else read from the disk now.
std::vector<ListedGroup> ListGroups(const engine::ScanResults& results,
                                    const std::set<std::u16string>& ticked);

// What a removal did, for the JSON document.
struct RemovalSummary {
    const char* mode = "";
    bool dryRun = false;
    int32_t removed = 0;
    int32_t failures = 0;
    std::u16string report;
    int32_t unverified = 0;
    std::vector<std::u16string> notRemoved;
    std::vector<std::string> reasons;  // one per notRemoved path
    std::vector<std::u16string> keptAsLastCopies;
};

// `ticked` lists the ticked rows' paths in row order (before any removal);
// `removal` is null when nothing was to be removed. `roots` are the roots
// as walked.
std::string FormatJson(const engine::ScanOptions& options, const engine::ScanResults& results,
                       const std::vector<std::u16string>& roots, bool cancelled,
                       const std::vector<std::u16string>& ticked, const RemovalSummary* removal);
// The same document handed to `sink` in pieces of some 64 KiB, each ending
// between two members (never inside a character): a large result is never
// held whole, as text beside the groups it comes from.
using TextSink = std::function<void(std::string_view)>;
void WriteJson(const engine::ScanOptions& options, const engine::ScanResults& results,
               const std::vector<std::u16string>& roots, bool cancelled,
               const std::vector<std::u16string>& ticked, const RemovalSummary* removal,
               const TextSink& sink);

// Group, path, size, mtime, ticked; a header line; RFC 4180 quoting, CRLF.
std::string FormatCsv(const std::vector<ListedGroup>& groups);
// Each member path ended by `end` ('\0' or '\n'), one more `end` after each
// group. With '\n', false (and nothing) when a path holds a line feed.
bool FormatRecords(const std::vector<ListedGroup>& groups, char end, std::string& out);

}  // namespace cs::cli
