#include "app/ErrorGuard.h"

#include "app/ProcessState.h"
#include "app/Prompts.h"

#include <QApplication>

namespace vantero {

void ShowErrorBox(const char* message) noexcept {
    try {
        // The program's messages are byte strings in the locale's encoding, file names included.
        ShowMessage(QApplication::activeWindow(), QString::fromLatin1(kApplicationTitle),
                    QString::fromLocal8Bit(message), QMessageBox::Critical, QMessageBox::Ok);
    } catch (...) {
        // Nothing is left to report it with; the loop goes on regardless.
    }
}

} // namespace vantero
