#include "cli/plan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/long_path.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "cli/console.h"
#include "cli/output.h"
#include "platform/text.h"

namespace cs::cli {

namespace {

constexpr int kPlanVersion = 1;

std::string Utf8(std::u16string_view text) {
    return platform::Utf16ToUtf8Lossless(text);
}

// A strict JSON reader rejects the lone-surrogate escape the listing uses;
// a plan must read back, so such a path is written with U+FFFD in "path"
// (for the eye) and its bytes in "path_bytes" (what is read back).
std::string Readable(const std::u16string& path) {
    if (!HasLoneSurrogate(path))
        return JsonString(path);
    std::u16string shown = path;
    for (char16_t& c : shown)
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
    return JsonString(shown);
}

std::string PlanPath(const std::u16string& path) {
    std::string out = "\"path\": " + Readable(path);
    if (HasLoneSurrogate(path))
        out += ", \"path_bytes\": \"" + Base64(Utf8(path)) + '"';
    return out;
}

std::string FactsFields(const platform::ItemFacts& f) {
    std::string out = ", \"size\": " + std::to_string(f.size);
    const std::string time = IsoTime(f.mtime);
    out += ", \"mtime\": " + (time.empty() ? std::string("null") : '"' + time + '"');
    out += ", \"mtime_ticks\": " + std::to_string(f.mtime);
    out += ", \"device\": " + std::to_string(f.device);
    out += ", \"inode\": " + std::to_string(f.inode);
    out += f.isFolder ? ", \"folder\": true" : ", \"folder\": false";
    return out;
}

bool Below(const std::u16string& path, const std::u16string& folder) {
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == platform::kPathSeparator;
}

struct PlanGroup {
    const char* section;
    std::vector<std::u16string> paths;
    const std::vector<platform::ItemFacts>* facts;
};

std::vector<PlanGroup> AllGroups(const engine::ScanResults& results) {
    std::vector<PlanGroup> groups;
    auto add = [&](const char* section, const std::u16string& joined,
                   const std::vector<platform::ItemFacts>& facts) {
        PlanGroup g{section, {}, &facts};
        for (std::u16string_view p : engine::SplitPaths(joined))
            g.paths.emplace_back(p);
        groups.push_back(std::move(g));
    };
    for (const engine::FolderGroup* g : results.OrderedFolderGroups())
        add("folders", g->paths, g->facts);
    for (const engine::MatchGroup* g : results.OrderedMatchGroups())
        add("files", g->paths, g->facts);
    if (!results.zeroByteFiles.empty())
        groups.push_back({"zero_byte", results.zeroByteFiles, &results.zeroByteFacts});
    return groups;
}

bool DecodeBase64(const std::string& text, std::string& bytes) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    };
    bytes.clear();
    uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=')
            break;
        const int v = value(c);
        if (v < 0)
            return false;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return true;
}

std::u16string PathOf(const nlohmann::json& item) {
    if (item.contains("path_bytes")) {
        std::string bytes;
        if (!DecodeBase64(item.at("path_bytes").get<std::string>(), bytes))
            throw std::runtime_error("a path_bytes field is not base64");
        return platform::Utf8ToUtf16Lossless(bytes);
    }
    return platform::Utf8ToUtf16Lossless(item.at("path").get<std::string>());
}

platform::ItemFacts FactsOf(const nlohmann::json& item) {
    platform::ItemFacts f;
    f.size = item.at("size").get<uint64_t>();
    f.mtime = item.at("mtime_ticks").get<uint64_t>();
    f.device = item.at("device").get<uint64_t>();
    f.inode = item.at("inode").get<uint64_t>();
    f.isFolder = item.at("folder").get<bool>();
    return f;
}

std::u16string Joined(const std::vector<std::u16string>& paths) {
    std::u16string joined;
    for (const std::u16string& p : paths) {
        if (!joined.empty())
            joined += u'\n';
        joined += p;
    }
    return joined;
}

}  // namespace

std::string FormatPlan(const engine::ScanOptions& options, const engine::ScanResults& results,
                       const std::vector<std::u16string>& roots,
                       const std::vector<std::u16string>& ticked) {
    const std::set<std::u16string> tickedSet(ticked.begin(), ticked.end());
    std::vector<std::u16string> tickedFolders;
    for (const engine::FolderGroup& g : results.folderGroups)
        for (std::u16string_view p : engine::SplitPaths(g.paths))
            if (tickedSet.count(std::u16string(p)))
                tickedFolders.emplace_back(p);
    auto concerned = [&](const std::u16string& path) {
        if (tickedSet.count(path))
            return true;
        for (const std::u16string& folder : tickedFolders)
            if (Below(path, folder))
                return true;
        return false;
    };

    std::set<std::u16string> routeFolders(roots.begin(), roots.end());
    std::string groups;
    int index = 0;
    for (const PlanGroup& g : AllGroups(results)) {
        bool any = false;
        for (const std::u16string& p : g.paths)
            any = any || concerned(p);
        if (!any)
            continue;
        std::vector<std::u16string> keepers;
        for (const std::u16string& p : g.paths)
            if (!tickedSet.count(p))
                keepers.push_back(p);
        groups += groups.empty() ? "\n  {" : ",\n  {";
        groups += "\"group\": " + std::to_string(++index) + ", \"section\": \"" + g.section +
                  "\", \"match\": \"" + MatchKind(options.criteria) + "\", \"members\": [";
        for (size_t i = 0; i < g.paths.size(); ++i) {
            const std::u16string& p = g.paths[i];
            const platform::ItemFacts facts =
                i < g.facts->size() ? (*g.facts)[i] : platform::ItemFacts{};
            groups += i ? ",\n    {" : "\n    {";
            groups += PlanPath(p) + FactsFields(facts);
            const bool remove = tickedSet.count(p) != 0;
            groups += remove ? ", \"remove\": true" : ", \"remove\": false";
            if (remove) {
                groups += ", \"keepers\": [";
                for (size_t k = 0; k < keepers.size(); ++k)
                    groups += (k ? ", " : "") + Readable(keepers[k]);
                groups += ']';
            }
            groups += '}';
            for (size_t sep = p.find(platform::kPathSeparator, 1); sep != std::u16string::npos;
                 sep = p.find(platform::kPathSeparator, sep + 1))
                if (results.folders.count(p.substr(0, sep)))
                    routeFolders.insert(p.substr(0, sep));
        }
        groups += "]}";
    }

    std::string out = "{\"clonesifter_plan\": " + std::to_string(kPlanVersion);
    out += ", \"criteria\": " + std::to_string(options.criteria);
    out += ", \"extension_filter\": " + JsonString(options.extensionFilter);
    out += ",\n \"roots\": [";
    for (size_t r = 0; r < roots.size(); ++r)
        out += (r ? ", {" : "{") + PlanPath(roots[r]) + '}';
    out += "],\n \"folders\": [";
    bool first = true;
    for (const std::u16string& folder : routeFolders) {
        const auto it = results.folders.find(folder);
        if (it == results.folders.end())
            continue;
        out += first ? "\n  {" : ",\n  {";
        first = false;
        out += PlanPath(folder) + FactsFields(it->second) + '}';
    }
    out += "],\n \"groups\": [" + groups + "]}\n";
    return out;
}

namespace {

// What stands at `path` when it is not a regular file; null when nothing
// does or a regular file does (a path that cannot be looked at is left to
// the write, which says why).
const char* NotARegularFile(const std::u16string& path) {
#ifdef _WIN32
    // The plan is written through the long form, which keeps every name as
    // given; a name the usual rules would turn into a device or shorten is
    // what the user did not mean to write to.
    const platform::win32::LongPath native = platform::win32::LongPath::Of(path);
    switch (platform::win32::ShellNameProblem(native)) {
        case platform::win32::ShellName::DeviceName:
            return "a device";
        case platform::win32::ShellName::EndsWithDotOrSpace:
            return "a name Windows would shorten (it ends with a dot or a space)";
        case platform::win32::ShellName::Safe:
        case platform::win32::ShellName::TooLong:
            break;
    }
    HANDLE handle = platform::win32::CreateFileAt(
        native, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    const char* kind = nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK)
        kind = "a device";
    else if (!GetFileInformationByHandle(handle, &info))
        kind = nullptr;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        kind = "a link (give the path of the file it leads to)";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        kind = "a folder";
    CloseHandle(handle);
    return kind;
#else
    struct stat st {};
    if (lstat(platform::ToNative(path).c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return nullptr;
    if (S_ISLNK(st.st_mode))
        return "a symbolic link (give the path of the file it points to)";
    if (S_ISFIFO(st.st_mode))
        return "a FIFO";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "a device";
    if (S_ISDIR(st.st_mode))
        return "a folder";
    if (S_ISSOCK(st.st_mode))
        return "a socket";
    return "neither a file nor a folder";
#endif
}

}  // namespace

std::string PlanTargetProblem(const std::u16string& path) {
    const char* kind = NotARegularFile(path);
    return kind ? Utf8(path) + " is not a regular file but " + kind : std::string();
}

// The temporary file has a name of its own, made with an exclusive create:
// two runs writing the same plan never write into one file, and a name
// already taken (another run's, a crash's, a link planted there) is never
// opened. It lies beside the plan, so that the rename stays on one file
// system and is atomic.
PlanWrite WriteFileAtomically(const std::u16string& path, const std::string& text,
                              std::string& error) {
    error = PlanTargetProblem(path);
    if (!error.empty())
        return PlanWrite::Refused;
    const std::string shown = Utf8(path);
#ifdef _WIN32
    const platform::win32::LongPath target = platform::win32::LongPath::Of(path);
    platform::win32::LongPath temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD lastError = ERROR_FILE_EXISTS;
    uint64_t seed = (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^ GetTickCount64();
    for (int attempt = 0; attempt < 100 && lastError == ERROR_FILE_EXISTS; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        static const wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
        std::wstring suffix = L".";
        for (uint64_t v = seed >> 16, i = 0; i < 6; ++i, v /= 36)
            suffix += kDigits[v % 36];
        temporary = platform::win32::LongPath::Of(target.Text() + suffix + L".tmp");
        file = platform::win32::CreateFileAt(temporary, GENERIC_WRITE, 0, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL);
        lastError = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    }
    if (file == INVALID_HANDLE_VALUE) {
        error =
            "could not create a temporary file beside " + shown + ": " + SystemErrorText(lastError);
        return PlanWrite::Failed;
    }
    auto failed = [&](const char* doing) {
        error = doing + shown + ": " + SystemErrorText(GetLastError());
        return false;
    };
    bool ok = true;
    for (std::string_view left = text; !left.empty();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(left.size() < (1u << 20) ? left.size() : 1u << 20);
        if (!WriteFile(file, left.data(), chunk, &written, nullptr) || written == 0) {
            ok = failed("could not write the plan ");
            break;
        }
        left.remove_prefix(written);
    }
    ok = ok && (FlushFileBuffers(file) || failed("could not write the plan "));
    ok = (CloseHandle(file) || !ok || failed("could not write the plan ")) && ok;
    ok = ok && (platform::win32::MoveFileAt(temporary, target,
                                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
                failed("could not put the plan in place at "));
    if (!ok)
        platform::win32::DeleteFileAt(temporary);
#else
    const std::string target = platform::ToNative(path);
    std::string temporary = target + ".XXXXXX.tmp";
    const int fd = mkostemps(temporary.data(), 4, O_CLOEXEC);
    if (fd < 0) {
        error = "could not create a temporary file beside " + shown + ": " + std::strerror(errno);
        return PlanWrite::Failed;
    }
    auto failed = [&](const char* doing) {
        error = doing + shown + ": " + std::strerror(errno);
        return false;
    };
    // mkostemps makes the file private; a plan gets the mode any new file
    // gets. (Only the main thread runs now, so the umask round trip is safe.)
    const mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0644 & ~mask) == 0 || failed("could not write the plan ");
    for (std::string_view left = text; ok && !left.empty();) {
        const ssize_t n = write(fd, left.data(), left.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            ok = failed("could not write the plan ");
            break;
        }
        left.remove_prefix(static_cast<size_t>(n));
    }
    ok = ok && (fsync(fd) == 0 || failed("could not write the plan "));
    ok = (close(fd) == 0 || !ok || failed("could not write the plan ")) && ok;
    ok = ok && (rename(temporary.c_str(), target.c_str()) == 0 ||
                failed("could not put the plan in place at "));
    if (!ok)
        unlink(temporary.c_str());
#endif
    return ok ? PlanWrite::Written : PlanWrite::Failed;
}

bool ReadPlan(const std::u16string& path, engine::ScanOptions& options,
              engine::ScanResults& results, std::vector<std::u16string>& roots,
              std::vector<std::u16string>& ticked, std::string& error) {
    std::ifstream in(std::filesystem::path(platform::ToNative(path)), std::ios::binary);
    if (!in) {
        error = "cannot open the plan " + Utf8(path);
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    try {
        const nlohmann::json plan = nlohmann::json::parse(text.str());
        if (!plan.is_object() || !plan.contains("clonesifter_plan"))
            throw std::runtime_error("not a clonesifter plan");
        if (plan.at("clonesifter_plan").get<int>() != kPlanVersion)
            throw std::runtime_error("a plan of another version");
        results.Reset();
        options.criteria = plan.at("criteria").get<uint32_t>();
        options.extensionFilter =
            platform::Utf8ToUtf16Lossless(plan.at("extension_filter").get<std::string>());
        for (const auto& root : plan.at("roots"))
            roots.push_back(PathOf(root));
        if (roots.empty())
            throw std::runtime_error("no roots");
        for (const auto& folder : plan.at("folders"))
            results.folders[PathOf(folder)] = FactsOf(folder);
        uint64_t sequence = 0;
        for (const auto& group : plan.at("groups")) {
            const std::string section = group.at("section").get<std::string>();
            std::vector<std::u16string> paths;
            std::vector<platform::ItemFacts> facts;
            for (const auto& member : group.at("members")) {
                paths.push_back(PathOf(member));
                facts.push_back(FactsOf(member));
                if (member.at("remove").get<bool>())
                    ticked.push_back(paths.back());
            }
            if (paths.empty() || (section != "zero_byte" && paths.size() < 2))
                throw std::runtime_error("a group with fewer than two members");
            if (section == "files") {
                engine::MatchGroup g;
                g.paths = Joined(paths);
                g.count = static_cast<int32_t>(paths.size());
                g.size = facts.front().size;
                g.founderSequence = sequence++;
                g.facts = std::move(facts);
                results.matchGroups.push_back(std::move(g));
            } else if (section == "folders") {
                engine::FolderGroup g;
                g.paths = Joined(paths);
                g.count = static_cast<int32_t>(paths.size());
                g.founderSequence = sequence++;
                g.facts = std::move(facts);
                results.folderGroups.push_back(std::move(g));
            } else if (section == "zero_byte" && results.zeroByteFiles.empty()) {
                results.zeroByteFiles = std::move(paths);
                results.zeroByteFacts = std::move(facts);
            } else {
                throw std::runtime_error("a group of an unknown section '" + section + "'");
            }
        }
    } catch (const std::exception& e) {
        error = "the plan " + Utf8(path) + " cannot be used: " + e.what();
        return false;
    }
    results.root = roots.front();
    results.moreRoots.assign(roots.begin() + 1, roots.end());
    options.rootPath = roots.front();
    options.moreRoots = results.moreRoots;
    return true;
}

}  // namespace cs::cli
