#include "support/reference_scan.h"

#include <atomic>

#include "platform/dir.h"
#include "platform/text.h"

namespace cs::test {

using engine::ContentDigests;
using engine::ScanOptions;

std::string Utf8(std::u16string_view text) {
    return platform::Utf16ToUtf8Lossless(text);
}

ScanSnapshot SnapshotOf(const engine::ScanResults& results) {
    ScanSnapshot s;
    for (const engine::MatchGroup* g : results.OrderedMatchGroups()) {
        PathList members;
        for (std::u16string_view p : engine::SplitPaths(g->paths))
            members.emplace_back(p);
        s.matchGroups.push_back(std::move(members));
    }
    for (const engine::FolderGroup* g : results.OrderedFolderGroups()) {
        PathList members;
        for (std::u16string_view p : engine::SplitPaths(g->paths))
            members.emplace_back(p);
        s.folderGroups.push_back(std::move(members));
    }
    s.zeroByteFiles = results.zeroByteFiles;
    return s;
}

ScanRecord RunEngineScan(const ScanOptions& options) {
    ScanRecord record;
    engine::ScanResults results;
    std::atomic<uint8_t> cancel{0};
    engine::ScanHooks hooks;
    hooks.rebuild = [&record](const engine::ScanResults& r) {
        record.atRebuilds.push_back(SnapshotOf(r));
    };
    const engine::ScanOutcome outcome = engine::RunScan(options, results, cancel, nullptr, hooks);
    record.cancelled = outcome == engine::ScanOutcome::Cancelled;
    record.final = SnapshotOf(results);
    record.refreshCounter = results.refreshCounter;
    record.refreshThreshold = results.refreshThreshold;
    return record;
}

namespace {

void ListFolder(const std::u16string& folder, bool recursive, std::vector<WalkItem>& out) {
    platform::DirReader reader;
    if (reader.Open(folder) != platform::Status::Ok)
        return;
    platform::DirEntry e;
    while (reader.Next(e)) {
        if (e.isReparsePoint || e.isSpecial || e.isSystem)
            continue;
        if (e.isDirectory && !recursive)
            continue;
        WalkItem item;
        item.path = platform::JoinPath(folder, e.name);
        item.name = e.name;
        item.isFolder = e.isDirectory;
        item.size = e.size;
        out.push_back(item);
        if (e.isDirectory)
            ListFolder(item.path, recursive, out);
    }
}

char16_t Lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
}

bool SameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

std::u16string LowerCopy(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out)
        c = Lower(c);
    return out;
}

// Text after the last dot that is not the first character.
std::u16string TypeFilterExtension(const std::u16string& name) {
    for (size_t i = name.size(); i-- > 1;) {
        if (name[i] == u'.')
            return name.substr(i + 1);
    }
    return {};
}

bool PassesTypeFilter(const std::u16string& name, const std::u16string& filter) {
    if (filter.empty())
        return true;
    const std::u16string needle = u"|" + TypeFilterExtension(name) + u"|";
    return LowerCopy(filter).find(LowerCopy(needle)) != std::u16string::npos;
}

struct RefGroup {
    PathList members;
    uint64_t size = 0;
    std::u16string key;
    ContentDigests digests;
};

struct RefFolderGroup {
    PathList members;
    std::u16string key;
};

struct RefState {
    std::vector<RefGroup> groups;
    std::vector<RefFolderGroup> folders;
    PathList zeroBytes;
    int32_t counter = 0;
    int32_t threshold = engine::kFirstRefreshThreshold;
    std::vector<ScanSnapshot> rebuilds;

    ScanSnapshot Snapshot() const {
        ScanSnapshot s;
        for (const RefGroup& g : groups) {
            if (g.members.size() >= 2)
                s.matchGroups.push_back(g.members);
        }
        for (const RefFolderGroup& g : folders) {
            if (g.members.size() >= 2)
                s.folderGroups.push_back(g.members);
        }
        s.zeroByteFiles = zeroBytes;
        return s;
    }
};

}  // namespace

std::vector<WalkItem> ListWalk(const std::u16string& root, bool recursive) {
    std::vector<WalkItem> out;
    ListFolder(root, recursive, out);
    return out;
}

PathList WalkFiles(const std::u16string& root, bool recursive) {
    PathList out;
    for (const WalkItem& item : ListWalk(root, recursive)) {
        if (!item.isFolder)
            out.push_back(item.path);
    }
    return out;
}

std::optional<ContentDigests> DigestCache::Get(const std::u16string& path, uint32_t contentFlag) {
    const auto key = std::make_pair(path, contentFlag);
    auto it = cache_.find(key);
    if (it != cache_.end())
        return it->second;
    std::atomic<uint8_t> cancel{0};
    std::atomic<uint64_t> bytes{0};
    engine::ReadBuffer buffer;
    engine::ReadContext context{&cancel, &bytes, &buffer};
    ContentDigests d;
    std::optional<ContentDigests> value;
    if (engine::ComputeContentDigests(path, contentFlag, d, context) == engine::HashResult::Ok) {
        value = d;
    }
    cache_.emplace(key, value);
    return value;
}

ScanRecord ReferenceScan(const ScanOptions& options, DigestCache& digests) {
    using namespace engine;
    const uint32_t crit = options.criteria;
    const bool recursive = (crit & CRIT_RECURSIVE) != 0;
    const uint32_t content = crit & kContentCriteria;
    const bool nameCriterion = (crit & kNameCriteria) != 0;

    NamePatterns patterns;
    patterns.Compile();
    RefState st;

    for (const WalkItem& item : ListWalk(options.rootPath, recursive)) {
        if (item.isFolder) {
            if (!(crit & CRIT_SIMILAR_FOLDERS))
                continue;
            const std::u16string key = patterns.NormaliseFolderName(item.name);
            bool joined = false;
            for (RefFolderGroup& g : st.folders) {
                if (SameIgnoringAsciiCase(g.key, key)) {
                    g.members.push_back(item.path);
                    ++st.counter;  // counts, but never triggers a rebuild itself
                    joined = true;
                    break;
                }
            }
            if (!joined)
                st.folders.push_back({{item.path}, key});
            continue;
        }
        if (item.size == 0) {
            if (crit & CRIT_LIST_ZERO_BYTE)
                st.zeroBytes.push_back(item.path);
            continue;
        }
        if (!PassesTypeFilter(item.name, options.extensionFilter))
            continue;

        ContentDigests d;
        if (content) {
            std::optional<ContentDigests> got = digests.Get(item.path, content);
            if (!got)
                continue;  // no comparison possible: never grouped
            d = *got;
        }
        const std::u16string key = nameCriterion ? FileNameKey(crit, item.name, patterns) : u"";

        bool joined = false;
        for (RefGroup& g : st.groups) {
            if ((crit & CRIT_SAME_SIZE) && g.size != item.size)
                continue;
            if (nameCriterion && !SameIgnoringAsciiCase(g.key, key))
                continue;
            if (content && (g.digests.head != d.head || g.digests.tail != d.tail))
                continue;
            g.members.push_back(item.path);
            ++st.counter;
            if (st.counter >= st.threshold) {
                st.rebuilds.push_back(st.Snapshot());
                st.threshold += kRefreshThresholdStep;
                st.counter = 0;
            }
            joined = true;
            break;
        }
        if (!joined)
            st.groups.push_back({{item.path}, item.size, key, d});
    }

    ScanRecord record;
    record.final = st.Snapshot();
    record.atRebuilds = std::move(st.rebuilds);
    record.refreshCounter = st.counter;
    record.refreshThreshold = st.threshold;
    return record;
}

std::string Describe(const ScanSnapshot& s) {
    std::string out;
    auto groups = [&out](const char* title, const GroupList& list) {
        out += title;
        out += " (" + std::to_string(list.size()) + ")\n";
        for (size_t i = 0; i < list.size(); ++i) {
            out += "  [" + std::to_string(i) + "]\n";
            for (const std::u16string& p : list[i])
                out += "    " + Utf8(p) + "\n";
        }
    };
    groups("folder groups", s.folderGroups);
    groups("match groups", s.matchGroups);
    out += "zero-byte files (" + std::to_string(s.zeroByteFiles.size()) + ")\n";
    for (const std::u16string& p : s.zeroByteFiles)
        out += "    " + Utf8(p) + "\n";
    return out;
}

}  // namespace cs::test
