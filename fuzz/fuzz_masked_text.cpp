// Any double, mask and separator: the text has the mask's grammar, and read
// back it lies within half a unit of the mask's last decimal of the value's
// 15-significant-digit form.
#include <cmath>
#include <string>

#include "conversions.h"
#include "reference.h"

using namespace pesolane;
using namespace pesolane::fuzz;

namespace {
const Mask* const kMasks[] = {&kMaskNbTot1, &kMaskEcart, &kMaskPdsEcht2, &kMaskNbTotFinal, &kMaskIncert, &kMaskPdsNbVoulu};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    const Mask& mask = *kMasks[data[0] % 6];
    const std::string_view sep = kSeparators[(data[0] / 6) % 3];
    const double value = doubleFrom(data + 1);
    const std::string text = MaskedText(value, mask, sep);
    if (!std::isfinite(value)) {
        require(text.empty(), "nothing is written for a value that is not finite");
        return 0;
    }

    // Grammar: -? (0 | [1-9][0-9]*) sep ([0-9]{0,d-1}[1-9])?
    std::size_t i = 0;
    if (text[0] == '-') ++i;
    const std::size_t intStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    require(i > intStart, "an integer part");
    require(text[intStart] != '0' || i == intStart + 1, "no leading zeros");
    require(text.compare(i, sep.size(), sep) == 0, "the separator follows the integer part");
    const std::string_view fraction = std::string_view(text).substr(i + sep.size());
    require(fraction.size() <= static_cast<std::size_t>(mask.decimals), "at most the mask's decimals");
    for (char c : fraction) require(c >= '0' && c <= '9', "fraction digits");
    require(fraction.empty() || fraction.back() != '0', "no trailing zero");
    require(text[0] != '-' || value < 0, "a minus sign only for a negative value");

    Rounded back;
    require(readBack(text, sep, back), "reads back as a number");
    const Rounded reference = round15(value);
    require(back.inRange == reference.inRange, "beyond the double range only where the rounded value is");
    if (!reference.inRange) return 0;
    const double halfUnit = 0.5 * std::pow(10.0, -mask.decimals);
    require(std::fabs(back.value - reference.value) <= halfUnit * (1 + 1e-9) + std::fabs(reference.value) * 4e-16,
            "within half a unit of the last decimal");
    return 0;
}
