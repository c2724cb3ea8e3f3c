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
// not, and marks after it (G, GS, GR gross; N, NT, NET net; T, PT, TW tare,
// apart from the unit; ? moving; ^ or OL over; a lone g, n or t in small
// letters: moving). A few shapes are read by a reader of their own, each gated by
// what makes it certain: the fixed-format output of weighing indicators
// (status bytes with their constant bits, then digits), a line of status
// bytes, a fixed-width line whose unit is blank while it moves, the
// point-of-sale status frame, the lines of a print's header or footer.
//
// Every row is tried: a line that two rows read differently is ambiguous,
// and refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pesolane {

// What one line means.
enum class Meaning : std::uint8_t {
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
    Header,          // a line of a print's header or footer: a date, a type, a serial number, a name, a rule
    NothingWrong,    // status bytes that report no fault and no motion
    Unreadable,      // no row reads it: noise, a cut line, bytes that are not text
    Ambiguous,       // two rows read it differently
};

// Which weight a weight line gives: a print may carry the gross, the tare
// and the net; only the net or a plain weight is what lies on the pan
// beyond its container; a tare or a count of pieces never is.
enum class WeightRole : std::uint8_t { Plain, Gross, Net, Tare, Count };

struct ScaleLine {
    Meaning meaning = Meaning::Unreadable;
    WeightRole role = WeightRole::Plain;
    std::string weight;    // for Weight: the digits as sent, with a point ("0100.250", "50,20" gives "50.20")
    std::string unit;      // for Weight: its unit (g, kg, mg, ct, lb, oz, ozt, dwt, gr, t); for NotAMass: as sent;
                           // for Unstable: the unit of the moving weight, when the line shows one
    bool marked = false;   // the line carries its own mark of stability (S S, ST,...)
    bool status = false;   // a line of status bytes, which belongs to the weight line before it
    bool progress = false; // moving or over, and the scale goes on sending until it settles (US, OL)
    bool closesFrame = false;  // carries its own status: its frame ends with it, without ETX
    // A line that may belong to a print's header or footer: within a print it
    // says nothing of the weight; alone, a rule of dashes or underscores is a
    // display full of one sign, and says what its meaning says.
    bool header = false;
};

// The longest line read; a longer one is not a weight.
inline constexpr std::size_t kMaxLineBytes = 256;

// The most digits a weight may have: no scale displays more.
inline constexpr std::size_t kMaxWeightDigits = 12;

// Every distinct reading that the rows of the table give of one line
// (without its end of line; an STX before it, kept when the line opened a
// frame, and an ETX after it are no part of its text). Two readings are the
// same when they give the same outcome, weight, unit and role.
std::vector<ScaleLine> readingsOf(std::string_view line);

// A weight's digits as a whole number of its last digit's unit, and how
// many decimals it has ("50.20": 5020 and 2): weights are added and
// compared on these, exactly, never through a binary fraction.
struct Decimal {
    std::int64_t value = 0;
    int decimals = 0;
};
Decimal decimalOf(std::string_view weight);

// A weight less another, on the digits as sent ("50.20" less "10.00" is
// "40.20"). Both must have as many decimals; nothing when they do not.
struct Difference {
    bool negative = false;
    std::string weight;  // not negative: the digits, as many decimals as both
};
std::optional<Difference> difference(std::string_view a, std::string_view b);

// The one reading of a line: Unreadable when no row reads it, Ambiguous
// when two read it differently.
ScaleLine readScaleLine(std::string_view line);

}  // namespace pesolane
