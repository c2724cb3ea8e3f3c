// Independent references the fuzzers compare the conversions with.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace pesolane::fuzz {

// Stops the run with a message libFuzzer keeps beside the crashing input.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

inline void require(bool ok, const char* what) {
    if (!ok) fail(what);
}

inline double doubleFrom(const std::uint8_t* data) {
    double v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

inline std::string trimZeros(std::string digits) {
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos) return {};
    digits.erase(0, first);
    digits.erase(digits.find_last_not_of('0') + 1);
    return digits;
}

// The value rounded to 15 significant digits. Next to the largest double
// that rounding lies beyond the double range: then `inRange` is false.
struct Rounded {
    double value = 0;
    bool inRange = true;
};

inline Rounded round15(double v) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    Rounded out;
    out.inRange = std::from_chars(buf, r.ptr, out.value).ec == std::errc();
    return out;
}

// The significant digits of `v` correctly rounded to 15 of them, without
// leading or trailing zeros: what a text written with at most 15 significant
// digits must show, whatever the magnitude (subnormal values included).
inline std::string digits15(double v) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    std::string digits;
    for (const char* p = buf; p < r.ptr && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') digits.push_back(*p);
    return trimZeros(digits);
}

// Parses a written number after putting the point back in place of `sep`.
// The whole text must be a number; `inRange` is false when it lies beyond
// the double range.
inline bool readBack(std::string text, std::string_view sep, Rounded& out) {
    if (const auto at = text.find(sep); at != std::string::npos) text.replace(at, sep.size(), ".");
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out.value);
    out.inRange = r.ec == std::errc();
    return (r.ec == std::errc() || r.ec == std::errc::result_out_of_range) && r.ptr == text.data() + text.size();
}

inline const std::string_view kSeparators[] = {",", ".", "\xD9\xAB"};  // comma, point, Arabic decimal separator

}  // namespace pesolane::fuzz
