#pragma once

namespace pesolane {

// Opens the counting window and runs it until the operator quits.
int runPesolane(int argc, char** argv);

// True when Qt has a display to open the window on: a platform chosen
// explicitly, an X display or a Wayland display.
bool hasDisplay();

}  // namespace pesolane
