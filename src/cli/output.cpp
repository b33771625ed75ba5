#include "cli/output.h"

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

void AppendMember(std::string& out, std::u16string_view path, std::u16string_view size) {
    out += Utf8(path);
    out += '\t';
    out += Utf8(engine::NameOfPath(path, platform::kPathSeparator));
    out += '\t';
    out += Utf8(size);
    out += '\n';
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

std::string FormatText(const engine::ScanOptions& options, const engine::ScanResults& results) {
    std::string out;
    const auto folders = results.OrderedFolderGroups();
    const auto files = results.OrderedMatchGroups();

    if (!folders.empty()) {
        out += "Duplicate folder names\n";
        for (size_t g = 0; g < folders.size(); ++g) {
            if (g)
                out += '\n';
            for (auto path : engine::SplitPaths(folders[g]->paths)) {
                AppendMember(out, path, u"N/A (Folder)");
            }
        }
    }
    if (!files.empty()) {
        if (!out.empty())
            out += '\n';
        out += "Duplicate files\n";
        const bool sameSize = options.criteria & engine::CRIT_SAME_SIZE;
        for (size_t g = 0; g < files.size(); ++g) {
            if (g)
                out += '\n';
            for (auto path : engine::SplitPaths(files[g]->paths)) {
                const uint64_t size =
                    sameSize ? files[g]->size : platform::FileSizeOfPath(std::u16string(path));
                AppendMember(out, path, results::FormatSize(size));
            }
        }
    }
    if (!results.zeroByteFiles.empty()) {
        if (!out.empty())
            out += '\n';
        out += "Empty (zero-byte) files\n";
        for (const auto& path : results.zeroByteFiles)
            AppendMember(out, path, u"0 bytes");
    }
    return out;
}

std::string FormatJson(const engine::ScanOptions& options, const engine::ScanResults& results,
                       bool cancelled) {
    std::string out = "{\"root\": ";
    out += JsonString(options.rootPath);
    out += ", \"criteria\": " + std::to_string(options.criteria);
    out += ", \"extension_filter\": " + JsonString(options.extensionFilter);
    out += cancelled ? ", \"cancelled\": true" : ", \"cancelled\": false";

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
    out += "]}\n";
    return out;
}

}  // namespace cs::cli
