#pragma once

// The test side of the test automation server's record: a fresh file for each test, named in the
// environment so that every object created from then on writes into it, and its lines read back.

#include <windows.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vantero::test {

inline constexpr const char* kNoDoProgId = "Vantero.TestServer.NoDo";       // no "do" method
inline constexpr const char* kMissingProgId = "Vantero.TestServer.Missing"; // its exe is not there

class ServerRecord {
public:
    ServerRecord() {
        char folder[MAX_PATH];
        char file[MAX_PATH];
        if (GetTempPathA(MAX_PATH, folder) == 0 || GetTempFileNameA(folder, "vsr", 0, file) == 0)
            throw std::runtime_error("cannot make the server's record file");
        m_path = file;
        SetEnvironmentVariableA("VANTERO_TEST_SERVER_RECORD", m_path.c_str());
    }
    ~ServerRecord() {
        SetEnvironmentVariableA("VANTERO_TEST_SERVER_RECORD", nullptr);
        DeleteFileA(m_path.c_str());
    }
    ServerRecord(const ServerRecord&) = delete;
    ServerRecord& operator=(const ServerRecord&) = delete;

    std::vector<std::string> lines() const {
        std::ifstream in(m_path, std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }

    // The text after "kind<tab>" of every line of that kind.
    std::vector<std::string> of(const std::string& kind) const {
        std::vector<std::string> found;
        for (const std::string& line : lines()) {
            if (line == kind)
                found.emplace_back();
            else if (line.rfind(kind + "\t", 0) == 0)
                found.push_back(line.substr(kind.size() + 1));
        }
        return found;
    }
    std::vector<std::string> statements() const { return of("do"); }

    // The process that made the first object.
    DWORD serverProcess() const {
        const auto created = of("created");
        return created.empty() ? 0 : static_cast<DWORD>(std::stoul(created.front()));
    }

    // A line the server writes after the call that caused it has returned (a release) may come
    // a moment later.
    bool waitForLine(const std::string& line, int milliseconds = 10000) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            for (const std::string& l : lines())
                if (l == line)
                    return true;
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

private:
    std::string m_path;
};

// Whether the process has ended, waiting up to the time given.
inline bool processEnds(DWORD processId, DWORD milliseconds = 10000) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr)
        return true; // gone already
    const bool ended = WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

inline bool killProcess(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (process == nullptr)
        return false;
    const bool killed =
        TerminateProcess(process, 9) && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    CloseHandle(process);
    return killed;
}

// The system's own text for a code, as FormatMessage gives it, untrimmed.
inline std::string rawSystemText(DWORD code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text(buffer == nullptr ? "" : buffer, length);
    LocalFree(buffer);
    return text;
}

} // namespace vantero::test
