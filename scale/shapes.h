// What one line from a scale says: the shapes of line that scales send,
// read by one table and one grammar.
//
// Standard C++ only, like the conversions: no Qt, no C library locale.
//
// A line is a head, then, for most heads, a weight field. The head says
// whose line it is and what it marks: "S S" (a stable answer to a command),
// "ST," / "US," / "OL," (stable, moving, overload), a label such as "GROSS"
// or "N", a word that is the whole line ("High", "Err 101")... A line with
// no head known is a bare weight field. The weight field is a sign, blanks,
// digits with one point or one comma, a unit of mass in any case, glued or
// not, and marks after it (G, N, NET, GS, NT, GR: good; ? moving; ^ or OL
// over). Two shapes stand apart: a framed line of the fixed-format output of
// weighing indicators (status bytes, then digits), and a line of status
// bytes that follows a weight line in its answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pesolane {

// What one line says.
enum class LineSays : std::uint8_t {
    Weight,          // a weight, not negative
    Negative,        // a weight below zero
    Unstable,        // a weight still moving
    AboveCapacity,   // beyond what the scale may weigh
    BelowZero,       // below zero, below its range
    CannotWeigh,     // the scale cannot weigh now
    NotUnderstood,   // the scale did not understand the command
    NoStableWeight,  // no stable weight within the scale's own time limit
    ScaleError,      // the scale reports a fault of its own ("Err 101")
    NotAMass,        // a value in a unit that is not a mass (pieces, %, newtons)
    Acknowledged,    // the weight line follows
    Blank,           // nothing but blanks
    NotAWeight,      // anything else: noise, a cut line, bytes that are not text
    Settled,         // status bytes that report nothing wrong and no motion
};

struct ScaleLine {
    LineSays says = LineSays::NotAWeight;
    std::string weight;    // for Weight: the digits as sent, with a point ("0100.250", "50,20" gives "50.20")
    std::string unit;      // for Weight: its unit (g, kg, mg, ct, lb, oz, ozt, dwt, gr, t); for NotAMass: as sent
    std::string_view shape;  // the name of the shape that read it
    bool marked = false;   // the line carries its own mark of stability (S S, ST,...)
    bool status = false;   // a line of status bytes, which belongs to the weight line before it
    bool progress = false; // moving or over, and the scale goes on sending until it settles (US, OL)
    bool whole = false;    // carries its own status bytes: nothing after it, in or out of its frame, belongs to it
};

// The longest line read; a longer one is not a weight.
inline constexpr std::size_t kMaxLineBytes = 256;

// The most digits a weight may have: no scale displays more.
inline constexpr std::size_t kMaxWeightDigits = 12;

// Reads one line, without its end of line; an STX before it (kept when the
// line opened a frame) and an ETX after it, and blanks around it, are no
// part of its text.
ScaleLine readScaleLine(std::string_view line);

}  // namespace pesolane
