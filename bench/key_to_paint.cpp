// How long a typed key takes to show in a field that holds the longest text the window accepts:
// the window as the program shows it, its path field filled to that length but for the keys to
// come, then each key pressed and released at the end of the text, timed from the press to the
// end of the paint that shows it. Not a test; scripts/bench runs it on Qt's offscreen platform
// and on an X server of its own, and prints its rows.
//
// Prints two rows for scripts/bench (milliseconds, against the 100 ms a key may take), the
// first with the process's CPU time per key, the mean over all keys:
//   row Key to paint, median (PLATFORM) ... 1.0 ms <median> 100 <CPU time> 100
//   row Key to paint, maximum (PLATFORM) ... 1.0 ms <maximum> 100
//
// Usage: key_to_paint [--keys=N] [--length=N]   (default: 40 keys, the longest field text)
#include "count_option.h"
#include "window/form_design.h"
#include "window/qt/start.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QObject>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

// Notes each paint of the watched widget.
class PaintWatcher final : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        painted = painted || event->type() == QEvent::Paint;
        return false;
    }
};

void sendKey(QWidget* to, QEvent::Type type, int key, const QString& text) {
    QKeyEvent event{type, key, Qt::NoModifier, text};
    QApplication::sendEvent(to, &event);
}

// The process's user and system time so far, in milliseconds.
double cpuMilliseconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto milliseconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
    };
    return milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
}

} // namespace

int main(int argc, char* argv[]) {
    const long keys = kestrane::bench::countOption(argc, argv, "--keys=", 40);
    const long length =
        kestrane::bench::countOption(argc, argv, "--length=", kestrane::window::longestFieldText);
    const auto app = kestrane::window::qt::openApplication(argc, argv);
    const auto form = kestrane::window::qt::startSignalSimulator();
    auto* path = form->findChild<QLineEdit*>(QStringLiteral("Text6"));
    if (path == nullptr || keys <= 0 || length < keys) {
        std::fputs("key_to_paint: no path field, or nothing to type\n", stderr);
        return 2;
    }
    form->activateWindow();
    path->setFocus();
    path->setText(QString(static_cast<qsizetype>(length - keys), u'x'));
    path->end(false);
    PaintWatcher watcher;
    path->installEventFilter(&watcher);
    // Everything the start and the filling left to do, done.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    std::vector<double> milliseconds;
    const double cpuBefore = cpuMilliseconds();
    for (long key = 0; key < keys; ++key) {
        watcher.painted = false;
        QElapsedTimer timer;
        timer.start();
        sendKey(path, QEvent::KeyPress, Qt::Key_7, QStringLiteral("7"));
        sendKey(path, QEvent::KeyRelease, Qt::Key_7, QStringLiteral("7"));
        // The paint comes from the event loop, as it does for a key from the display; a field
        // that never paints ends the run after ten seconds rather than waiting for ever.
        while (!watcher.painted && timer.elapsed() < 10'000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        milliseconds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        if (!watcher.painted) {
            std::fputs("key_to_paint: a key did not paint within ten seconds\n", stderr);
            return 3;
        }
    }
    const double cpuPerKey = (cpuMilliseconds() - cpuBefore) / static_cast<double>(keys);
    if (path->text().size() != length) {
        std::fputs("key_to_paint: the field does not hold every key typed\n", stderr);
        return 4;
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    const double median = milliseconds[milliseconds.size() / 2];
    const double maximum = milliseconds.back();
    const std::string platform = QGuiApplication::platformName().toStdString();
    const std::string subject =
        "typing into Text6 holding " + std::to_string(length) + " characters";
    std::printf("row\tKey to paint, median (%s)\t%s\t100 ms\t1.0\tms\t%.2f\t100\t%.2f\t100\n",
                platform.c_str(), subject.c_str(), median, cpuPerKey);
    std::printf("row\tKey to paint, maximum (%s)\t%s\t100 ms\t1.0\tms\t%.2f\t100\n",
                platform.c_str(), subject.c_str(), maximum);
    return 0;
}
