// Text <-> number conversions used by every step of the counting.
//
// Pure standard C++: nothing here reads the C library's locale, so the
// results are the same whatever setlocale() was called with. The decimal
// separator of the written forms is passed in by the caller (the window
// asks the user's locale for it at the moment of the call); it is a string
// because some locales use a multi-byte separator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pesolane {

// Outcome of reading the number at the start of a typed text.
struct LeadingRead {
    double value = 0.0;       // the number read; 0 when no digit was read
    bool outOfRange = false;  // the number is beyond the double range (value is then 0)
    std::size_t end = 0;      // where the number read ends in the text (0 when no digit was read)
};

// Reads the longest number at the start of `text` (UTF-8): blanks, tabs and
// line feeds are ignored wherever they stand; an optional sign, digits, an
// optional point and digits, an optional exponent (E or e, optional sign,
// digits). Reading stops at the first character that cannot continue the
// number. The point is the only decimal separator. No digit gives 0.
// `end` tells where reading stopped: what follows it was not read.
// A magnitude too small for a double reads as 0; one too large is reported
// through `outOfRange` and never comes back as infinity.
LeadingRead LeadingNumber(std::string_view text);

// Writes `value` with at most 15 significant digits, no trailing zeros, no
// separator when whole, exponent form ("1E+20", "1E-05") for magnitudes of
// 1E+15 and above or below 1E-04. Non-finite values give an empty text.
std::string LocaleText(double value, std::string_view separator);

// A display mask made of "#" and "0" placeholders and one ".": only the
// number of placeholders after the "." changes what is written.
struct Mask {
    std::string_view pattern;
    int decimals;
};

constexpr int decimalsOf(std::string_view pattern) {
    const std::size_t dot = pattern.find('.');
    return dot == std::string_view::npos ? 0 : static_cast<int>(pattern.size() - dot - 1);
}

constexpr Mask makeMask(std::string_view pattern) { return Mask{pattern, decimalsOf(pattern)}; }

// The six masks of the window's results.
inline constexpr Mask kMaskNbTot1 = makeMask("########0.#");     // first estimate and its uncertainty
inline constexpr Mask kMaskEcart = makeMask("########0.###");    // admissible deviations
inline constexpr Mask kMaskPdsEcht2 = makeMask("#####0.######"); // second sample's minimum weight
inline constexpr Mask kMaskNbTotFinal = makeMask("######0.#");   // final count
inline constexpr Mask kMaskIncert = makeMask("#####0.#");        // final and lot uncertainties
inline constexpr Mask kMaskPdsNbVoulu = makeMask("####0.######"); // weight of a lot

// Rounds `value` to the mask's decimals, halves away from zero, on its
// 15-significant-digit decimal form (the number an operator reads), and writes the whole integer part (at least "0"), the
// separator (always, even with no fraction digit left) and the fraction
// without trailing zeros. A value that rounds to zero is written unsigned.
// Non-finite values give an empty text.
std::string MaskedText(double value, const Mask& mask, std::string_view separator);

}  // namespace pesolane
