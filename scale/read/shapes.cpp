#include "shapes.h"

#include <algorithm>
#include <array>
#include <optional>

#include "conversions.h"
#include "text.h"

namespace pesolane {
namespace {

constexpr bool letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string lowered(std::string_view s) {
    std::string l;
    for (char c : s) l += lower(c);
    return l;
}

bool printable(std::string_view s) {
    for (char c : s)
        if (!(c == '\t' || (c >= 0x20 && c <= 0x7E))) return false;
    return true;
}

ScaleLine lineOf(Meaning m, WeightRole role = WeightRole::Plain) {
    ScaleLine line;
    line.meaning = m;
    line.role = role;
    return line;
}

// Units of mass: as a scale spells them (in any case), and as they are told.
// "gn" is a grain too: glued to a gram it would read as a net mark.
struct Unit {
    std::string_view spelled;
    std::string_view told;
};
constexpr std::array<Unit, 12> kMassUnits{{
    {"g", "g"}, {"kg", "kg"}, {"mg", "mg"}, {"ct", "ct"}, {"lb", "lb"}, {"lbs", "lb"}, {"oz", "oz"},
    {"ozt", "ozt"}, {"dwt", "dwt"}, {"gr", "gr"}, {"gn", "gr"}, {"t", "t"},
}};

// Marks after the unit: gross, net or tare (a preset tare, PT; a tare
// weight, TW), moving, over capacity.
enum class Mark : std::uint8_t { None, Moving, Over };
struct MarkSpelling {
    std::string_view spelled;
    Mark mark;
    WeightRole role;
    bool glued = true;  // may be glued to the unit; a tare's never is ("ozt" is troy ounces, not ounces of tare)
};
constexpr std::array<MarkSpelling, 12> kMarks{{
    {"g", Mark::None, WeightRole::Gross}, {"gs", Mark::None, WeightRole::Gross}, {"gr", Mark::None, WeightRole::Gross},
    {"n", Mark::None, WeightRole::Net}, {"nt", Mark::None, WeightRole::Net}, {"net", Mark::None, WeightRole::Net},
    {"t", Mark::None, WeightRole::Tare, false}, {"pt", Mark::None, WeightRole::Tare, false},
    {"tw", Mark::None, WeightRole::Tare, false},
    {"?", Mark::Moving, WeightRole::Plain}, {"^", Mark::Over, WeightRole::Plain}, {"ol", Mark::Over, WeightRole::Plain},
}};
// A legend of one letter, G, N or T, is the weight settled; in small letters, still moving.
constexpr std::array<MarkSpelling, 3> kSmallLegends{{
    {"g", Mark::Moving, WeightRole::Gross}, {"n", Mark::Moving, WeightRole::Net}, {"t", Mark::Moving, WeightRole::Tare}}};

const MarkSpelling* markOf(std::string_view spelled) {
    for (const MarkSpelling& m : kMarks)
        if (m.spelled == spelled) return &m;
    return nullptr;
}

// The unit and the mark glued to it, when the token reads one way only.
struct UnitReading {
    int readings = 0;
    std::string_view unit;
    const MarkSpelling* mark = nullptr;
};

UnitReading unitOf(std::string_view token) {
    UnitReading r;
    // A capital T after a weight is as likely a tare mark as tonnes.
    if (token == "T") return {2, {}, nullptr};
    const std::string t = lowered(token);
    for (const Unit& u : kMassUnits) {
        if (t.compare(0, u.spelled.size(), u.spelled) != 0) continue;
        const std::string_view rest = std::string_view(t).substr(u.spelled.size());
        const MarkSpelling* m = rest.empty() ? nullptr : markOf(rest);
        if (!rest.empty() && (!m || !m->glued)) continue;
        if (r.readings > 0 && r.unit == u.told && r.mark == m) continue;  // the same reading again
        // "gn" and "g" with a net mark are two readings: none is taken.
        ++r.readings;
        r.unit = u.told;
        r.mark = m;
    }
    return r;
}

// A weight field: a sign (blanks may follow it), digits with one point or one
// comma, a comma or blanks or nothing, a unit of mass, marks. Nothing when it
// is no weight field. The row's role, and a role a mark gives, must agree.
std::optional<ScaleLine> weightField(std::string_view f, WeightRole role, bool marked) {
    f = trimmed(f);
    // A display full of one sign: over capacity, under it, or a zero fault.
    if (f.size() >= 3 && (f[0] == '^' || f[0] == '_' || f[0] == '-') && f[1] == f[0] && f[2] == f[0])
        return lineOf(f[0] == '^' ? Meaning::AboveCapacity : f[0] == '_' ? Meaning::BelowZero : Meaning::CannotWeigh);
    bool negative = false;
    if (!f.empty() && (f.front() == '+' || f.front() == '-')) {
        negative = f.front() == '-';
        f = trimmed(f.substr(1));
    }
    std::size_t i = 0, digits = 0;
    char separator = 0;
    for (; i < f.size(); ++i) {
        if (isDigit(f[i])) {
            ++digits;
        } else if ((f[i] == '.' || f[i] == ',') && !separator) {
            separator = f[i];
        } else {
            break;
        }
    }
    if (digits == 0 || digits > kMaxWeightDigits) return std::nullopt;
    std::string number(f.substr(0, i));
    for (char& c : number)
        if (c == ',') c = '.';
    std::string_view tail = trimmed(f.substr(i));
    if (!tail.empty() && tail.front() == ',') tail = trimmed(tail.substr(1));
    if (tail.empty()) return std::nullopt;  // no unit

    std::size_t end = 0;
    while (end < tail.size() && !isBlank(tail[end])) ++end;
    const std::string_view token = tail.substr(0, end);
    const UnitReading unit = unitOf(token);
    if (unit.readings == 0) {
        for (char c : token)
            if (!(letter(c) || c == '%')) return std::nullopt;
        // A value in another unit ends the line: "1N  5.025lb" is a net.
        if (!trimmed(tail.substr(end)).empty()) return std::nullopt;
        ScaleLine line = lineOf(Meaning::NotAMass, role);
        line.unit = std::string(token);
        return line;
    }
    if (unit.readings > 1) return lineOf(Meaning::Ambiguous);
    Mark worst = Mark::None;
    auto take = [&](const MarkSpelling* m) {
        worst = std::max(worst, m->mark);
        if (m->role == WeightRole::Plain || m->role == role) return true;
        if (role != WeightRole::Plain) return false;  // a gross label with a net mark: two meanings
        role = m->role;
        return true;
    };
    if (unit.mark && !take(unit.mark)) return lineOf(Meaning::Ambiguous);
    for (std::string_view rest = trimmed(tail.substr(end)); !rest.empty();) {
        std::size_t n = 0;
        while (n < rest.size() && !isBlank(rest[n])) ++n;
        const std::string_view word = rest.substr(0, n);
        const auto small = std::find_if(kSmallLegends.begin(), kSmallLegends.end(),
                                        [&word](const MarkSpelling& l) { return word == l.spelled; });
        const MarkSpelling* m = small != kSmallLegends.end() ? &*small : markOf(lowered(word));
        if (!m) return std::nullopt;
        if (!take(m)) return lineOf(Meaning::Ambiguous);
        rest = trimmed(rest.substr(n));
    }
    if (worst == Mark::Over) return lineOf(Meaning::AboveCapacity);
    if (worst == Mark::Moving) {
        ScaleLine line = lineOf(Meaning::Unstable, role);
        line.unit = std::string(unit.unit);
        return line;
    }
    // The box must hold it as a number the steps can read.
    if (LeadingNumber(number).outOfRange) return std::nullopt;
    ScaleLine line = lineOf(negative ? Meaning::Negative : Meaning::Weight, role);
    line.marked = marked;
    if (!negative) {
        line.weight = std::move(number);
        line.unit = std::string(unit.unit);
    }
    return line;
}

// A line of status bytes, after a weight line and before ETX: two bytes or
// more, their bits 4 and 5 set; bit 6 set in each byte but the first and the
// last, when another follows. The first says motion (bit 0), the second
// below zero (bit 0) and over capacity (bit 1); bits 2 and 3 of both are the
// scale's own faults.
std::optional<ScaleLine> statusBytes(std::string_view raw) {
    const std::string_view s = trimmed(raw);
    if (s.size() < 2 || s.size() > 4) return std::nullopt;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        const bool follows = i > 0 && i + 1 < s.size();
        if ((b & 0xB0) != 0x30 || bool(b & 0x40) != follows) return std::nullopt;
    }
    const auto first = static_cast<unsigned char>(s[0]), second = static_cast<unsigned char>(s[1]);
    ScaleLine line = lineOf((first & 0x0C) || (second & 0x0C) ? Meaning::CannotWeigh
                             : second & 0x02                     ? Meaning::AboveCapacity
                             : second & 0x01                     ? Meaning::BelowZero
                             : first & 0x01                      ? Meaning::Unstable
                                                                 : Meaning::NothingWrong);
    line.status = true;
    return line;
}

// The fixed-format output of weighing indicators, right after the STX that
// opens its frame: three status bytes, six digits of weight, six of tare or
// none. Each status byte has bit 5 set; A and C have bit 6 clear, and A's
// increment size (bits 3-4: by 1, 2 or 5) is never 00. A: the decimal
// point's place (bits 0-2); B: net (0), negative (1), out of range (2),
// motion (3), kg rather than lb (4), not yet zeroed since power-up (6); C:
// the unit when not lb or kg (bits 0-2: 1 grams, 2 tonnes), a display ten
// times finer than the scale's (4).
std::optional<ScaleLine> fixedFormat(std::string_view raw) {
    if (raw.empty() || raw.front() != kSTX) return std::nullopt;
    const std::string_view s = raw.substr(1);
    // Status, weight and tare: a frame without its tare field is not this format.
    if (s.size() != 15) return std::nullopt;
    for (std::size_t i = 3; i < s.size(); ++i)
        if (!isDigit(s[i])) return std::nullopt;
    const auto a = static_cast<unsigned char>(s[0]), b = static_cast<unsigned char>(s[1]),
               c = static_cast<unsigned char>(s[2]);
    if ((a & 0xE0) != 0x20 || (a & 0x18) == 0 || (b & 0xA0) != 0x20 || (c & 0xE0) != 0x20) return std::nullopt;
    if (c & 0x10) return std::nullopt;  // ten times finer: not the scale's weight
    const int units = c & 0x07;
    if (units > 2) return std::nullopt;
    // A gross with a tare under it is not what lies in the container: the
    // net, on the digits, both fields having the same point.
    std::string digits(s.substr(3, 6));
    bool negative = b & 0x02;
    if (!(b & 0x01) && !negative && s.substr(9) != "000000") {
        const std::optional<Difference> net = difference(digits, s.substr(9));
        negative = net->negative;
        digits = std::string(6 - std::min<std::size_t>(6, net->weight.size()), '0') + net->weight;
    }
    ScaleLine line = lineOf(b & 0x40   ? Meaning::CannotWeigh
                             : b & 0x04 ? Meaning::AboveCapacity
                             : b & 0x08 ? Meaning::Unstable
                             : negative ? Meaning::Negative
                                        : Meaning::Weight,
                             b & 0x01 || s.substr(9) != "000000" ? WeightRole::Net : WeightRole::Gross);
    line.marked = true;
    line.closesFrame = true;
    if (line.meaning == Meaning::Weight || line.meaning == Meaning::Unstable)
        line.unit = units == 1 ? "g" : units == 2 ? "t" : b & 0x10 ? "kg" : "lb";
    if (line.meaning != Meaning::Weight) return line;
    // Place of the point: 0 and 1 add two zeros or one, 2 none, 3 to 7 put it
    // before the last 1 to 5 digits.
    const int point = a & 0x07;
    if (point < 2) digits.append(std::size_t(2 - point), '0');
    if (point > 2) digits.insert(digits.size() - std::size_t(point - 2), 1, '.');
    line.weight = std::move(digits);
    return line;
}

// Sixteen characters and an ID field or none, the unit's place blank: the
// weight shown while it moves.
std::optional<ScaleLine> fixedWidthMoving(std::string_view raw) {
    const std::string_view s = unframed(raw);
    if (s.size() != 14 && s.size() != 20) return std::nullopt;
    const std::string_view data = s.substr(s.size() - 14);
    if (!(data[0] == '+' || data[0] == '-' || data[0] == ' ') || data.substr(10) != "    ") return std::nullopt;
    bool any = false;
    for (char c : data.substr(1, 9)) {
        if (!(isDigit(c) || c == '.' || c == ' ')) return std::nullopt;
        any = any || isDigit(c);
    }
    if (!any) return std::nullopt;
    return lineOf(Meaning::Unstable);
}

// The point-of-sale scale's answer when it has no weight to give: STX, ?,
// one status byte (bits 5 and 6 set; motion in bit 0, over capacity in 1,
// under zero in 2, outside the zero range in 3), CR, and no ETX. Without
// any of those bits, it is its answer to a command it does not know.
std::optional<ScaleLine> posStatus(std::string_view raw) {
    if (raw.size() != 3 || raw[0] != kSTX || raw[1] != '?') return std::nullopt;
    const auto b = static_cast<unsigned char>(raw[2]);
    if ((b & 0xE0) != 0x60) return std::nullopt;
    ScaleLine line = lineOf(b & 0x02   ? Meaning::AboveCapacity
                             : b & 0x04 ? Meaning::BelowZero
                             : b & 0x01 ? Meaning::Unstable
                             : b & 0x08 ? Meaning::CannotWeigh
                                        : Meaning::NotUnderstood);
    line.closesFrame = true;
    return line;
}

// The words that lead the lines of a print's header or footer, as GMP and
// ISO printouts and tickets give them.
constexpr std::array<std::string_view, 22> kHeaderWords{
    "date", "time", "type", "typ", "model", "ser.no", "s/n", "snr", "serial", "id", "vers", "bvers",
    "name", "signature", "sign", "no", "ticket", "operator", "user", "balance", "start", "end"};

// A line of a print's header or footer: a rule of one sign (dashes,
// underscores, equal signs, stars); a date or a time (digits, blanks, and two
// separators at least among . / - :); a line led by a header's word, then
// nothing, a blank or a sign.
std::optional<ScaleLine> headerLine(std::string_view raw) {
    const std::string_view s = trimmed(unframed(raw));
    if (s.empty() || !printable(s)) return std::nullopt;
    ScaleLine line = lineOf(Meaning::Header);
    line.header = true;
    if (s.size() >= 3 && s.find_first_not_of(s[0]) == std::string_view::npos &&
        (s[0] == '-' || s[0] == '_' || s[0] == '=' || s[0] == '*')) {
        // Alone, a display full of dashes (a zero fault) or underscores (under zero).
        line.meaning = s[0] == '-' ? Meaning::CannotWeigh : s[0] == '_' ? Meaning::BelowZero : Meaning::Header;
        return line;
    }
    std::size_t digits = 0, separators = 0;
    bool dateOrTime = isDigit(s[0]);
    for (const char c : s) {
        if (isDigit(c)) ++digits;
        else if (c == '.' || c == '/' || c == '-' || c == ':') ++separators;
        else if (!isBlank(c)) dateOrTime = false;
    }
    if (dateOrTime && digits >= 4 && separators >= 2) return line;
    const std::string lead = lowered(s.substr(0, 10));
    for (const std::string_view word : kHeaderWords)
        if (lead.compare(0, word.size(), word) == 0 && (lead.size() == word.size() || !letter(lead[word.size()])))
            return line;
    return std::nullopt;
}

// The shapes of line. A pattern is literal characters (letters in any case
// when the row says so), where ' ' stands for
// one blank or more, '#' for one digit ('\\#' for the character itself), and '*' for the weight field that
// ends the line (for a row that means something else than a weight: for the
// rest of the line, whatever it is); a pattern without '*' is the whole
// line. A row without a pattern is read by its own reader, on the line as
// it came (STX included).
struct Shape {
    std::string_view pattern;
    Meaning meaning;                  // Weight: what the weight field says
    WeightRole role = WeightRole::Plain;
    bool marked = false;              // the head marks a stable weight
    bool progress = false;            // more lines follow until the weight settles
    std::optional<ScaleLine> (*reader)(std::string_view) = nullptr;
    bool anyCase = false;             // its letters in capitals or small letters ("Net:", "GROSS:")
};

using M = Meaning;
using R = WeightRole;
// As many rows as written: a row taken out leaves no empty one.
constexpr Shape kShapes[] = {
    // Answers to a command: "S S" stable, the statuses, "S" and a mark.
    {"ES", M::NotUnderstood},
    {"ET", M::NotUnderstood},
    {"EL", M::NotUnderstood},
    {"S I", M::CannotWeigh},
    {"S +*", M::AboveCapacity},
    {"S -*", M::BelowZero},
    {"S E", M::NoStableWeight},
    {"S A", M::Acknowledged},
    {"S S *", M::Weight, R::Plain, true},
    {"S D *", M::Unstable},
    {"S?*", M::Unstable},
    {"S^*", M::AboveCapacity},
    {"Sv*", M::BelowZero},
    {"S *", M::Weight, R::Plain, true},
    // SI echoed before its answer: a blank, a mark (blank stable, ? moving, ^ over, v under), the weight.
    {"SI I", M::CannotWeigh},
    {"SI A", M::Acknowledged},
    {"SI E", M::NoStableWeight},
    {"SI ?*", M::Unstable},
    {"SI ^*", M::AboveCapacity},
    {"SI v*", M::BelowZero},
    {"SI *", M::Weight, R::Plain, true},
    // A status header: stable, moving, overload; a gross, net or tare field or none; a count.
    {"ST,GS,*", M::Weight, R::Gross, true},
    {"ST,NT,*", M::Weight, R::Net, true},
    {"ST,GS *", M::Weight, R::Gross, true},
    {"ST,NT *", M::Weight, R::Net, true},
    {"ST,TR,*", M::Weight, R::Tare, true},
    {"ST,*", M::Weight, R::Plain, true},
    {"US,GS,*", M::Unstable, R::Gross, false, true},
    {"US,NT,*", M::Unstable, R::Net, false, true},
    {"US,TR,*", M::Unstable, R::Tare, false, true},
    {"US,*", M::Unstable, R::Plain, false, true},
    {"OL,*", M::AboveCapacity, R::Plain, false, true},
    {"QT,*", M::Weight, R::Count, true},
    // A mark before the weight: moving, over, under.
    {"? *", M::Unstable},
    {"^ *", M::AboveCapacity},
    {"v *", M::BelowZero},
    // Words that are the whole line, alone or in a sixteen-character status line.
    {"High", M::AboveCapacity},
    {"Low", M::BelowZero},
    {"--", M::Unstable},
    {"H", M::AboveCapacity},
    {"HH", M::AboveCapacity},
    {"L", M::BelowZero},
    {"LL", M::BelowZero},
    {"C", M::CannotWeigh},
    {"Stat H", M::AboveCapacity},
    {"Stat HH", M::AboveCapacity},
    {"Stat L", M::BelowZero},
    {"Stat LL", M::BelowZero},
    {"Error", M::ScaleError},
    {"Err *", M::ScaleError},
    // A label before the weight: gross, net, tare, count, a total of weighings;
    // the words in any case, with a colon or not; an ID with the number of a
    // tare memory (T1, N1: the net under that tare), a preset tare (PT, PT2).
    {"GROSS *", M::Weight, R::Gross, false, false, nullptr, true},
    {"GROSS:*", M::Weight, R::Gross, false, false, nullptr, true},
    {"G# *", M::Weight, R::Gross},
    {"G\\# *", M::Weight, R::Gross},  // a gross value's ID, six characters before the sixteen
    {"G *", M::Weight, R::Gross},
    {"GS *", M::Weight, R::Gross},
    {"#G *", M::Weight, R::Gross},
    {"NET *", M::Weight, R::Net, false, false, nullptr, true},
    {"NET:*", M::Weight, R::Net, false, false, nullptr, true},
    {"N *", M::Weight, R::Net},
    {"N# *", M::Weight, R::Net},
    {"NT *", M::Weight, R::Net},
    {"#N *", M::Weight, R::Net},
    {"TARE *", M::Weight, R::Tare, false, false, nullptr, true},
    {"TARE:*", M::Weight, R::Tare, false, false, nullptr, true},
    {"T *", M::Weight, R::Tare},
    {"T# *", M::Weight, R::Tare},
    {"PT *", M::Weight, R::Tare},
    {"PT# *", M::Weight, R::Tare},
    {"Qnt *", M::Weight, R::Count},
    {"TOTAL *", M::Weight, R::Count, false, false, nullptr, true},
    {"TOTAL:*", M::Weight, R::Count, false, false, nullptr, true},
    {"*", M::Weight},
    // Read by their own reader.
    {{}, M::Weight, R::Plain, false, false, fixedFormat},
    {{}, M::NothingWrong, R::Plain, false, false, statusBytes},
    {{}, M::Unstable, R::Plain, false, false, fixedWidthMoving},
    {{}, M::Unstable, R::Plain, false, false, posStatus},
    {{}, M::Header, R::Plain, false, false, headerLine},
};

// The pattern rows that may read a line, by its first character, in table
// order: a line tries only those, and every reader row.
struct RowsByFirst {
    std::array<std::array<std::uint8_t, std::size(kShapes)>, 128> rows{};
    std::array<std::uint8_t, 128> count{};
    std::array<std::uint8_t, std::size(kShapes)> readers{};
    std::uint8_t readerCount = 0;
    constexpr RowsByFirst() {
        for (std::size_t r = 0; r < std::size(kShapes); ++r)
            if (kShapes[r].reader) readers[readerCount++] = std::uint8_t(r);
        for (std::size_t c = 0; c < 128; ++c)
            for (std::size_t r = 0; r < std::size(kShapes); ++r) {
                if (kShapes[r].reader) continue;
                const char first = kShapes[r].pattern[0];
                if (first == '*' || first == char(c) || (first == '#' && isDigit(char(c))) ||
                    (kShapes[r].anyCase && lower(first) == lower(char(c))))
                    rows[c][count[c]++] = std::uint8_t(r);
            }
    }
};
constexpr RowsByFirst kRowsByFirst;

// Where the pattern matches the line: the weight field (empty without '*').
std::optional<std::string_view> match(std::string_view pattern, std::string_view line, bool anyCase) {
    std::size_t i = 0;
    for (std::size_t p = 0; p < pattern.size(); ++p) {
        const char c = pattern[p];
        if (c == '*') return line.substr(i);
        if (c == '\\' && p + 1 < pattern.size()) {
            if (i >= line.size() || line[i] != pattern[++p]) return std::nullopt;
            ++i;
            continue;
        }
        if (c == ' ') {
            if (i >= line.size() || !isBlank(line[i])) return std::nullopt;
            while (i < line.size() && isBlank(line[i])) ++i;
        } else if (i < line.size() && (c == '#' ? isDigit(line[i]) : line[i] == c || (anyCase && lower(line[i]) == lower(c)))) {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    if (i != line.size()) return std::nullopt;
    return std::string_view();
}

// The unit of mass of a moving weight, when its field shows one.
std::string movingUnit(std::string_view field) {
    field = trimmed(field);
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) field.remove_prefix(1);
    const std::optional<ScaleLine> w = weightField(field, WeightRole::Plain, false);
    return w && (w->meaning == Meaning::Weight || w->meaning == Meaning::Unstable) ? w->unit : std::string();
}

// What a row reads in a line, if it reads it.
std::optional<ScaleLine> readBy(const Shape& shape, std::string_view raw, std::string_view text) {
    if (shape.reader) return shape.reader(raw);
    const std::optional<std::string_view> field = match(shape.pattern, text, shape.anyCase);
    if (!field) return std::nullopt;
    std::optional<ScaleLine> l = shape.meaning == Meaning::Weight ? weightField(*field, shape.role, shape.marked)
                                                                  : lineOf(shape.meaning, shape.role);
    if (!l) return l;
    l->progress = shape.progress;
    if (l->meaning == Meaning::Unstable && l->unit.empty()) l->unit = movingUnit(*field);
    return l;
}

// Readings that lead to the same outcome: a negative weight and a mark
// under zero both refuse the weighing as below zero.
Meaning outcomeClass(Meaning m) { return m == Meaning::Negative ? Meaning::BelowZero : m; }

// A moving line's unit or role, shown or not, changes nothing of what it says.
bool sameReading(const ScaleLine& a, const ScaleLine& b) {
    const bool weight = a.meaning == Meaning::Weight || a.meaning == Meaning::NotAMass;
    return outcomeClass(a.meaning) == outcomeClass(b.meaning) && a.weight == b.weight &&
           (!weight || (a.unit == b.unit && a.role == b.role)) && a.status == b.status;
}

// Hands each row's reading of a line to `take`, those of the rows with a
// reader of their own first: a rule of dashes that the bare weight field reads
// as a display full of one sign is taken as their reading, which knows it may
// be a header's.
template <class Take>
void eachReading(std::string_view line, Take&& take) {
    if (line.size() > kMaxLineBytes) return;
    const std::string_view text = trimmed(unframed(line));
    for (std::size_t r = 0; r < kRowsByFirst.readerCount; ++r)
        if (std::optional<ScaleLine> l = readBy(kShapes[kRowsByFirst.readers[r]], line, text)) take(std::move(*l));
    if (text.empty() || !printable(text)) return;
    const auto first = static_cast<unsigned char>(text.front()) & 0x7F;
    for (std::size_t r = 0; r < kRowsByFirst.count[first]; ++r)
        if (std::optional<ScaleLine> l = readBy(kShapes[kRowsByFirst.rows[first][r]], line, text)) take(std::move(*l));
}

}  // namespace

Decimal decimalOf(std::string_view weight) {
    Decimal d;
    bool point = false;
    for (char c : weight) {
        if (c == '.') point = true;
        if (!isDigit(c)) continue;
        d.value = d.value * 10 + (c - '0');
        d.decimals += point;
    }
    return d;
}

std::optional<Difference> difference(std::string_view a, std::string_view b) {
    const Decimal x = decimalOf(a), y = decimalOf(b);
    if (x.decimals != y.decimals) return std::nullopt;
    const auto places = static_cast<std::size_t>(x.decimals);
    const std::int64_t d = x.value - y.value;  // at most 12 digits each: no overflow
    Difference r;
    r.negative = d < 0;
    if (r.negative) return r;
    std::string digits = std::to_string(d);
    if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
    if (places) digits.insert(digits.size() - places, 1, '.');
    r.weight = std::move(digits);
    return r;
}

std::vector<ScaleLine> readingsOf(std::string_view line) {
    std::vector<ScaleLine> readings;
    eachReading(line, [&readings](ScaleLine l) {
        for (const ScaleLine& r : readings)
            if (sameReading(r, l)) return;
        readings.push_back(std::move(l));
    });
    return readings;
}

ScaleLine readScaleLine(std::string_view line) {
    if (line.size() <= kMaxLineBytes && trimmed(unframed(line)).empty()) return lineOf(Meaning::Blank);
    std::optional<ScaleLine> one;
    bool two = false;
    eachReading(line, [&](ScaleLine l) {
        if (!one) one = std::move(l);
        else two = two || !sameReading(*one, l);
    });
    if (!one) return lineOf(Meaning::Unreadable);
    if (two) return lineOf(Meaning::Ambiguous);
    return std::move(*one);
}

}  // namespace pesolane
