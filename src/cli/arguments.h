// The command line of clonesifter-cli, turned into scan options. Pure; the
// caller prints the messages.
#pragma once

#include <string>
#include <vector>

#include "engine/options.h"

namespace cs::cli {

// One selection step, applied to the rows in command-line order.
enum class SelectionKind {
    KeepFirst,
    KeepLast,
    KeepSmallest,
    KeepBiggest,
    KeepOldest,
    KeepNewest,
    TickAll,
    UntickAll,
    TickFolder,
    UntickFolder,
};

struct SelectionStep {
    SelectionKind kind;
    std::u16string folder;  // TickFolder / UntickFolder only
};

enum class RemoveMode { None, Trash, Delete };

// How the groups are printed on standard output.
enum class OutputFormat { Text, Json, Csv, Print0, Lines };

struct Arguments {
    // rootPath is the first root, moreRoots the others, in command-line
    // order; empty with --apply-plan, whose plan names the roots.
    engine::ScanOptions options;
    OutputFormat format = OutputFormat::Text;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::vector<SelectionStep> selection;
    RemoveMode remove = RemoveMode::None;
    bool yes = false;
    bool dryRun = false;
    bool allowAllCopies = false;
    bool allowUnverified = false;
    std::u16string planOut;    // write the ticked rows as a plan, remove nothing
    std::u16string applyPlan;  // verify and remove what a plan lists; no scan
    // The digest cache: used with `cache`; `cacheDir` empty for the
    // default place; `clearCache` empties it first (alone: and stops).
    bool cache = false;
    bool clearCache = false;
    std::u16string cacheDir;
    // --clear-cache without a ROOT: nothing to scan.
    bool onlyClearCache = false;
};

enum class ParseOutcome { Ok, Help, Version, UsageError };

// args excludes the program name. On UsageError, `error` says why.
ParseOutcome ParseArguments(const std::vector<std::u16string>& args, Arguments& out,
                            std::string& error);

const char* UsageText();
// "clonesifter-cli VERSION", a line as help2man reads it.
const char* VersionText();

// Sizes as the size options take them: a number of bytes, optionally
// followed by k, M, G or T (powers of 1024, case ignored, an optional
// trailing "B" or "iB"). False when the text is not one.
bool ParseSize(std::u16string_view text, uint64_t& bytes);

}  // namespace cs::cli
