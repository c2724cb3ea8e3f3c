// Any bytes from a USB weighing device: read as a report descriptor, and as
// the bytes of one read (cut in two where the input says, the second part as
// if asked for, or read) in the common layout and in the one they describe.
// A weight is digits with one point between them, no more than 12, in a unit
// of the HID table; every read ends with exactly one outcome.
#include <algorithm>
#include <set>
#include <string>

#include "hid_report.h"
#include "reference.h"
#include "shapes.h"

using namespace pesolane;
using namespace pesolane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view sent(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    static const std::set<std::string> kUnits{"mg", "g", "kg", "ct", "tael", "gr", "dwt", "t", "ton", "ozt", "oz", "lb"};
    for (const HidLayout& layout : {commonHidLayout(), readHidDescriptor(sent)}) {
        HidSession s(layout);
        require(!s.feed(sent), "between reads nothing comes out");
        s.begin();
        std::optional<Weighing> w = s.feed(sent.substr(0, cut));
        if (!w) w = size % 2 ? s.feedAsked(sent.substr(cut)) : s.feed(sent.substr(cut));
        if (!w) w = s.expire();
        require(!s.reading(), "an outcome ends the read");
        const std::string& t = w->weight;
        const std::size_t digits = t.size() - std::count(t.begin(), t.end(), '.');
        require(t.find_first_not_of("0123456789.") == std::string::npos && t.size() - digits <= 1, "digits and one point");
        require(t.empty() || (t.front() != '.' && t.back() != '.' && digits <= kMaxWeightDigits), "a weight as displayed");
        require((w->failure == Failure::None) == !t.empty() && (t.empty() || kUnits.count(w->unit)), "a weight in a unit");
    }
    return 0;
}
