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
    void run(std::string_view statement);

    struct OpenedTable {
        std::string alias;
        std::string path;
    };
    const std::vector<OpenedTable>& openTables() const { return m_tables; }
    std::uint64_t documentParent() const { return m_documentParent; }
    std::uint64_t applicationWindow() const { return m_applicationWindow; }
    bool progressBars() const { return m_progressBars; }

private:
    const OpenedTable* find(std::string_view alias) const;
    void open(const std::string& path, const std::string& alias);
    void pack(const std::string& alias, bool graphic, bool data);
    void close(const std::string& alias);

    std::vector<OpenedTable> m_tables;
    std::uint64_t m_documentParent = 0;
    std::uint64_t m_applicationWindow = 0;
    bool m_progressBars = true;
};

} // namespace vantero::standin
