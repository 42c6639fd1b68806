#include "cli/Options.h"

#include <string_view>

namespace vantero::cli {

namespace {

constexpr const char* kUsage = "Usage: vantero-pack [OPTION]... PATH...\n";

EarlyExit usageError(const std::string& what) {
    return {2, "vantero-pack: " + what + "\nTry 'vantero-pack --help' for more information.\n"};
}

} // namespace

std::string helpText() {
    return std::string(kUsage) +
           "Pack MapInfo tables in batch through MapInfo Professional: each PATH is a folder,\n"
           "whose tables are packed as the window program lists them, or a .tab file.\n"
           "\n"
           "  -g, --graphic      pack the graphic objects (the .MAP)\n"
           "  -d, --data         pack the rows (the .DAT); with neither option, both\n"
           "  -r, --recursive    the folders below each folder too (links to folders are\n"
           "                     not followed; each table is packed once)\n"
           "  -n, --dry-run      send nothing; show each table's kind, rows, deleted rows and\n"
           "                     the bytes a pack would reclaim, read from its files\n"
           "      --only-needed  skip the tables that have nothing to reclaim\n"
           "      --log FILE     write the run log to FILE, as the window program saves it\n"
           "  -f, --force        replace FILE when it exists\n"
           "      --json         one JSON object a table and a summary, on standard output\n"
           "  -h, --help         show this help and end\n"
           "  -V, --version      show the version and end\n"
           "\n"
           "Ctrl+C asks the run to stop after the table in hand, as Stop does in the window\n"
           "program; a second Ctrl+C ends it at once.\n"
           "\n"
           "Exit status:\n"
           "  0    every table was packed, or there was nothing to do\n"
           "  1    at least one table failed (the others were still packed)\n"
           "  2    the command line was wrong\n"
           "  3    no connection to MapInfo Professional\n"
           "  130  the run was stopped with Ctrl+C\n";
}

std::variant<Options, EarlyExit> parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    bool graphic = false, data = false, pathsOnly = false;
    // The flags by their short letter; the long names map onto them.
    const auto flag = [&](char letter) -> bool* {
        switch (letter) {
        case 'g':
            return &graphic;
        case 'd':
            return &data;
        case 'r':
            return &options.recursive;
        case 'n':
            return &options.dryRun;
        case 'f':
            return &options.force;
        default:
            return nullptr;
        }
    };
    struct Long {
        std::string_view name;
        char letter; // 0: no short form
    };
    constexpr Long kLong[] = {
        {"graphic", 'g'}, {"data", 'd'},    {"recursive", 'r'}, {"dry-run", 'n'}, {"force", 'f'},
        {"help", 'h'},    {"version", 'V'}, {"only-needed", 0}, {"json", 0},      {"log", 0}};

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (pathsOnly || argument.size() < 2 || argument[0] != '-') {
            options.paths.push_back(argument);
            continue;
        }
        if (argument == "--") {
            pathsOnly = true;
            continue;
        }
        if (argument[1] == '-') {
            const std::size_t equals = argument.find('=');
            const std::string name =
                argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            std::vector<const Long*> matches;
            for (const Long& option : kLong)
                if (option.name == name) {
                    matches = {&option};
                    break;
                } else if (option.name.substr(0, name.size()) == name) {
                    matches.push_back(&option); // GNU's unambiguous abbreviations
                }
            if (matches.size() != 1)
                return usageError(
                    (matches.empty() ? "unrecognized option '" : "ambiguous option '") + argument +
                    "'");
            const Long& option = *matches.front();
            if (option.name == "log") {
                if (equals != std::string::npos) {
                    options.logFile = argument.substr(equals + 1);
                } else if (i + 1 < arguments.size()) {
                    options.logFile = arguments[++i];
                } else {
                    return usageError("option '--log' requires a file");
                }
                if (options.logFile.empty())
                    return usageError("option '--log' requires a file");
                continue;
            }
            if (equals != std::string::npos)
                return usageError("option '--" + std::string(option.name) +
                                  "' doesn't allow an argument");
            if (option.name == "help")
                return EarlyExit{0, helpText()};
            if (option.name == "version")
                return EarlyExit{0, std::string("vantero-pack ") + VANTERO_VERSION + "\n"};
            if (option.name == "only-needed")
                options.onlyNeeded = true;
            else if (option.name == "json")
                options.json = true;
            else
                *flag(option.letter) = true;
            continue;
        }
        for (std::size_t k = 1; k < argument.size(); ++k) {
            const char letter = argument[k];
            if (letter == 'h')
                return EarlyExit{0, helpText()};
            if (letter == 'V')
                return EarlyExit{0, std::string("vantero-pack ") + VANTERO_VERSION + "\n"};
            bool* target = flag(letter);
            if (target == nullptr)
                return usageError(std::string("invalid option -- '") + letter + "'");
            *target = true;
        }
    }
    if (options.paths.empty())
        return usageError("no PATH given");
    if (graphic || data)
        options.parts = {graphic, data};
    return options;
}

} // namespace vantero::cli
