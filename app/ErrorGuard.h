#pragma once

// Every handler the event loop calls runs its body through Guard: an exception that escapes it is
// shown in the default error box and the loop goes on, because an exception must never unwind
// through Qt's own frames.

#include <exception>
#include <utility>

namespace vantero {

// The default error box: the message, captioned with the application's title, OK.
void ShowErrorBox(const char* message) noexcept;

template <class Body> void Guard(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
    } catch (...) {
        ShowErrorBox("Unknown error");
    }
}

} // namespace vantero
