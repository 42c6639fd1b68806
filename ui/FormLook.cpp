#include "ui/FormLook.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vantero {

void SetFormFont(QWidget* form) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    form->setFont(font);
}

void CentreOnScreen(QWidget* form) {
    const QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = form->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    form->move(frame.topLeft());
}

} // namespace vantero
