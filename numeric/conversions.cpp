#include "conversions.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
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
        if (pos_ < text_.size() && !isBlank(text_[pos_])) return text_[pos_];
        // Long runs of spaces (a pasted text) are skipped eight at a time.
        constexpr std::uint64_t kEightSpaces = 0x2020202020202020u;
        while (pos_ + 8 <= text_.size()) {
            std::uint64_t word;
            std::memcpy(&word, text_.data() + pos_, sizeof word);
            if (word != kEightSpaces) break;
            pos_ += 8;
        }
        while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    void take() {
        ++pos_;
        ++taken_;
    }
    std::size_t position() const { return pos_; }
    // How many characters other than blanks have been taken so far.
    std::size_t taken() const { return taken_; }

    // Skips a run of digits (blanks between them ignored); returns how many.
    std::size_t digits() {
        std::size_t n = 0;
        while (isDigit(peek())) {
            ++pos_;
            ++n;
        }
        taken_ += n;
        return n;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t taken_ = 0;
};

// Exponents are clamped far beyond any double so that a run of exponent digits
// cannot overflow an integer; the clamped value is out of range all the same.
constexpr std::int64_t kExponentClamp = 1'000'000'000;

// The decimal magnitude of a number written without blanks or sign: the
// count of integer digits from the first non-zero one, plus the exponent,
// less the zeros that open the fraction when the integer part is zero. It
// is positive exactly when the number is 1 or more.
std::int64_t decimalMagnitude(std::string_view number) {
    std::size_t i = 0;
    while (i < number.size() && number[i] == '0') ++i;
    std::int64_t magnitude = 0;
    while (i < number.size() && isDigit(number[i])) {
        ++magnitude;
        ++i;
    }
    if (i < number.size() && number[i] == '.') {
        ++i;
        if (magnitude == 0) {
            while (i < number.size() && number[i] == '0') {
                --magnitude;
                ++i;
            }
        }
        while (i < number.size() && isDigit(number[i])) ++i;
    }
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
        std::int64_t exponent = 0;
        for (; i < number.size(); ++i) exponent = std::min(exponent * 10 + (number[i] - '0'), kExponentClamp);
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude;
}

// The significant digits of a magnitude rounded to 15 of them, trailing
// zeros dropped, and the decimal exponent of the first: 1234.5 gives "12345"
// and 3.
struct Significand {
    std::array<char, 17> digits{};
    int count = 0;
    int exponent = 0;

    // The digit worth 10^place.
    char at(int place) const {
        const int k = exponent - place;
        return k >= 0 && k < count ? digits[static_cast<std::size_t>(k)] : '0';
    }
};

Significand significandOf(const char* first, const char* last) {
    Significand s;
    const char* e = std::find(first, last, 'e');
    for (const char* p = first; p < e; ++p)
        if (*p != '.') s.digits[static_cast<std::size_t>(s.count++)] = *p;
    while (s.count > 1 && s.digits[static_cast<std::size_t>(s.count - 1)] == '0') --s.count;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), last, s.exponent);
    return s;
}

Significand significand15(double magnitude) {
    // For a normal double, the shortest digits that read back as it are, when
    // there are 15 or fewer, its correctly rounded 15-digit form (the double
    // lies within half an ulp of them, far less than half a unit of the 15th
    // digit); only longer ones need the slower fixed-precision conversion.
    // A subnormal double carries fewer significant bits, so its shortest
    // digits can be fewer than 15 and still not be its 15-digit rounding
    // (9.9999999999994754e-311 is shortest as 1e-310): it always takes the
    // fixed-precision conversion.
    std::array<char, 40> buf{};
    auto r = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude, std::chars_format::scientific);
    if (magnitude < DBL_MIN || std::find(buf.data(), r.ptr, 'e') - buf.data() > 16) {  // "d." and more than 14 digits
        r = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude, std::chars_format::scientific, 14);
    }
    return significandOf(buf.data(), r.ptr);
}

}  // namespace

LeadingRead LeadingNumber(std::string_view text) {
    Cursor in(text);
    bool negative = false;
    if (const char c = in.peek(); c == '+' || c == '-') {
        negative = c == '-';
        in.take();
    }
    const char lead = in.peek();
    const std::size_t begin = in.position();
    const std::size_t takenBefore = in.taken();

    // Most texts hold a plain number: from_chars reads it in place, unless a
    // blank, a point or an exponent letter right after it could continue it
    // (' 1 000', '1e 5'), or it lies beyond the double range; then the number
    // is delimited below.
    if (isDigit(lead) || lead == '.') {
        double value = 0.0;
        const char* const last = text.data() + text.size();
        const auto r = std::from_chars(text.data() + begin, last, value, std::chars_format::general);
        if (r.ec == std::errc() && std::isfinite(value) &&
            (r.ptr == last || (!isBlank(*r.ptr) && *r.ptr != '.' && *r.ptr != 'e' && *r.ptr != 'E')))
            return {negative ? -value : value, false, static_cast<std::size_t>(r.ptr - text.data())};
    }

    const std::size_t intDigits = in.digits();
    std::size_t fracDigits = 0;
    if (in.peek() == '.') {
        in.take();
        fracDigits = in.digits();
    }
    if (intDigits == 0 && fracDigits == 0) return {};
    std::size_t end = in.position();
    std::size_t taken = in.taken();

    // An exponent letter counts only when digits follow it ('2e' reads as 2).
    if (const char c = in.peek(); c == 'e' || c == 'E') {
        in.take();
        if (const char sign = in.peek(); sign == '+' || sign == '-') in.take();
        if (in.digits() > 0) {
            end = in.position();
            taken = in.taken();
        }
    }

    // The number as written, without its sign; copied without the blanks only
    // when blanks stand inside it.
    std::string_view number = text.substr(begin, end - begin);
    std::string compact;
    if (number.size() != taken - takenBefore) {
        compact.reserve(number.size());
        for (char c : number)
            if (!isBlank(c)) compact.push_back(c);
        number = compact;
    }

    double value = 0.0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range || !std::isfinite(value)) {
        if (decimalMagnitude(number) > 0) return {0.0, true, end};
        return {0.0, false, end};  // too small for a double: reads as 0
    }
    return {negative ? -value : value, false, end};
}

std::string LocaleText(double value, std::string_view separator) {
    if (!std::isfinite(value)) return {};
    if (value == 0.0) return "0";

    const Significand sig = significand15(std::fabs(value));
    const std::string_view digits(sig.digits.data(), static_cast<std::size_t>(sig.count));
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
    const int decimals = mask.decimals;

    // Rounded on the value's 15-digit decimal form, the number the operator
    // would read: 0.0000005 and 1.0005 round up although their doubles lie
    // just below the half.
    const Significand sig = significand15(std::fabs(value));

    // Integer places from the highest (at least the units) down to the mask's
    // last decimal: 309 integer digits at most, 6 decimals, one carry.
    std::array<char, 320> digits{};
    const int intLen = std::max(sig.exponent, 0) + 1;
    int n = 0;
    for (int place = intLen - 1; place >= -decimals; --place) digits[n++] = sig.at(place);
    int first = 0;
    if (sig.at(-decimals - 1) >= '5') {  // halves away from zero
        int i = n - 1;
        for (; i >= 0 && digits[i] == '9'; --i) digits[i] = '0';
        if (i >= 0) {
            ++digits[i];
        } else {
            std::copy_backward(digits.begin(), digits.begin() + n, digits.begin() + n + 1);
            digits[0] = '1';
            ++n;
        }
    }
    const int wholeEnd = n - decimals;
    while (first < wholeEnd - 1 && digits[first] == '0') ++first;
    int fracEnd = n;
    while (fracEnd > wholeEnd && digits[fracEnd - 1] == '0') --fracEnd;

    std::string out;
    out.reserve(static_cast<std::size_t>(n) + separator.size() + 1);
    const bool roundsToZero = wholeEnd - first == 1 && digits[first] == '0' && fracEnd == wholeEnd;
    if (value < 0 && !roundsToZero) out.push_back('-');
    out.append(digits.data() + first, digits.data() + wholeEnd);
    out.append(separator);
    out.append(digits.data() + wholeEnd, digits.data() + fracEnd);
    return out;
}

}  // namespace pesolane
