#include "ui/ErrorGuard.h"

#include "base/Failure.h"
#include "ui/Prompts.h"

#include <QApplication>

// Off unless switched on: the user reads the program's own messages, and the system's reasons are
// there for whoever looks into a failure.
Q_LOGGING_CATEGORY(lcFailures, "vantero.failures", QtWarningMsg)

namespace vantero {

void showErrorBox(const char* message) noexcept {
    try {
        // The program's messages are byte strings in the locale's encoding, file names included.
        showMessage(QApplication::activeWindow(), QString::fromLatin1(kApplicationTitle),
                    QString::fromLocal8Bit(message), QMessageBox::Critical, QMessageBox::Ok);
    } catch (...) {
        // Nothing is left to report it with; the loop goes on regardless.
    }
}

void logFailure(const std::exception& error) noexcept {
    try {
        const auto* failure = dynamic_cast<const Failure*>(&error);
        if (failure != nullptr && !failure->reason().empty())
            qCInfo(lcFailures, "%s: %s", error.what(), failure->reason().c_str());
        else
            qCInfo(lcFailures, "%s", error.what());
    } catch (...) {
    }
}

} // namespace vantero
