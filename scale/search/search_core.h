// The search's decisions at one serial port, apart from any port: what to
// send next, when to listen and when to ask, what a reply says, when a trial
// ends, how an answer is confirmed, and what is found. Bytes and
// milliseconds in, steps out; the driver opens the port, sets its line,
// writes, reads and runs one timer. Standard C++ only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outcome.h"
#include "probes.h"

namespace pesolane {

// What the search found at a port: the settings to read it with, and to write.
struct Finding {
    LineSetting line;
    Protocol protocol = Protocol::Command;
    std::string command, end;  // as the settings write them; empty without a command
};

// A read that gives a weight worth writing: a settled mass weight.
inline bool settledMass(const Weighing& w) { return w.failure == Failure::None && !w.unit.empty(); }
// A read that shows a scale whose weight is still moving, in a unit of mass:
// its settings are found all the same, the weight will be read once stable.
inline bool movingMass(const Weighing& w) {
    return (w.failure == Failure::Unstable || w.failure == Failure::UnsettledStream) && !w.unit.empty();
}

// The key of a bad line of the settings file that what the search writes
// does not mend (it writes only the link's keys), if any: F9 would refuse
// to read with the file so written.
std::optional<std::string> unmended(const std::vector<std::string>& problemKeys);

// What the driver does, in this order.
struct SearchStep {
    std::optional<LineSetting> setLine;  // set the port's line
    std::optional<std::size_t> trial;    // this trial of the plan begins: progress
    bool drop = false;                   // drop what the port holds, then call dropped()
    std::string send;                    // bytes to write
    std::optional<Millis> wakeAt;        // (re)start the timer: timeUp() then
    bool commandUnknown = false;         // a scale answered here, but not to this probe
    enum class End {
        None,
        PortDone,  // every trial made: the next port
        Read,      // close the port, read it with finding() as F9 would, then readOver()
        Found,     // close the port: found, showing `shown`
        NoWeight,  // close the port; `shown` says why; open it again, then reopened()
        Unusable,  // the settings file has a bad line the search does not mend: nothing sent, the search over
    } end = End::None;
    Weighing shown;
};

class SearchCore {
public:
    SearchCore(SearchScope scope, const std::optional<Trial>& known);

    const std::vector<Trial>& plan() const { return plan_; }
    const SearchScope& scope() const { return scope_; }
    const Finding& finding() const { return finding_; }
    const LineSetting& line() const { return line_; }

    // The port has just opened at `now`; every trial starts again.
    SearchStep opened(Millis now);
    // Opened again after a read that gave no weight: the next trial.
    SearchStep reopened(Millis now);
    // What the port held has been dropped.
    SearchStep dropped(Millis now);
    // Bytes from the port, as they came (all their bits).
    SearchStep heard(std::string_view bytes, Millis now);
    // The timer ran out.
    SearchStep timeUp(Millis now);
    // The read of finding() gave `w`.
    SearchStep readOver(const Weighing& w);

private:
    enum class Phase {
        Idle, Dropping, Listening, Watching, Asking, Waiting, Confirming, Bettering, Clearing, Ending, Settling, Reading
    };

    SearchStep nextTrial();
    SearchStep advance();  // the trial under way is over: the next one
    SearchStep ask(Millis now, const std::string& bytes);
    SearchStep afterProbe(Millis now);
    SearchStep found(Protocol protocol, const Probe* probe, bool better);
    SearchStep backToLate(std::size_t trial);
    Millis owedUntil(Millis now) const;  // when no answer to a request written may come any more
    bool steady(std::optional<Millis>& last);
    void windowOver(Heard heard);  // the window of the last request is over, and heard that
    std::string joined(const std::string& bytes) const;
    void forget();  // a port opened: no answer owed
    int lineMs() const;
    int replyMs() const;

    SearchScope scope_;
    std::vector<Trial> plan_;
    std::size_t trial_ = 0;
    Phase phase_ = Phase::Idle;
    LineSetting line_;
    bool lineSet_ = false;
    std::vector<LineSetting> talking_;  // the settings at which bytes came unasked, on this port
    Millis lastPortByte_ = 0;  // when the port last gave a byte (or opened)
    bool firstWhole_ = false;  // the window's first bytes came after a quiet port: no line cut
    bool firstReplyWhole_ = false;
    Millis windowStart_ = 0;
    Millis lastByte_ = -1;     // when the last byte came, from the window's start
    Millis longestGap_ = 0;    // the longest silence between bytes, while watching
    std::string heard_, firstReply_;
    Finding finding_;
    // A scale may answer late, after the next probe has been written or the
    // next setting set: its answer is then heard in another trial's window.
    struct Asked {
        std::size_t trial;
        LineSetting line;
        Millis at;
        bool silent = false;  // its window heard nothing: its answer, if any, is still to come
        bool noisy = false;   // its window heard noise only, which may have hidden it
    };
    std::vector<Asked> recent_;            // the requests of this port whose answer may still come
    std::optional<std::size_t> lateAny_;   // the earliest other trial that bytes heard in this one may answer
    std::optional<std::size_t> lateHere_;  // the same, of a request at this line setting: a whole answer
    std::optional<std::size_t> lateThere_;  // of a request at another setting: an answer read as noise
    std::optional<std::size_t> lateDropped_;  // of bytes dropped before this trial's window opened
    std::vector<bool> retried_;        // trials asked again, waiting a late answer's time, on this port
    bool slow_ = false;                // the trial under way waits a late answer's time
    bool waited_ = false;              // its first reply was held until no earlier answer could come
    std::size_t retry_ = 0;            // the trial made again once the answers owed have come
    std::optional<Millis> delay_, betterDelay_;  // how long after its request the last answer came, waiting late
    int reasks_ = 0;                   // requests asked again for an answer at a steady delay
    Millis firstByteAt_ = 0;           // when the window's first byte came
    Millis askedAt_ = 0;               // when the probe under way was written
    std::string lastSent_;             // the last bytes written on this port
};

}  // namespace pesolane
