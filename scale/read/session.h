// A read, from the command sent to the one outcome: the bytes a scale sends,
// split into lines and frames (framing.h), gathered into prints (prints.h),
// settled (settling.h), and owned by a command (account.h).
//
// Standard C++ only, like the conversions: no Qt, no C library locale. The
// serial link hands its bytes to a ReadSession and gets one outcome back.
//
// With a command, the read takes the first print that is certainly the
// answer to one of its commands: a stable weight by its mark or its status
// bytes, a bare one ended by a silence. Without a command (continuous), a
// stable weight by its mark, a bare one once the same weight has come in
// three whole prints over half a second, never by a silence. With the print
// key, the first print that begins after F9 and ends with a silence.
#pragma once

#include <optional>
#include <string_view>

#include "account.h"
#include "framing.h"
#include "outcome.h"
#include "prints.h"
#include "settling.h"

namespace pesolane {

// One read after another on a link that stays open. Bytes that come while no
// read is under way are dropped line by line, so memory stays flat under a
// scale that never stops sending.
class ReadSession {
public:
    explicit ReadSession(Protocol protocol) : protocol_(protocol), prints_(protocol) {}

    // The link has just been opened at `now`; `arriving`: the port already
    // held bytes. Without a command, bytes that come as the port opens are
    // the end of a line, or of a print, begun before: that line (with the
    // print key, that print) is not read. A first line that begins later,
    // such as a print pressed after F9, is read.
    void opened(Millis now = 0, bool arriving = false);

    // A read starts; with a command, the command is about to be sent. A line,
    // or a print, under way started before it and is not its answer.
    void begin(Millis now);

    // Bytes from the scale. During a read, returns the outcome as soon as it
    // is known (the read is then over); between reads, returns nothing.
    std::optional<Weighing> feed(std::string_view bytes, Millis now);

    // How many times to send the command again: once for each answer that
    // came and may belong to an earlier read, so that an answer certainly the
    // read's own comes even if the scale missed earlier commands.
    int askAgain();

    // When the read waits for a silence: the moment to call wake().
    std::optional<Millis> wakeAt() const;
    std::optional<Weighing> wake(Millis now);

    // The time limit has passed: the outcome of the read, which is over.
    Weighing expire();

    // The read is over without an outcome: the operator gave it up, or the
    // link was lost. Its answer, if it comes, will be dropped.
    void abandon();

private:
    void received(const Prints::Ended& e);
    void settle(const Print& p);
    void progress(const ScaleLine& l);
    void end(Weighing w);
    bool wholeAtSilence() const;

    Protocol protocol_;
    Framing framing_;
    Prints prints_;
    Repetition repetition_;
    CommandAccount account_;
    bool reading_ = false;
    int askAgain_ = 0;
    bool streaming_ = false;     // the command's answer goes on as a stream of bare weights
    bool skipPrint_ = false;     // the print key: a print under way at F9 is not the answer
    bool firstBytes_ = false;    // no byte has come since the port opened
    bool arriving_ = false;      // the port held bytes as it opened
    Millis openedAt_ = 0;
    std::optional<Weighing> outcome_;          // the read's, once known
    std::optional<Failure> lastMark_;          // the last moving or overload line
    std::string lastMarkUnit_;                 // the unit its moving weight showed, if any
    std::optional<Weighing> lastFailure_;      // without a command: the last print that refused
};

}  // namespace pesolane
