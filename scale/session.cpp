#include "session.h"

namespace pesolane {
namespace {

constexpr char kSTX = 0x02;
constexpr char kETX = 0x03;

bool blank(char c) { return c == ' ' || c == '\t'; }

bool blankText(std::string_view s) {
    for (char c : s)
        if (!blank(c)) return false;
    return true;
}

ScaleLine says(LineSays s) {
    ScaleLine line;
    line.says = s;
    return line;
}

// A moving, overload or underload mark, as the failure of a read.
Failure failureOf(LineSays mark) {
    return mark == LineSays::Unstable        ? Failure::Unstable
           : mark == LineSays::AboveCapacity ? Failure::AboveCapacity
                                             : Failure::BelowZero;
}

// A line as a message quotes it: without the STX that opened its frame.
std::string quotedPart(std::string_view line) {
    while (!line.empty() && line.front() == kSTX) line.remove_prefix(1);
    return std::string(line.substr(0, 40));
}

}  // namespace

void ReadSession::opened() {
    line_.clear();
    afterCR_ = false;
    framed_ = false;
    reading_ = false;
    answer_ = Answer{};
    // Without a command the scale may be in the middle of a line. What is
    // owed stays owed: a scale may answer a command sent before the link was lost.
    skipLine_ = protocol_ == Protocol::Continuous;
}

void ReadSession::begin(Millis now) {
    if (!line_.empty()) skipLine_ = true;
    line_.clear();
    // Status bytes still to come belong to an answer that began before the read.
    answer_.ours = false;
    answer_.judged = true;
    run_.reset();
    moved_ = false;
    lastMark_.reset();
    lastFailure_.reset();
    paidLate_ = false;
    answered_ = false;
    lastLine_ = now;
    reading_ = true;
}

std::optional<Weighing> ReadSession::feed(std::string_view bytes, Millis now) {
    std::optional<Weighing> outcome;
    auto keep = [&outcome](std::optional<Weighing> w) {
        if (w && !outcome) outcome = std::move(w);
    };
    auto endLine = [&] {
        const bool skipped = skipLine_;
        skipLine_ = false;
        if (!skipped) keep(line(line_, now));
        line_.clear();  // keeps its room: no allocation a line
    };
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            const bool ends = !(c == '\n' && afterCR_);
            afterCR_ = c == '\r';
            if (ends) endLine();
            continue;
        }
        afterCR_ = false;
        if (c == kSTX) {
            // A frame begins: what came before it on the line is no part of
            // it; the STX is kept, some shapes stand only within a frame.
            line_.assign(1, kSTX);
            skipLine_ = false;
            framed_ = true;
        } else if (c == kETX) {
            if (!line_.empty()) endLine();
            framed_ = false;
            keep(endAnswer());
        } else if (line_.size() <= kMaxLineBytes) {
            // A line longer than any answer is kept no further: it is not a weight.
            line_ += c;
        }
    }
    return outcome;
}

std::optional<Weighing> ReadSession::line(std::string_view text, Millis now) {
    if (!reading_ && protocol_ == Protocol::Continuous) return std::nullopt;  // no answer is owed
    const ScaleLine l = readScaleLine(text);
    if (l.says == LineSays::Blank || l.says == LineSays::Acknowledged) return std::nullopt;
    lastLine_ = now;
    if (l.status && answer_.open) {
        // The status of the weight line before it: the first fault it tells counts.
        if (!answer_.status || *answer_.status == LineSays::Settled) answer_.status = l.says;
        return std::nullopt;
    }
    if (answer_.open && printPart(l)) return std::nullopt;
    // A new answer: the one before it is whole.
    std::optional<Weighing> before = endAnswer();
    if (l.progress) {
        // Moving or over, and more to come: no answer yet, whatever the protocol.
        if (reading_) judge(l, text, false);
        return before;
    }
    std::optional<Weighing> next = startAnswer(l, text, now);
    return before ? before : next;
}

// A print of several lines gives its first weight: the lines after it that
// are not a weight, or a weight under another label (a tare, a net, a
// total), are part of it. The same label again is the next line of a stream.
bool ReadSession::printPart(const ScaleLine& l) const {
    const ScaleLine& first = answer_.first;
    if (first.says != LineSays::Weight || first.marked || l.marked || l.progress || l.status) return false;
    const bool weight = l.says == LineSays::Weight || l.says == LineSays::Negative || l.says == LineSays::NotAMass;
    return l.says == LineSays::NotAWeight || (weight && l.shape != first.shape);
}

std::optional<Weighing> ReadSession::startAnswer(const ScaleLine& l, std::string_view text, Millis now) {
    answer_ = Answer{};
    answer_.open = true;
    answer_.framed = framed_;
    answer_.first = l;
    answer_.text = quotedPart(text);
    answer_.at = now;
    bool late = false;
    if (protocol_ == Protocol::Command && owed_ > 0) {
        --owed_;  // the answer to a command of a read that is over
        late = true;
        paidLate_ = paidLate_ || reading_;
    }
    answer_.ours = reading_ && !late;
    answer_.judged = !answer_.ours;
    if (!answer_.ours) return std::nullopt;
    answered_ = true;
    // A line that carries its own verdict, outside a frame, is judged at
    // once; a bare weight waits for the status bytes that may follow it.
    if ((answer_.framed && !l.whole) || l.status || (l.says == LineSays::Weight && !l.marked)) return std::nullopt;
    answer_.judged = true;
    return over(judge(l, answer_.text, protocol_ == Protocol::Command));
}

std::optional<Weighing> ReadSession::endAnswer() {
    if (!answer_.open) return std::nullopt;
    answer_.open = false;
    if (answer_.judged) return std::nullopt;
    answer_.judged = true;
    const ScaleLine& l = answer_.first;
    const LineSays status = answer_.status.value_or(l.status ? l.says : LineSays::Blank);
    const bool command = protocol_ == Protocol::Command;
    if (status != LineSays::Blank && status != LineSays::Settled)
        return over(judge(says(status), answer_.text, command));
    if (l.status) return over(judge(says(LineSays::NotAWeight), answer_.text, command));  // status and no weight
    if (l.says == LineSays::Weight && !l.marked && status != LineSays::Settled) return over(unmarked(l, answer_.at));
    return over(judge(l, answer_.text, command));
}

// A bare weight line, without a mark of stability: the same weight must come
// again and again, or stand alone before a silence (wake).
std::optional<Weighing> ReadSession::unmarked(const ScaleLine& l, Millis at) {
    if (run_ && run_->weight == l.weight && run_->unit == l.unit) {
        ++run_->lines;
    } else {
        if (run_) moved_ = true;
        run_ = Run{l.weight, l.unit, 1, at};
    }
    if (run_->lines >= kSettledLines && at - run_->since >= kSettledMs) return judge(l, {}, true);
    return std::nullopt;
}

// What a line of the read's own answer says: the outcome when it is `final`;
// otherwise (no command was sent, or more lines are to come) nothing yet, and
// what the time limit will tell if nothing better comes.
std::optional<Weighing> ReadSession::judge(const ScaleLine& l, std::string_view text, bool final) {
    Weighing w;
    switch (l.says) {
    case LineSays::Weight:
        w.weight = l.weight;
        w.unit = l.unit;
        return w;
    case LineSays::Negative: w.failure = Failure::BelowZero; return w;
    case LineSays::Blank:
    case LineSays::Acknowledged:
    case LineSays::Settled: return std::nullopt;
    case LineSays::Unstable:
    case LineSays::AboveCapacity:
    case LineSays::BelowZero:
        run_.reset();
        moved_ = true;
        if (!final) {
            lastMark_ = l.says;  // the scale's next line may be stable
            return std::nullopt;
        }
        w.failure = failureOf(l.says);
        return w;
    case LineSays::CannotWeigh: w.failure = Failure::CannotWeigh; break;
    case LineSays::NotUnderstood: w.failure = Failure::NotUnderstood; break;
    case LineSays::NoStableWeight: w.failure = Failure::NoStableWeight; break;
    case LineSays::ScaleError: w.failure = Failure::ScaleError; break;
    case LineSays::NotAMass:
        w.failure = Failure::NotAMass;
        w.detail = l.unit;
        break;
    case LineSays::NotAWeight: w.failure = Failure::Garbled; break;
    }
    if (w.failure == Failure::Garbled || w.failure == Failure::ScaleError) w.detail = quotedPart(text);
    if (final) return w;
    run_.reset();
    // Without a command, no command was misunderstood: the line is quoted as sent.
    if (w.failure != Failure::ScaleError && w.failure != Failure::NotAMass) {
        w.failure = Failure::Garbled;
        w.detail = quotedPart(text);
    }
    lastFailure_ = w;
    return std::nullopt;
}

std::optional<Weighing> ReadSession::over(std::optional<Weighing> outcome) {
    if (outcome) endRead();
    return outcome;
}

void ReadSession::endRead() {
    reading_ = false;
    answer_.ours = false;
    answer_.judged = true;
    run_.reset();
}

std::optional<Millis> ReadSession::wakeAt() const {
    if (!reading_) return std::nullopt;
    const bool waiting = (answer_.open && !answer_.judged) || (run_ && !moved_);
    if (!waiting) return std::nullopt;
    return lastLine_ + kQuietMs;
}

std::optional<Weighing> ReadSession::wake(Millis now) {
    if (!reading_ || now - lastLine_ < kQuietMs) return std::nullopt;
    if (std::optional<Weighing> w = endAnswer()) return w;
    // A weight alone before a silence, as a PRINT key sends it.
    if (reading_ && run_ && !moved_) {
        Weighing w;
        w.weight = run_->weight;
        w.unit = run_->unit;
        return over(w);
    }
    return std::nullopt;
}

Weighing ReadSession::expire() {
    Weighing w;
    w.failure = Failure::TimedOut;
    const bool holding = answer_.open && !answer_.judged;
    if (lastMark_) {
        w.failure = failureOf(*lastMark_);
    } else if (run_ || moved_ || (holding && answer_.first.says == LineSays::Weight && !answer_.first.marked)) {
        w.failure = Failure::Unstable;  // bare weights that did not settle
    } else if (holding) {
        w.failure = Failure::Garbled;   // an answer begun and never ended
        w.detail = answer_.text;
    } else if (lastFailure_) {
        w = *lastFailure_;
    } else if (!skipLine_ && !blankText(quotedPart(line_))) {
        // Bytes without an end of line: a cut line, or the wrong speed or format.
        w.failure = Failure::Garbled;
        w.detail = quotedPart(line_);
    } else if (paidLate_ && !answered_) {
        w.failure = Failure::LateAnswer;
    }
    if (reading_ && protocol_ == Protocol::Command && !answered_) owed_ = paidLate_ ? 0 : owed_ + 1;
    endRead();
    return w;
}

void ReadSession::abandon() {
    if (!reading_) return;
    if (protocol_ == Protocol::Command && !answered_) ++owed_;
    endRead();
}

}  // namespace pesolane
