// Kestrane Signal Simulator: one window; closing it ends the program.
#include "start.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app{argc, argv};
    const auto form = kestrane::window::qt::startSignalSimulator();
    return QApplication::exec();
}
