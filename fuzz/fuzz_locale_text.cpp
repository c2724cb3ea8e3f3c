// Any double and separator: the digits of the value correctly rounded to 15
// significant digits, and read back the text gives that rounded value.
#include <cmath>
#include <string>

#include "conversions.h"
#include "reference.h"

using namespace pesolane;
using namespace pesolane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    const std::string_view sep = kSeparators[data[0] % 3];
    const double value = doubleFrom(data + 1);
    const std::string text = LocaleText(value, sep);
    if (!std::isfinite(value)) {
        require(text.empty(), "nothing is written for a value that is not finite");
        return 0;
    }
    require(!text.empty() && text[0] != ' ', "no blank in front");
    require((text[0] == '-') == (value < 0), "a minus sign exactly for a negative value");

    // Significant digits of the mantissa: those before any exponent, leading zeros aside.
    const std::size_t e = text.find('E');
    std::string shown;
    for (std::size_t i = 0; i < std::min(e, text.size()); ++i)
        if (text[i] >= '0' && text[i] <= '9') shown.push_back(text[i]);
    const std::string significant = trimZeros(shown);
    require(significant.size() <= 15, "at most 15 significant digits");
    // Reading back alone cannot see wrong digits where doubles are sparse
    // (subnormal values): the digits themselves are compared.
    require(significant == digits15(value), "the digits of the value correctly rounded to 15 significant digits");

    Rounded back;
    require(readBack(text, sep, back), "reads back as a number");
    const Rounded reference = round15(value);
    require(back.inRange == reference.inRange, "beyond the double range only where the rounded value is");
    require(!reference.inRange || back.value == reference.value,
            "reads back as the value rounded to 15 significant digits");
    return 0;
}
