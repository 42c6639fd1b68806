#pragma once

// What MapInfo Professional keeps between statements, as the stand-in keeps it: the open tables
// by alias and the settings the set-up statements gave. Plain C++, so that it is tested without a
// bus; paths are byte strings in the file system's encoding.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantero::standin {

class StandinSession {
public:
    // Runs one statement. Throws StatementError or PackError with the message the caller is to
    // see; the session and the files are then as they were before the statement.
    void Run(std::string_view statement);

    struct OpenedTable {
        std::string alias;
        std::string path;
    };
    const std::vector<OpenedTable>& openTables() const { return tables_; }
    std::uint64_t documentParent() const { return documentParent_; }
    std::uint64_t applicationWindow() const { return applicationWindow_; }
    bool progressBars() const { return progressBars_; }

private:
    const OpenedTable* Find(std::string_view alias) const;
    void Open(const std::string& path, const std::string& alias);
    void Pack(const std::string& alias, bool graphic, bool data);
    void Close(const std::string& alias);

    std::vector<OpenedTable> tables_;
    std::uint64_t documentParent_ = 0;
    std::uint64_t applicationWindow_ = 0;
    bool progressBars_ = true;
};

} // namespace vantero::standin
