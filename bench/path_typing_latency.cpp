// Responsiveness of the path field: the time from a key to its paint while a path is typed into
// a folder of many files, at a typist's pace.
//
//   path_typing_latency [--files=N] [--interval-ms=M] [--rounds=R] [--folder=DIR]
//
// Makes a folder of N empty files (default 100,000) in a new folder under DIR (default: the
// temporary folder), opens the window and types the path of one of the files into the path
// field, R times (default 3), each time over what the field holds. The keys come from a thread
// of their own through the window system's queue, as a display's keys come, one every M ms
// (default 120) whatever the window is doing; a key's latency runs from its planned time to the
// first paint of the field that shows it. Qt's offscreen platform unless QT_QPA_PLATFORM says
// otherwise.
//
// Prints two rows for scripts/bench, the median and the maximum latency against the target of
// 100 ms, and the latency of each key on stderr.
#include "window/qt/form1.h"

#include <QApplication>
#include <QInputDevice>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <qpa/qwindowsysteminterface.h>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double targetMilliseconds = 100;

struct Key {
    QString textAfter; // what the field shows once the key is in
    std::optional<Clock::time_point> planned;
    std::optional<Clock::time_point> painted;
};

// Notes, at each paint of the field, which keys it shows for the first time.
class PaintWatcher final : public QObject {
public:
    PaintWatcher(QLineEdit& field, std::vector<Key>& keys, std::mutex& mutex)
        : field_{field}, keys_{keys}, mutex_{mutex} {
        field_.installEventFilter(this);
    }

    bool allPainted() {
        const std::lock_guard lock{mutex_};
        return std::all_of(keys_.begin(), keys_.end(), [](const Key& key) { return key.painted; });
    }

    // Whether the last paint showed the field empty; call with the mutex held.
    bool shownEmpty() const { return shownEmpty_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &field_ || event->type() != QEvent::Paint) {
            return false;
        }
        const auto now = Clock::now();
        const QString shown = field_.text();
        const std::lock_guard lock{mutex_};
        // Keys handled together show in one paint.
        for (Key& key : keys_) {
            if (key.planned && !key.painted && shown.startsWith(key.textAfter)) {
                key.painted = now;
            }
        }
        shownEmpty_ = shown.isEmpty();
        return false;
    }

private:
    QLineEdit& field_;
    std::vector<Key>& keys_;
    std::mutex& mutex_;
    bool shownEmpty_ = false;
};

bool parseCount(std::string_view text, unsigned& count) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    return error == std::errc{} && end == text.data() + text.size() && count > 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char* argv[]) {
    unsigned files = 100'000;
    unsigned intervalMilliseconds = 120;
    unsigned rounds = 3;
    std::filesystem::path parent = std::filesystem::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument{argv[i]};
        bool valid = true;
        if (argument.starts_with("--files=")) {
            valid = parseCount(argument.substr(8), files);
        } else if (argument.starts_with("--interval-ms=")) {
            valid = parseCount(argument.substr(14), intervalMilliseconds);
        } else if (argument.starts_with("--rounds=")) {
            valid = parseCount(argument.substr(9), rounds);
        } else if (argument.starts_with("--folder=")) {
            parent = argument.substr(9);
        } else {
            valid = false;
        }
        if (!valid) {
            std::fputs("usage: path_typing_latency [--files=N] [--interval-ms=M] [--rounds=R] "
                       "[--folder=DIR]\n",
                       stderr);
            return 2;
        }
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);

    std::string made = (parent / "path-typing-XXXXXX").string();
    if (::mkdtemp(made.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder{made};
    std::fprintf(stderr, "Making %u files in %s...\n", files, folder.c_str());
    for (unsigned i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "signal-%06u.txt", i);
        const int file = ::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (file < 0) {
            std::perror(name);
            return 1;
        }
        ::close(file);
    }
    const QString path = QString::fromStdString((folder / "signal-042137.txt").string());

    // Each round: Ctrl+A (not measured), then the path key by key over the selection.
    std::vector<Key> keys;
    for (unsigned round = 0; round < rounds; ++round) {
        for (qsizetype length = 1; length <= path.size(); ++length) {
            keys.push_back({path.left(length), std::nullopt, std::nullopt});
        }
    }
    std::mutex mutex;

    QApplication application{argc, argv};
    kestrane::window::qt::Form1 form;
    form.show();
    form.activateWindow();
    auto* field = form.findChild<QLineEdit*>(QStringLiteral("Text6"));
    field->setFocus();
    QCoreApplication::processEvents();
    PaintWatcher watcher{*field, keys, mutex};
    QWindow* window = form.windowHandle();
    // The keyboard the keys come from, made here: the typist's thread may not make Qt objects.
    QInputDevice::primaryKeyboard();

    std::thread typist{[&] {
        const auto interval = std::chrono::milliseconds{intervalMilliseconds};
        auto next = Clock::now() + interval;
        const auto press = [&](int key, Qt::KeyboardModifiers modifiers, const QString& text) {
            std::this_thread::sleep_until(next);
            QWindowSystemInterface::handleKeyEvent(window, QEvent::KeyPress, key, modifiers, text);
            QWindowSystemInterface::handleKeyEvent(window, QEvent::KeyRelease, key, modifiers,
                                                   text);
            next += interval;
        };
        std::size_t index = 0;
        for (unsigned round = 0; round < rounds; ++round) {
            // The field emptied (not measured), and shown empty, so that no paint of the last
            // round's text counts for this one.
            press(Qt::Key_A, Qt::ControlModifier, QString{});
            press(Qt::Key_Backspace, Qt::NoModifier, QString{});
            for (bool empty = false; !empty; std::this_thread::sleep_for(interval / 10)) {
                const std::lock_guard lock{mutex};
                empty = watcher.shownEmpty();
            }
            next = Clock::now() + interval;
            for (const QChar character : path) {
                {
                    const std::lock_guard lock{mutex};
                    keys[index++].planned = next;
                }
                press(std::toupper(character.toLatin1()), Qt::NoModifier, QString{character});
            }
        }
    }};

    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!watcher.allPainted()) {
            return;
        }
        // What the last key brought up, before the window closes.
        for (QWidget* shown : QApplication::topLevelWidgets()) {
            if (shown->isVisible() && shown != &form) {
                std::fprintf(stderr, "Shown besides the window at the end: %s\n",
                             shown->metaObject()->className());
            }
        }
        QCoreApplication::quit();
    });
    check.start(50);
    QApplication::exec();
    typist.join();

    std::vector<double> latencies;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const double latency =
            std::chrono::duration<double, std::milli>(*keys[i].painted - *keys[i].planned).count();
        latencies.push_back(latency);
        std::fprintf(stderr, "key %3zu %-12s %8.1f ms\n", i,
                     keys[i].textAfter.right(12).toUtf8().constData(), latency);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);

    const double worst = *std::max_element(latencies.begin(), latencies.end());
    std::fprintf(stderr, "%zu keys: median %.1f ms, maximum %.1f ms\n", latencies.size(),
                 median(latencies), worst);
    const auto row = [&](const char* statistic, double value) {
        std::printf("row\tKey to paint, typing a path in a folder of %u files (%s)\t"
                    "path field\t%.0f ms target\t1\tms\t%.1f\t%.0f\n",
                    files, statistic, targetMilliseconds, value, targetMilliseconds);
    };
    row("median", median(latencies));
    row("maximum", worst);
    return 0;
}
