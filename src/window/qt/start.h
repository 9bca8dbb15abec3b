// What the program does at start: build the window with its designed values and show it.
// The program's main and anything else that needs the running window (benchmarks) call this
// after creating the QApplication and before entering its event loop.
#pragma once

#include "form1.h"

#include <memory>

namespace kestrane::window::qt {

// The name of the program's desktop entry and icon, without extension.
inline constexpr const char* desktopEntryName = "kestrane-signal-simulator";

std::unique_ptr<Form1> startSignalSimulator(signal::LocalClock clock = signal::readLocalClock);

} // namespace kestrane::window::qt
