#include "start.h"

#include "system/unique_handle.h"

#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kestrane::window::qt {

namespace {

struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

// What Qt says while it opens its platform, held until it is known whether it opened.
std::vector<HeldMessage> heldMessages;

// Where stderr went before Qt opened its platform. Meanwhile stderr is a file in memory, as the
// libraries below Qt write to it directly (libwayland: "error: XDG_RUNTIME_DIR is invalid or
// not set in the environment."), and a failed start prints its one line alone.
FileDescriptor stderrBeforeOpen;

void holdStderr() {
    const FileDescriptor held{::memfd_create("held-stderr", MFD_CLOEXEC)};
    if (!held.isOpen()) {
        return;
    }
    std::fflush(stderr);
    stderrBeforeOpen = FileDescriptor{::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0)};
    if (stderrBeforeOpen.isOpen() && ::dup2(held.get(), STDERR_FILENO) < 0) {
        stderrBeforeOpen.reset();
    }
}

// Gives stderr back; what was written to it meanwhile follows when `replay`.
void releaseStderr(bool replay) {
    if (!stderrBeforeOpen.isOpen()) {
        return;
    }
    std::fflush(stderr);
    const FileDescriptor held{::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0)};
    ::dup2(stderrBeforeOpen.get(), STDERR_FILENO);
    stderrBeforeOpen.reset();
    if (!replay || !held.isOpen()) {
        return;
    }
    char buffer[4096];
    off_t offset = 0;
    for (ssize_t got; (got = ::pread(held.get(), buffer, sizeof buffer, offset)) > 0;) {
        offset += got;
        for (ssize_t written = 0; written < got;) {
            const ssize_t step = ::write(STDERR_FILENO, buffer + written, got - written);
            if (step <= 0) {
                return;
            }
            written += step;
        }
    }
}

// Where a platform that Qt tried shows its windows; `installed` is false when Qt did not find
// the platform's plugin.
QString displayTried(const QString& platform, bool installed) {
    if (platform == QLatin1String("xcb")) {
        const QString display = qEnvironmentVariable("DISPLAY");
        return display.isEmpty() ? QStringLiteral("X display (DISPLAY not set)")
                                 : QStringLiteral("X display \"%1\"").arg(display);
    }
    if (!installed) {
        return QStringLiteral("Qt platform \"%1\" (plugin not installed)").arg(platform);
    }
    if (platform.startsWith(QLatin1String("wayland"))) {
        return QStringLiteral("Wayland display \"%1\"")
            .arg(qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0")));
    }
    return QStringLiteral("Qt platform \"%1\"").arg(platform);
}

// Qt aborts when no platform opens, after naming each one it tried in a warning ("Could not
// find the Qt platform plugin "wayland"", "Could not load the Qt platform plugin "xcb""). This
// says the same in one line instead, and ends the program as a failed start.
[[noreturn]] void reportNoDisplay() {
    static const QRegularExpression pluginFailed{
        QStringLiteral("Could not (find|load) the Qt platform plugin \"([^\"]+)\"")};
    QStringList tried;
    for (const HeldMessage& message : heldMessages) {
        const QRegularExpressionMatch match = pluginFailed.match(message.text);
        if (match.hasMatch()) {
            tried << displayTried(match.captured(2), match.captured(1) == QLatin1String("load"));
        }
    }
    if (tried.isEmpty()) {
        tried << QStringLiteral("Qt's default platform");
    }
    const QByteArray line =
        QStringLiteral("%1: no display could be opened; tried %2\n")
            .arg(QLatin1String(desktopEntryName), tried.join(QLatin1String(", then ")))
            .toLocal8Bit();
    releaseStderr(false);
    std::fputs(line.constData(), stderr);
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        reportNoDisplay();
    }
    heldMessages.push_back({type, context.category ? context.category : "", text});
}

} // namespace

std::unique_ptr<QApplication> openApplication(int& argc, char** argv) {
    const QtMessageHandler previous = qInstallMessageHandler(holdMessage);
    holdStderr();
    auto application = std::make_unique<QApplication>(argc, argv);
    releaseStderr(true);
    qInstallMessageHandler(previous);
    // It opened: what Qt said meanwhile goes where it would have gone.
    for (const HeldMessage& message : std::exchange(heldMessages, {})) {
        previous(message.type, {nullptr, 0, nullptr, message.category.c_str()}, message.text);
    }
    return application;
}

std::unique_ptr<Form1> startSignalSimulator(signal::LocalClock clock) {
    auto form = std::make_unique<Form1>(std::move(clock));
    // Lets the desktop match the window to its entry, and gives every window of the program,
    // message boxes included, the program's icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(desktopEntryName));
    QApplication::setWindowIcon(form->windowIcon());
    form->show();
    return form;
}

} // namespace kestrane::window::qt
