#include "app/Prompts.h"

#include <QFileDialog>

namespace vantero {
namespace {

PromptScript* script = nullptr;

QMessageBox::StandardButton FirstButton(QMessageBox::StandardButtons buttons) {
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit)))
            return static_cast<QMessageBox::StandardButton>(bit);
    return QMessageBox::NoButton;
}

} // namespace

PromptScript::PromptScript() {
    script = this;
}

PromptScript::~PromptScript() {
    script = nullptr;
}

QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& caption,
                                        const QString& text, QMessageBox::Icon icon,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) {
    if (script != nullptr) {
        const PromptRecord record{caption, text, icon, buttons, false};
        script->prompts.push_back(record);
        if (script->onPrompt)
            script->onPrompt(record);
        if (script->nextAnswer_) {
            const QMessageBox::StandardButton answer = *script->nextAnswer_;
            script->nextAnswer_.reset();
            return answer;
        }
        return defaultButton != QMessageBox::NoButton ? defaultButton : FirstButton(buttons);
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString AskSaveFileName(QWidget* parent, const QString& caption, const QString& folder,
                        const QString& filter, const QString& defaultSuffix) {
    if (script != nullptr) {
        const PromptRecord record{caption, folder, QMessageBox::NoIcon, {}, true};
        script->prompts.push_back(record);
        if (script->onPrompt)
            script->onPrompt(record);
        QString name = script->nextFileName_.value_or(QString());
        script->nextFileName_.reset();
        return name;
    }
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    // The dialog asks before it overwrites, as the platform's own save dialogs do.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace vantero
