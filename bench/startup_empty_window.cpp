// The baseline of the start-up measurement: the least a Qt Widgets program does to show a
// window (the application and one empty QWidget), closed once shown the same way as
// startup_signal_simulator.
#include "close_once_shown.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app{argc, argv};
    QWidget window;
    window.show();
    const kestrane::bench::CloseOnceShown closer{window};
    const int exitCode = QApplication::exec();
    return closer.closedOnceShown() ? exitCode : 3;
}
