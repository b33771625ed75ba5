#include "cli/output.h"

#include <cstdio>
#include <cstring>

#include "engine/strings.h"
#include "platform/path_info.h"
#include "platform/text.h"
#include "results/size_text.h"

namespace cs::cli {

namespace {

std::string Utf8(std::u16string_view text) {
    return platform::Utf16ToUtf8Lossless(text);
}

void AppendHex4(std::string& out, unsigned value) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(value >> shift) & 0xF];
}

}  // namespace

std::string JsonString(std::u16string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'"') {
            out += "\\\"";
        } else if (c == u'\\') {
            out += "\\\\";
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\t') {
            out += "\\t";
        } else if (c == u'\r') {
            out += "\\r";
        } else if (c < 0x20) {
            AppendHex4(out, c);
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            out += Utf8(text.substr(i, 2));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            // A lone surrogate has no UTF-8 form; its escape keeps the JSON
            // valid and the name recoverable.
            AppendHex4(out, c);
        } else {
            out += Utf8(text.substr(i, 1));
        }
    }
    out += '"';
    return out;
}

namespace {

// Control characters would move the cursor or split the line; the
// backslash is escaped too on Linux, so that an escape cannot be mistaken
// for a name that holds one. Windows names hold no control characters and
// use the backslash as the separator.
std::string TextEscaped(std::u16string_view text) {
    std::string out;
    size_t plain = 0;
    auto flush = [&](size_t upTo) {
        out += Utf8(text.substr(plain, upTo - plain));
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const char* named = nullptr;
        if (c == u'\t')
            named = "\\t";
        else if (c == u'\n')
            named = "\\n";
        else if (c == u'\r')
            named = "\\r";
#ifndef _WIN32
        else if (c == u'\\')
            named = "\\\\";
#endif
        const bool control = c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
        if (!named && !control)
            continue;
        flush(i);
        plain = i + 1;
        if (named) {
            out += named;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, c < 0x80 ? "\\x%02x" : "\\u%04x", unsigned(c));
            out += hex;
        }
    }
    flush(text.size());
    return out;
}

}  // namespace

std::string FormatRows(const results::MemoryRows& rows) {
    static const char* const kHeaders[] = {"", "Duplicate folder names", "Duplicate files",
                                           "Empty (zero-byte) files"};
    std::string out;
    int section = 0;
    bool afterSeparator = false;
    for (int32_t r = 0; r < rows.Count(); ++r) {
        if (!results::IsItemRow(rows, r)) {
            out += '\n';
            afterSeparator = true;
            continue;
        }
        const int group = rows.Group(r);
        if (group != section) {
            if (!out.empty() && !afterSeparator)
                out += '\n';
            if (group >= 1 && group <= 3)
                out += kHeaders[group];
            out += '\n';
            section = group;
        }
        afterSeparator = false;
        out += TextEscaped(rows.Text(r, results::kPathColumn));
        out += '\t';
        out += TextEscaped(rows.Text(r, results::kNameColumn));
        out += '\t';
        out += Utf8(rows.Text(r, results::kSizeColumn));
        if (rows.StateImage(r) == results::kTicked)
            out += "\tticked";
        out += '\n';
    }
    return out;
}

std::string Base64(std::string_view bytes) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t n = (uint32_t(uint8_t(bytes[i])) << 16) |
                           (uint32_t(uint8_t(bytes[i + 1])) << 8) | uint8_t(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            out += kAlphabet[(n >> shift) & 63];
    }
    const size_t left = bytes.size() - i;
    if (left > 0) {
        uint32_t n = uint32_t(uint8_t(bytes[i])) << 16;
        if (left == 2)
            n |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += left == 2 ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool HasLoneSurrogate(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

std::string IsoTime(uint64_t fileTime) {
    if (fileTime == 0)
        return {};
    // 1601-01-01 to 1970-01-01, in seconds.
    const int64_t seconds = static_cast<int64_t>(fileTime / 10000000) - 11644473600LL;
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return text;
}

const char* MatchKind(uint32_t criteria) {
    if (criteria & engine::CRIT_EXACT_CONTENTS)
        return "exact";
    if (criteria & engine::CRIT_SIMILAR_CONTENTS)
        return "similar-contents";
    if (criteria & engine::kNameCriteria)
        return "names";
    return "size";
}

bool ListedGroup::SameSize() const {
    for (const Member& m : members)
        if (m.folder || m.size != members.front().size)
            return false;
    return !members.empty();
}

namespace {

Member MemberOf(std::u16string_view path, const std::vector<platform::ItemFacts>& facts,
                size_t index, bool folder, const std::set<std::u16string>& ticked) {
    Member m;
    m.path = std::u16string(path);
    m.folder = folder;
    if (index < facts.size()) {
        m.size = facts[index].size;
        m.mtime = facts[index].mtime;
    } else {
        m.size = folder ? 0 : platform::FileSizeOfPath(m.path);
        m.mtime = platform::FileLastWriteTime(m.path);
    }
    m.ticked = ticked.count(m.path) != 0;
    return m;
}

template <typename Group>
ListedGroup Listed(const Group& g, Section section, const std::set<std::u16string>& ticked) {
    ListedGroup listed;
    listed.section = section;
    size_t i = 0;
    for (std::u16string_view path : engine::SplitPaths(g.paths))
        listed.members.push_back(MemberOf(path, g.facts, i++, section == Section::Folders, ticked));
    if constexpr (requires { g.proved; })
        listed.proved = g.proved;
    return listed;
}

void AppendMember(std::string& out, const Member& m) {
    out += "{\"path\": " + JsonString(m.path);
    if (HasLoneSurrogate(m.path))
        out += ", \"path_bytes\": \"" + Base64(Utf8(m.path)) + '"';
    if (!m.folder)
        out += ", \"size\": " + std::to_string(m.size);
    const std::string time = IsoTime(m.mtime);
    out += ", \"mtime\": ";
    out += time.empty() ? "null" : '"' + time + '"';
    out += m.ticked ? ", \"ticked\": true}" : ", \"ticked\": false}";
}

void AppendMembers(std::string& out, const std::vector<Member>& members) {
    out += '[';
    for (size_t i = 0; i < members.size(); ++i) {
        if (i)
            out += ", ";
        AppendMember(out, members[i]);
    }
    out += ']';
}

void AppendPathArray(std::string& out, const std::vector<std::u16string>& paths) {
    out += '[';
    for (size_t i = 0; i < paths.size(); ++i) {
        if (i)
            out += ", ";
        out += JsonString(paths[i]);
    }
    out += ']';
}

std::string CsvField(std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(field);
    std::string out = "\"";
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

}  // namespace

std::vector<ListedGroup> ListGroups(const engine::ScanResults& results,
                                    const std::set<std::u16string>& ticked) {
    std::vector<ListedGroup> groups;
    for (const engine::FolderGroup* g : results.OrderedFolderGroups())
        groups.push_back(Listed(*g, Section::Folders, ticked));
    for (const engine::MatchGroup* g : results.OrderedMatchGroups())
        groups.push_back(Listed(*g, Section::Files, ticked));
    if (!results.zeroByteFiles.empty()) {
        ListedGroup zero;
        zero.section = Section::ZeroByte;
        for (size_t i = 0; i < results.zeroByteFiles.size(); ++i)
            zero.members.push_back(
                MemberOf(results.zeroByteFiles[i], results.zeroByteFacts, i, false, ticked));
        groups.push_back(std::move(zero));
    }
    return groups;
}

std::string FormatJson(const engine::ScanOptions& options, const engine::ScanResults& results,
                       const std::vector<std::u16string>& roots, bool cancelled,
                       const std::vector<std::u16string>& ticked, const RemovalSummary* removal) {
    std::string document;
    WriteJson(options, results, roots, cancelled, ticked, removal,
              [&document](std::string_view piece) { document += piece; });
    return document;
}

void WriteJson(const engine::ScanOptions& options, const engine::ScanResults& results,
               const std::vector<std::u16string>& roots, bool cancelled,
               const std::vector<std::u16string>& ticked, const RemovalSummary* removal,
               const TextSink& sink) {
    constexpr size_t kPiece = 64 * 1024;
    const std::set<std::u16string> tickedSet(ticked.begin(), ticked.end());
    // The roots as walked: every path below starts with one of them.
    std::string out = "{\"version\": 1, \"root\": ";
    out += JsonString(roots.empty() ? options.rootPath : roots.front());
    out += ", \"roots\": ";
    AppendPathArray(out, roots);
    out += ", \"criteria\": " + std::to_string(options.criteria);
    out += ", \"extension_filter\": " + JsonString(options.extensionFilter);
    out += ", \"match\": \"" + std::string(MatchKind(options.criteria)) + '"';
    out += cancelled ? ", \"cancelled\": true" : ", \"cancelled\": false";
    out += ", \"skipped\": {\"folders_not_listed\": " +
           std::to_string(results.skips.foldersNotListed) +
           ", \"files_not_read\": " + std::to_string(results.skips.filesNotRead) + '}';

    auto flushIfLong = [&] {
        if (out.size() >= kPiece) {
            sink(out);
            out.clear();
        }
    };
    // One group at a time, in the order ListGroups gives.
    auto appendGroup = [&](const ListedGroup& g, bool first) {
        out += first ? "{" : ", {";
        if (g.section == Section::Files) {
            out += "\"match\": \"" + std::string(MatchKind(options.criteria)) + "\", ";
            if (g.SameSize())
                out += "\"size\": " + std::to_string(g.members.front().size) + ", ";
            // What removal may rely on without comparing again: exact
            // contents compared in this very scan.
            const bool proved = g.proved && (options.criteria & engine::CRIT_EXACT_CONTENTS) &&
                                !(options.criteria & engine::CRIT_SIMILAR_CONTENTS);
            out += proved ? "\"proved_byte_for_byte\": true, "
                          : "\"proved_byte_for_byte\": false, ";
        }
        out += "\"members\": ";
        AppendMembers(out, g.members);
        out += '}';
        flushIfLong();
    };
    out += ", \"folder_groups\": [";
    bool first = true;
    for (const engine::FolderGroup* g : results.OrderedFolderGroups()) {
        appendGroup(Listed(*g, Section::Folders, tickedSet), first);
        first = false;
    }
    out += "], \"file_groups\": [";
    first = true;
    for (const engine::MatchGroup* g : results.OrderedMatchGroups()) {
        appendGroup(Listed(*g, Section::Files, tickedSet), first);
        first = false;
    }
    out += "], \"zero_byte_files\": ";
    if (results.zeroByteFiles.empty()) {
        out += "[]";
    } else {
        out += '[';
        for (size_t i = 0; i < results.zeroByteFiles.size(); ++i) {
            if (i)
                out += ", ";
            AppendMember(out, MemberOf(results.zeroByteFiles[i], results.zeroByteFacts, i, false,
                                       tickedSet));
            flushIfLong();
        }
        out += ']';
    }
    out += ", \"ticked\": ";
    AppendPathArray(out, ticked);
    if (removal) {
        out += ", \"removal\": {\"mode\": ";
        out +=
            JsonString(std::u16string(removal->mode, removal->mode + std::strlen(removal->mode)));
        out += removal->dryRun ? ", \"dry_run\": true" : ", \"dry_run\": false";
        out += ", \"removed\": " + std::to_string(removal->removed);
        out += ", \"failures\": " + std::to_string(removal->failures);
        out += ", \"report\": " + JsonString(removal->report);
        out += ", \"unverified\": " + std::to_string(removal->unverified);
        out += ", \"not_removed\": ";
        AppendPathArray(out, removal->notRemoved);
        out += ", \"reasons\": [";
        for (size_t i = 0; i < removal->notRemoved.size(); ++i) {
            if (i)
                out += ", ";
            out += "{\"path\": " + JsonString(removal->notRemoved[i]) + ", \"reason\": ";
            out += JsonString(platform::Utf8ToUtf16Lossless(
                i < removal->reasons.size() ? removal->reasons[i] : std::string()));
            out += '}';
        }
        out += ']';
        out += ", \"kept_as_last_copies\": ";
        AppendPathArray(out, removal->keptAsLastCopies);
        out += '}';
    }
    out += "}\n";
    sink(out);
}

std::string FormatCsv(const std::vector<ListedGroup>& groups) {
    std::string out = "group,path,size,mtime,ticked\r\n";
    for (size_t g = 0; g < groups.size(); ++g) {
        for (const Member& m : groups[g].members) {
            out += std::to_string(g + 1) + ',' + CsvField(Utf8(m.path)) + ',';
            if (!m.folder)
                out += std::to_string(m.size);
            out += ',' + IsoTime(m.mtime) + (m.ticked ? ",true\r\n" : ",false\r\n");
        }
    }
    return out;
}

bool FormatRecords(const std::vector<ListedGroup>& groups, char end, std::string& out) {
    out.clear();
    for (const ListedGroup& g : groups) {
        for (const Member& m : g.members) {
            if (end == '\n' && m.path.find(u'\n') != std::u16string::npos) {
                out.clear();
                return false;
            }
            out += Utf8(m.path);
            out += end;
        }
        out += end;
    }
    return true;
}

}  // namespace cs::cli
