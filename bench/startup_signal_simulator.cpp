// The program's start, measured: the same steps as the program's main (the application, then
// startSignalSimulator), except that the window closes itself once it has been shown. Run by
// startup_runner against startup_empty_window; not a product program.
#include "close_once_shown.h"
#include "window/qt/start.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app{argc, argv};
    const auto form = kestrane::window::qt::startSignalSimulator();
    const kestrane::bench::CloseOnceShown closer{*form};
    const int exitCode = QApplication::exec();
    return closer.closedOnceShown() ? exitCode : 3;
}
