#include "cli/output.h"

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
        out += Utf8(rows.Text(r, results::kPathColumn));
        out += '\t';
        out += Utf8(rows.Text(r, results::kNameColumn));
        out += '\t';
        out += Utf8(rows.Text(r, results::kSizeColumn));
        if (rows.StateImage(r) == results::kTicked)
            out += "\tticked";
        out += '\n';
    }
    return out;
}

namespace {

void AppendPathArray(std::string& out, const std::vector<std::u16string>& paths) {
    out += '[';
    for (size_t i = 0; i < paths.size(); ++i) {
        if (i)
            out += ", ";
        out += JsonString(paths[i]);
    }
    out += ']';
}

}  // namespace

std::string FormatJson(const engine::ScanOptions& options, const engine::ScanResults& results,
                       bool cancelled, const std::vector<std::u16string>& ticked,
                       const RemovalSummary* removal) {
    // The folder as walked: every path below starts with it.
    std::string out = "{\"root\": ";
    out += JsonString(results.root.empty() ? options.rootPath : results.root);
    out += ", \"criteria\": " + std::to_string(options.criteria);
    out += ", \"extension_filter\": " + JsonString(options.extensionFilter);
    out += cancelled ? ", \"cancelled\": true" : ", \"cancelled\": false";
    out += ", \"skipped\": {\"folders_not_listed\": " +
           std::to_string(results.skips.foldersNotListed) +
           ", \"files_not_read\": " + std::to_string(results.skips.filesNotRead) + '}';

    out += ", \"folder_groups\": [";
    bool firstGroup = true;
    for (const engine::FolderGroup* g : results.OrderedFolderGroups()) {
        out += firstGroup ? "[" : ", [";
        firstGroup = false;
        bool firstPath = true;
        for (auto path : engine::SplitPaths(g->paths)) {
            if (!firstPath)
                out += ", ";
            firstPath = false;
            out += JsonString(path);
        }
        out += ']';
    }
    out += "], \"file_groups\": [";
    firstGroup = true;
    for (const engine::MatchGroup* g : results.OrderedMatchGroups()) {
        out += firstGroup ? "{\"size\": " : ", {\"size\": ";
        firstGroup = false;
        out += std::to_string(g->size);
        out += ", \"paths\": [";
        bool firstPath = true;
        for (auto path : engine::SplitPaths(g->paths)) {
            if (!firstPath)
                out += ", ";
            firstPath = false;
            out += JsonString(path);
        }
        out += "]}";
    }
    out += "], \"zero_byte_files\": [";
    for (size_t i = 0; i < results.zeroByteFiles.size(); ++i) {
        if (i)
            out += ", ";
        out += JsonString(results.zeroByteFiles[i]);
    }
    out += "], \"ticked\": ";
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
    return out;
}

}  // namespace cs::cli
