#pragma once

// A private folder under the system's temporary folder, removed with everything in it at the end
// of the test, and helpers to put bytes into files and take them out again.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include "base/WindowsText.h"
#endif

namespace vantero::test {

class TempFolder {
public:
    TempFolder() {
        m_path = (std::filesystem::temp_directory_path() / "vantero-XXXXXX").string();
        if (!mkdtemp(m_path.data()))
            throw std::runtime_error("cannot make a temporary folder");
    }
    ~TempFolder() {
        std::error_code ignored;
        // Tests may take permissions away; give them back so that everything can be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> folderEntries(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path)) {
#ifdef _WIN32
        // In the code page the program's own file calls use, not the UTF-8 of path::string().
        names.push_back(toAnsi(e.path().filename().wstring()));
#else
        names.push_back(e.path().filename().string());
#endif
    }
    return names;
}

} // namespace vantero::test
