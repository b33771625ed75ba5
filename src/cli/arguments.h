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

struct Arguments {
    engine::ScanOptions options;
    bool json = false;
    bool quiet = false;
    bool help = false;
    std::vector<SelectionStep> selection;
    RemoveMode remove = RemoveMode::None;
    bool yes = false;
    bool dryRun = false;
    bool allowAllCopies = false;
    bool allowUnverified = false;
};

enum class ParseOutcome { Ok, Help, UsageError };

// args excludes the program name. On UsageError, `error` says why.
ParseOutcome ParseArguments(const std::vector<std::u16string>& args, Arguments& out,
                            std::string& error);

const char* UsageText();

}  // namespace cs::cli
