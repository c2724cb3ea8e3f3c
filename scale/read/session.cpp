#include "session.h"

namespace pesolane {
namespace {

bool isMark(Failure f) { return f == Failure::Unstable || f == Failure::AboveCapacity || f == Failure::BelowZero; }

}  // namespace

void ReadSession::opened(Millis now, bool arriving) {
    framing_.opened(false);
    prints_.drop();
    reading_ = false;
    firstBytes_ = protocol_ != Protocol::Command;
    arriving_ = arriving;
    openedAt_ = now;
}

void ReadSession::begin(Millis now) {
    framing_.skipLineUnderWay();
    reading_ = true;
    askAgain_ = 0;
    streaming_ = false;
    outcome_.reset();
    lastMark_.reset();
    lastMarkUnit_.clear();
    lastFailure_.reset();
    repetition_.clear();
    if (protocol_ == Protocol::Command) {
        // A print under way stays when it may be the answer to an earlier
        // command; owed to none, it came unasked and is no answer.
        if (account_.owed() == 0) prints_.drop();
        account_.readBegins();
        account_.sent();
        return;
    }
    prints_.drop();
    // A print under way when F9 was pressed is not the print asked for.
    const std::optional<Millis> last = framing_.lastByte();
    skipPrint_ = protocol_ == Protocol::Print && last && now - *last < kQuietMs;
}

std::optional<Weighing> ReadSession::feed(std::string_view bytes, Millis now) {
    if (firstBytes_ && !bytes.empty()) {
        firstBytes_ = false;
        // No one presses a key, nor does a scale begin a line, that fast after
        // the port opens: these bytes were under way. What the port held was
        // under way too, unless a silence has ended it since.
        if (now - openedAt_ < (arriving_ ? kQuietMs : kOpeningMs)) {
            framing_.skipNextLine();
            skipPrint_ = skipPrint_ || (reading_ && protocol_ == Protocol::Print);
        }
    }
    auto sink = [this](const Prints::Ended& e) { received(e); };
    framing_.feed(bytes, now, [&](const Framing::Piece& piece) {
        // Without a command nothing is owed between reads: dropped line by line.
        if (skipPrint_ || (!reading_ && protocol_ != Protocol::Command)) return;
        if (piece.skipped) return prints_.lineLost();
        if (piece.frameEnd) return prints_.frameEnd(sink);
        const ScaleLine l = readScaleLine(piece.text);
        if (l.closesFrame) framing_.endFrame();
        prints_.line(l, piece.text, piece.framed, piece.bareLF, now, sink);
    });
    std::optional<Weighing> w = std::move(outcome_);
    outcome_.reset();
    return w;
}

int ReadSession::askAgain() {
    const int asks = reading_ ? askAgain_ : 0;
    askAgain_ = 0;
    for (int i = 0; i < asks; ++i) account_.sent();
    return asks;
}

void ReadSession::received(const Prints::Ended& e) {
    if (e.progress) return progress(*e.progress);
    if (e.print) settle(*e.print);
}

// Moving or over, and more lines to come: no answer yet, whatever the protocol.
void ReadSession::progress(const ScaleLine& l) {
    if (!reading_) return;
    lastMark_ = l.meaning == Meaning::AboveCapacity ? Failure::AboveCapacity : Failure::Unstable;
    lastMarkUnit_ = *lastMark_ == Failure::Unstable ? l.unit : std::string();
    repetition_.broken();
}

void ReadSession::settle(const Print& p) {
    if (protocol_ == Protocol::Command && !streaming_ && !account_.answered()) {
        askAgain_ += reading_;  // perhaps a late answer: ask for one certainly the read's own
        return;
    }
    if (!reading_ || outcome_) return;
    const Verdict v = verdictOf(p);
    const Weighing& w = v.outcome;
    if (protocol_ == Protocol::Print || (protocol_ == Protocol::Command && !streaming_)) {
        // The answer: a weight settled by its marks, or ended by a silence.
        if (w.failure != Failure::None || v.settled || p.endedBySilence) return end(w);
        streaming_ = true;  // bare weights that keep coming: settled by repetition
    }
    if (w.failure == Failure::None) {
        if (v.settled || repetition_.add(w.weight, w.unit, p.at)) end(w);
        return;
    }
    // A stable negative weight; after a command, what the scale says of it.
    if (v.settled || (protocol_ == Protocol::Command && !isMark(w.failure))) return end(w);
    repetition_.broken();
    if (isMark(w.failure)) {
        lastMark_ = w.failure;  // the scale's next print may be stable
        lastMarkUnit_ = w.unit;
        return;
    }
    lastFailure_ = w;
    if (w.failure == Failure::NotUnderstood) {
        // No command was sent: the line is quoted as it came.
        lastFailure_->failure = Failure::Garbled;
        lastFailure_->detail = p.quote;
    }
}

void ReadSession::end(Weighing w) {
    outcome_ = std::move(w);
    reading_ = false;
    streaming_ = false;
    account_.readEnds();
    repetition_.clear();
}

// A print is whole at a silence only when its last line has ended: a line
// cut short may have been its tare, or its net.
bool ReadSession::wholeAtSilence() const {
    return prints_.waitsForSilence(framing_.endedByLoneCR()) && framing_.underWay().empty();
}

std::optional<Millis> ReadSession::wakeAt() const {
    const std::optional<Millis> last = framing_.lastByte();
    if (!reading_ || !last || !(wholeAtSilence() || skipPrint_)) return std::nullopt;
    return *last + kQuietMs;
}

std::optional<Weighing> ReadSession::wake(Millis now) {
    const std::optional<Millis> last = framing_.lastByte();
    if (!reading_ || !last || now - *last < kQuietMs) return std::nullopt;
    skipPrint_ = false;
    if (wholeAtSilence()) prints_.silence([this](const Prints::Ended& e) { received(e); }, framing_.endedByLoneCR());
    std::optional<Weighing> w = std::move(outcome_);
    outcome_.reset();
    return w;
}

Weighing ReadSession::expire() {
    Weighing w;
    w.failure = Failure::TimedOut;
    const Print& held = prints_.current();
    const bool holding = reading_ && prints_.open() && !skipPrint_;
    const Failure unsettled = protocol_ == Protocol::Continuous ? Failure::UnsettledStream : Failure::Unstable;
    if (lastMark_) {
        w.failure = *lastMark_;
        w.unit = lastMarkUnit_;  // a moving weight's unit, when it showed one
    } else if (repetition_.unsettled() ||
               (holding && held.count > 0 && !held.refusal && !held.framed && !held.status)) {
        w.failure = unsettled;  // bare weights that did not settle
        if (repetition_.moved()) w.unit = repetition_.unit();  // a weight seen moving, in its unit
    } else if (holding && held.count == 0 && held.rule) {
        w = verdictOf(held).outcome;  // a display full of one sign, sent over and over
    } else if (holding) {
        w.failure = Failure::Garbled;  // an answer begun and never ended
        w.detail = !held.refusalQuote.empty() ? held.refusalQuote : !held.quote.empty() ? held.quote : held.headerQuote;
    } else if (lastFailure_) {
        w = *lastFailure_;
    } else if (!trimmed(framing_.underWay()).empty()) {
        // Bytes without an end of line: a cut line, or the wrong speed or format.
        w.failure = Failure::Garbled;
        w.detail = std::string(unframed(framing_.underWay()).substr(0, 40));
    } else if (protocol_ == Protocol::Command && account_.hadUnsure()) {
        w.failure = Failure::LateAnswer;
    }
    end(w);
    outcome_.reset();
    return w;
}

void ReadSession::abandon() {
    if (!reading_) return;
    end({});
    outcome_.reset();
}

}  // namespace pesolane
