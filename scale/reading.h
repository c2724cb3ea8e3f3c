// Reading what a scale sends: one line at a time, into a weight text and its
// unit, or the reason there is none.
//
// Standard C++ only, like the conversions: no Qt, no C library locale. The
// serial link hands its bytes to a ReadSession and gets one outcome back.
//
// Two families of scales are understood:
// - command and answer: the program sends a command (S); the scale answers
//   "S S     100.25 g" once its weight is stable, or a status ("S I" busy,
//   "S +" above capacity, "S -" below zero, "S E" no stable weight in its own
//   time, "ES" command not understood); some first acknowledge with "S A" and
//   then send "S" and a mark (blank stable, ? moving, ^ over, v under) before
//   the weight; others answer with a bare weight line ("0012.34LB");
// - output without a command: "ST,GS,+  100.25 g" (stable gross; NT net), "US,..."
//   moving, "OL,..." overload, several times a second, or a bare weight line
//   when the PRINT key is pressed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pesolane {

// What one line says.
enum class LineSays : std::uint8_t {
    Weight,          // a stable weight, not negative
    Negative,        // a stable weight below zero
    Unstable,        // a weight still moving
    AboveCapacity,   // beyond what the scale may weigh
    BelowZero,       // below zero (the scale's status)
    CannotWeigh,     // the scale cannot weigh now
    NotUnderstood,   // the scale did not understand the command
    NoStableWeight,  // no stable weight within the scale's own time limit
    Acknowledged,    // the weight line follows
    Blank,           // nothing but blanks
    NotAWeight,      // anything else: noise, a cut line, bytes that are not text
};

struct ScaleLine {
    LineSays says = LineSays::NotAWeight;
    std::string weight;  // for Weight: the digits as sent, with a point ("0100.250")
    std::string unit;    // for Weight: g, kg, mg, ct, lb or oz, in lower case
};

// The longest line read; a longer one is not a weight.
inline constexpr std::size_t kMaxLineBytes = 256;

// Reads one line, without its end of line; framing bytes (STX before, ETX
// after) and blanks around it are not part of it.
ScaleLine readScaleLine(std::string_view line);

enum class Protocol : std::uint8_t {
    Command,     // send a command, read its answer
    Continuous,  // the scale sends on its own
};

// Why a weighing gave no weight. The first group comes from the link and the
// settings, the second from what the scale sent, the last from the window.
enum class Failure : std::uint8_t {
    None,
    NoScale, BadSetting, PortAbsent, PortBusy, PortDenied, PortOther, LinkLost,
    TimedOut, Unstable, AboveCapacity, BelowZero, CannotWeigh, NotUnderstood, NoStableWeight, Garbled,
    OtherUnit,
};

struct Weighing {
    Failure failure = Failure::None;
    std::string weight;  // with no failure: the text for the box
    std::string unit;    // with no failure: its unit
    std::string detail;  // with a failure: the line not understood, the system's word, the setting...
};

// One read after another on a link that stays open. Bytes that come while no
// read is under way are dropped line by line, so memory stays flat under a
// scale that never stops sending.
class ReadSession {
public:
    explicit ReadSession(Protocol protocol) : protocol_(protocol) {}

    Protocol protocol() const { return protocol_; }

    // The link has just been opened: what comes first may be the end of a line.
    void opened();

    // A read starts (the command is about to be sent). A line under way
    // started before it and is not taken.
    void begin();

    // Bytes from the scale. During a read, returns the outcome as soon as it
    // is known (the read is then over); between reads, returns nothing.
    std::optional<Weighing> feed(std::string_view bytes);

    // The time limit has passed: the outcome of the read, which is over.
    Weighing expire();

    bool reading() const { return reading_; }

private:
    std::optional<Weighing> take(std::string_view line);

    Protocol protocol_;
    bool reading_ = false;
    std::string line_;          // the line under way, up to kMaxLineBytes + 1
    bool skipLine_ = false;     // the line under way is not taken
    bool afterCR_ = false;      // a LF right after a CR ends no line
    std::optional<LineSays> lastMark_;  // without a command: the last moving or overload line
    std::string lastNoise_;     // the last line that was not understood
};

// The message that tells the operator why a weighing failed, in French.
// `port` and `command` name the link; `seconds` is its time limit.
std::string messageOf(const Weighing& w, std::string_view port, std::string_view command, double seconds);

}  // namespace pesolane
