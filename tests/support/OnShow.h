#pragma once

// Acts on a window soon after it is next shown, from the event loop the showing runs in (a modal
// one included), as a user would once the window is up.

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace vantero::test {

class OnShow : public QObject {
public:
    OnShow(QWidget* widget, std::function<void()> action) : m_action(std::move(action)) {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && m_action)
            QTimer::singleShot(0, watched, m_action);
        return false;
    }

private:
    std::function<void()> m_action;
};

} // namespace vantero::test
