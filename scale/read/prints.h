// Lines into answers and prints, and what a whole print says. Standard C++.
//
// An answer is one line that says all (a stable plain or net weight, a
// status), a frame from STX to ETX, or a weight line and the status bytes
// that follow it up to ETX. A print is the lines that go together: a
// gross, a tare and a net, a header and a footer, lines no row reads. It is
// whole when what ends it comes: a line with a role it already has (the next
// print of a stream), a stable net or plain weight, ETX for a frame, a
// silence. A line that says all by itself (moving, over, busy...) cuts the
// print under way short: that print is never whole, and refused by that
// line. The print key's protocol makes one print of all that comes up to a
// silence.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "outcome.h"
#include "shapes.h"
#include "text.h"

namespace pesolane {

struct Print {
    static constexpr std::size_t kMaxWeights = 8;
    std::array<ScaleLine, kMaxWeights> weights;  // its weight lines, with their roles
    std::array<std::string, kMaxWeights> lines;  // each as it came, for the record of the weight taken
    std::size_t count = 0;
    std::optional<ScaleLine> refusal;  // a line that refuses the weighing by itself
    std::optional<Meaning> status;     // what its status bytes say
    std::optional<Meaning> rule;       // what its first rule of one sign says alone (a display full of it)
    bool statusClosed = false;         // ETX came right after them
    bool broken = false;               // a frame or a status that never closed, too many weights
    bool unreadable = false;           // a line no row reads
    bool noise = false;                // a line not taken: no row reads it (text or not), or it was lost
    bool framed = false;               // waits for ETX
    bool ledByLF = false;              // opened by a lone LF, not by STX
    bool ledBySTX = false;             // opened by STX
    bool lastWasWeight = false;
    bool endedBySilence = false;
    std::string quote;                 // its first line but its header's, as a message quotes it (40 bytes)
    std::string headerQuote;           // its first line of a header
    std::string refusalQuote;          // the line that refuses it
    Millis at = 0;                     // when its first line ended
};

// What a whole print says: a failure, or a weight and whether its own marks
// settle it.
struct Verdict {
    Weighing outcome;
    bool settled = false;
};
Verdict verdictOf(const Print& p);

class Prints {
public:
    explicit Prints(Protocol protocol) : protocol_(protocol) {}

    // What a line or a frame's end gives: the print it made whole, and a
    // line that announces more to come (moving, over), which is no print.
    struct Ended {
        std::optional<Print> print;
        std::optional<ScaleLine> progress;
    };

    // One line, read; `bareLF`: an empty line ended by a LF alone.
    template <class Sink>
    void line(const ScaleLine& l, std::string_view text, bool framed, bool bareLF, Millis at, Sink&& sink);
    template <class Sink>
    void frameEnd(Sink&& sink) {
        if (!open_) return;
        if (print_.status) print_.statusClosed = true;
        if (protocol_ != Protocol::Print) close(sink);
    }
    // The quiet time has passed since the last byte; `loneCR`: that byte was
    // a CR with no LF after it.
    template <class Sink>
    void silence(Sink&& sink, bool loneCR) {
        if (!waitsForSilence(loneCR)) return;
        print_.endedBySilence = true;
        close(sink);
    }

    // The print under way is no part of what follows.
    void drop() { open_ = false; }
    // A line was not taken (its start came before the read, or before the
    // port opened): the print it belonged to may go on without it.
    void lineLost() {
        if (open_) print_.noise = true;
        else lost_ = true;
    }
    bool open() const { return open_; }
    // The print under way waits for a silence to be whole. An answer opened
    // by a lone LF or by STX waits for ETX, unless its one weight line ended
    // with a lone CR and nothing came after it: the reply of the standard
    // scale protocol (LF, status, range, gross or net, weight and unit, CR),
    // whose bench-scale cousin ends its weight line with CR LF and its status
    // bytes with ETX; the point-of-sale scale's (STX, weight and unit, CR).
    // A frame whose line ends CR LF has lost its ETX.
    bool waitsForSilence(bool loneCR) const {
        const bool oneLine = print_.count == 1 && !print_.status && !print_.unreadable && !print_.refusal;
        const bool stxReply = print_.ledBySTX && loneCR && oneLine;
        const bool lfReply = print_.ledByLF && loneCR ? oneLine : stxReply;  // or the point-of-sale reply
        return open_ && (!print_.framed || lfReply) && !(print_.status && !print_.statusClosed);
    }
    const Print& current() const { return print_; }

private:
    void start(Millis at, bool framed);
    void add(const ScaleLine& l, std::string_view text);
    template <class Sink>
    void close(Sink& sink) {
        open_ = false;
        sink(Ended{print_, std::nullopt});
    }
    // The print under way is cut short by `l` (moving, over, busy...): refused by it.
    template <class Sink>
    void cut(const ScaleLine& l, std::string_view text, Sink& sink);
    // `l` (moving, over) shows a weight of a role the print under way already
    // has: it begins the next print of a stream, the one under way was whole.
    bool nextPrint(const ScaleLine& l) const {
        for (std::size_t i = 0; l.role != WeightRole::Plain && i < print_.count; ++i)
            if (print_.weights[i].role == l.role) return true;
        return false;
    }

    Protocol protocol_;
    bool open_ = false;
    bool lost_ = false;  // a line was lost just before the next print
    Print print_;
};

template <class Sink>
void Prints::line(const ScaleLine& l, std::string_view text, bool framed, bool bareLF, Millis at, Sink&& sink) {
    if (l.meaning == Meaning::Blank) {
        // The answer of some scales to their weight command opens with LF and
        // closes with ETX, status bytes before it.
        if (bareLF && !open_ && protocol_ == Protocol::Command) {
            start(at, true);
            print_.ledByLF = true;
        }
        return;
    }
    if (l.meaning == Meaning::Acknowledged) return;
    if (l.header && !framed) {
        // A header's or a footer's line belongs to the print it stands in.
        if (open_ && print_.status && !print_.statusClosed && protocol_ != Protocol::Print) {
            print_.broken = true;
            close(sink);
        }
        if (!open_) start(at, false);
        add(l, text);
        return;
    }
    if (protocol_ == Protocol::Print) {
        // All that comes up to a silence is one print.
        if (!open_) start(at, false);
        add(l, text);
        return;
    }
    if (open_ && print_.status && !print_.statusClosed) {
        // Status bytes that no ETX closed were none: the answer is broken.
        print_.broken = true;
        close(sink);
    }
    if (open_ && print_.framed && !framed && !print_.status) {
        // Within a frame opened by LF, up to its ETX.
        add(l, text);
        return;
    }
    if (framed) {
        if (open_ && !print_.framed) close(sink);
        if (open_ && text.size() > 0 && text.front() == kSTX) {
            // A new frame before the last one closed.
            print_.broken = true;
            close(sink);
        }
        if (!open_) {
            start(at, true);
            print_.ledBySTX = !text.empty() && text.front() == kSTX;
        }
        add(l, text);
        if (l.closesFrame) close(sink);
        return;
    }
    if (l.progress) {
        // Motion or overload, and more to come: the print under way is cut
        // short, unless the line is the next print's.
        if (open_ && !nextPrint(l)) cut(l, text, sink);
        if (open_) close(sink);
        sink(Ended{std::nullopt, l});
        return;
    }
    const bool weight = l.meaning == Meaning::Weight || l.meaning == Meaning::Negative || l.meaning == Meaning::NotAMass;
    if (weight) {
        bool repeated = false;
        for (std::size_t i = 0; open_ && i < print_.count; ++i) repeated = repeated || print_.weights[i].role == l.role;
        if (repeated) close(sink);
        if (!open_) start(at, false);
        add(l, text);
        // Nothing more belongs to a stable plain or net weight.
        if (l.marked && (l.role == WeightRole::Plain || l.role == WeightRole::Net)) close(sink);
        return;
    }
    if (l.meaning == Meaning::Unreadable || l.status) {
        if (!open_) start(at, false);
        add(l, text);
        return;
    }
    // A line that says all by itself; a print under way is cut short by it,
    // unless it is the next print's.
    if (open_ && !nextPrint(l)) return cut(l, text, sink);
    if (open_) close(sink);
    start(at, false);
    add(l, text);
    close(sink);
}

template <class Sink>
void Prints::cut(const ScaleLine& l, std::string_view text, Sink& sink) {
    if (!print_.refusal) {
        print_.refusal = l;
        print_.refusalQuote = std::string(unframed(text).substr(0, 40));
    }
    close(sink);
}

}  // namespace pesolane
