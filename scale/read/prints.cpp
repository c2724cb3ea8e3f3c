#include "prints.h"

#include <algorithm>
#include <cstdint>

#include "messages.h"

namespace pesolane {
namespace {

// A line as a message quotes it: without the STX that opened its frame.
std::string quotedPart(std::string_view line) { return std::string(unframed(line).substr(0, 40)); }

bool isWeightLine(const ScaleLine& l) {
    return l.meaning == Meaning::Weight || l.meaning == Meaning::Negative || l.meaning == Meaning::NotAMass;
}

Failure failureOf(Meaning m) {
    switch (m) {
    case Meaning::Unstable: return Failure::Unstable;
    case Meaning::AboveCapacity: return Failure::AboveCapacity;
    case Meaning::BelowZero:
    case Meaning::Negative: return Failure::BelowZero;
    case Meaning::CannotWeigh: return Failure::CannotWeigh;
    case Meaning::NotUnderstood: return Failure::NotUnderstood;
    case Meaning::NoStableWeight: return Failure::NoStableWeight;
    case Meaning::ScaleError: return Failure::ScaleError;
    case Meaning::NotAMass: return Failure::NotAMass;
    case Meaning::Ambiguous: return Failure::Ambiguous;
    default: return Failure::Garbled;
    }
}

std::int64_t scaledTo(Decimal d, int decimals) {
    for (int i = d.decimals; i < decimals; ++i) d.value *= 10;
    return d.value;
}

// Gross less tare is net, to the last digit, in one unit.
bool adds(const ScaleLine& gross, const ScaleLine& tare, const ScaleLine& net) {
    if (gross.unit != net.unit || tare.unit != net.unit) return false;
    const Decimal g = decimalOf(gross.weight), t = decimalOf(tare.weight), n = decimalOf(net.weight);
    const int decimals = std::max({g.decimals, t.decimals, n.decimals});
    return scaledTo(g, decimals) - scaledTo(t, decimals) == scaledTo(n, decimals);
}

bool sameWeight(const ScaleLine& a, const ScaleLine& b) {
    return a.meaning == b.meaning && a.weight == b.weight && a.unit == b.unit;
}

}  // namespace

void Prints::start(Millis at, bool framed) {
    print_ = Print{};
    print_.noise = lost_;
    lost_ = false;
    print_.at = at;
    print_.framed = framed;
    open_ = true;
}

void Prints::add(const ScaleLine& l, std::string_view text) {
    if (l.header) {
        // Says nothing of the weight; a rule alone is a display full of one sign.
        if (print_.headerQuote.empty()) print_.headerQuote = quotedPart(text);
        if (!print_.rule && l.meaning != Meaning::Header) print_.rule = l.meaning;
        print_.lastWasWeight = false;
        return;
    }
    if (print_.quote.empty()) print_.quote = quotedPart(text);
    if (l.status && print_.lastWasWeight && !print_.status) {
        print_.status = l.meaning;
        print_.lastWasWeight = false;
        return;
    }
    print_.lastWasWeight = isWeightLine(l);
    if (isWeightLine(l)) {
        if (print_.count == Print::kMaxWeights) {
            print_.broken = true;
            return;
        }
        print_.lines[print_.count] = std::string(unframed(text));
        print_.weights[print_.count++] = l;
        return;
    }
    if (l.meaning == Meaning::Unreadable || l.status) {
        // Status bytes anywhere but right after a weight line are none.
        print_.unreadable = true;
        print_.noise = true;  // printable or not, it may have been the tare, or the net
        if (print_.refusalQuote.empty()) print_.refusalQuote = quotedPart(text);
        return;
    }
    if (!print_.refusal) {
        print_.refusal = l;
        print_.refusalQuote = quotedPart(text);
    }
}

Verdict verdictOf(const Print& p) {
    Verdict v;
    auto refused = [&v](Failure f, std::string detail = {}) {
        v.outcome.failure = f;
        v.outcome.detail = std::move(detail);
        return v;
    };
    const std::string& quote = p.quote.empty() ? p.headerQuote : p.quote;
    if (p.broken) return refused(Failure::Garbled, quote);
    if (p.refusal) {
        const Failure f = failureOf(p.refusal->meaning);
        refused(f, quotesLine(f) ? p.refusalQuote : std::string());
        v.outcome.unit = f == Failure::Unstable ? p.refusal->unit : std::string();  // a moving weight's, when shown
        return v;
    }
    // Moving by its status bytes: the weight line's unit, told with the refusal.
    if (p.status == Meaning::Unstable && p.count > 0 && p.weights[0].meaning == Meaning::Weight) v.outcome.unit = p.weights[0].unit;
    if (p.status && *p.status != Meaning::NothingWrong) return refused(failureOf(*p.status));
    // A rule of one sign and no weight: a display full of it.
    if (p.count == 0 && p.rule) return refused(failureOf(*p.rule));

    const ScaleLine *net = nullptr, *gross = nullptr, *tare = nullptr;
    bool counted = false;
    for (std::size_t i = 0; i < p.count; ++i) {
        const ScaleLine& l = p.weights[i];
        if (l.role == WeightRole::Count) {
            counted = true;
            continue;
        }
        if (l.meaning == Meaning::NotAMass) return refused(Failure::NotAMass, l.unit);
        // A plain weight stands where a gross would: what lies on the pan.
        const ScaleLine*& slot = l.role == WeightRole::Net ? net : l.role == WeightRole::Tare ? tare : gross;
        if (slot && !sameWeight(*slot, l)) return refused(Failure::Ambiguous, p.quote);
        slot = &l;
    }
    const ScaleLine* chosen = net ? net : gross;
    if (!chosen) {
        if (tare || counted) return refused(Failure::NotTheWeight, p.quote);
        return refused(Failure::Garbled, p.unreadable ? p.refusalQuote : quote);
    }
    v.settled = chosen->marked || (p.status && p.statusClosed);
    // Noise, a wrong speed, a line not taken, or a line no row reads may have
    // been the tare, or the net, that went with a gross; the next print may be whole.
    if (!net && p.noise && gross->role == WeightRole::Gross) {
        v.settled = false;
        return refused(Failure::Garbled, p.refusalQuote.empty() ? p.quote : p.refusalQuote);
    }
    if (!net && tare) {
        // A gross with its tare and no net: the container is in the gross.
        // The net is the gross less the tare, on the digits as sent; a plain
        // weight beside a tare may be either, and is no weight.
        if (gross->role != WeightRole::Gross) return refused(Failure::Ambiguous, p.quote);
        if (gross->meaning == Meaning::Negative) return refused(Failure::BelowZero);
        const std::optional<Difference> d =
            tare->meaning == Meaning::Weight && tare->unit == gross->unit ? difference(gross->weight, tare->weight)
                                                                          : std::nullopt;
        if (!d) return refused(Failure::GrossAndTare, p.quote);
        if (d->negative) return refused(Failure::BelowZero);
        v.settled = (gross->marked && tare->marked) || (p.status && p.statusClosed);
        v.outcome.weight = d->weight;
        v.outcome.unit = gross->unit;
        v.outcome.line = p.lines[std::size_t(gross - p.weights.data())] + '\n' + p.lines[std::size_t(tare - p.weights.data())];
        return v;
    }
    if (chosen->meaning == Meaning::Negative) return refused(Failure::BelowZero);
    if (net && gross && tare &&
        (gross->meaning != Meaning::Weight || tare->meaning != Meaning::Weight || !adds(*gross, *tare, *net)))
        return refused(Failure::Disagrees, p.quote);
    v.outcome.weight = chosen->weight;
    v.outcome.unit = chosen->unit;
    v.outcome.line = p.lines[std::size_t(chosen - p.weights.data())];
    return v;
}

}  // namespace pesolane
