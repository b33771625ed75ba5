#include "cli/arguments.h"

#include <functional>

#include "platform/text.h"

namespace cs::cli {

using engine::ContentChoice;
using engine::FileType;
using engine::NameChoice;

const char* UsageText() {
    return "Usage: clonesifter-cli [options] ROOT...\n"
           "       clonesifter-cli --apply-plan FILE --remove MODE [--yes | --dry-run]\n"
           "Finds duplicate files below the folders ROOT..., walked in the order given\n"
           "into one result (a folder met twice is listed once).\n"
           "Options taking a value accept --option VALUE and --option=VALUE.\n"
           "\n"
           "What makes files duplicates:\n"
           "  --preset N          1-12, the setup window's preset rows (default 1:\n"
           "                      same size files having similar names)\n"
           "  --same-size         files must have the same size\n"
           "  --any-size          sizes need not be equal\n"
           "  --names MODE        similar | exact | extension | none\n"
           "  --contents MODE     similar | exact | none\n"
           "  --folders           also match similar folder names\n"
           "  --zero-byte         also list all zero-byte files\n"
           "\n"
           "Which files take part:\n"
           "  --no-recursive      do not descend into sub-folders\n"
           "  --types LIST        only these types, comma separated: pictures,\n"
           "                      videos, music, pdf, documents\n"
           "  --ext TEXT          additional extensions, comma separated\n"
           "  --exclude GLOB      leave out files and folders whose name or path below\n"
           "                      the root matches (repeatable; * ? [a-z] within a\n"
           "                      name, ** across folders: '*.tmp', 'cache', 'a/**/b')\n"
           "  --min-size SIZE     only files of at least SIZE (bytes, or 10k, 5M, 1G:\n"
           "                      powers of 1024)\n"
           "  --max-size SIZE     only files of at most SIZE\n"
           "  --one-file-system   do not descend into another file system\n"
           "  --hidden            include hidden files and folders (the default)\n"
           "  --no-hidden         leave out hidden files and folders (Linux: names\n"
           "                      starting with a dot)\n"
           "\n"
           "Output (standard output; progress and the summary go to standard error):\n"
           "  --format FORMAT     text (default), json, csv, print0 or lines\n"
           "  --json              the same as --format json\n"
           "  -0, --print0        member paths, each ended by NUL, an empty record after\n"
           "                      each group\n"
           "  --lines             one member path per line, a blank line after each group\n"
           "  -q, --quiet         no progress line and no summary\n"
           "  -h, --help          this text\n"
           "  --version           the version\n"
           "\n"
           "Cache (off by default; never trusted for removal):\n"
           "  --cache             remember the contents digests of files read, and\n"
           "                      reuse them for a file whose device, inode, size,\n"
           "                      last write and change time are unchanged (Windows:\n"
           "                      volume serial, file id, size, last write and\n"
           "                      change time).\n"
           "                      A group matched on remembered digests is compared\n"
           "                      in full before any removal; in JSON its\n"
           "                      \"proved_byte_for_byte\" is false. Entries not\n"
           "                      used for 90 days are dropped\n"
           "  --cache-dir DIR     keep the cache in DIR instead of the default\n"
           "                      $XDG_CACHE_HOME/clonesifter (~/.cache/clonesifter;\n"
           "                      Windows: %LOCALAPPDATA%\\Clonesifter)\n"
           "  --clear-cache       empty the cache first; without ROOT, only that\n"
           "\n"
           "Selecting (applied in the order given; ticked rows are marked):\n"
           "  --select RULE       keep-first, keep-last, keep-smallest, keep-biggest,\n"
           "                      keep-oldest, keep-newest, tick-all or untick-all\n"
           "  --tick-folder DIR   tick every row directly inside DIR (written as the\n"
           "                      paths are printed)\n"
           "  --untick-folder DIR untick every row directly inside DIR\n"
           "\n"
           "Removing the ticked items:\n"
           "  --remove MODE       trash (the desktop trash) or delete (for good)\n"
           "  -y, --yes           do not ask; needed when standard input is not a terminal\n"
           "  --dry-run           list what would be removed, remove nothing\n"
           "  --allow-all-copies  also remove a group whose every copy is ticked\n"
           "  --allow-unverified  also remove items no copy that stays was proven\n"
           "                      identical to (compared in full unless matched on\n"
           "                      exact contents; folders: every file below them)\n"
           "  --plan-out FILE     write the ticked items as a plan instead of removing\n"
           "  --apply-plan FILE   check every item of a plan against the disk again and\n"
           "                      remove what still holds (with --remove)\n"
           "\n"
           "Exit status: 0 done (and everything ticked removed), 1 something ticked\n"
           "was not removed, 2 usage error or a ROOT that is not a listable folder,\n"
           "3 an output could not be written (the listing, the report or the plan;\n"
           "it stands before 1, and a removal still ran as it would have), 130\n"
           "interrupted.\n";
}

const char* VersionText() {
    return "clonesifter-cli " CS_VERSION "\n";
}

bool ParseSize(std::u16string_view text, uint64_t& bytes) {
    size_t i = 0;
    uint64_t n = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
        const uint64_t digit = static_cast<uint64_t>(text[i] - u'0');
        if (n > (UINT64_MAX - digit) / 10)
            return false;
        n = n * 10 + digit;
        ++i;
    }
    if (i == 0)
        return false;
    int shift = 0;
    if (i < text.size()) {
        switch (text[i]) {
            case u'k': case u'K': shift = 10; break;
            case u'm': case u'M': shift = 20; break;
            case u'g': case u'G': shift = 30; break;
            case u't': case u'T': shift = 40; break;
            default: break;
        }
        if (shift != 0) {
            ++i;
            if (i < text.size() && (text[i] == u'i' || text[i] == u'I'))
                ++i;
        }
        if (i < text.size() && (text[i] == u'b' || text[i] == u'B'))
            ++i;
    }
    if (i != text.size() || (shift != 0 && n > (UINT64_MAX >> shift)))
        return false;
    bytes = n << shift;
    return true;
}

namespace {

std::string Narrow(const std::u16string& s) {
    return platform::Utf16ToUtf8Lossless(s);
}

bool ParseTypes(const std::u16string& list, engine::SetupChoices& choices, std::string& error) {
    static const struct {
        const char16_t* word;
        FileType type;
    } kWords[] = {{u"pictures", FileType::Pictures},
                  {u"videos", FileType::Videos},
                  {u"music", FileType::Music},
                  {u"pdf", FileType::PdfXps},
                  {u"documents", FileType::Documents}};
    size_t start = 0;
    bool any = false;
    while (start <= list.size()) {
        size_t comma = list.find(u',', start);
        if (comma == std::u16string::npos)
            comma = list.size();
        const std::u16string word = list.substr(start, comma - start);
        bool known = false;
        for (const auto& w : kWords) {
            if (word == w.word) {
                choices.types[static_cast<int>(w.type)] = true;
                known = true;
            }
        }
        if (!known) {
            error = "unknown file type '" + Narrow(word) +
                    "' (expected pictures, videos, music, pdf or documents)";
            return false;
        }
        any = true;
        start = comma + 1;
    }
    if (!any) {
        error = "--types needs at least one type";
        return false;
    }
    choices.allFiles = false;
    return true;
}

}  // namespace

ParseOutcome ParseArguments(const std::vector<std::u16string>& args, Arguments& out,
                            std::string& error) {
    engine::SetupChoices choices;  // recursive, "All files", no extras
    int preset = 1;
    std::vector<std::function<void()>> overrides;
    std::vector<std::u16string> roots;
    bool optionsEnded = false;
    bool sizeGiven[2] = {false, false};
    engine::WalkFilter& filter = out.options.filter;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != u'-' || arg == u"-") {
            roots.push_back(arg);
            continue;
        }
        // "--name=value" is "--name value"; a single-dash option has no such form.
        std::u16string a = arg;
        std::u16string inlineValue;
        bool hasInline = false;
        if (arg.size() > 2 && arg[1] == u'-') {
            const size_t eq = arg.find(u'=');
            if (eq != std::u16string::npos) {
                a = arg.substr(0, eq);
                inlineValue = arg.substr(eq + 1);
                hasInline = true;
            }
        }
        bool tookValue = false;
        auto value = [&](std::u16string& v) {
            tookValue = true;
            if (hasInline) {
                v = inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = Narrow(a) + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        auto size = [&](uint64_t& bytes, int which) {
            std::u16string v;
            if (!value(v))
                return false;
            if (!ParseSize(v, bytes)) {
                error = Narrow(a) + " takes a size such as 4096, 10k, 5M or 1G, not '" +
                        Narrow(v) + "'";
                return false;
            }
            sizeGiven[which] = true;
            return true;
        };
        std::u16string v;
        if (a == u"--") {
            optionsEnded = true;
        } else if (a == u"--help" || a == u"-h") {
            out.help = true;
        } else if (a == u"--version") {
            out.version = true;
        } else if (a == u"--json") {
            out.format = OutputFormat::Json;
        } else if (a == u"--print0" || a == u"-0") {
            out.format = OutputFormat::Print0;
        } else if (a == u"--lines") {
            out.format = OutputFormat::Lines;
        } else if (a == u"--format") {
            if (!value(v))
                return ParseOutcome::UsageError;
            if (v == u"text")
                out.format = OutputFormat::Text;
            else if (v == u"json")
                out.format = OutputFormat::Json;
            else if (v == u"csv")
                out.format = OutputFormat::Csv;
            else if (v == u"print0")
                out.format = OutputFormat::Print0;
            else if (v == u"lines")
                out.format = OutputFormat::Lines;
            else {
                error = "--format takes text, json, csv, print0 or lines, not '" + Narrow(v) + "'";
                return ParseOutcome::UsageError;
            }
        } else if (a == u"--quiet" || a == u"-q") {
            out.quiet = true;
        } else if (a == u"--preset") {
            if (!value(v))
                return ParseOutcome::UsageError;
            int n = 0;
            bool digits = !v.empty() && v.size() <= 2;
            for (char16_t c : v) {
                if (c < u'0' || c > u'9')
                    digits = false;
                else
                    n = n * 10 + (c - u'0');
            }
            if (!digits || n < 1 || n > engine::kPresetCount) {
                error = "--preset takes a number from 1 to 12, not '" + Narrow(v) + "'";
                return ParseOutcome::UsageError;
            }
            preset = n;
        } else if (a == u"--same-size") {
            overrides.push_back([&choices] { choices.sameSize = true; });
        } else if (a == u"--any-size") {
            overrides.push_back([&choices] { choices.sameSize = false; });
        } else if (a == u"--names") {
            if (!value(v))
                return ParseOutcome::UsageError;
            NameChoice n;
            if (v == u"similar")
                n = NameChoice::Similar;
            else if (v == u"exact")
                n = NameChoice::Exact;
            else if (v == u"extension")
                n = NameChoice::Extension;
            else if (v == u"none")
                n = NameChoice::None;
            else {
                error = "--names takes similar, exact, extension or none, not '" + Narrow(v) + "'";
                return ParseOutcome::UsageError;
            }
            overrides.push_back([&choices, n] { choices.names = n; });
        } else if (a == u"--contents") {
            if (!value(v))
                return ParseOutcome::UsageError;
            ContentChoice c;
            if (v == u"similar")
                c = ContentChoice::Similar;
            else if (v == u"exact")
                c = ContentChoice::Exact;
            else if (v == u"none")
                c = ContentChoice::None;
            else {
                error = "--contents takes similar, exact or none, not '" + Narrow(v) + "'";
                return ParseOutcome::UsageError;
            }
            overrides.push_back([&choices, c] { choices.contents = c; });
        } else if (a == u"--no-recursive") {
            overrides.push_back([&choices] { choices.recursive = false; });
        } else if (a == u"--folders") {
            overrides.push_back([&choices] { choices.similarFolders = true; });
        } else if (a == u"--zero-byte") {
            overrides.push_back([&choices] { choices.listZeroByte = true; });
        } else if (a == u"--types") {
            if (!value(v))
                return ParseOutcome::UsageError;
            engine::SetupChoices picked;
            if (!ParseTypes(v, picked, error))
                return ParseOutcome::UsageError;
            overrides.push_back([&choices, picked] {
                choices.allFiles = false;
                for (int t = 0; t < engine::kFileTypeCount; ++t) {
                    choices.types[t] = choices.types[t] || picked.types[t];
                }
            });
        } else if (a == u"--ext") {
            if (!value(v))
                return ParseOutcome::UsageError;
            overrides.push_back([&choices, v] { choices.additionalExtensions = v; });
        } else if (a == u"--exclude") {
            if (!value(v))
                return ParseOutcome::UsageError;
            if (v.empty()) {
                error = "--exclude needs a pattern";
                return ParseOutcome::UsageError;
            }
            filter.excludes.push_back(v);
        } else if (a == u"--min-size") {
            if (!size(filter.minSize, 0))
                return ParseOutcome::UsageError;
        } else if (a == u"--max-size") {
            if (!size(filter.maxSize, 1))
                return ParseOutcome::UsageError;
        } else if (a == u"--one-file-system") {
            filter.oneFileSystem = true;
        } else if (a == u"--hidden") {
            filter.hidden = true;
        } else if (a == u"--no-hidden") {
            filter.hidden = false;
        } else if (a == u"--select") {
            if (!value(v))
                return ParseOutcome::UsageError;
            static const struct {
                const char16_t* word;
                SelectionKind kind;
            } kRules[] = {{u"keep-first", SelectionKind::KeepFirst},
                          {u"keep-last", SelectionKind::KeepLast},
                          {u"keep-smallest", SelectionKind::KeepSmallest},
                          {u"keep-biggest", SelectionKind::KeepBiggest},
                          {u"keep-oldest", SelectionKind::KeepOldest},
                          {u"keep-newest", SelectionKind::KeepNewest},
                          {u"tick-all", SelectionKind::TickAll},
                          {u"untick-all", SelectionKind::UntickAll}};
            bool known = false;
            for (const auto& rule : kRules) {
                if (v == rule.word) {
                    out.selection.push_back({rule.kind, {}});
                    known = true;
                }
            }
            if (!known) {
                error =
                    "--select takes keep-first, keep-last, keep-smallest, keep-biggest, "
                    "keep-oldest, keep-newest, tick-all or untick-all, not '" +
                    Narrow(v) + "'";
                return ParseOutcome::UsageError;
            }
        } else if (a == u"--tick-folder" || a == u"--untick-folder") {
            if (!value(v))
                return ParseOutcome::UsageError;
            if (v.empty()) {
                error = Narrow(a) + " needs a folder";
                return ParseOutcome::UsageError;
            }
            out.selection.push_back(
                {a == u"--tick-folder" ? SelectionKind::TickFolder : SelectionKind::UntickFolder,
                 platform::StripTrailingSeparators(v)});
        } else if (a == u"--remove") {
            if (!value(v))
                return ParseOutcome::UsageError;
            if (v == u"trash") {
                out.remove = RemoveMode::Trash;
            } else if (v == u"delete") {
                out.remove = RemoveMode::Delete;
            } else {
                error = "--remove takes trash or delete, not '" + Narrow(v) + "'";
                return ParseOutcome::UsageError;
            }
        } else if (a == u"--yes" || a == u"-y") {
            out.yes = true;
        } else if (a == u"--dry-run") {
            out.dryRun = true;
        } else if (a == u"--allow-all-copies") {
            out.allowAllCopies = true;
        } else if (a == u"--allow-unverified") {
            out.allowUnverified = true;
        } else if (a == u"--cache") {
            out.cache = true;
        } else if (a == u"--clear-cache") {
            out.clearCache = true;
        } else if (a == u"--cache-dir") {
            if (!value(out.cacheDir))
                return ParseOutcome::UsageError;
            if (out.cacheDir.empty()) {
                error = "--cache-dir needs a folder";
                return ParseOutcome::UsageError;
            }
        } else if (a == u"--plan-out" || a == u"--apply-plan") {
            if (!value(v))
                return ParseOutcome::UsageError;
            if (v.empty()) {
                error = Narrow(a) + " needs a file";
                return ParseOutcome::UsageError;
            }
            (a == u"--plan-out" ? out.planOut : out.applyPlan) = v;
        } else {
            error = "unknown option '" + Narrow(a) + "'";
            return ParseOutcome::UsageError;
        }
        if (hasInline && !tookValue) {
            error = Narrow(a) + " takes no value";
            return ParseOutcome::UsageError;
        }
    }
    if (out.help)
        return ParseOutcome::Help;
    if (out.version)
        return ParseOutcome::Version;
    if ((out.yes || out.dryRun || out.allowAllCopies || out.allowUnverified) &&
        out.remove == RemoveMode::None) {
        error = "--yes, --dry-run, --allow-all-copies and --allow-unverified go with --remove";
        return ParseOutcome::UsageError;
    }
    if (out.yes && out.dryRun) {
        error = "--dry-run removes nothing; --yes has nothing to confirm with it";
        return ParseOutcome::UsageError;
    }
    if (sizeGiven[0] && sizeGiven[1] && filter.minSize > filter.maxSize) {
        error = "--min-size is above --max-size: no file could take part";
        return ParseOutcome::UsageError;
    }
    if (!out.planOut.empty() && out.remove != RemoveMode::None) {
        error = "--plan-out writes a plan instead of removing; apply it with --apply-plan";
        return ParseOutcome::UsageError;
    }
    if (!out.cacheDir.empty() && !out.cache && !out.clearCache) {
        error = "--cache-dir goes with --cache or --clear-cache";
        return ParseOutcome::UsageError;
    }
    if (!out.applyPlan.empty() && (out.cache || out.clearCache)) {
        error = "--apply-plan reads no contents to cache: it takes no cache option";
        return ParseOutcome::UsageError;
    }
    if (roots.empty() && out.clearCache && !out.cache && out.applyPlan.empty()) {
        out.onlyClearCache = true;
        return ParseOutcome::Ok;
    }
    if (!out.applyPlan.empty()) {
        // The plan holds the roots, the criteria and the ticks; a scan option
        // here would suggest it changes what the plan removes.
        if (!roots.empty() || !out.selection.empty() || !out.planOut.empty() ||
            !overrides.empty() || preset != 1 || filter.Active()) {
            error = "--apply-plan takes no ROOT and no scan, filter or selection option";
            return ParseOutcome::UsageError;
        }
        if (out.remove == RemoveMode::None) {
            error = "--apply-plan needs --remove trash or --remove delete";
            return ParseOutcome::UsageError;
        }
        return ParseOutcome::Ok;
    }
    if (roots.empty()) {
        error = "no ROOT folder given";
        return ParseOutcome::UsageError;
    }

    engine::ApplyPreset(preset, choices);
    for (auto& apply : overrides)
        apply();

    out.options.criteria = engine::BuildCriteriaFlags(choices);
    out.options.extensionFilter = engine::BuildExtensionFilter(choices);
    out.options.rootPath = platform::StripTrailingSeparators(roots[0]);
    for (size_t r = 1; r < roots.size(); ++r)
        out.options.moreRoots.push_back(platform::StripTrailingSeparators(roots[r]));
    return ParseOutcome::Ok;
}

}  // namespace cs::cli
