#pragma once

namespace pesolane {

// Opens the counting window and runs it until the operator quits; answers
// --help and --version, and refuses an unknown option, without a window.
int runPesolane(int argc, char** argv);

// True when Qt has a display to open the window on: a platform chosen
// explicitly (environment or -platform option), an X display or a Wayland
// display.
bool hasDisplay(bool platformOption);

}  // namespace pesolane
