#pragma once

// Acts on a window soon after it is next shown, from the event loop the showing runs in (a modal
// one included), as a user would once the window is up.

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace vantero::test {

class OnShow : public QObject {
public:
    OnShow(QWidget* widget, std::function<void()> action) : action_(std::move(action)) {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && action_)
            QTimer::singleShot(0, watched, action_);
        return false;
    }

private:
    std::function<void()> action_;
};

} // namespace vantero::test
