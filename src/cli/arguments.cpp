#include "cli/arguments.h"

#include <functional>

#include "platform/text.h"

namespace cs::cli {

using engine::ContentChoice;
using engine::FileType;
using engine::NameChoice;

const char* UsageText() {
    return "Usage: clonesifter-cli [options] ROOT\n"
           "Finds duplicate files below the folder ROOT.\n"
           "\n"
           "  --preset N          1-12, the setup window's preset rows (default 1:\n"
           "                      same size files having similar names)\n"
           "  --same-size         files must have the same size\n"
           "  --any-size          sizes need not be equal\n"
           "  --names MODE        similar | exact | extension | none\n"
           "  --contents MODE     similar | exact | none\n"
           "  --no-recursive      do not descend into sub-folders\n"
           "  --folders           also match similar folder names\n"
           "  --zero-byte         also list all zero-byte files\n"
           "  --types LIST        only these types, comma separated: pictures,\n"
           "                      videos, music, pdf, documents\n"
           "  --ext TEXT          additional extensions, comma separated\n"
           "  --json              print one JSON object instead of text\n"
           "  --quiet             no progress line\n"
           "  --help              this text\n"
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
           "  --yes               do not ask; needed when standard input is not a terminal\n"
           "  --dry-run           list what would be removed, remove nothing\n"
           "  --allow-all-copies  also remove a group whose every copy is ticked\n"
           "  --allow-unverified  also remove items no copy that stays was proven\n"
           "                      identical to (compared in full unless matched on\n"
           "                      exact contents; folders: every file below them)\n"
           "\n"
           "Exit status: 0 done (and everything ticked removed), 1 something ticked\n"
           "was not removed, 2 usage error or ROOT not a folder (or not listable),\n"
           "130 interrupted.\n";
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

    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != u'-' || a == u"-") {
            roots.push_back(a);
            continue;
        }
        auto value = [&](std::u16string& v) {
            if (i + 1 >= args.size()) {
                error = Narrow(a) + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        std::u16string v;
        if (a == u"--") {
            optionsEnded = true;
        } else if (a == u"--help" || a == u"-h") {
            out.help = true;
        } else if (a == u"--json") {
            out.json = true;
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
        } else if (a == u"--ext") {
            if (!value(v))
                return ParseOutcome::UsageError;
            overrides.push_back([&choices, v] { choices.additionalExtensions = v; });
        } else {
            error = "unknown option '" + Narrow(a) + "'";
            return ParseOutcome::UsageError;
        }
    }
    if (out.help)
        return ParseOutcome::Help;
    if ((out.yes || out.dryRun || out.allowAllCopies || out.allowUnverified) &&
        out.remove == RemoveMode::None) {
        error = "--yes, --dry-run, --allow-all-copies and --allow-unverified go with --remove";
        return ParseOutcome::UsageError;
    }
    if (roots.size() != 1) {
        error = roots.empty() ? "no ROOT folder given" : "more than one ROOT given";
        return ParseOutcome::UsageError;
    }

    engine::ApplyPreset(preset, choices);
    for (auto& apply : overrides)
        apply();

    out.options.criteria = engine::BuildCriteriaFlags(choices);
    out.options.extensionFilter = engine::BuildExtensionFilter(choices);
    out.options.rootPath = platform::StripTrailingSeparators(roots[0]);
    return ParseOutcome::Ok;
}

}  // namespace cs::cli
