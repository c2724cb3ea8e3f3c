#include "probes.h"

#include <algorithm>

#include "framing.h"
#include "session.h"

namespace pesolane {

const std::vector<Probe>& probeTable() {
    // Each asks a weight of the scales that know it, and does nothing else in
    // any scale whose interface we have read, as it leaves the factory. None
    // holds a T, Z, C, R, X, t or Q (letters that tare, zero, clear, switch
    // off or stand by on some scales even without a line end), nor an ESC
    // but in ESC P. ENQ has no line end: a CR LF after it ends what a scale
    // may hold of it half read, and is at worst a command unknown.
    static const std::vector<Probe> table = {
        {"SI\r\n", "SI", "crlf", "", "S\r\n", "S"},  // the weight now; then S, the stable weight
        {"\x1bP\r\n", "\\eP", "crlf", "", "", ""},    // the print key's weight; CR LF optional where it is ESC P alone
        {"IP\r\n", "IP", "crlf", "", "", ""},         // the weight now, printed
        // Weight, then status bytes: LF W CR before W CR, whose CR would make a W
        // CR LF with its LF (a unit changed on some scales). Answered, it is
        // asked W CR next: LF W CR again only of a scale that takes LF as the
        // start of every command.
        {"\nW\r", "\\nW", "cr", "", "W\r", "W", true, true},
        {"W\r", "W", "cr", "", "", ""},
        {"READ\r\n", "READ", "crlf", "", "", ""},     // the indicator's weight
        {"G\r\n", "G", "crlf", "", "N\r\n", "N", false},  // the gross weight; then N, the net, as its manual gives it
        {"\x05", "\\x05", "aucune", "\r\n", "", ""},  // a weight at ENQ
    };
    return table;
}

const std::vector<int>& searchSpeeds() {
    static const std::vector<int> speeds = {9600, 1200, 2400, 4800, 19200, 38400, 57600, 115200};
    return speeds;
}

const std::vector<std::string>& searchFormats() {
    // 7N2 and 7O2 travel like 8N1 and 7O1 with one more stop bit, which a
    // port set to one reads all the same.
    static const std::vector<std::string> formats = {"8N1", "7E1", "7O1", "8E1", "8O1"};
    return formats;
}

const std::vector<MakerSetting>& makerSettings() {
    // The factory settings the makers' manuals give, the most common first;
    // at 9600 8N1, every probe.
    static const std::vector<MakerSetting> settings = {
        {{9600, "8N1"}, 0}, {{9600, "8N1"}, 1}, {{9600, "8N1"}, 2}, {{9600, "8N1"}, 3},
        {{9600, "8N1"}, 4}, {{9600, "8N1"}, 5}, {{9600, "8N1"}, 6}, {{9600, "8N1"}, 7},
        {{1200, "7O1"}, 1}, {{2400, "7E1"}, 0}, {{2400, "7E1"}, 1}, {{4800, "8N1"}, 0},
        {{1200, "8N1"}, 0},
    };
    return settings;
}

std::vector<Trial> searchPlan(const SearchScope& scope, const std::optional<Trial>& known) {
    std::vector<Trial> plan;
    const std::size_t actions = scope.probes.size() + 1;  // listening, then each probe
    // Each trial the scope allows has its place: planned once.
    const auto place = [&](const Trial& t) -> std::optional<std::size_t> {
        const auto speed = std::find(scope.speeds.begin(), scope.speeds.end(), t.line.baud);
        const auto format = std::find(scope.formats.begin(), scope.formats.end(), t.line.format);
        const bool action = t.probe < 0 ? scope.listen : t.probe < int(scope.probes.size());
        if (speed == scope.speeds.end() || format == scope.formats.end() || !action) return std::nullopt;
        return (std::size_t(speed - scope.speeds.begin()) * scope.formats.size() + std::size_t(format - scope.formats.begin())) *
                   actions + std::size_t(t.probe + 1);
    };
    std::vector<bool> planned(scope.speeds.size() * scope.formats.size() * actions);
    const auto plan1 = [&](const Trial& t) {
        const std::optional<std::size_t> at = place(t);
        if (!at || planned[*at]) return false;
        planned[*at] = true;
        plan.push_back(t);
        return true;
    };
    const auto allowed = [&](const Trial& t) { return place(t).has_value(); };
    const auto add = [&](const Trial& t) {
        if (!allowed(t) || planned[*place(t)]) return;
        // Listening comes before any probe at a setting: a scale that sends
        // on its own would seem to answer.
        const Trial listen{t.line, -1};
        if (t.probe >= 0 && allowed(listen)) plan1(listen);
        plan1(t);
    };
    const auto probeIndex = [&](const std::string& sent) {
        for (std::size_t i = 0; i < scope.probes.size(); ++i)
            if (scope.probes[i].sent == sent) return int(i);
        return int(scope.probes.size());  // not among them: never tried
    };
    if (known) add(*known);
    for (const MakerSetting& m : makerSettings()) add({m.line, probeIndex(probeTable()[std::size_t(m.probe)].sent)});
    for (const int baud : scope.speeds)
        for (const std::string& format : scope.formats) {
            add({{baud, format}, -1});
            for (std::size_t p = 0; p < scope.probes.size(); ++p) add({{baud, format}, int(p)});
        }
    return plan;
}

Reply judgeReply(std::string_view bytes, std::string_view sent, bool cutAtStart) {
    Reply r;
    // A port that repeats what it is sent is no scale.
    while (!sent.empty() && bytes.substr(0, sent.size()) == sent) bytes.remove_prefix(sent.size());
    if (bytes.empty()) return r;
    r.heard = Heard::Noise;
    Framing framing;
    framing.opened(cutAtStart);
    bool read = false, understood = false, noise = false;
    framing.feed(bytes, 0, [&](const Framing::Piece& p) {
        if (p.frameEnd || noise) return;
        const ScaleLine line = readScaleLine(p.text);  // as F9 reads it: a frame's STX kept
        if (line.meaning == Meaning::Blank) return;
        if (line.meaning == Meaning::Unreadable) {
            noise = true;
            return;
        }
        // A print's net is what lies on the pan; else its first line.
        if (!read || (line.role == WeightRole::Net && r.first.role != WeightRole::Net)) r.first = line;
        read = true;
        understood = understood || line.meaning != Meaning::NotUnderstood;
    });
    if (noise || !read) return r;
    r.heard = understood ? Heard::Scale : Heard::CommandUnknown;
    return r;
}

Weighing printHeard(std::string_view bytes, bool cutAtStart) {
    ReadSession read(Protocol::Print);
    if (cutAtStart) read.opened();
    read.begin(0);
    if (std::optional<Weighing> w = read.feed(bytes, 0)) return *w;
    if (const std::optional<Millis> quiet = read.wakeAt())
        if (std::optional<Weighing> w = read.wake(*quiet)) return *w;
    return read.expire();
}

std::string spelled(std::string_view bytes) {
    static const char hex[] = "0123456789ABCDEF";
    std::string s;
    bool word = false;  // printable characters go together: "SI CR LF"
    for (const char c : bytes) {
        const bool printable = c > 0x20 && c < 0x7F;
        if (!s.empty() && !(printable && word)) s += ' ';
        word = printable;
        if (printable) {
            s += c;
        } else if (c == '\r' || c == '\n' || c == '\x1b' || c == '\x05') {
            s += c == '\r' ? "CR" : c == '\n' ? "LF" : c == '\x1b' ? "ESC" : "ENQ";
        } else {
            s += "0x";
            s += hex[(unsigned char)c >> 4];
            s += hex[c & 0xF];
        }
    }
    return s;
}

}  // namespace pesolane
