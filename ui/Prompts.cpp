#include "ui/Prompts.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>

namespace vantero {
namespace {

PromptScript* script = nullptr;

QMessageBox::StandardButton firstButton(QMessageBox::StandardButtons buttons) {
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit)))
            return static_cast<QMessageBox::StandardButton>(bit);
    return QMessageBox::NoButton;
}

// Centred across the monitor of the window it belongs to, a third of the free height down, where
// the save dialogs of the program's first platform open.
void placeSaveDialog(QFileDialog& dialog, QWidget* parent) {
    const QScreen* screen = parent ? parent->window()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    dialog.adjustSize();
    const QRect area = screen->availableGeometry();
    const QSize size = dialog.frameGeometry().size();
    dialog.move(area.left() + (area.width() - size.width()) / 2,
                area.top() + (area.height() - size.height()) / 3);
}

} // namespace

PromptScript::PromptScript() {
    script = this;
}

PromptScript::~PromptScript() {
    script = nullptr;
}

QMessageBox::StandardButton showMessage(QWidget* parent, const QString& caption,
                                        const QString& text, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) {
    if (script != nullptr) {
        const PromptRecord record{caption, text, icon, buttons, false};
        script->prompts.push_back(record);
        if (script->onPrompt)
            script->onPrompt(record);
        if (script->m_nextAnswer) {
            const QMessageBox::StandardButton answer = *script->m_nextAnswer;
            script->m_nextAnswer.reset();
            return answer;
        }
        return defaultButton != QMessageBox::NoButton ? defaultButton : firstButton(buttons);
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString askSaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                        const QString& filter, const QString& defaultSuffix) {
    if (script != nullptr) {
        const PromptRecord record{caption, folder, QMessageBox::NoIcon, {}, true};
        script->prompts.push_back(record);
        if (script->onPrompt)
            script->onPrompt(record);
        QString name = script->m_nextFileName.value_or(QString());
        script->m_nextFileName.reset();
        return name;
    }
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    // The caller asks before a file is replaced, through this seam, so the question can be seen.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    placeSaveDialog(dialog, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace vantero
