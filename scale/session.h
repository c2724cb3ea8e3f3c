// A read, from the command sent to the one outcome: the bytes a scale sends,
// split into lines and answers, judged by what the lines say.
//
// Standard C++ only, like the conversions: no Qt, no C library locale. The
// serial link hands its bytes to a ReadSession and gets one outcome back.
//
// A weight is taken only when it is settled: by its line's own mark, by the
// status bytes of its answer, or, for lines that carry neither, once the same
// weight has come in three whole lines in a row over half a second, or alone
// before a second of silence. A print of several lines gives its first weight.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shapes.h"

namespace pesolane {

// Bare weight lines: how many equal ones in a row, over how long, settle a
// weight; how long a silence ends an answer.
inline constexpr int kSettledLines = 3;
inline constexpr std::int64_t kSettledMs = 500;
inline constexpr std::int64_t kQuietMs = 1000;

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
    LateAnswer, ScaleError, NotAMass,
    OtherUnit,
    // USB weighing devices (HID): the device node, several found, and what
    // their reports say that a serial answer does not.
    DeviceAbsent, DeviceDenied, DeviceOther, SeveralDevices, DeviceSilent,
    ScaleFault, NeedsCalibration, NeedsRezero, UnknownUnit, BadReport,
};

struct Weighing {
    Failure failure = Failure::None;
    std::string weight;  // with no failure: the text for the box
    std::string unit;    // with no failure: its unit
    std::string detail;  // with a failure: the line not understood, the unit, the system's word, the setting...
};

// Milliseconds on a clock that only goes forward.
using Millis = std::int64_t;

// One read after another on a link that stays open. Bytes that come while no
// read is under way are dropped line by line, so memory stays flat under a
// scale that never stops sending.
//
// With a command, each command is owed one answer. A read whose answer has
// not come when it ends (time limit, lost link, given up) leaves it owed: the
// next answer that comes pays it and is dropped, whenever it arrives, so a
// read takes only the answer to its own command. A read that was paid such a
// late answer and then heard nothing more ends owing nothing: the scale had
// missed a command (it was off), and the link must not stay one answer behind.
class ReadSession {
public:
    explicit ReadSession(Protocol protocol) : protocol_(protocol) {}

    Protocol protocol() const { return protocol_; }

    // The link has just been opened: what comes first may be the end of a line.
    void opened();

    // A read starts (the command is about to be sent). A line under way
    // started before it and is not taken.
    void begin(Millis now);

    // Bytes from the scale. During a read, returns the outcome as soon as it
    // is known (the read is then over); between reads, returns nothing.
    std::optional<Weighing> feed(std::string_view bytes, Millis now);

    // When the read waits for a silence to settle what it holds: the moment
    // to call wake(); nothing when it waits for no silence.
    std::optional<Millis> wakeAt() const;
    std::optional<Weighing> wake(Millis now);

    // The time limit has passed: the outcome of the read, which is over.
    Weighing expire();

    // The read is over without an outcome: the operator gave it up, or the
    // link was lost. Its answer, if it comes, will be dropped.
    void abandon();

    bool reading() const { return reading_; }

    // Answers owed to commands of reads that are over.
    int owed() const { return owed_; }

private:
    std::optional<Weighing> line(std::string_view text, Millis now);
    std::optional<Weighing> startAnswer(const ScaleLine& l, std::string_view text, Millis now);
    std::optional<Weighing> endAnswer();
    std::optional<Weighing> judge(const ScaleLine& l, std::string_view text, bool final);
    bool printPart(const ScaleLine& l) const;
    std::optional<Weighing> unmarked(const ScaleLine& l, Millis at);
    std::optional<Weighing> over(std::optional<Weighing> outcome);
    void endRead();

    Protocol protocol_;
    bool reading_ = false;
    std::string line_;          // the line under way, up to kMaxLineBytes + 1
    bool skipLine_ = false;     // the line under way is not taken
    bool afterCR_ = false;      // a LF right after a CR ends no line
    bool framed_ = false;       // an STX came and its ETX not yet
    Millis lastLine_ = 0;       // when the last line ended

    // The answer under way: a line, and the status bytes that may follow it
    // up to ETX, the next line or a silence.
    struct Answer {
        bool open = false;
        bool ours = false;      // the read under way takes it
        bool judged = true;     // nothing more to decide about it
        bool framed = false;    // within STX ... ETX: judged at ETX
        ScaleLine first;        // its line
        std::string text;       // that line, for a message (40 bytes)
        Millis at = 0;
        std::optional<LineSays> status;  // the worst its status bytes said
    } answer_;

    int owed_ = 0;
    bool paidLate_ = false;     // this read was paid a late answer
    bool answered_ = false;     // this read's own command was answered

    // Bare weight lines in a row, the same weight: how many, since when.
    struct Run {
        std::string weight, unit;
        int lines = 0;
        Millis since = 0;
    };
    std::optional<Run> run_;
    bool moved_ = false;        // a different weight or a moving mark came during the read
    std::optional<LineSays> lastMark_;  // without a command: the last moving or overload line
    std::optional<Weighing> lastFailure_;  // without a command: the last line that was not a weight
};

}  // namespace pesolane
