#pragma once

// vantero-pack's command line, read the GNU way: long and short options, "--name=value" or
// "--name value", bundled short flags, and "--" before paths that start with a dash.

#include "base/PackParts.h"

#include <string>
#include <variant>
#include <vector>

namespace vantero::cli {

struct Options {
    PackParts parts;         // neither --graphic nor --data: both
    bool recursive = false;  // -r: the folders below too
    bool dryRun = false;     // -n: send nothing, say what a pack would reclaim
    bool onlyNeeded = false; // skip the tables that have nothing to reclaim
    bool json = false;       // one JSON object a table, and a summary
    bool force = false;      // replace an existing log file
    std::string logFile;     // --log: the run log, as the window program saves it
    std::vector<std::string> paths;
};

// What the command line asks when it asks for no run: --help or --version (printed, status 0), or
// a mistake (its message, status 2).
struct EarlyExit {
    int status = 0;
    std::string text;
};

std::variant<Options, EarlyExit> parseOptions(const std::vector<std::string>& arguments);

// The --help text, which the manual page is also made from.
std::string helpText();

} // namespace vantero::cli
