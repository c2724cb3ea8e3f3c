// What one read of the scale gives: a weight, or why not. Standard C++, so
// that the reader, the messages and the command line share one type.
#pragma once

#include <cstdint>
#include <string>

namespace pesolane {

// Milliseconds on a clock that only goes forward.
using Millis = std::int64_t;

enum class Protocol : std::uint8_t {
    Command,     // send a command, read its answer
    Continuous,  // the scale sends on its own
    Print,       // the scale sends when its PRINT key is pressed
};

// Why a weighing gave no weight. The first group comes from the link and the
// settings, the second from what the scale sent, the last from the window.
enum class Failure : std::uint8_t {
    None,
    NoScale, BadSetting, PortAbsent, PortBusy, PortDenied, PortOther, LinkLost,
    TimedOut, Unstable, UnsettledStream, AboveCapacity, BelowZero, CannotWeigh, NotUnderstood, NoStableWeight,
    Garbled, Ambiguous, NotTheWeight, Disagrees, GrossAndTare, LateAnswer, ScaleError, NotAMass,
    OtherUnit, Searching,
    // USB weighing devices (HID): the device node, several found, and what
    // their reports say that a serial answer does not.
    DeviceAbsent, DeviceDenied, DeviceOther, SeveralDevices, DeviceSilent,
    ScaleFault, NeedsCalibration, NeedsRezero, UnknownUnit, BadReport,
};

struct Weighing {
    Failure failure = Failure::None;
    std::string weight;  // with no failure: the text for the box
    std::string unit;    // with no failure: its unit; moving (Unstable, UnsettledStream): the moving weight's, if shown
    std::string detail;  // with a failure: the line not understood, the unit, the system's word, the setting...
    std::string line = {};  // with no failure: the line the weight was read from, as it came (a gross and its
                            // tare, one a line, for a net worked out from them; a HID report in hex)
};

}  // namespace pesolane
