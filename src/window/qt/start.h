// What the program does at start: open the display, build the window with its designed values
// and show it. The program's main and anything else that needs the running window (benchmarks)
// call startSignalSimulator after creating the QApplication and before entering its event loop.
#pragma once

#include "form1.h"

#include <QApplication>
#include <memory>

namespace kestrane::window::qt {

// The name of the program's desktop entry and icon, without extension.
inline constexpr const char* desktopEntryName = "kestrane-signal-simulator";

// The application, on the display that Qt's platform opens. Without one (no DISPLAY, a display
// that cannot be reached, a platform plugin that is missing), where Qt would abort, this prints
// one line saying that no display could be opened and which one was tried, and ends the program
// with exit status 1. What Qt and the libraries below it say while opening the platform is
// shown only once it opened.
std::unique_ptr<QApplication> openApplication(int& argc, char** argv);

std::unique_ptr<Form1> startSignalSimulator(signal::LocalClock clock = signal::readLocalClock);

} // namespace kestrane::window::qt
