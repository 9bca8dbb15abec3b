// Ends a start-up measurement: closes a top-level window as soon as it has been shown and
// painted once, so that the program's event loop ends the way it does when the user closes it.
//
// "Shown" is the first expose event that leaves the window's native window exposed: Qt paints
// the widgets in handling that event, and the close is queued behind it, so a measured start
// includes building the window, showing it and its first paint.
#pragma once

#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QWidget>
#include <QWindow>

namespace kestrane::bench {

class CloseOnceShown final : public QObject {
public:
    // `window` must already be shown (it has its native window).
    explicit CloseOnceShown(QWidget& window) : window_{window} {
        QWindow* const handle = window.windowHandle();
        if (handle == nullptr) {
            return;
        }
        if (handle->isExposed()) {
            closeLater();
            return;
        }
        handle->installEventFilter(this);
    }

    // Whether the window was shown and then closed here, rather than by something else.
    bool closedOnceShown() const { return closeQueued_; }

    bool eventFilter(QObject* watched, QEvent* event) override {
        // Qt marks the window exposed before it delivers the event that paints it.
        if (event->type() == QEvent::Expose && !closeQueued_ &&
            static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            closeLater();
        }
        return false;
    }

private:
    void closeLater() {
        closeQueued_ = true;
        QMetaObject::invokeMethod(&window_, &QWidget::close, Qt::QueuedConnection);
    }

    QWidget& window_;
    bool closeQueued_ = false;
};

} // namespace kestrane::bench
