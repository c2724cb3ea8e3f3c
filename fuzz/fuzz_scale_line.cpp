// Any bytes from a scale: read as one line, and as the bytes of one read in
// both protocols, cut in two at a place the input chooses. A weight is only
// ever digits with at most one point, the digits found as such in what was
// sent (a fixed-format line may add one zero or two; a gross less its tare
// is computed), with a unit of mass;
// every read ends with exactly one outcome. Heard by the search for a scale,
// after a probe or while listening: a scale only when a line reads as one,
// never the echo of the probe alone.
#include <set>
#include <string>

#include "messages.h"
#include "probes.h"
#include "session.h"
#include "reference.h"

using namespace pesolane;
using namespace pesolane::fuzz;

namespace {

void checkWeight(const std::string& weight, const std::string& unit, std::string_view sent) {
    std::size_t digits = 0, points = 0;
    std::string bare, comma = weight;
    for (char& c : comma) {
        digits += c >= '0' && c <= '9';
        points += c == '.';
        if (c != '.') bare += c;
        if (c == '.') c = ',';
    }
    require(digits > 0 && digits + points == weight.size() && points <= 1, "a weight is digits and one point at most");
    // As sent, with a point or a decimal comma; or the digits of a fixed-format
    // line, which place the point and may add one zero or two.
    bool found = sent.find(weight) != std::string_view::npos || sent.find(comma) != std::string_view::npos;
    for (std::size_t zeros = 0; zeros <= 2 && zeros < bare.size(); ++zeros)
        found = found || sent.find(std::string_view(bare).substr(0, bare.size() - zeros)) != std::string_view::npos;
    // Or a gross less its tare: a tare line, or a fixed-format frame's tare field, came.
    bool tare = sent.find(kSTX) != std::string_view::npos;
    for (std::size_t at = 0; !tare && at < sent.size();) {
        const std::size_t end = std::min(sent.find_first_of("\r\n\x03", at), sent.size());
        tare = readScaleLine(sent.substr(at, end - at)).role == WeightRole::Tare;
        at = end + 1;
    }
    require(found || tare, "the digits are the scale's own");
    require(digits <= kMaxWeightDigits, "no more digits than a scale displays");
    static const std::set<std::string> kUnits{"g", "kg", "mg", "ct", "lb", "oz", "ozt", "dwt", "gr", "t"};
    require(kUnits.count(unit) == 1, "a unit of mass");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view sent(reinterpret_cast<const char*>(data), size);
    const ScaleLine line = readScaleLine(sent);
    if (line.meaning == Meaning::Weight) {
        require(size <= kMaxLineBytes, "a weight line is at most 256 bytes");
        checkWeight(line.weight, line.unit, sent);
    } else {
        require(line.weight.empty() && (line.unit.empty() || line.meaning == Meaning::NotAMass || line.meaning == Meaning::Unstable),
                "only a weight carries digits");
        // A moving weight's unit is one of mass.
        static const std::set<std::string> kMoving{"g", "kg", "mg", "ct", "lb", "oz", "ozt", "dwt", "gr", "t"};
        require(line.meaning != Meaning::Unstable || line.unit.empty() || kMoving.count(line.unit) == 1, "a moving unit of mass");
    }
    require((readingsOf(sent).size() > 1) <= (line.meaning == Meaning::Ambiguous), "two readings are refused");

    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    for (Protocol p : {Protocol::Command, Protocol::Continuous, Protocol::Print}) {
        ReadSession session(p);
        if (size % 2) session.opened();
        session.begin(0);
        std::optional<Weighing> w = session.feed(sent.substr(0, cut), 0);
        if (!w) {
            require(session.askAgain() == 0, "every answer to the first read is its own");
            w = session.feed(sent.substr(cut), 1);
        }
        if (!w && session.wakeAt()) w = session.wake(*session.wakeAt());
        if (!w) {
            w = session.expire();
            require(w->failure != Failure::None, "the time limit gives a failure");
        }
        if (w->failure == Failure::None) checkWeight(w->weight, w->unit, sent);
        require(!session.feed(sent, 2000), "between reads nothing comes out");
    }

    for (const Probe& p : probeTable()) {
        const Reply echo = judgeReply(p.sent + p.sent, p.sent);
        require(echo.heard == Heard::Nothing, "an echo is no scale");
        const Reply r = judgeReply(sent, size % 2 ? std::string_view(p.sent) : std::string_view());
        const bool lineEnd = sent.find_first_of("\r\n\x03") != std::string_view::npos;
        require(r.heard != Heard::Scale || lineEnd, "a scale's reply has a whole line");
        require(r.heard == Heard::Nothing || !sent.empty(), "nothing heard is nothing");
        if (r.heard == Heard::Scale && r.first.meaning == Meaning::Weight) checkWeight(r.first.weight, r.first.unit, sent);
    }
    return 0;
}
