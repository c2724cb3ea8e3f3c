#include "shapes.h"

#include <algorithm>
#include <array>
#include <optional>

#include "conversions.h"

namespace pesolane {
namespace {

constexpr char kSTX = 0x02;
constexpr char kETX = 0x03;

constexpr bool blank(char c) { return c == ' ' || c == '\t'; }
constexpr bool digit(char c) { return c >= '0' && c <= '9'; }
bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string lowered(std::string_view s) {
    std::string l;
    for (char c : s) l += lower(c);
    return l;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool text(std::string_view s) {
    for (char c : s)
        if (!(c == '\t' || (c >= 0x20 && c <= 0x7E))) return false;
    return true;
}

ScaleLine says(LineSays s, std::string_view shape) {
    ScaleLine line;
    line.says = s;
    line.shape = shape;
    return line;
}

// Units of mass: as a scale spells them (in any case), and as they are told.
// "gn" is a grain too: glued to a gram it would read as a net mark.
struct Unit {
    std::string_view spelled;
    std::string_view told;
};
constexpr std::array<Unit, 11> kMassUnits{{
    {"g", "g"}, {"kg", "kg"}, {"mg", "mg"}, {"ct", "ct"}, {"lb", "lb"}, {"oz", "oz"},
    {"ozt", "ozt"}, {"dwt", "dwt"}, {"gr", "gr"}, {"gn", "gr"}, {"t", "t"},
}};

// Marks after the unit, worst last: gross or net, moving, over capacity.
enum class Mark : std::uint8_t { Good, Moving, Over };
struct MarkSpelling {
    std::string_view spelled;
    Mark mark;
};
constexpr std::array<MarkSpelling, 9> kMarks{{
    {"g", Mark::Good}, {"n", Mark::Good}, {"gs", Mark::Good}, {"nt", Mark::Good}, {"net", Mark::Good},
    {"gr", Mark::Good}, {"?", Mark::Moving}, {"^", Mark::Over}, {"ol", Mark::Over},
}};

std::optional<Mark> markOf(std::string_view spelled) {
    for (const MarkSpelling& m : kMarks)
        if (m.spelled == spelled) return m.mark;
    return std::nullopt;
}

// The unit and the mark glued to it, when the token reads one way only.
struct UnitReading {
    int readings = 0;
    std::string_view unit;
    std::optional<Mark> mark;
};

UnitReading unitOf(std::string_view token) {
    const std::string t = lowered(token);
    UnitReading r;
    for (const Unit& u : kMassUnits) {
        if (t.compare(0, u.spelled.size(), u.spelled) != 0) continue;
        const std::string_view rest = std::string_view(t).substr(u.spelled.size());
        const std::optional<Mark> m = rest.empty() ? std::optional<Mark>() : markOf(rest);
        if (!rest.empty() && !m) continue;
        if (r.readings > 0 && r.unit == u.told && r.mark == m) continue;  // the same reading again
        // "gn" and "g" with a net mark are two readings: none is taken.
        ++r.readings;
        r.unit = u.told;
        r.mark = m;
    }
    return r;
}

// A weight field: a sign (blanks may follow it), digits with one point or one
// comma, a comma or blanks or nothing, a unit of mass, marks.
ScaleLine weightField(std::string_view f, std::string_view shape, bool marked) {
    ScaleLine line = says(LineSays::NotAWeight, shape);
    f = trimmed(f);
    // A display full of one sign: over capacity, under it, or a zero fault.
    if (f.size() >= 3 && (f[0] == '^' || f[0] == '_' || f[0] == '-') && f[1] == f[0] && f[2] == f[0])
        return says(f[0] == '^' ? LineSays::AboveCapacity : f[0] == '_' ? LineSays::BelowZero : LineSays::CannotWeigh,
                    shape);
    bool negative = false;
    if (!f.empty() && (f.front() == '+' || f.front() == '-')) {
        negative = f.front() == '-';
        f = trimmed(f.substr(1));
    }
    std::size_t i = 0, digits = 0;
    char separator = 0;
    for (; i < f.size(); ++i) {
        if (digit(f[i])) {
            ++digits;
        } else if ((f[i] == '.' || f[i] == ',') && !separator) {
            separator = f[i];
        } else {
            break;
        }
    }
    if (digits == 0 || digits > kMaxWeightDigits) return line;
    std::string number(f.substr(0, i));
    for (char& c : number)
        if (c == ',') c = '.';
    std::string_view tail = trimmed(f.substr(i));
    if (!tail.empty() && tail.front() == ',') tail = trimmed(tail.substr(1));
    if (tail.empty()) return line;  // no unit

    std::size_t end = 0;
    while (end < tail.size() && !blank(tail[end])) ++end;
    const std::string_view token = tail.substr(0, end);
    const UnitReading unit = unitOf(token);
    if (unit.readings == 0) {
        bool word = true;
        for (char c : token) word = word && (letter(c) || c == '%');
        if (!word) return line;
        line.says = LineSays::NotAMass;
        line.unit = std::string(token);
        return line;
    }
    if (unit.readings > 1) return line;
    Mark worst = unit.mark.value_or(Mark::Good);
    for (std::string_view rest = trimmed(tail.substr(end)); !rest.empty();) {
        std::size_t n = 0;
        while (n < rest.size() && !blank(rest[n])) ++n;
        const std::optional<Mark> m = markOf(lowered(rest.substr(0, n)));
        if (!m) return line;
        worst = std::max(worst, *m);
        rest = trimmed(rest.substr(n));
    }
    if (worst == Mark::Over) return says(LineSays::AboveCapacity, shape);
    if (worst == Mark::Moving) return says(LineSays::Unstable, shape);
    // The box must hold it as a number the steps can read.
    if (LeadingNumber(number).outOfRange) return line;
    line.marked = marked;
    line.says = negative ? LineSays::Negative : LineSays::Weight;
    if (!negative) {
        line.weight = std::move(number);
        line.unit = std::string(unit.unit);
    }
    return line;
}

// The shapes of line, tried in order. A pattern is literal characters, where
// ' ' stands for one blank or more, '#' for one digit, and '*' for the weight
// field that ends the line; a pattern without '*' is the whole line.
struct Shape {
    std::string_view name;
    std::string_view pattern;
    LineSays says;          // Weight: what the weight field says
    bool marked = false;    // the head marks a stable weight
    bool progress = false;  // more lines follow until the weight settles
};

using L = LineSays;
constexpr std::array<Shape, 48> kShapes{{
    // Answers to a command: "S S" stable, the statuses, "S" and a mark.
    {"command unknown", "ES", L::NotUnderstood},
    {"command unknown", "ET", L::NotUnderstood},
    {"command unknown", "EL", L::NotUnderstood},
    {"answer: busy", "S I", L::CannotWeigh},
    {"answer: over", "S +", L::AboveCapacity},
    {"answer: under", "S -", L::BelowZero},
    {"answer: no stable weight", "S E", L::NoStableWeight},
    {"answer: acknowledged", "S A", L::Acknowledged},
    {"answer: stable", "S S *", L::Weight, true},
    {"answer: dynamic", "S D *", L::Unstable},
    {"answer: moving mark", "S?*", L::Unstable},
    {"answer: over mark", "S^*", L::AboveCapacity},
    {"answer: under mark", "Sv*", L::BelowZero},
    {"answer: stable mark", "S *", L::Weight, true},
    // A status header: stable, moving, overload, a count; a gross or net field or none.
    {"header: stable gross", "ST,GS,*", L::Weight, true},
    {"header: stable net", "ST,NT,*", L::Weight, true},
    {"header: stable gross", "ST,GS *", L::Weight, true},
    {"header: stable net", "ST,NT *", L::Weight, true},
    {"header: tare", "ST,TR,*", L::NotAWeight},
    {"header: stable", "ST,*", L::Weight, true},
    {"header: moving", "US,*", L::Unstable, false, true},
    {"header: overload", "OL,*", L::AboveCapacity, false, true},
    {"header: count", "QT,*", L::Weight, true},
    // A mark before the weight: moving, over, under.
    {"mark before: moving", "? *", L::Unstable},
    {"mark before: over", "^ *", L::AboveCapacity},
    {"mark before: under", "v *", L::BelowZero},
    // Words that are the whole line.
    {"word: high", "High", L::AboveCapacity},
    {"word: low", "Low", L::BelowZero},
    {"word: not final", "--", L::Unstable},
    {"word: overload", "H", L::AboveCapacity},
    {"word: overload", "HH", L::AboveCapacity},
    {"word: underload", "L", L::BelowZero},
    {"word: underload", "LL", L::BelowZero},
    {"word: adjusting", "C", L::CannotWeigh},
    {"word: error", "Error", L::ScaleError},
    {"word: error", "Err *", L::ScaleError},
    // A label before the weight: gross, net; a tare or a count is not the weight.
    {"label: gross", "GROSS *", L::Weight},
    {"label: gross", "G# *", L::Weight},
    {"label: gross", "G *", L::Weight},
    {"label: gross", "GS *", L::Weight},
    {"label: gross", "#G *", L::Weight},
    {"label: net", "NET *", L::Weight},
    {"label: net", "N *", L::Weight},
    {"label: net", "NT *", L::Weight},
    {"label: net", "#N *", L::Weight},
    {"label: tare", "T *", L::NotAWeight},
    {"label: count", "Qnt *", L::Weight},
    {"bare", "*", L::Weight},
}};

// The rows that may read a line, by its first character, in table order: a
// line tries only those (the table is walked once per line of every read).
struct RowsByFirst {
    std::array<std::array<std::uint8_t, kShapes.size()>, 128> rows{};
    std::array<std::uint8_t, 128> count{};
    constexpr RowsByFirst() {
        for (std::size_t c = 0; c < 128; ++c)
            for (std::size_t r = 0; r < kShapes.size(); ++r) {
                const char first = kShapes[r].pattern[0];
                if (first == '*' || first == char(c) || (first == '#' && digit(char(c))))
                    rows[c][count[c]++] = std::uint8_t(r);
            }
    }
};
constexpr RowsByFirst kRowsByFirst;

// Where the pattern matches the line: the weight field (empty without '*').
std::optional<std::string_view> match(std::string_view pattern, std::string_view line) {
    std::size_t i = 0;
    for (std::size_t p = 0; p < pattern.size(); ++p) {
        const char c = pattern[p];
        if (c == '*') return line.substr(i);
        if (c == ' ') {
            if (i >= line.size() || !blank(line[i])) return std::nullopt;
            while (i < line.size() && blank(line[i])) ++i;
        } else if (i < line.size() && (c == '#' ? digit(line[i]) : line[i] == c)) {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    if (i != line.size()) return std::nullopt;
    return std::string_view();
}

// A line of status bytes, after a weight line and before ETX: two bytes or
// more, their bits 4 and 5 set; bit 6 set in each byte but the first and the
// last, when another follows. The first says motion (bit 0), the second
// below zero (bit 0) and over capacity (bit 1); bits 2 and 3 of both are the
// scale's own faults.
std::optional<ScaleLine> statusLine(std::string_view s) {
    if (s.size() < 2 || s.size() > 4) return std::nullopt;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        const bool follows = i > 0 && i + 1 < s.size();
        if ((b & 0xB0) != 0x30 || bool(b & 0x40) != follows) return std::nullopt;
    }
    const auto first = static_cast<unsigned char>(s[0]), second = static_cast<unsigned char>(s[1]);
    ScaleLine line = says((first & 0x0C) || (second & 0x0C) ? LineSays::CannotWeigh
                          : second & 0x02                     ? LineSays::AboveCapacity
                          : second & 0x01                     ? LineSays::BelowZero
                          : first & 0x01                      ? LineSays::Unstable
                                                              : LineSays::Settled,
                          "status bytes");
    line.status = true;
    return line;
}

// The fixed-format output of weighing indicators, within its frame: three
// status bytes, six digits of weight, six of tare or none. Status A: the
// decimal point's place (bits 0-2); B: net (0), negative (1), out of range
// (2), motion (3), kg rather than lb (4), not yet zeroed since power-up (6);
// C: the unit when not lb or kg (bits 0-2: 1 grams, 2 tonnes), a display ten
// times finer than the scale's (4).
std::optional<ScaleLine> fixedFormat(std::string_view s) {
    if (s.size() != 9 && s.size() != 15) return std::nullopt;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (i < 3 ? (b < 0x20 || b > 0x7F) : !digit(s[i])) return std::nullopt;
    }
    constexpr std::string_view kName = "fixed-format output";
    const auto a = static_cast<unsigned char>(s[0]), b = static_cast<unsigned char>(s[1]),
               c = static_cast<unsigned char>(s[2]);
    if (c & 0x10) return says(LineSays::NotAWeight, kName);
    if (b & 0x40) return says(LineSays::CannotWeigh, kName);
    if (b & 0x04) return says(LineSays::AboveCapacity, kName);
    ScaleLine line = says(b & 0x08 ? LineSays::Unstable : b & 0x02 ? LineSays::Negative : LineSays::Weight, kName);
    line.marked = true;
    line.whole = true;
    if (line.says != LineSays::Weight) return line;
    const int units = c & 0x07;
    if (units > 2) return says(LineSays::NotAWeight, kName);
    line.unit = units == 1 ? "g" : units == 2 ? "t" : b & 0x10 ? "kg" : "lb";
    // Place of the point: 0 and 1 add two zeros or one, 2 none, 3 to 7 put it
    // before the last 1 to 5 digits.
    const int point = a & 0x07;
    std::string digits(s.substr(3, 6));
    if (point < 2) digits.append(std::size_t(2 - point), '0');
    if (point > 2) digits.insert(digits.size() - std::size_t(point - 2), 1, '.');
    line.weight = std::move(digits);
    return line;
}

// Sixteen characters and an ID field or none, the unit's place blank: the
// weight shown while it moves.
bool fixedWidthMoving(std::string_view s) {
    if (s.size() != 14 && s.size() != 20) return false;
    const std::string_view data = s.substr(s.size() - 14);
    if (!(data[0] == '+' || data[0] == '-' || data[0] == ' ') || data.substr(10) != "    ") return false;
    bool any = false;
    for (char c : data.substr(1, 9)) {
        if (!(digit(c) || c == '.' || c == ' ')) return false;
        any = any || digit(c);
    }
    return any;
}

}  // namespace

ScaleLine readScaleLine(std::string_view line) {
    if (line.size() > kMaxLineBytes) return says(LineSays::NotAWeight, "too long");
    if (!line.empty() && line.front() == kSTX)
        if (std::optional<ScaleLine> l = fixedFormat(line.substr(1))) return *l;
    while (!line.empty() && line.front() == kSTX) line.remove_prefix(1);
    while (!line.empty() && line.back() == kETX) line.remove_suffix(1);
    if (!text(line)) return says(LineSays::NotAWeight, "not text");
    if (fixedWidthMoving(line)) return says(LineSays::Unstable, "fixed width, moving");
    std::string_view t = trimmed(line);
    if (t.empty()) return says(LineSays::Blank, "blank");
    if (std::optional<ScaleLine> l = statusLine(t)) return *l;
    // A status line of sixteen characters: "Stat", then the word.
    if (t.size() > 5 && t.substr(0, 4) == "Stat" && blank(t[4])) t = trimmed(t.substr(4));
    const auto first = static_cast<unsigned char>(t.front()) & 0x7F;
    for (std::size_t r = 0; r < kRowsByFirst.count[first]; ++r) {
        const Shape& shape = kShapes[kRowsByFirst.rows[first][r]];
        const std::optional<std::string_view> field = match(shape.pattern, t);
        if (!field) continue;
        ScaleLine l = shape.says == LineSays::Weight ? weightField(*field, shape.name, shape.marked)
                                                     : says(shape.says, shape.name);
        l.progress = shape.progress;
        return l;
    }
    return says(LineSays::NotAWeight, "bare");
}

}  // namespace pesolane
