#pragma once

// A failure told to the user in the program's own words, keeping what the system said about it
// (the reason) for the log that a user can switch on. The message is what() and never changes
// with the reason.

#include <stdexcept>
#include <string>

namespace vantero {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& message, std::string reason = {})
        : std::runtime_error(message), m_reason(std::move(reason)) {}
    const std::string& reason() const noexcept { return m_reason; }

private:
    std::string m_reason;
};

// The system's text for an errno value, as strerror gives it, without its thread-safety trap.
std::string systemErrorText(int error);

#ifdef _WIN32
// The system's text for GetLastError().
std::string lastWindowsErrorText();
#endif

} // namespace vantero
