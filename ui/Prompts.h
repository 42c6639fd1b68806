#pragma once

// The one way the program asks the user something or tells them something modally: message boxes
// and the save dialog. Handlers never open one directly, so tests can see every prompt and answer
// it without a dialog on screen.

#include <QMessageBox>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace vantero {

// The width a title bar takes besides its caption: the window's icon, the buttons and margins.
inline constexpr int kTitleBarRoom = 120;

struct PromptRecord {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool isFileDialog = false;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Shows a message box and returns the button chosen; Escape or the close box give the escape
// button the platform picks (Cancel where there is one).
QMessageBox::StandardButton
showMessage(QWidget* parent, const QString& caption, const QString& text,
            QMessageBox::Icon icon = QMessageBox::NoIcon,
            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The save dialog; an empty string when the user cancelled.
// The save dialog: no file-type filter, no extension added, no question before a file is replaced
// (the caller asks that), centred across the screen a third of the free height down. The system's
// own dialog on Windows; Qt's elsewhere.
QString askSaveFileName(QWidget* parent, const QString& caption, const QString& initialName);

// While one exists, no prompt reaches the screen: each is recorded, shown to onPrompt (which may
// look at the windows as they are at that moment), and answered with the one-shot answer if one
// was given, else with the default button (or the first one), or with no file name.
class PromptScript {
public:
    PromptScript();
    ~PromptScript();
    PromptScript(const PromptScript&) = delete;
    PromptScript& operator=(const PromptScript&) = delete;

    void nextAnswer(QMessageBox::StandardButton answer) { m_nextAnswer = answer; }
    void nextFileName(const QString& name) { m_nextFileName = name; }

    std::vector<PromptRecord> prompts;
    std::function<void(const PromptRecord&)> onPrompt;

private:
    friend QMessageBox::StandardButton showMessage(QWidget*, const QString&, const QString&,
                                                   QMessageBox::Icon, QMessageBox::StandardButtons,
                                                   QMessageBox::StandardButton);
    friend QString askSaveFileName(QWidget*, const QString&, const QString&);
    std::optional<QMessageBox::StandardButton> m_nextAnswer;
    std::optional<QString> m_nextFileName;
};

} // namespace vantero
