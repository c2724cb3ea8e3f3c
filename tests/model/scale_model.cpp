#include "scale_model.h"

#include <algorithm>
#include <map>

#include "hid_report.h"
#include "search_core.h"
#include "session.h"

namespace pesolane::model {

unsigned Draw::below(unsigned n) {
    if (n <= 1) return 0;
    std::uint64_t v;
    if (data_) {  // a fuzzer's bytes, two a draw; zeros once they run out
        v = 0;
        for (int i = 0; i < 2 && size_ > 0; ++i, ++data_, --size_) v = v << 8 | *data_;
    } else {  // splitmix64
        v = (state_ += 0x9E3779B97F4A7C15ULL);
        v = (v ^ (v >> 30)) * 0xBF58476D1CE4E5B9ULL;
        v = (v ^ (v >> 27)) * 0x94D049BB133111EBULL;
        v ^= v >> 31;
    }
    return unsigned(v % n);
}

namespace {

using S = Scene;

std::string fmt(std::int64_t v, int decimals) {
    std::string s = std::to_string(v);
    if (decimals == 0) return s;
    if (s.size() <= std::size_t(decimals)) s.insert(0, std::size_t(decimals) + 1 - s.size(), '0');
    return s.insert(s.size() - std::size_t(decimals), 1, '.');
}
std::string pad(const std::string& s, std::size_t w, char c = ' ') {
    return s.size() >= w ? s : std::string(w - s.size(), c) + s;
}
std::string unitField(const std::string& u, std::size_t w) { return u + std::string(w > u.size() ? w - u.size() : 0, ' '); }

// The display: a moving weight never shows the same value twice in a row.
std::int64_t shown(const S& s, int k) { return s.state == S::Moving ? s.net + 1 + k % 2 : s.net; }
std::string value(const S& s, int k) { return fmt(shown(s, k), s.decimals); }

// MT-SICS: S answers a stable weight, or I (busy) while it moves; SI answers
// at once, D for dynamic; + and - beyond the range.
std::string sics(const S& s, int k, bool immediate) {
    if (s.state == S::Over) return "S +\r\n";
    if (s.state == S::Under) return "S -\r\n";
    if (s.state == S::Moving && !immediate) return "S I\r\n";
    return std::string(s.state == S::Moving ? "S D" : "S S") + pad(value(s, k), 11) + " " + s.unit + "\r\n";
}
// A&D: a header (ST stable, US moving, OL out of range), sign, eight
// characters of data with their point, three of unit.
std::string header(const S& s, int k) {
    if (s.state == S::Over) return "OL,+9999999E\r\n";
    if (s.state == S::Under) return "OL,-9999999E\r\n";
    return std::string(s.state == S::Moving ? "US" : "ST") + ",+" + pad(value(s, k), 8, '0') + pad(s.unit, 3) + "\r\n";
}
// Sartorius, 16 characters: sign, digits, the unit only once stable; H and L
// in a status line; an ID of six characters before it (G#: gross, N: net),
// where a status line puts Stat. Tared and stable, with variant bit 1, a
// print of the gross, the tare memory and the net under it (G#, T1, N1), or
// with bit 3 of a preset tare (G#, PT2, N). With bit 2, the GMP printout:
// a header (dash line, date and time, type, serial number, software
// versions, dash line) and a footer (dash line, date and time, a line for
// the name, a blank line, dash line) around it.
std::string sixteen(const S& s, int k, bool id) {
    auto field = [&](std::int64_t v) {
        return "+" + pad(fmt(v, s.decimals), 9) + " " + unitField(s.state == S::Moving ? "" : s.unit, 3) + "\r\n";
    };
    std::string body;
    if (s.state == S::Over || s.state == S::Under) {
        body = std::string(id ? "Stat        " : "Stat    ") + (s.state == S::Over ? "H " : "L ") + "      \r\n";
    } else if (id && s.tare && s.state == S::Settled && s.variant & 2) {
        const bool preset = s.variant & 8;
        body = "G#    " + field(s.net + s.tare) + (preset ? "PT2   " : "T1    ") + field(s.tare) + (preset ? "N     " : "N1    ") +
               field(s.net);
    } else {
        body = (!id ? "" : s.tare ? "N     " : "G#    ") + field(shown(s, k));
    }
    if (!(s.variant & 4)) return body;
    return "--------------------\r\n14.01.2011    09:43\r\nType           SIWR\r\nSer.no.    12345678\r\n"
           "Vers.   1.1007.12.1\r\nBVers.     01-25-01\r\n--------------------\r\n" + body +
           "--------------------\r\n14.01.2011    09:45\r\nName:\r\n\r\n--------------------\r\n";
}
// Ohaus: the weight, its unit, ? while it moves, NET once tared, OL over;
// the line ends with CR LF, or CR alone (variant 1).
std::string marks(const S& s, int k) {
    const char* end = s.variant & 1 ? "\r" : "\r\n";
    if (s.state == S::Under) return pad("-" + value(s, k), 10) + " " + s.unit + end;
    return pad(value(s, k), 10) + " " + s.unit + (s.state == S::Moving ? " ?" : "") + (s.state == S::Over ? " OL" : "") +
           (s.tare ? " NET" : "") + end;
}
// NCI's standard: LF, the weight with its unit, CR LF, two status bytes
// (first: motion in bit 0; second: under in bit 0, over in bit 1), CR, ETX.
// The unit in capitals with variant 1.
std::string nci(const S& s, int k) {
    const char a = char(0x30 | (s.state == S::Moving)), b = char(0x30 | (s.state == S::Under) | (s.state == S::Over) << 1);
    std::string unit = s.unit;
    for (char& ch : unit) ch = s.variant & 1 && ch >= 'a' && ch <= 'z' ? char(ch - 'a' + 'A') : ch;
    return "\n" + pad(value(s, k), 7, '0') + unit + "\r\n" + a + b + "\r\x03";
}
// SMA: LF, status (O over, U under, blank), range 1, G or N, M in motion,
// a reserved blank, ten characters of weight, three of unit, CR.
std::string sma(const S& s, int k) {
    const char st = s.state == S::Over ? 'O' : s.state == S::Under ? 'U' : ' ';
    return std::string("\n") + st + "1" + (s.tare ? 'N' : 'G') + (s.state == S::Moving ? 'M' : ' ') + " " +
           pad((s.state == S::Under ? "-" : "") + value(s, k), 10) + unitField(s.unit, 3) + "\r";
}
// A weighing indicator's stream of labelled lines: the net alone (variant 0),
// the gross then the tare on lines of their own (1), the gross and the net (2).
// Each line has its own header: moving lines (US) keep the fields of the variant.
std::string labelled(const S& s, int k) {
    auto line = [&](const char* field, std::int64_t v, char sign = '+') {
        return std::string(s.state == S::Moving ? "US," : s.state == S::Over ? "OL," : "ST,") + field + "," + sign +
               pad(fmt(v, s.decimals), 8) + " " + s.unit + "\r\n";
    };
    if (s.state == S::Under) return line("GS", s.net, '-');
    if (s.state == S::Over) return line("GS", shown(s, k) + s.tare);
    const std::int64_t net = shown(s, k);
    if (s.variant % 3 == 0) return s.tare ? line("NT", net) : line("GS", net);
    if (s.variant % 3 == 1) return k % 2 && s.tare ? line("TR", s.tare) : line("GS", net + s.tare);
    return line("GS", net + s.tare) + (s.tare ? line("NT", net) : "");
}
// Toledo's continuous output: STX, status words A B C, six digits of the
// displayed weight (gross, or net once in net mode: variant 1), six of the
// tare, CR, and a checksum with variant 2. A: the point's place (2 none, 3 to
// 5 before the last 1 to 3 digits), increment by 1 (bit 3). B: net (0),
// negative (1), over (2), motion (3), kg (4). C: grams (1).
std::string toledo(const S& s, int k) {
    const bool netMode = s.variant % 3 == 1;
    const std::int64_t w = netMode ? shown(s, k) : shown(s, k) + s.tare;
    const char a = char(0x28 | (s.decimals + 2)),
               b = char(0x20 | netMode | (s.state == S::Under) << 1 | (s.state == S::Over) << 2 |
                        (s.state == S::Moving) << 3 | (s.unit == "kg") << 4),
               c = char(0x20 | (s.unit == "g"));
    std::string f = std::string("\x02") + a + b + c + pad(std::to_string(w), 6, '0') + pad(std::to_string(s.tare), 6, '0') + "\r";
    if (s.variant % 3 == 2) {
        unsigned sum = 0;
        for (char ch : f) sum += unsigned(ch) & 0x7F;
        f += char((0x100 - sum) & 0x7F);
    }
    return f;
}
// Other indicators frame a sign and six digits, the unit in their set-up only.
std::string unitless(const S& s, int k) { return "\x02+  " + pad(std::to_string(shown(s, k)), 6, '0') + "\r"; }
// A bare weight, over and over; carets over, underscores under.
std::string bare(const S& s, int k) {
    if (s.state == S::Over) return "^^^^^^^" + s.unit + "\r\n";
    if (s.state == S::Under) return "_______" + s.unit + "\r\n";
    return pad(value(s, k), 10) + " " + s.unit + "\r\n";
}
// A ticket on the PRINT key: GROSS, TARE, NET (variant 0); G, T, N (1); NET
// then GROSS (2); GROSS and TARE alone (3); a ticket number first, sometimes;
// with bit 3, the date and the time before it, a signature line after it.
std::string ticket(const S& s, int) {
    auto line = [&](const char* label, std::int64_t v) { return label + pad(fmt(v, s.decimals), 10) + " " + s.unit + "\r\n"; };
    const std::string number = std::string(s.variant & 8 ? "Date: 05/01/2017\r\nTime: 11:30:52\r\n" : "") +
                               (s.variant & 4 ? "No. 17\r\n" : "");
    const std::string footer = s.variant & 8 ? "Signature: ____________\r\n" : "";
    switch (s.variant % 4) {
    case 0: return number + line("GROSS ", s.net + s.tare) + line("TARE  ", s.tare) + line("NET   ", s.net) + footer;
    case 1: return number + line("G", s.net + s.tare) + line("T", s.tare) + line("N", s.net) + footer;
    case 2: return number + line("NET   ", s.net) + line("GROSS ", s.net + s.tare) + footer;
    default: return number + line("GROSS ", s.net + s.tare) + line("TARE  ", s.tare) + footer;
    }
}
// Legends after the unit, Fairbanks' demand print and continuous output: the
// gross, then the tare and the net when tared (each if set up: the net left
// out with variant bit 1), each with its unit and its legend, G, T, N, in
// capitals once stable and in small letters while moving; a preset tare's
// legend PT with variant bit 0.
std::string legends(const S& s, int k) {
    const bool moving = s.state == S::Moving;
    auto line = [&](std::int64_t v, const char* legend) { return pad(fmt(v, s.decimals), 10) + " " + s.unit + "   " + legend + "\r\n"; };
    const std::int64_t net = shown(s, k);
    if (!s.tare) return line(net, moving ? "g" : "G");
    return line(net + s.tare, moving ? "g" : "G") + line(s.tare, moving ? "t" : s.variant & 1 ? "PT" : "T") +
           (s.variant & 2 ? "" : line(net, moving ? "n" : "N"));
}
// A ticket with its labels and a colon: Selleton's print mode (Date:, Time:,
// then Net:, Tare:, Gross: in small letters, the unit glued); with variant 1,
// Rinstrum's docket of a preset tare (a heading, the date, the time and the
// print's numbers, GROSS:, TARE: with PT after the unit, NET:, right aligned,
// a closing line).
std::string colons(const S& s, int) {
    const std::string gross = fmt(s.net + s.tare, s.decimals), tare = fmt(s.tare, s.decimals), net = fmt(s.net, s.decimals);
    if (s.variant & 1)
        return "Sams Public Truck Scale\r\n10/02/10 09:35:36  000000167 123ABC\r\nGROSS:" + pad(gross, 10) + s.unit +
               "\r\n TARE:" + pad(tare, 10) + s.unit + " PT\r\n  NET:" + pad(net, 10) + s.unit + "\r\nThank You for your Business!\r\n";
    return "Date: 05/01/2017\r\nTime: 11:30:52\r\nNet: " + net + s.unit + "\r\nTare: " + tare + s.unit + "\r\nGross: " + gross +
           s.unit + "\r\n";
}
// The point-of-sale scale asked W: STX, the weight with its point, the unit
// in capitals, CR, and no ETX; when it has no weight to give, STX, ?, a
// status byte (bits 5 and 6 set; motion in bit 0, over in 1, under zero in
// 2), CR.
std::string pos(const S& s, int k) {
    if (s.state != S::Settled)
        return std::string("\x02?") + char(0x60 | (s.state == S::Moving) | (s.state == S::Over) << 1 | (s.state == S::Under) << 2) + "\r";
    std::string unit = s.unit;
    for (char& ch : unit) ch = char(ch - 'a' + 'A');
    return "\x02" + pad(value(s, k), 7, '0') + unit + "\r";
}
// Radwag: each answer repeats its command. SI: SI, a blank, the stability
// mark (blank stable, ? moving, ^ over, v under), a blank, the sign, nine
// characters of mass, a blank, three of unit. S: S A (under way), then once
// stable the frame (S, four blanks, the sign, the mass, the unit); ^ or v
// beyond the range.
std::string radwagSI(const S& s, int k) {
    const char mark = s.state == S::Moving ? '?' : s.state == S::Over ? '^' : s.state == S::Under ? 'v' : ' ';
    return std::string("SI ") + mark + " " + (s.state == S::Under ? "-" : " ") + pad(value(s, k), 9) + " " + unitField(s.unit, 3) + "\r\n";
}
std::string radwagS(const S& s, int k) {
    if (s.state == S::Over) return "S ^\r\n";
    if (s.state == S::Under) return "S v\r\n";
    if (s.state == S::Moving) return "S A\r\n";
    return "S A\r\nS     " + pad(value(s, k), 9) + " " + unitField(s.unit, 3) + "\r\n";
}
// A mark before the weight: ? moving, ^ over, v under; none once stable.
std::string before(const S& s, int k) {
    const char* mark = s.state == S::Moving ? "? " : s.state == S::Over ? "^ " : s.state == S::Under ? "v " : "  ";
    return mark + pad(value(s, k), 9) + " " + s.unit + "\r\n";
}
std::string oneLine(const S& s, int k) { return pad(value(s, k), 10) + " " + s.unit + "\r\n"; }
// A USB weighing device's data report: ID 3, status (2 at zero, 3 moving, 4
// stable, 5 under, 6 over), unit (2 g, 3 kg, 11 oz, 12 lb), exponent, weight
// low byte first.
std::string hid(const S& s, int k) {
    const char status = s.state == S::Over ? 6 : s.state == S::Under ? 5 : s.state == S::Moving ? 3 : 4;
    const char unit = s.unit == "g" ? 2 : s.unit == "kg" ? 3 : s.unit == "oz" ? 11 : 12;
    const auto w = std::uint16_t(shown(s, k));
    return std::string{3, status, unit, char(-s.decimals), char(w & 0xFF), char(w >> 8)};
}

enum class Kind : std::uint8_t { Asked, Stream, PrintKey, Usb };
struct Dialect {
    const char* name;
    Kind kind;
    std::string (*message)(const S&, int);
    std::vector<const char*> units;
    int digits;           // the most digits its field holds
    bool states = true;   // tells moving, over and under apart
    bool readable = true;
    bool extremes = true;  // tells over and under, not only moving
    bool movingMass = false;  // every request it knows answers a moving weight with its unit of mass
};

const std::vector<Dialect>& table() {
    static const std::vector<Dialect> t = {
        {"MT-SICS S", Kind::Asked, [](const S& s, int k) { return sics(s, k, false); }, {"g", "kg", "mg"}, 9},
        {"MT-SICS SI", Kind::Asked, [](const S& s, int k) { return sics(s, k, true); }, {"g", "kg"}, 9},
        {"status header, asked", Kind::Asked, header, {"g", "kg"}, 7, true, true, true, true},
        {"sixteen characters", Kind::Asked, [](const S& s, int k) { return sixteen(s, k, false); }, {"g", "kg"}, 8},
        {"sixteen characters with ID", Kind::Asked, [](const S& s, int k) { return sixteen(s, k, true); }, {"g", "kg"}, 8},
        {"marks after the unit", Kind::Asked, marks, {"g", "kg", "lb", "oz"}, 8, true, true, true, true},
        {"weight and status bytes", Kind::Asked, nci, {"lb", "kg"}, 6, true, true, true, true},
        {"SMA", Kind::Asked, sma, {"lb", "kg", "g"}, 8},
        {"mark before the weight", Kind::Asked, before, {"lb", "kg"}, 8, true, true, true, true},
        {"ticket, asked", Kind::Asked, ticket, {"g", "kg"}, 7, false},
        {"point of sale", Kind::Asked, pos, {"lb", "kg"}, 6},
        {"Radwag S", Kind::Asked, radwagS, {"g", "kg"}, 9},
        {"Radwag SI", Kind::Asked, radwagSI, {"g", "kg"}, 9},
        {"status header, stream", Kind::Stream, header, {"g", "kg"}, 7, true, true, true, true},
        {"indicator lines, stream", Kind::Stream, labelled, {"g", "kg", "lb"}, 7, true, true, true, true},
        {"Toledo continuous", Kind::Stream, toledo, {"lb", "kg", "g"}, 6, true, true, true, true},
        {"framed digits, no unit", Kind::Stream, unitless, {"kg"}, 6, true, false},
        {"bare stream", Kind::Stream, bare, {"g", "kg", "lb"}, 8, true, true, true, true},
        {"legends after the unit, stream", Kind::Stream, legends, {"kg", "lb"}, 7, true, true, false, true},
        {"ticket", Kind::PrintKey, ticket, {"g", "kg"}, 7, false},
        {"one line on PRINT", Kind::PrintKey, oneLine, {"g", "kg", "lb"}, 8, false},
        {"legends after the unit", Kind::PrintKey, legends, {"kg", "lb"}, 7, true, true, false},
        {"ticket with colons", Kind::PrintKey, colons, {"lb", "kg"}, 6, false},
        {"USB HID", Kind::Usb, hid, {"g", "kg", "oz", "lb"}, 4},
    };
    return t;
}

// A byte of noise: bit 7 set, as a wrong speed or a parity error gives.
void corrupt(std::string& bytes, Draw& d) {
    if (!bytes.empty()) bytes[d.below(unsigned(bytes.size()))] |= char(0x80);
}

// A letter or a digit turned into another printable byte: one that no
// scale's line holds in a letter's or a digit's place, so that the line may
// be refused but never read as another weight (a digit turned into another
// digit could not be told from the weight itself).
void garble(std::string& bytes, Draw& d) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if ((bytes[i] >= '0' && bytes[i] <= '9') || (bytes[i] >= 'A' && bytes[i] <= 'Z') || (bytes[i] >= 'a' && bytes[i] <= 'z'))
            at.push_back(i);
    static constexpr char kSigns[] = "$&@[\\]`{|}~";
    if (!at.empty()) bytes[at[d.below(unsigned(at.size()))]] = kSigns[d.below(sizeof kSigns - 1)];
}

// The lines of a message, each with its end.
std::vector<std::string> linesOf(const std::string& m) {
    std::vector<std::string> lines;
    for (std::size_t from = 0; from < m.size();) {
        std::size_t end = m.find_first_of("\r\n", from);
        if (end == std::string::npos) end = m.size();
        while (end < m.size() && (m[end] == '\r' || m[end] == '\n')) ++end;
        lines.push_back(m.substr(from, end - from));
        from = end;
    }
    return lines;
}

}  // namespace

std::vector<std::string> dialects() {
    std::vector<std::string> names;
    for (const Dialect& d : table()) names.push_back(d.name);
    return names;
}

namespace {

// What lies on the pan, as the dialect can tell it; `most`: its largest display.
Scene sceneOf(Draw& d, const Dialect& D, std::int64_t& most) {
    Scene s;
    s.variant = int(d.below(16));
    s.unit = D.units[d.below(unsigned(D.units.size()))];
    s.decimals = int(d.below(4));
    most = 1;
    for (int i = 0; i < std::min(D.digits, 6); ++i) most *= 10;
    most = D.kind == Kind::Usb ? 65533 : most - 3;  // room for a moving display
    s.net = 1 + d.below(unsigned(most - 1));
    if (d.chance(50)) s.tare = d.below(unsigned(most - s.net));
    if (D.states && d.chance(30)) s.state = D.extremes ? S::State(1 + d.below(3)) : S::Moving;
    return s;
}

}  // namespace

Conversation converse(Draw& d) {
    const Dialect& D = table()[d.below(unsigned(table().size()))];
    std::int64_t most = 0;
    const Scene s = sceneOf(d, D, most);
    Scene old = s;  // what lay on the pan before
    old.state = S::Settled;
    old.net = 1 + (s.net + 1 + d.below(100)) % (most - 1 - s.tare);

    Conversation c;
    c.dialect = D.name;
    c.protocol = D.kind == Kind::Stream ? Protocol::Continuous : D.kind == Kind::PrintKey ? Protocol::Print : Protocol::Command;
    c.hid = D.kind == Kind::Usb;
    c.limit = 5000;
    static const char* const kLines[][8] = {
        {"none", "stale answer", "late answers", "missed commands", "too slow", "noise", "motion", "garbled"},
        {"none", "opened mid-line", "earlier weight", "noise", "hang-up", "switched off", "motion", "garbled"},
        {"none", "opened mid-line", "earlier print", "noise", "hang-up", "switched off", "motion", "garbled"},
        {"none", "short report", "earlier weight", "none", "none", "none", "motion", "none"},
    };
    const std::string line = d.chance(40) ? "none" : kLines[int(D.kind)][d.below(8)];
    c.line = line;
    // The scene starts or stops moving at one moment of the conversation:
    // the pan touched as F9 is pressed, or let go.
    Scene then = s;
    if (line == "motion" && D.states && (s.state == S::Settled || s.state == S::Moving))
        then.state = s.state == S::Settled ? S::Moving : S::Settled;
    Millis change = Millis(1) << 60;
    const auto sceneAt = [&](Millis t) -> const Scene& { return t < change ? s : then; };
    if ((s.state == S::Settled || then.state == S::Settled) && D.readable) c.truth = fmt(s.net, s.decimals) + " " + s.unit;
    c.mustRead = line == "none" && c.truth;
    auto at = [&c](Millis t, std::string b) { c.unasked.push_back({t, std::move(b)}); };

    switch (D.kind) {
    case Kind::Asked:
        c.f9 = 2000;
        change = c.f9 - 500 + d.below(unsigned(c.limit));
        c.answer = D.message(s, 0);
        if (then.state != s.state) c.changeAt = change, c.answerThen = D.message(then, 0);
        c.answerAfter = 10 + d.below(300);
        if (line == "stale answer") at(c.f9 - 1 - d.below(1000), D.message(old, 0));
        if (line == "late answers")
            for (unsigned n = 1 + d.below(2); n > 0; --n) c.late.push_back(D.message(old, 0));
        if (line == "missed commands") c.missed = 1 + int(d.below(2));
        if (line == "too slow") c.answerAfter = c.limit + 1;
        if (line == "noise") d.chance(50) ? corrupt(c.answer, d) : void(c.answer.insert(0, "\xFF\x9A\xC3\r\n"));
        if (line == "garbled") garble(c.answer, d);
        break;
    case Kind::Stream: {
        const Millis period = 80 + d.below(250);
        c.f9 = line == "earlier weight" ? 300 + d.below(2000) : 0;
        change = c.f9 - 500 + d.below(unsigned(c.limit));
        // The load changed a second before F9. Motion that starts or stops
        // within a message of several lines changes the lines after it.
        bool changed = false;
        for (Millis t = d.below(300), k = 0; t < c.f9 + c.limit; t += period, ++k) {
            std::string m = D.message(t < c.f9 - 1000 ? old : sceneAt(t), int(k));
            if (t >= change && !changed && then.state != s.state) {
                changed = true;
                const std::vector<std::string> before = linesOf(D.message(s, int(k))), after = linesOf(m);
                if (before.size() == after.size() && before.size() > 1) {
                    const std::size_t cut = 1 + d.below(unsigned(before.size() - 1));
                    m.clear();
                    for (std::size_t i = 0; i < before.size(); ++i) m += i < cut ? before[i] : after[i];
                }
            }
            at(t, std::move(m));
        }
        if (line == "earlier weight" && d.chance(50)) {  // a line under way at F9
            const std::string m = D.message(s, 0);
            const std::size_t cut = 1 + d.below(unsigned(m.size() - 1));
            at(c.f9 - 1, m.substr(0, cut)), at(c.f9 + 2, m.substr(cut));
        }
        break;
    }
    case Kind::PrintKey: {
        c.f9 = line == "earlier print" ? 1000 : 0;
        if (line == "earlier print") at(c.f9 - 200 - d.below(600), D.message(old, 0));
        const bool soon = line == "none" || line == "noise" || line == "motion" || line == "garbled";
        const Millis pressed = soon ? 200 + d.below(1300) : c.f9 + 1300 + d.below(1000);
        change = pressed - 300 + d.below(600);
        std::string print = D.message(sceneAt(pressed), 0);
        if (line == "garbled") garble(print, d);
        at(pressed, std::move(print));
        break;
    }
    case Kind::Usb: {
        c.f9 = line == "earlier weight" ? 500 : 0;
        change = c.f9 - 500 + d.below(unsigned(c.limit));
        Millis t = 20;
        for (int k = 0; t < c.f9 + c.limit; t += 50 + d.below(200), ++k)
            at(t, D.message(t < c.f9 - 200 ? old : sceneAt(t), k));
        if (line == "short report") {
            const std::string r = D.message(s, 0);
            at(c.f9 + 10, r.substr(0, 1 + d.below(unsigned(r.size() - 1))));
        }
        break;
    }
    }
    std::stable_sort(c.unasked.begin(), c.unasked.end(), [](const auto& a, const auto& b) { return a.at < b.at; });
    if (line == "opened mid-line") {  // the end of a line as the port opens, then the scale goes on
        const std::string m = D.message(s, 0);
        c.unasked.insert(c.unasked.begin(), {Millis(d.below(50)), m.substr(1 + d.below(unsigned(m.size() - 1)))});
        c.arriving = d.chance(50);
        if (c.protocol == Protocol::Print) c.unasked.back().at = 1200 + d.below(800);  // pressed after the silence
    }
    if (line == "noise") {
        c.unasked.insert(c.unasked.begin() + d.below(unsigned(c.unasked.size())), {0, "\x80\xFE\x9A\r\n"});
        corrupt(c.unasked[d.below(unsigned(c.unasked.size()))].bytes, d);
        for (std::size_t i = 1; i < c.unasked.size(); ++i) c.unasked[i].at = std::max(c.unasked[i].at, c.unasked[i - 1].at);
    }
    if (line == "hang-up" || line == "switched off") {  // cut within a line, nothing after
        std::size_t n = d.below(unsigned(c.unasked.size()));
        std::string& b = c.unasked[n].bytes;
        b.resize(d.below(unsigned(b.size())));
        // Switched off between two lines, a print would look whole: no reader could tell.
        while (line == "switched off" && !b.empty() && (b.back() == '\r' || b.back() == '\n')) b.pop_back();
        if (b.empty() || b.back() == '\r' || b.back() == '\n') b += '1';
        c.unasked.resize(n + 1);
        if (line == "hang-up") c.hangUp = c.unasked[n].at + 1 + d.below(50);  // else silent, the port still open
    }
    if (line == "garbled" && D.kind == Kind::Stream) garble(c.unasked[d.below(unsigned(c.unasked.size()))].bytes, d);
    return c;
}

Weighing readThrough(const Conversation& c) {
    const Millis end = std::min(c.f9 + c.limit, c.hangUp.value_or(c.f9 + c.limit));
    auto lost = [] {
        Weighing w;
        w.failure = Failure::LinkLost;
        return w;
    };
    if (c.hid) {
        HidSession s;
        bool begun = false;
        for (const Conversation::Sent& r : c.unasked) {
            if (r.at > end) break;
            if (!begun && r.at >= c.f9) s.begin(), begun = true;
            if (std::optional<Weighing> w = s.feed(r.bytes); w && begun) return *w;
        }
        if (!begun) s.begin();
        return c.hangUp ? lost() : s.expire();
    }
    ReadSession s(c.protocol);
    s.opened(0, c.arriving);
    std::multimap<Millis, std::string> due;  // bytes on their way, by when they come
    for (const Conversation::Sent& u : c.unasked) due.emplace(u.at, u.bytes);
    // Earlier reads, given up at their time limit: their answers come first.
    for (std::size_t i = 0; i < c.late.size(); ++i) {
        s.begin(Millis(i) * 10);
        s.expire();
        due.emplace(c.f9 + 1 + Millis(i), c.late[i]);
    }
    int commands = 0;
    auto ask = [&](Millis now) {
        if (c.protocol == Protocol::Command && commands++ >= c.missed)
            due.emplace(now + c.answerAfter, c.changeAt && now >= *c.changeAt ? c.answerThen : c.answer);
    };
    auto askAgain = [&](Millis now) {
        for (int n = s.askAgain(); n > 0; --n) ask(now);
    };
    bool begun = false;
    Millis woken = -1;
    for (;;) {
        const Millis next = due.empty() ? end : std::min(end, due.begin()->first);
        if (!begun && next >= c.f9) {
            s.begin(c.f9);
            begun = true;
            ask(c.f9);
            continue;
        }
        const std::optional<Millis> wake = begun ? s.wakeAt() : std::nullopt;
        if (wake && *wake <= next && *wake > woken) {
            woken = *wake;
            if (std::optional<Weighing> w = s.wake(*wake)) return *w;
            askAgain(*wake);
            continue;
        }
        if (due.empty() || due.begin()->first > end) break;
        const auto [when, bytes] = *due.begin();
        due.erase(due.begin());
        if (std::optional<Weighing> w = s.feed(bytes, when); w && begun) return *w;
        if (begun) askAgain(when);
    }
    if (c.hangUp && *c.hangUp < c.f9 + c.limit) {
        s.abandon();
        return lost();
    }
    return s.expire();
}

namespace {

// A weight's digits as a whole number and its decimals.
std::optional<std::pair<__int128, int>> decimal(const std::string& w) {
    __int128 v = 0;
    int decimals = -1;
    for (char ch : w) {
        if (ch == '.' && decimals < 0) decimals = 0;
        else if (ch >= '0' && ch <= '9') v = v * 10 + (ch - '0'), decimals += decimals >= 0;
        else return std::nullopt;
    }
    return std::pair{v, std::max(decimals, 0)};
}

}  // namespace

bool faithful(const Conversation& c, const Weighing& w, std::string* why) {
    if (w.failure != Failure::None) {
        if (c.mustRead) *why = "refused (failure " + std::to_string(int(w.failure)) + " " + w.detail + "), the truth is " + *c.truth;
        return !c.mustRead;
    }
    const std::string got = w.weight + " " + w.unit;
    if (!c.truth) {
        *why = "read " + got + " where no weight is shown";
        return false;
    }
    const std::size_t blank = c.truth->find(' ');
    const auto a = decimal(w.weight), b = decimal(c.truth->substr(0, blank));
    bool same = a && b && w.unit == c.truth->substr(blank + 1);
    if (same) {
        __int128 x = a->first, y = b->first;
        for (int i = a->second; i < b->second; ++i) x *= 10;
        for (int i = b->second; i < a->second; ++i) y *= 10;
        same = x == y;
    }
    if (!same) *why = "read " + got + ", the truth is " + *c.truth;
    return same;
}

}  // namespace pesolane::model

// The search's side: a device on a serial port that hears what it is sent.
namespace pesolane::model {
namespace {

// An indicator asked for its gross (G) or its net (N), each on a labelled line.
std::string grossLine(const S& s, int) { return "ST,GS,+" + pad(fmt(s.net + s.tare, s.decimals), 8) + " " + s.unit + "\r\n"; }
std::string netLine(const S& s, int) { return "ST,NT,+" + pad(fmt(s.net, s.decimals), 8) + " " + s.unit + "\r\n"; }
// Devices that talk, but of no mass: a thermometer, a counter of bare numbers.
std::string temperature(const S& s, int) { return "  " + fmt(150 + s.net % 200, 1) + " C\r\n"; }
std::string number(const S& s, int) { return pad(std::to_string(10 + s.net % 90), 6) + "\r\n"; }

using Message = std::string (*)(const S&, int);
struct Requests {
    const char* dialect;
    std::vector<std::pair<const char*, Message>> known;  // a request, the answer's shape
};

// What each family answers, from its manual; any other request, nothing.
const std::vector<Requests>& requests() {
    static const Message sicsS = [](const S& s, int k) { return sics(s, k, false); };
    static const Message sicsSI = [](const S& s, int k) { return sics(s, k, true); };
    static const std::vector<Requests> r = {
        {"MT-SICS S", {{"S\r\n", sicsS}, {"SI\r\n", sicsSI}}},
        {"MT-SICS SI", {{"S\r\n", sicsS}, {"SI\r\n", sicsSI}}},
        {"status header, asked", {{"S\r\n", header}, {"SI\r\n", header}}},
        {"sixteen characters", {{"\x1bP", [](const S& s, int k) { return sixteen(s, k, false); }}}},
        {"sixteen characters with ID", {{"\x1bP", [](const S& s, int k) { return sixteen(s, k, true); }}}},
        {"marks after the unit", {{"IP\r\n", marks}}},
        {"weight and status bytes", {{"W\r", nci}}},
        {"SMA", {{"\nW\r", sma}}},
        {"mark before the weight", {{"\x05", before}}},
        {"ticket, asked", {{"READ\r\n", ticket}}},
        {"point of sale", {{"W\r", pos}}},
        {"Radwag S", {{"S\r\n", radwagS}, {"SI\r\n", radwagSI}}},
        {"Radwag SI", {{"S\r\n", radwagS}, {"SI\r\n", radwagSI}}},
        {"gross and net, asked", {{"G\r\n", grossLine}, {"N\r\n", netLine}}},
        {"gross only, asked", {{"G\r\n", grossLine}}},
    };
    return r;
}

// Besides the dialects read: devices the search meets.
const std::vector<Dialect>& others() {
    static const std::vector<Dialect> t = {
        {"gross and net, asked", Kind::Asked, netLine, {"g", "kg"}, 7, false},
        {"gross only, asked", Kind::Asked, grossLine, {"g", "kg"}, 7, false, false},
        {"temperatures", Kind::Stream, temperature, {"C"}, 3, false, false},
        {"bare numbers", Kind::Stream, number, {"g"}, 2, false, false},
    };
    return t;
}

// What a port set otherwise than the device reads of its bytes.
std::string garbled(std::string b) {
    for (char& c : b) c = char(0xF0 | (c & 0x0F));
    return b;
}

// The device's side of the line: its own lines, its answers, noise. Its
// clock is `epoch` ahead of the wire's.
struct Wire {
    const Device& d;
    LineSetting port;  // as the port is set now
    std::multimap<Millis, std::string> due;
    std::string held;  // what it has heard of a request
    Millis own = 0;
    Millis epoch = 0;
    int k = 0;

    bool matches() const { return port.baud == d.baud && port.format == d.format; }
    Scene scene(Millis t) const { return d.sceneAt(epoch + t); }
    // The port set to `l`: come to the device's setting, the operator presses its PRINT key.
    void setLine(const LineSetting& l, Millis now) {
        const bool arrives = !matches() && l.baud == d.baud && l.format == d.format;
        port = l;
        if (arrives && d.pressedThere) press(now + d.pressAfter);
    }
    void press(Millis at) { due.emplace(at, d.message(scene(at), k++)); }
    void hear(const std::string& bytes, Millis now) {
        if (!matches()) return held.clear();  // bytes its port cannot frame: nothing it knows
        held += bytes;
        for (bool more = true; more;) {
            more = false;
            for (const auto& [request, answer] : d.answers)
                if (const std::size_t at = held.find(request); at != std::string::npos) {
                    due.emplace(now + d.answerAfter, answer(scene(now), k++));  // what it shows when asked
                    held.erase(0, at + request.size());
                    more = true;
                }
        }
        if (held.size() > 8) held.erase(0, held.size() - 8);
    }
    Millis next() const {
        const Millis a = due.empty() ? kNever : due.begin()->first;
        return d.period ? std::min(a, own) : a;
    }
    // The bytes that come next, as the port reads them: sent at the device's
    // setting, they read as nothing when the port has been set otherwise since.
    std::string take() {
        if (d.period && (due.empty() || own <= due.begin()->first)) {
            std::string m = d.message(scene(own), k++);
            own += d.period;
            return matches() ? m : garbled(m);
        }
        std::string b = due.begin()->second;
        due.erase(due.begin());
        return matches() ? b : garbled(b);
    }
    static constexpr Millis kNever = Millis(1) << 60;
};

// Long after any scene has settled.
constexpr Millis kSettled = Millis(1) << 40;

// The keys a bad line of the settings file is mended under, when the search
// writes what it found: those of the link (the README's list).
bool mendedBySearch(const std::string& key) {
    for (const char* k : {"port", "vitesse", "format", "protocole", "commande", "fin-commande"})
        if (key == k) return true;
    return false;
}

}  // namespace

Scene Device::sceneAt(Millis t) const {
    Scene s = scene;
    if (s.state == S::Moving && t >= settleAt) s.state = S::Settled;
    return s;
}

Device device(Draw& d) {
    static const int speeds[] = {9600, 1200, 2400, 4800, 19200, 38400, 57600, 115200};
    static const char* const formats[] = {"8N1", "7E1", "7O1", "8E1", "8O1"};
    const unsigned serial = unsigned(table().size()) - 1;  // all but the USB device
    const unsigned pick = d.below(serial + unsigned(others().size()));
    const Dialect& D = pick < serial ? table()[pick] : others()[pick - serial];
    Device v;
    v.dialect = D.name;
    v.baud = speeds[d.below(8)];
    v.format = formats[d.below(5)];
    std::int64_t most = 0;
    v.scene = sceneOf(d, D, most);
    // Loaded during the search: it settles at some moment of it, or after it.
    if (v.scene.state == S::Moving) v.settleAt = Millis(d.below(240000));
    v.message = D.message;
    v.answerAfter = 10 + d.below(150);  // a stream's first line, that long after the port opens
    // Some answer late: a print once stable, a slow filter (up to a second).
    if (D.kind == Kind::Asked && d.chance(20)) v.answerAfter = 250 + d.below(751);
    v.print = D.kind == Kind::PrintKey;
    // A stream sends several lines a second; an operator presses PRINT every
    // few seconds (a print that comes at another setting is not heard), or
    // each time the search, as it shows, comes to the scale's setting.
    if (D.kind == Kind::Stream) v.period = 80 + d.below(250);
    if (v.print && d.chance(50)) v.pressedThere = true, v.pressAfter = 150 + d.below(300);
    else if (v.print) v.period = 2600 + d.below(400);
    for (const Requests& r : requests())
        if (v.dialect == r.dialect)
            for (const auto& [request, answer] : r.known) v.answers.emplace_back(request, answer);
    if ((v.scene.state == S::Settled || v.scene.state == S::Moving) && D.readable)
        v.truth = fmt(v.scene.net, v.scene.decimals) + " " + v.scene.unit;
    v.line = "none";
    if (d.chance(25)) {
        v.line = "noise";
        for (unsigned n = 1 + d.below(3); n > 0; --n) v.noise.push_back(Millis(d.below(90000)));
    }
    if (d.chance(6)) {  // a bad line in the settings file: one the search writes, or another
        static const char* const keys[] = {"vitesse", "format", "delai", "couleur"};
        v.badKey = keys[d.below(4)];
    }
    if (d.chance(8)) {  // the port searched first holds a device that talks, of no mass
        const Dialect& T = others()[2 + d.below(2)];
        Device t;
        t.dialect = T.name;
        t.line = "none";
        t.baud = speeds[d.below(8)];
        t.format = formats[d.below(5)];
        t.scene = sceneOf(d, T, most);
        t.message = T.message;
        t.period = 80 + d.below(250);
        t.answerAfter = d.below(100);
        v.before.push_back(std::move(t));
        v.line = v.line == "none" ? "another port first" : v.line + ", another port first";
    }
    // Found when nothing disturbs it and it shows a mass weight when asked:
    // settled, or moving with its unit; a PRINT key pressed at its setting.
    // The search takes a reply holding a line no shape reads for noise: a
    // docket with a heading of free text is not found, though F9 reads it.
    v.mustFind = v.truth && v.noise.empty() && (!v.print || v.pressedThere) &&
                 (v.scene.state == S::Settled || D.movingMass) && (v.badKey.empty() || mendedBySearch(v.badKey)) &&
                 !(D.message == colons && v.scene.variant & 1);
    return v;
}

Search searchThrough(const Device& d, std::string (*commandBytes)(const std::string&, const std::string&)) {
    SearchScope scope;
    if (!d.badKey.empty()) scope.fileProblems = {d.badKey};
    SearchCore core(scope, std::nullopt);
    Search r;
    Millis now = 0;
    std::vector<const Device*> ports;
    for (const Device& b : d.before) ports.push_back(&b);
    ports.push_back(&d);
    bool over = false;  // found, or refused for the settings file
    for (const Device* port : ports) {
        Wire wire{*port, {0, ""}, {}, {}, port->period ? now + port->answerAfter : 0};
        for (const Millis t : port->noise) wire.due.emplace(now + t, "\x80\xFE\x9A\r\n");
        std::optional<Millis> timer;
        auto run = [&](SearchStep step) {  // false once the search is over at this port
            for (;;) {
                if (step.setLine) wire.setLine(*step.setLine, now);
                if (step.drop) {
                    step = core.dropped(now);
                    continue;
                }
                if (!step.send.empty()) r.sent.push_back(step.send), wire.hear(step.send, now);
                if (step.wakeAt) timer = step.wakeAt;
                if (step.end == SearchStep::End::None) return true;
                timer.reset();
                const Finding& f = core.finding();
                if (step.end == SearchStep::End::PortDone) return false;
                if (step.end == SearchStep::End::Unusable) return !(over = r.unusable = true);
                if (step.end == SearchStep::End::Found) {
                    r = {true, f.command, f.end, f.line.baud, f.line.format, f.protocol, std::move(r.sent), std::move(r.reads), {}};
                    r.moving = movingMass(step.shown);
                    r.shown = step.shown.weight + " " + step.shown.unit;
                    return !(over = true);
                }
                if (step.end == SearchStep::End::Read) {
                    const std::string command = f.command.empty() ? "" : commandBytes(f.command, f.end);
                    if (!command.empty()) r.reads.push_back(r.sent.size()), r.sent.push_back(command);
                    step = core.readOver(readWith(*port, f.line.baud, f.line.format, f.protocol, command, now));
                    continue;
                }
                step = core.reopened(now);
            }
        };
        for (bool going = run(core.opened(now)); going && now < 60 * 60 * 1000;) {
            const Millis bytesAt = wire.next();
            if (timer && *timer < bytesAt) {
                now = std::max(now, *timer);
                timer.reset();
                going = run(core.timeUp(now));
            } else {
                now = std::max(now, bytesAt);
                going = run(core.heard(wire.take(), now));
            }
        }
        if (over) break;
    }
    return r;
}

Weighing readWith(const Device& d, int baud, const std::string& format, Protocol protocol, const std::string& command,
                  Millis at) {
    // The search reads for three seconds; F9 waits ten for a PRINT key.
    constexpr Millis f9 = 500;
    const Millis limit = protocol == Protocol::Print ? 10000 : 3000;
    Wire wire{d, {baud, format}, {}, {}, d.period ? Millis(d.answerAfter) : 0, at};
    if (d.pressedThere) wire.press(f9 + d.pressAfter);  // pressed once more, after F9
    ReadSession s(protocol);
    s.opened(0, false);
    auto ask = [&](Millis now) {
        if (protocol == Protocol::Command) wire.hear(command, now);
    };
    bool begun = false;
    Millis woken = -1;
    for (;;) {
        const Millis next = std::min(f9 + limit, wire.next());
        if (!begun && next >= f9) {
            s.begin(f9);
            begun = true;
            ask(f9);
            continue;
        }
        const std::optional<Millis> wake = begun ? s.wakeAt() : std::nullopt;
        if (wake && *wake <= next && *wake > woken) {
            woken = *wake;
            if (std::optional<Weighing> w = s.wake(*wake)) return *w;
            for (int n = s.askAgain(); n > 0; --n) ask(*wake);
            continue;
        }
        if (wire.next() > f9 + limit) break;
        const Millis when = wire.next();
        std::string bytes = wire.take();
        if (format[0] == '7')
            for (char& c : bytes) c = char(c & 0x7F);
        if (std::optional<Weighing> w = s.feed(bytes, when); w && begun) return *w;
        if (begun)
            for (int n = s.askAgain(); n > 0; --n) ask(when);
    }
    return s.expire();
}

bool faithful(const Device& d, const Search& s, std::string (*commandBytes)(const std::string&, const std::string&),
              std::string* why) {
    // Every request the search may make: literals, as the scales' manuals give them.
    static const std::vector<std::string> requests = {"SI\r\n", "S\r\n", "\x1bP\r\n", "IP\r\n", "\nW\r", "W\r",
                                                      "READ\r\n", "G\r\n", "N\r\n", "\x05", "\r\n",
                                                      "\r\nW\r"};
    const auto has = [](const auto& v, const auto& x) { return std::find(v.begin(), v.end(), x) != v.end(); };
    const std::string found = s.found && !s.command.empty() ? commandBytes(s.command, s.end) : "";
    for (std::size_t i = 0; i < s.sent.size(); ++i) {
        const std::string& b = s.sent[i];
        if (!has(requests, b) && !(s.found && b == found)) *why = "sent " + b;
        if (b.find_first_of("TZtz") != std::string::npos) *why = "a byte that tares or zeroes";
        // W CR LF never, but as LF W CR read again by F9, for a scale that takes
        // LF as the start of each command.
        const bool wcrlf = b.find("W\r\n") != std::string::npos || (i > 0 && (s.sent[i - 1] + b).find("W\r\n") != std::string::npos);
        if (wcrlf && !(b == "\nW\r" && has(s.reads, i))) *why = "W CR LF on the line";
    }
    // One that sends on its own is heard at every setting, and asked nothing.
    if (d.period && !d.print && !s.sent.empty()) *why = "sent " + s.sent[0] + " to a device that talks";
    // A bad line the search does not mend: F9 would not read with the file it writes.
    if (!d.badKey.empty() && !mendedBySearch(d.badKey) && (s.found || !s.sent.empty() || !s.unusable))
        *why = "searched beside a settings file whose line " + d.badKey + " is bad";
    if (s.found) {
        // Once settled, F9 reads the truth with the settings found.
        const Weighing w = readWith(d, s.baud, s.format, s.protocol, found, kSettled);
        const std::string read = w.weight + " " + w.unit;
        Conversation truth;
        truth.truth = d.truth;
        truth.mustRead = bool(d.truth);
        std::string wrong;
        if (!faithful(truth, w, &wrong) || !d.truth)
            *why = "found at " + std::to_string(s.baud) + " " + s.format + " command " + s.command + ": " +
                   (wrong.empty() ? "no weight on the pan" : wrong);
        else if (!s.moving && s.shown != read)
            *why = "the search showed " + s.shown + ", its settings read " + read;
    }
    return why->empty();
}

std::vector<std::string> searchDialects() {
    std::vector<std::string> names = dialects();
    names.pop_back();  // the USB device is taken as it is
    for (const Dialect& o : others()) names.push_back(o.name);
    return names;
}

}  // namespace pesolane::model
