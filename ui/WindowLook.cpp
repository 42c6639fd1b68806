#include "ui/WindowLook.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vantero {

void applyWindowFont(QWidget* window) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    window->setFont(font);
}

void centreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

} // namespace vantero
