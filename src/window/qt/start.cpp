#include "start.h"

#include <QApplication>
#include <utility>

namespace kestrane::window::qt {

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
