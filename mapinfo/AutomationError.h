#pragma once

// The two kinds of automation failure. The pack run tells them apart: a ServerError is MapInfo
// refusing one statement (logged, the run goes on); any other AutomationError means the link itself
// is broken.

#include "base/Failure.h"

#include <cstdint>
#include <string>

namespace vantero {

class AutomationError : public Failure {
public:
    explicit AutomationError(const std::string& message, std::uint32_t code = 0,
                             std::string reason = {})
        : Failure(message, std::move(reason)), m_code(code) {}
    std::uint32_t code() const { return m_code; }

private:
    std::uint32_t m_code;
};

// Raised when the server ran the call and answered with its own exception information.
class ServerError : public AutomationError {
public:
    using AutomationError::AutomationError;
};

// COM's DISP_E_EXCEPTION: the code a server error carries when the server gives none of its own.
inline constexpr std::uint32_t kDispatchException = 0x80020009u;

} // namespace vantero
