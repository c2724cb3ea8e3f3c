// The few character tests every stage of reading a scale shares: what a
// blank is, a digit, the frame's bytes. Standard C++ only.
#pragma once

#include <string_view>

namespace pesolane {

inline constexpr char kSTX = 0x02;  // opens a frame
inline constexpr char kETX = 0x03;  // closes it

constexpr bool isBlank(char c) { return c == ' ' || c == '\t'; }
constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A line without the STX that opened its frame and the ETX that closed it.
constexpr std::string_view unframed(std::string_view s) {
    while (!s.empty() && s.front() == kSTX) s.remove_prefix(1);
    while (!s.empty() && s.back() == kETX) s.remove_suffix(1);
    return s;
}

constexpr std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace pesolane
