#include "search_core.h"

#include <algorithm>

#include "keys.h"

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
// A scale that waits for stability, or filters slowly, may answer this much
// later than the window of its probe.
constexpr Millis kLateMs = 1000;
constexpr Millis kSteadyMs = 250;  // a late scale's answers, each after its request: within this of each other

}  // namespace

std::optional<std::string> unmended(const std::vector<std::string>& problemKeys) {
    for (const std::string& key : problemKeys)
        if (!isLinkKey(key)) return key;
    return std::nullopt;
}

SearchCore::SearchCore(SearchScope scope, const std::optional<Trial>& known)
    : scope_(std::move(scope)), plan_(searchPlan(scope_, known)) {}

void SearchCore::forget() {
    recent_.clear();
    lateAny_.reset();
    lateHere_.reset();
    lateThere_.reset();
    slow_ = false;
}

SearchStep SearchCore::opened(Millis now) {
    trial_ = 0;
    lineSet_ = false;
    talking_.clear();
    lastSent_.clear();
    retried_.assign(plan_.size(), false);
    forget();
    lastPortByte_ = now;  // what came before the port opened is unknown: as if a byte came then
    if (const std::optional<std::string> key = unmended(scope_.fileProblems)) {
        // F9 would refuse to read with the file as it would be written: nothing is asked.
        phase_ = Phase::Idle;
        SearchStep step;
        step.end = SearchStep::End::Unusable;
        step.shown.failure = Failure::BadSetting;
        step.shown.detail = *key;
        return step;
    }
    return nextTrial();
}

SearchStep SearchCore::reopened(Millis now) {
    lastPortByte_ = now;
    forget();
    return advance();
}

SearchStep SearchCore::advance() {
    ++trial_;
    slow_ = false;
    return nextTrial();
}

int SearchCore::lineMs() const {
    // Forty characters of ten bits at the speed tried.
    return 40 * 10 * 1000 / std::max(1, line_.baud);
}

int SearchCore::replyMs() const { return int(kAnswerMs) + lineMs() + (slow_ ? int(kLateMs) : 0); }

// Bytes heard in a trial may be the late answer of an earlier one: that
// trial is made again, its windows long enough for a late answer, before
// they are judged; then the trials after it are made again. The requests
// written after it may still answer late, in its windows.
SearchStep SearchCore::backToLate(std::size_t trial) {
    // First every answer still owed comes (and goes): the trial's windows then hold its own answers only.
    retry_ = trial;
    phase_ = Phase::Settling;
    SearchStep step;
    step.wakeAt = owedUntil(0);
    return step;
}

Millis SearchCore::owedUntil(Millis now) const {
    for (const Asked& a : recent_) now = std::max(now, a.at + kLateMs + lineMs());
    return now;
}

SearchStep SearchCore::nextTrial() {
    const auto talking = [this](const Trial& t) {
        return t.probe >= 0 && std::find(talking_.begin(), talking_.end(), t.line) != talking_.end();
    };
    while (trial_ < plan_.size() && talking(plan_[trial_])) ++trial_, slow_ = false;
    lateAny_.reset();  // bytes heard from now on are judged afresh
    lateHere_.reset();
    lateThere_.reset();
    lateDropped_.reset();
    waited_ = false;
    delay_.reset();
    betterDelay_.reset();
    reasks_ = 0;
    SearchStep step;
    if (trial_ >= plan_.size()) {
        // Every trial made; the last probes' answers may still come, late.
        Millis until = -1;
        for (const Asked& a : recent_)
            if (!retried_[a.trial]) until = std::max(until, a.at + kLateMs + lineMs());
        if (until >= 0 && phase_ != Phase::Ending) {
            phase_ = Phase::Ending;
            step.wakeAt = until;
            return step;
        }
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
    // Asked again after a later probe ended with CR (W CR before LF W CR): a
    // CR alone between them, or the line would hold W CR LF.
    return ask(now, joined(scope_.probes[std::size_t(t.probe)].sent));
}

void SearchCore::windowOver(Heard heard) {
    for (Asked& a : recent_)
        if (a.trial == trial_ && a.at == askedAt_) a.silent = heard == Heard::Nothing, a.noisy = heard == Heard::Noise;
}

std::string SearchCore::joined(const std::string& bytes) const {
    const bool joins = !lastSent_.empty() && lastSent_.back() == '\r' && !bytes.empty() && bytes.front() == '\n';
    return joins ? "\r" + bytes : bytes;
}

// In a window long enough for a late answer, an answer counts once a second
// one has come as long after its request: a scale that answers late answers
// each request as late, a print pressed by chance does not.
bool SearchCore::steady(std::optional<Millis>& last) {
    if (!slow_) return true;
    const Millis delay = firstByteAt_ - askedAt_;
    const bool same = last && std::max(delay, *last) - std::min(delay, *last) <= kSteadyMs;
    last = delay;
    return same;
}

SearchStep SearchCore::ask(Millis now, const std::string& bytes) {
    heard_.clear();
    lastByte_ = -1;
    windowStart_ = now;
    askedAt_ = now;
    lastSent_ = bytes;
    recent_.push_back({trial_, line_, now});
    SearchStep step;
    step.send = bytes;
    step.wakeAt = now + replyMs();
    return step;
}

SearchStep SearchCore::heard(std::string_view bytes, Millis now) {
    if (bytes.empty()) return {};
    const bool quietBefore = now - lastPortByte_ >= kQuietBeforeMs;
    lastPortByte_ = now;
    if (phase_ == Phase::Idle || phase_ == Phase::Reading) return {};
    // The earliest request of another trial these bytes may be the late
    // answer of; once its own windows are over, of this trial too.
    std::erase_if(recent_, [&](const Asked& a) { return now - a.at > kLateMs + lineMs() || retried_[a.trial]; });
    const bool ownWindow = phase_ == Phase::Asking || phase_ == Phase::Waiting || phase_ == Phase::Confirming ||
                           phase_ == Phase::Bettering;
    // A whole answer at this setting may be that of any request not answered
    // yet (noise may have hidden its window); bytes read as noise, only that
    // of a request whose window heard nothing (any other answers as noise at
    // a wrong speed, in its own window).
    for (const Asked& a : recent_) {
        if (!(a.silent || a.noisy) || (a.trial == trial_ && ownWindow)) continue;
        if (!lateHere_ && a.line == line_) lateHere_ = a.trial;
        if (!a.silent) continue;
        if (!lateAny_) lateAny_ = a.trial;
        if (!lateThere_ && !(a.line == line_)) lateThere_ = a.trial;
    }
    if (phase_ == Phase::Dropping && lateAny_) lateDropped_ = lateAny_;
    if (phase_ == Phase::Clearing) heard_ += std::string(bytes.substr(0, kHeardMost - std::min(kHeardMost, heard_.size())));
    if (phase_ == Phase::Dropping || phase_ == Phase::Clearing || phase_ == Phase::Waiting || phase_ == Phase::Ending ||
        phase_ == Phase::Settling)
        return {};
    if (heard_.empty()) firstWhole_ = quietBefore, firstByteAt_ = now;
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
    // Waiting late, the window lasts its whole time: the answer may come at its end.
    if ((phase_ == Phase::Asking || phase_ == Phase::Confirming || phase_ == Phase::Bettering) && !slow_)
        step.wakeAt = now + std::clamp<Millis>(kLongestWindowMs - since, 0, std::max(150, lineMs()));
    return step;
}

SearchStep SearchCore::timeUp(Millis now) {
    if (phase_ == Phase::Idle || phase_ == Phase::Dropping || phase_ == Phase::Reading) return {};
    const Trial& t = plan_[trial_];
    switch (phase_) {
    case Phase::Listening:
        // Bytes that may answer a probe of the setting before: neither a talking device nor noise.
        if (lateAny_) return backToLate(*lateAny_);
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
        return advance();
    case Phase::Watching: {
        // Bytes that never pause for a second: a scale that sends on its
        // own; a print, then a silence: its PRINT key (or a stream so slow
        // that each line is read as a print).
        const Millis gap = std::max(longestGap_, now - windowStart_ - std::max<Millis>(lastByte_, 0));
        return found(gap < kStreamGapMs ? Protocol::Continuous : Protocol::Print, nullptr, false);
    }
    case Phase::Waiting:
        // No earlier probe's answer may come now: the reply is judged as it was.
        phase_ = Phase::Asking;
        waited_ = true;
        [[fallthrough]];
    case Phase::Asking:
    case Phase::Confirming: {
        const Probe& p = scope_.probes[std::size_t(t.probe)];
        const Reply reply = judgeReply(heard_, p.sent);
        windowOver(reply.heard);
        if (reply.heard == Heard::Scale && phase_ == Phase::Asking) {
            firstReply_ = heard_;
            firstReplyWhole_ = firstWhole_;
            steady(delay_);
            if (lateHere_ && !waited_) {
                // It may be an earlier probe's late answer: this probe is
                // asked again only once no earlier answer may still come.
                phase_ = Phase::Waiting;
                SearchStep step;
                step.wakeAt = owedUntil(now);
                return step;
            }
            if (p.betterFirst && !slow_) {
                phase_ = Phase::Bettering;
                return ask(now, p.better);
            }
            // Waiting late, asked again at once (after a CR alone, for LF W CR):
            // an answer as late again is its own, prints do not come so soon.
            if (slow_) {
                phase_ = Phase::Confirming;
                return ask(now, joined(p.sent));
            }
            // Once might be chance (a PRINT key pressed then): asked again, it answers again.
            phase_ = Phase::Confirming;
            return ask(now, p.sent);
        }
        if (reply.heard == Heard::Scale && !steady(delay_)) {
            if (reasks_++ < 3) return ask(now, joined(p.sent));
            return afterProbe(now);  // answers at no steady delay: prints, no answer of its own
        }
        if (reply.heard == Heard::Scale) lateAny_.reset(), lateHere_.reset();  // answered twice: its own answers
        if (reply.heard == Heard::Scale && !p.better.empty() && (!p.betterFirst || slow_)) {
            // Answered: now the request its manual gives for the weight F9 wants.
            phase_ = Phase::Bettering;
            return ask(now, p.better);
        }
        if (reply.heard == Heard::Scale) return found(Protocol::Command, &p, false);
        if (reply.heard == Heard::Nothing && phase_ == Phase::Confirming && waited_ && !slow_) {
            // Its first reply may have been another's: this one may answer late, given the time to.
            slow_ = true;
            SearchStep step;
            step.wakeAt = windowStart_ + replyMs();
            return step;
        }
        // What came may have answered an earlier probe, late (its answer once
        // asked again; bytes taken as it was dropped): never judged as this one's.
        const std::optional<std::size_t> late = phase_ == Phase::Confirming    ? lateHere_
                                                : reply.heard == Heard::Nothing ? lateDropped_
                                                : reply.heard == Heard::Noise   ? lateThere_
                                                                                : std::nullopt;
        if (late) return backToLate(*late);
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
        const Heard better = judgeReply(heard_, p.better).heard;
        windowOver(better);
        bool answered = better == Heard::Scale;
        if (answered && !steady(betterDelay_)) {
            if (reasks_++ < 3) return ask(now, joined(p.better));  // waiting late: as late again, or not its answer
            answered = false;
        }
        if (answered) return found(Protocol::Command, &p, true);
        if (p.betterFirst && !slow_) {  // not answered: the probe again, to confirm its own answer
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
        // More than the echo of the line end: perhaps a late answer.
        if (lateAny_ && judgeReply(heard_, scope_.probes[std::size_t(t.probe)].clear).heard != Heard::Nothing)
            return backToLate(*lateAny_);
        return advance();
    case Phase::Ending:
        if (lateAny_) return backToLate(*lateAny_);
        return nextTrial();
    case Phase::Settling:
        trial_ = retry_;
        retried_[trial_] = true;
        recent_.clear();  // no answer is owed now
        slow_ = true;
        return nextTrial();
    default: return {};
    }
}

SearchStep SearchCore::afterProbe(Millis now) {
    const Probe& p = scope_.probes[std::size_t(plan_[trial_].probe)];
    if (p.clear.empty()) return advance();
    phase_ = Phase::Clearing;
    heard_.clear();
    lateAny_.reset();
    lateHere_.reset();
    lateThere_.reset();
    lastSent_ = p.clear;
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
        step.end = settledMass(step.shown) || movingMass(step.shown) ? SearchStep::End::Found : SearchStep::End::NoWeight;
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
    // Found only when F9's own read, with the settings about to be written, gives a settled mass weight; or
    // one still moving (the pan being loaded), shown as such.
    step.end = settledMass(w) ? SearchStep::End::Found : SearchStep::End::NoWeight;
    if (movingMass(w)) step.end = SearchStep::End::Found;
    return step;
}

}  // namespace pesolane
