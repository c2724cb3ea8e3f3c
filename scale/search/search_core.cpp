#include "search_core.h"

#include <algorithm>

namespace pesolane {
namespace {

// How long each trial lasts, in ms. A scale that sends on its own sends
// several lines a second; one that answers does so within a few tenths of
// a second, plus the time its line takes at the speed tried.
constexpr Millis kListenMs = 600;
constexpr Millis kWatchMs = 2500;    // after a first print: more comes (a stream), or not (a PRINT key)
constexpr Millis kStreamGapMs = 1000;
constexpr Millis kAnswerMs = 250;
constexpr Millis kLongestWindowMs = 1500;  // bytes that keep coming are judged then
constexpr Millis kClearMs = 150;
constexpr Millis kQuietBeforeMs = 150;  // a port quiet that long is not in the middle of a line
constexpr std::size_t kHeardMost = 4096;

}  // namespace

SearchCore::SearchCore(SearchScope scope, const std::optional<Trial>& known)
    : scope_(std::move(scope)), plan_(searchPlan(scope_, known)) {}

SearchStep SearchCore::opened(Millis now) {
    trial_ = 0;
    lineSet_ = false;
    talking_.clear();
    lastPortByte_ = now;  // what came before the port opened is unknown: as if a byte came then
    return nextTrial();
}

SearchStep SearchCore::reopened(Millis now) {
    lastPortByte_ = now;
    ++trial_;
    return nextTrial();
}

int SearchCore::replyMs() const {
    // Forty characters of ten bits at the speed tried.
    return int(kAnswerMs) + 40 * 10 * 1000 / std::max(1, line_.baud);
}

SearchStep SearchCore::nextTrial() {
    const auto talking = [this](const Trial& t) {
        return t.probe >= 0 && std::find(talking_.begin(), talking_.end(), t.line) != talking_.end();
    };
    while (trial_ < plan_.size() && talking(plan_[trial_])) ++trial_;
    SearchStep step;
    if (trial_ >= plan_.size()) {
        phase_ = Phase::Idle;
        step.end = SearchStep::End::PortDone;
        return step;
    }
    const Trial& t = plan_[trial_];
    if (!lineSet_ || !(t.line == line_)) {
        step.setLine = t.line;
        line_ = t.line;
        lineSet_ = true;
    }
    step.trial = trial_;
    // What the port holds belongs to no trial; its bytes, taken now, tell
    // whether a line is under way as the next window opens.
    step.drop = true;
    phase_ = Phase::Dropping;
    return step;
}

SearchStep SearchCore::dropped(Millis now) {
    if (phase_ != Phase::Dropping) return {};
    heard_.clear();
    const Trial& t = plan_[trial_];
    if (t.probe < 0) {
        phase_ = Phase::Listening;
        lastByte_ = -1;
        windowStart_ = now;
        SearchStep step;
        step.wakeAt = now + kListenMs;
        return step;
    }
    phase_ = Phase::Asking;
    return ask(now, scope_.probes[std::size_t(t.probe)].sent);
}

SearchStep SearchCore::ask(Millis now, const std::string& bytes) {
    heard_.clear();
    lastByte_ = -1;
    windowStart_ = now;
    SearchStep step;
    step.send = bytes;
    step.wakeAt = now + replyMs();
    return step;
}

SearchStep SearchCore::heard(std::string_view bytes, Millis now) {
    if (bytes.empty()) return {};
    const bool quietBefore = now - lastPortByte_ >= kQuietBeforeMs;
    lastPortByte_ = now;
    if (phase_ == Phase::Idle || phase_ == Phase::Dropping || phase_ == Phase::Reading || phase_ == Phase::Clearing)
        return {};
    if (heard_.empty()) firstWhole_ = quietBefore;
    std::string kept(bytes.substr(0, kHeardMost - heard_.size()));
    if (line_.format[0] == '7')  // the eighth bit is the parity's
        for (char& c : kept) c = char(c & 0x7F);
    heard_ += kept;
    const Millis since = now - windowStart_;
    if (phase_ == Phase::Watching) longestGap_ = std::max(longestGap_, since - lastByte_);
    lastByte_ = since;
    SearchStep step;
    // An answer is judged once its bytes pause; bytes that keep coming, at
    // the latest after the longest window.
    if (phase_ == Phase::Asking || phase_ == Phase::Confirming || phase_ == Phase::Bettering)
        step.wakeAt = now + std::clamp<Millis>(kLongestWindowMs - since, 0, std::max(150, replyMs() - int(kAnswerMs)));
    return step;
}

SearchStep SearchCore::timeUp(Millis now) {
    if (phase_ == Phase::Idle || phase_ == Phase::Dropping || phase_ == Phase::Reading) return {};
    const Trial& t = plan_[trial_];
    switch (phase_) {
    case Phase::Listening:
        if (judgeReply(heard_, {}, !firstWhole_).heard == Heard::Scale) {
            phase_ = Phase::Watching;
            talking_.push_back(t.line);
            longestGap_ = 0;
            lastByte_ = 0;
            windowStart_ = now;
            SearchStep step;
            step.wakeAt = now + kWatchMs;
            return step;
        }
        // Bytes that come unasked, whatever they read as: a device that talks
        // on its own is not asked at this setting (its answer could not be
        // told from what it sends anyway); the search listens on elsewhere.
        if (!heard_.empty()) talking_.push_back(t.line);
        ++trial_;
        return nextTrial();
    case Phase::Watching: {
        // Bytes that never pause for a second: a scale that sends on its
        // own; a print, then a silence: its PRINT key (or a stream so slow
        // that each line is read as a print).
        const Millis gap = std::max(longestGap_, now - windowStart_ - std::max<Millis>(lastByte_, 0));
        return found(gap < kStreamGapMs ? Protocol::Continuous : Protocol::Print, nullptr, false);
    }
    case Phase::Asking:
    case Phase::Confirming: {
        const Probe& p = scope_.probes[std::size_t(t.probe)];
        const Reply reply = judgeReply(heard_, p.sent);
        if (reply.heard == Heard::Scale && phase_ == Phase::Asking) {
            firstReply_ = heard_;
            firstReplyWhole_ = firstWhole_;
            if (p.betterFirst) {
                phase_ = Phase::Bettering;
                return ask(now, p.better);
            }
            // Once might be chance (a PRINT key pressed then): asked again, it answers again.
            phase_ = Phase::Confirming;
            return ask(now, p.sent);
        }
        if (reply.heard == Heard::Scale && !p.better.empty() && !p.betterFirst) {
            // Answered: now the request its manual gives for the weight F9 wants.
            phase_ = Phase::Bettering;
            return ask(now, p.better);
        }
        if (reply.heard == Heard::Scale) return found(Protocol::Command, &p, false);
        if (reply.heard == Heard::Nothing && phase_ == Phase::Confirming) {
            // Asked again, silent: what came was a print, sent unasked.
            heard_ = firstReply_;
            firstWhole_ = firstReplyWhole_;
            return found(Protocol::Print, nullptr, false);
        }
        const bool unknown = reply.heard == Heard::CommandUnknown && phase_ == Phase::Asking;
        SearchStep step = afterProbe(now);
        step.commandUnknown = unknown;
        return step;
    }
    case Phase::Bettering: {
        const Probe& p = scope_.probes[std::size_t(t.probe)];
        if (judgeReply(heard_, p.better).heard == Heard::Scale) return found(Protocol::Command, &p, true);
        if (p.betterFirst) {  // not answered: the probe again, to confirm its own answer
            phase_ = Phase::Confirming;
            // A CR alone between them: the better request's CR and the probe's
            // LF would make the line hold what the probe must never hold
            // (W CR LF), and a line end alone asks nothing.
            const bool joins = !p.better.empty() && p.better.back() == '\r' && !p.sent.empty() && p.sent.front() == '\n';
            return ask(now, joins ? "\r" + p.sent : p.sent);
        }
        if (p.kept) return found(Protocol::Command, &p, false);
        return afterProbe(now);  // its answer would not be the weight F9 wants: never written
    }
    case Phase::Clearing:
        ++trial_;
        return nextTrial();
    default: return {};
    }
}

SearchStep SearchCore::afterProbe(Millis now) {
    const Probe& p = scope_.probes[std::size_t(plan_[trial_].probe)];
    if (p.clear.empty()) {
        ++trial_;
        return nextTrial();
    }
    phase_ = Phase::Clearing;
    SearchStep step;
    step.send = p.clear;
    step.wakeAt = now + kClearMs;
    return step;
}

SearchStep SearchCore::found(Protocol protocol, const Probe* probe, bool better) {
    finding_ = {line_, protocol, {}, {}};
    if (probe) {
        finding_.command = better ? probe->betterCommand : probe->command;
        finding_.end = probe->end;
    }
    SearchStep step;
    if (protocol == Protocol::Print) {
        // Its print was heard; another would need its key pressed again. It
        // shows what F9 would read of it: its net, or its one weight.
        phase_ = Phase::Idle;
        step.shown = printHeard(heard_, !firstWhole_);
        step.end = settledMass(step.shown) ? SearchStep::End::Found : SearchStep::End::NoWeight;
        return step;
    }
    phase_ = Phase::Reading;
    step.end = SearchStep::End::Read;
    return step;
}

SearchStep SearchCore::readOver(const Weighing& w) {
    if (phase_ != Phase::Reading) return {};
    phase_ = Phase::Idle;
    SearchStep step;
    step.shown = w;
    // Found only when F9's own read, with the settings about to be written, gives a settled mass weight.
    step.end = settledMass(w) ? SearchStep::End::Found : SearchStep::End::NoWeight;
    return step;
}

}  // namespace pesolane
