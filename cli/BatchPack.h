#pragma once

// vantero-pack's run, free of the console it runs in: the tables of the paths, then a dry run
// that reads their files or the same pack run as the window program's, over the same link.

#include "cli/Options.h"
#include "mapinfo/AutomationObject.h"

#include <functional>
#include <ostream>

namespace vantero::cli {

// Where the run's words go: results on out, progress and messages on err.
struct Console {
    std::ostream& out;
    std::ostream& err;
    // err is a terminal: one progress line, redrawn in place, rather than a line a table.
    bool errIsTerminal = false;
};

// Exit statuses a scheduler can read.
inline constexpr int kAllPacked = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kUsageError = 2;
inline constexpr int kNoConnection = 3;
inline constexpr int kStopped = 130; // as a shell reports a program ended by Ctrl+C

// Runs the options over MapInfo made from the servers; stopAsked is looked at before each table
// (Ctrl+C), as the window's Stop is. Returns the exit status.
int runBatch(const Options& options, AutomationServerFactory& servers, const Console& console,
             const std::function<bool()>& stopAsked);

} // namespace vantero::cli
