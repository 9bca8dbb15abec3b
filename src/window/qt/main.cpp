// Kestrane Signal Simulator: one window; closing it ends the program.
#include "start.h"

int main(int argc, char* argv[]) {
    const auto application = kestrane::window::qt::openApplication(argc, argv);
    const auto form = kestrane::window::qt::startSignalSimulator();
    return QApplication::exec();
}
