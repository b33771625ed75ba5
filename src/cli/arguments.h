// The command line of clonesifter-cli, turned into scan options. Pure; the
// caller prints the messages.
#pragma once

#include <string>
#include <vector>

#include "engine/options.h"

namespace cs::cli {

struct Arguments {
    engine::ScanOptions options;
    bool json = false;
    bool quiet = false;
    bool help = false;
};

enum class ParseOutcome { Ok, Help, UsageError };

// args excludes the program name. On UsageError, `error` says why.
ParseOutcome ParseArguments(const std::vector<std::u16string>& args, Arguments& out,
                            std::string& error);

const char* UsageText();

}  // namespace cs::cli
