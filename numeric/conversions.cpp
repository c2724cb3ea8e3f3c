#include "conversions.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace pesolane {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Walks a typed text the way the operator's number is read: blanks, tabs and
// line feeds are invisible wherever they stand.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    // The next character that is not a blank, or '\0' at the end.
    char peek() {
        while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    void take() { ++pos_; }
    std::size_t position() const { return pos_; }
    void rewind(std::size_t pos) { pos_ = pos; }

    // Appends the run of digits (blanks between them ignored) to `out`.
    void digits(std::string& out) {
        while (isDigit(peek())) {
            out.push_back(text_[pos_]);
            ++pos_;
        }
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Exponents are clamped far beyond any double so that a run of exponent digits
// cannot overflow an integer; the clamped value is out of range all the same.
constexpr std::int64_t kExponentClamp = 1'000'000'000;

std::int64_t exponentValue(const std::string& digits, bool negative) {
    std::int64_t e = 0;
    for (char c : digits) {
        e = e * 10 + (c - '0');
        if (e > kExponentClamp) {
            e = kExponentClamp;
            break;
        }
    }
    return negative ? -e : e;
}

std::string_view stripLeadingZeros(std::string_view s) {
    const std::size_t first = s.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view{} : s.substr(first);
}

std::string_view stripTrailingZeros(std::string_view s) {
    const std::size_t last = s.find_last_not_of('0');
    return last == std::string_view::npos ? std::string_view{} : s.substr(0, last + 1);
}

// Adds one unit in the last place to a string of decimal digits, with carry.
void incrementDigits(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] == '.') continue;
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
}

// The 15 significant digits of |value|, correctly rounded, and the decimal
// exponent of the first one: 1234.5 gives "123450000000000" and 3.
struct Significand {
    std::string digits;
    int exponent = 0;
};

Significand significand15(double magnitude) {
    std::array<char, 40> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude, std::chars_format::scientific, 14);
    const std::string_view sci(buf.data(), static_cast<std::size_t>(r.ptr - buf.data()));
    const std::size_t ePos = sci.find('e');
    Significand s;
    s.digits.push_back(sci[0]);
    s.digits.append(sci.substr(2, ePos - 2));
    std::from_chars(sci.data() + ePos + (sci[ePos + 1] == '+' ? 2 : 1), sci.data() + sci.size(), s.exponent);
    return s;
}

}  // namespace

LeadingRead LeadingNumber(std::string_view text) {
    Cursor in(text);
    bool negative = false;
    if (const char c = in.peek(); c == '+' || c == '-') {
        negative = c == '-';
        in.take();
    }
    std::string intDigits;
    std::string fracDigits;
    in.digits(intDigits);
    if (in.peek() == '.') {
        in.take();
        in.digits(fracDigits);
    }
    if (intDigits.empty() && fracDigits.empty()) return {};

    // An exponent letter counts only when digits follow it ('2e' reads as 2).
    std::string expDigits;
    bool expNegative = false;
    if (const char c = in.peek(); c == 'e' || c == 'E') {
        const std::size_t before = in.position();
        in.take();
        if (const char s = in.peek(); s == '+' || s == '-') {
            expNegative = s == '-';
            in.take();
        }
        in.digits(expDigits);
        if (expDigits.empty()) in.rewind(before);
    }

    const std::string_view whole = stripLeadingZeros(intDigits);
    const std::string_view fraction = stripTrailingZeros(fracDigits);
    const std::int64_t exponent = exponentValue(expDigits, expNegative);

    std::string canonical;
    canonical.reserve(whole.size() + fraction.size() + 16);
    canonical.append(whole.empty() ? std::string_view{"0"} : whole);
    if (!fraction.empty()) {
        canonical.push_back('.');
        canonical.append(fraction);
    }
    if (exponent != 0) {
        std::array<char, 24> buf{};
        const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), exponent);
        canonical.push_back('e');
        canonical.append(buf.data(), r.ptr);
    }

    double value = 0.0;
    const auto r = std::from_chars(canonical.data(), canonical.data() + canonical.size(), value,
                                   std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range || !std::isfinite(value)) {
        // Decimal magnitude of the number read: positive means too large,
        // otherwise it was too small for a double and reads as 0.
        std::int64_t magnitude = exponent;
        if (!whole.empty()) {
            magnitude += static_cast<std::int64_t>(whole.size());
        } else {
            const std::size_t zeros = fraction.find_first_not_of('0');
            magnitude -= static_cast<std::int64_t>(zeros == std::string_view::npos ? 0 : zeros);
        }
        if (magnitude > 0) return {0.0, true};
        return {};
    }
    return {negative ? -value : value, false};
}

std::string LocaleText(double value, std::string_view separator) {
    if (!std::isfinite(value)) return {};
    if (value == 0.0) return "0";

    Significand sig = significand15(std::fabs(value));
    std::string& digits = sig.digits;
    digits.erase(digits.find_last_not_of('0') + 1);
    const int exponent = sig.exponent;

    std::string out;
    if (value < 0) out.push_back('-');
    if (exponent >= 15 || exponent < -4) {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.append(separator);
            out.append(digits, 1);
        }
        out.append(exponent < 0 ? "E-" : "E+");
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) out.push_back('0');
        out.append(std::to_string(magnitude));
        return out;
    }
    if (exponent >= 0) {
        const std::size_t intLen = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intLen) {
            out.append(digits);
            out.append(intLen - digits.size(), '0');
        } else {
            out.append(digits, 0, intLen);
            out.append(separator);
            out.append(digits, intLen);
        }
        return out;
    }
    out.push_back('0');
    out.append(separator);
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out.append(digits);
    return out;
}

std::string MaskedText(double value, const Mask& mask, std::string_view separator) {
    if (!std::isfinite(value)) return {};
    const auto decimals = static_cast<std::size_t>(mask.decimals);

    // Rounded on the value's 15-digit decimal form, the number the operator
    // would read: 0.0000005 and 1.0005 round up although their doubles lie
    // just below the half.
    const Significand sig = significand15(std::fabs(value));
    std::string whole;
    std::string fraction;
    if (sig.exponent >= 0) {
        const auto intLen = static_cast<std::size_t>(sig.exponent) + 1;
        whole = sig.digits.substr(0, intLen);
        if (whole.size() < intLen) whole.append(intLen - whole.size(), '0');
        if (sig.digits.size() > intLen) fraction = sig.digits.substr(intLen);
    } else {
        whole = "0";
        fraction.assign(static_cast<std::size_t>(-sig.exponent - 1), '0');
        fraction.append(sig.digits);
    }
    if (fraction.size() > decimals) {
        const bool up = fraction[decimals] >= '5';  // halves away from zero
        fraction.resize(decimals);
        if (up) {
            std::string all = whole + fraction;
            incrementDigits(all);
            whole = all.substr(0, all.size() - decimals);
            fraction = all.substr(all.size() - decimals);
        }
    }
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (whole.size() > 1) whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));

    std::string out;
    const bool roundsToZero = whole == "0" && fraction.empty();
    if (value < 0 && !roundsToZero) out.push_back('-');
    out.append(whole);
    out.append(separator);
    out.append(fraction);
    return out;
}

}  // namespace pesolane
