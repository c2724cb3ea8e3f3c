// Any bytes from a USB weighing device: read as a report descriptor, and as
// the bytes of one read (cut in two at a place the input chooses, the second
// part given as if asked for) in the common layout and in the one they
// describe. A weight is digits with one point at most, no more than 12, in a
// unit of the HID table; every read ends with exactly one outcome.
#include <set>
#include <string>

#include "hid_report.h"
#include "reference.h"

using namespace pesolane;
using namespace pesolane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view sent(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    for (const HidLayout& layout : {commonHidLayout(), readHidDescriptor(sent)}) {
        HidSession s(layout);
        require(!s.feed(sent), "between reads nothing comes out");
        s.begin();
        std::optional<Weighing> w = s.feed(sent.substr(0, cut));
        if (!w) w = size % 2 ? s.take(sent.substr(cut)) : s.feed(sent.substr(cut));
        if (!w) w = s.expire();
        require(!s.reading(), "an outcome ends the read");
        if (w->failure != Failure::None) {
            require(w->weight.empty() && w->unit.empty(), "only a weight carries digits");
            continue;
        }
        std::size_t digits = 0, points = 0;
        for (char c : w->weight) digits += c >= '0' && c <= '9', points += c == '.';
        require(digits > 0 && digits + points == w->weight.size() && points <= 1, "a weight is digits and one point at most");
        require(digits <= kMaxWeightDigits, "no more digits than a scale displays");
        require(w->weight.front() != '.' && w->weight.back() != '.', "a point between digits");
        static const std::set<std::string> kUnits{"mg", "g", "kg", "ct", "tael", "gr", "dwt", "t", "ton", "ozt", "oz", "lb"};
        require(kUnits.count(w->unit) == 1, "a unit of the table");
    }
    return 0;
}
