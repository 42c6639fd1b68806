#include "ui/Prompts.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>

#ifdef _WIN32
#include <windows.h>

#include <commdlg.h>

#include <string>
#endif

namespace vantero {
namespace {

PromptScript* script = nullptr;

QMessageBox::StandardButton firstButton(QMessageBox::StandardButtons buttons) {
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit)))
            return static_cast<QMessageBox::StandardButton>(bit);
    return QMessageBox::NoButton;
}

#ifdef _WIN32

// Where the system's save dialog opens: centred across the monitor of its owner, a third of the
// free height down.
UINT_PTR CALLBACK placeSystemDialog(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_NOTIFY ||
        reinterpret_cast<const OFNOTIFYW*>(lParam)->hdr.code != CDN_INITDONE)
        return 0;
    HWND dialog = GetParent(hook);
    HWND owner = GetWindow(dialog, GW_OWNER);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTOPRIMARY),
                         &monitor))
        return 0;
    RECT bounds{};
    GetWindowRect(dialog, &bounds);
    const RECT& area = monitor.rcWork;
    const int width = bounds.right - bounds.left;
    const int height = bounds.bottom - bounds.top;
    SetWindowPos(dialog, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 3, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
}

// The system's common save dialog. Qt's file dialog writes its history to the registry when it is
// destroyed, and the program keeps no settings.
QString systemSaveFileName(QWidget* parent, const QString& caption, const QString& initialName) {
    std::wstring file = initialName.toStdWString();
    file.resize(32768, L'\0');
    const std::wstring title = caption.toStdWString();
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = parent ? reinterpret_cast<HWND>(parent->window()->winId()) : nullptr;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING | OFN_HIDEREADONLY |
                   OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    dialog.lpfnHook = placeSystemDialog;
    if (!GetSaveFileNameW(&dialog))
        return {};
    return QString::fromWCharArray(file.c_str());
}

#else

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

#endif

// A box sized for a short text alone ("Log file saved!") is narrower than its title bar needs, and
// the caption shows as "V…". The title bar holds the caption, the window's icon and its buttons.
void fitCaption(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr)
        return;
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarRoom;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
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
        const PromptRecord record{caption, text, icon, buttons, false, defaultButton};
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
    fitCaption(box);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString askSaveFileName(QWidget* parent, const QString& caption, const QString& initialName) {
    if (script != nullptr) {
        const PromptRecord record{caption, initialName, QMessageBox::NoIcon, {}, true};
        script->prompts.push_back(record);
        if (script->onPrompt)
            script->onPrompt(record);
        QString name = script->m_nextFileName.value_or(QString());
        script->m_nextFileName.reset();
        return name;
    }
#ifdef _WIN32
    return systemSaveFileName(parent, caption, initialName);
#else
    QFileDialog dialog(parent, caption, initialName);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The caller asks before a file is replaced, through this seam, so the question can be seen.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    placeSaveDialog(dialog, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
#endif
}

} // namespace vantero
