// Any bytes: the number read is finite (or reported out of range), and it is
// the correctly rounded double of the leading decimal number, as an
// independent scan of the text with its blanks removed recognises it.
#include <cmath>
#include <string>

#include "conversions.h"
#include "reference.h"

using namespace pesolane;
using namespace pesolane::fuzz;

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// The longest prefix of `s` of the form [+-]? (d+ .? d* | . d+) ([eE] [+-]? d+)?
std::string leadingDecimal(const std::string& s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t mantissa = i;
    while (i < s.size() && digit(s[i])) ++i;
    bool digits = i > mantissa;
    if (i < s.size() && s[i] == '.') {
        const std::size_t afterPoint = ++i;
        while (i < s.size() && digit(s[i])) ++i;
        digits = digits || i > afterPoint;
    }
    if (!digits) return {};
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        const std::size_t expStart = j;
        while (j < s.size() && digit(s[j])) ++j;
        if (j > expStart) i = j;
    }
    return s.substr(0, i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const LeadingRead r = LeadingNumber(text);
    require(std::isfinite(r.value), "the value read is finite");
    require(!r.outOfRange || r.value == 0, "an out-of-range read carries no value");

    std::string compact;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n') compact.push_back(c);
    std::string prefix = leadingDecimal(compact);
    if (prefix.empty()) {
        require(!r.outOfRange && r.value == 0, "no number reads as 0");
        return 0;
    }
    if (prefix[0] == '+') prefix.erase(0, 1);  // from_chars takes no plus sign
    double expected = 0;
    const auto ref = std::from_chars(prefix.data(), prefix.data() + prefix.size(), expected);
    require(ref.ptr == prefix.data() + prefix.size(), "the reference reads the whole prefix");
    if (ref.ec == std::errc::result_out_of_range) {
        require(r.value == 0, "beyond the double range: 0 or out of range");
    } else {
        require(!r.outOfRange, "a number within range is not reported out of range");
        require(r.value == expected, "correctly rounded");
    }
    return 0;
}
