#pragma once

// Every handler the event loop calls runs its body through guard(): an exception that escapes it is
// shown in the default error box and the loop goes on, because an exception must never unwind
// through Qt's own frames. What the system said about a failure goes to the log category
// "vantero.failures", which a user switches on with QT_LOGGING_RULES="vantero.failures=true".

#include <QLoggingCategory>

#include <exception>
#include <utility>

Q_DECLARE_LOGGING_CATEGORY(lcFailures)

namespace vantero {

// Captions the main window, every plain message box and the error box.
inline constexpr const char* kApplicationTitle = "Vantero";

// The default error box: the message, captioned with the application's title, OK.
void showErrorBox(const char* message) noexcept;

// Writes the failure's message and, for a Failure, its reason to the failures category.
void logFailure(const std::exception& error) noexcept;

template <class Body> void guard(Body&& body) noexcept {
    try {
        std::forward<Body>(body)();
    } catch (const std::exception& error) {
        logFailure(error);
        showErrorBox(error.what());
    } catch (...) {
        showErrorBox("Unknown error");
    }
}

} // namespace vantero
