#include "reading.h"

#include <array>
#include <charconv>

#include "conversions.h"

namespace pesolane {
namespace {

constexpr char kSTX = 0x02;
constexpr char kETX = 0x03;

bool blank(char c) { return c == ' ' || c == '\t'; }
bool digit(char c) { return c >= '0' && c <= '9'; }
bool upper(char c) { return c >= 'A' && c <= 'Z'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

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

// The unit as the scale writes it, in any case; empty when it is none of the six.
std::string unitOf(std::string_view s) {
    static constexpr std::array<std::string_view, 6> kUnits{"g", "kg", "mg", "ct", "lb", "oz"};
    if (s.size() > 2) return {};
    std::string u;
    for (char c : s) u += lower(c);
    for (std::string_view known : kUnits)
        if (u == known) return u;
    return {};
}

// A weight field: a sign (blanks may follow it), digits with an optional
// point, blanks or not, and a unit; nothing else.
ScaleLine weightField(std::string_view f) {
    ScaleLine line;
    f = trimmed(f);
    bool negative = false;
    if (!f.empty() && (f.front() == '+' || f.front() == '-')) {
        negative = f.front() == '-';
        f = trimmed(f.substr(1));
    }
    std::size_t i = 0, digits = 0;
    bool point = false;
    for (; i < f.size(); ++i) {
        if (digit(f[i])) {
            ++digits;
        } else if (f[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return line;
    const std::string_view number = f.substr(0, i);
    const std::string unit = unitOf(trimmed(f.substr(i)));
    if (unit.empty()) return line;
    // The box must hold it as a number the steps can read.
    if (LeadingNumber(number).outOfRange) return line;
    line.says = negative ? LineSays::Negative : LineSays::Weight;
    if (!negative) {
        line.weight = std::string(number);
        line.unit = unit;
    }
    return line;
}

ScaleLine says(LineSays s) {
    ScaleLine line;
    line.says = s;
    return line;
}

// "ST,GS,+  100.25 g": stable, moving or overload, gross or net, then the weight.
std::optional<ScaleLine> continuousLine(std::string_view s) {
    if (s.size() < 6 || !upper(s[0]) || !upper(s[1]) || s[2] != ',' || !upper(s[3]) || !upper(s[4]) || s[5] != ',')
        return std::nullopt;
    const std::string_view head = s.substr(0, 2);
    if (head == "US") return says(LineSays::Unstable);
    if (head == "OL") return says(LineSays::AboveCapacity);
    const std::string_view kind = s.substr(3, 2);
    if (head == "ST" && (kind == "GS" || kind == "NT")) return weightField(s.substr(6));
    return says(LineSays::NotAWeight);
}

// "S ..." and "ES": the answers to a command.
std::optional<ScaleLine> commandLine(std::string_view s) {
    if (s == "ES" || s == "ET" || s == "EL") return says(LineSays::NotUnderstood);
    if (s.size() < 2 || s[0] != 'S') return std::nullopt;
    switch (s[1]) {
    case '?': return says(LineSays::Unstable);
    case '^': return says(LineSays::AboveCapacity);
    case 'v': return says(LineSays::BelowZero);
    case ' ': case '\t': break;
    default: return std::nullopt;
    }
    const std::string_view rest = trimmed(s.substr(2));
    if (rest == "I") return says(LineSays::CannotWeigh);
    if (rest == "+") return says(LineSays::AboveCapacity);
    if (rest == "-") return says(LineSays::BelowZero);
    if (rest == "E") return says(LineSays::NoStableWeight);
    if (rest == "A") return says(LineSays::Acknowledged);
    if (rest.size() > 1 && (rest[0] == 'S' || rest[0] == 'D') && blank(rest[1])) {
        ScaleLine line = weightField(rest.substr(1));
        if (rest[0] == 'D' && line.says != LineSays::NotAWeight) return says(LineSays::Unstable);
        return line;
    }
    // After "S A": "S", a mark (a blank for a stable weight), then the weight.
    if (!rest.empty() && rest[0] == '?') return says(LineSays::Unstable);
    if (!rest.empty() && rest[0] == '^') return says(LineSays::AboveCapacity);
    if (rest.size() > 1 && rest[0] == 'v' && (blank(rest[1]) || digit(rest[1]))) return says(LineSays::BelowZero);
    return weightField(rest);
}

// A moving, overload or underload mark, as the failure of a read.
Failure failureOf(LineSays mark) {
    return mark == LineSays::Unstable        ? Failure::Unstable
           : mark == LineSays::AboveCapacity ? Failure::AboveCapacity
                                             : Failure::BelowZero;
}

}  // namespace

ScaleLine readScaleLine(std::string_view line) {
    if (line.size() > kMaxLineBytes) return says(LineSays::NotAWeight);
    while (!line.empty() && line.front() == kSTX) line.remove_prefix(1);
    while (!line.empty() && line.back() == kETX) line.remove_suffix(1);
    if (!text(line)) return says(LineSays::NotAWeight);
    line = trimmed(line);
    if (line.empty()) return says(LineSays::Blank);
    if (auto l = continuousLine(line)) return *l;
    if (auto l = commandLine(line)) return *l;
    return weightField(line);
}

void ReadSession::opened() {
    line_.clear();
    afterCR_ = false;
    reading_ = false;
    // Without a command the scale may be in the middle of a line.
    skipLine_ = protocol_ == Protocol::Continuous;
}

void ReadSession::begin() {
    if (!line_.empty()) skipLine_ = true;
    line_.clear();
    lastMark_.reset();
    lastNoise_.clear();
    reading_ = true;
}

std::optional<Weighing> ReadSession::feed(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            const bool ends = !(c == '\n' && afterCR_);
            afterCR_ = c == '\r';
            if (!ends) continue;
            const bool skipped = skipLine_;
            skipLine_ = false;
            std::string line;
            line.swap(line_);
            if (skipped || !reading_) continue;
            if (std::optional<Weighing> outcome = take(line)) {
                reading_ = false;
                // What follows the answer belongs to no read: dropped as it comes.
                std::string_view rest = bytes.substr(i + 1);
                feed(rest);
                return outcome;
            }
            continue;
        }
        afterCR_ = false;
        // A line longer than any answer is kept no further: it is not a weight.
        if (line_.size() <= kMaxLineBytes) line_ += c;
    }
    return std::nullopt;
}

std::optional<Weighing> ReadSession::take(std::string_view line) {
    const ScaleLine l = readScaleLine(line);
    Weighing w;
    const bool command = protocol_ == Protocol::Command;
    switch (l.says) {
    case LineSays::Weight:
        w.weight = l.weight;
        w.unit = l.unit;
        return w;
    case LineSays::Negative: w.failure = Failure::BelowZero; return w;
    case LineSays::Blank:
    case LineSays::Acknowledged: return std::nullopt;
    case LineSays::Unstable:
    case LineSays::AboveCapacity:
    case LineSays::BelowZero:
        // Without a command, the scale's next line may be stable.
        if (!command) {
            lastMark_ = l.says;
            return std::nullopt;
        }
        w.failure = failureOf(l.says);
        return w;
    case LineSays::CannotWeigh: w.failure = Failure::CannotWeigh; break;
    case LineSays::NotUnderstood: w.failure = Failure::NotUnderstood; break;
    case LineSays::NoStableWeight: w.failure = Failure::NoStableWeight; break;
    case LineSays::NotAWeight:
        w.failure = Failure::Garbled;
        w.detail = std::string(line.substr(0, 40));
        break;
    }
    if (command) return w;
    lastNoise_ = w.detail.empty() ? std::string(line.substr(0, 40)) : w.detail;
    return std::nullopt;
}

Weighing ReadSession::expire() {
    Weighing w;
    w.failure = Failure::TimedOut;
    if (lastMark_) {
        w.failure = failureOf(*lastMark_);
    } else if (!lastNoise_.empty()) {
        w.failure = Failure::Garbled;
        w.detail = lastNoise_;
    } else if (!skipLine_ && !trimmed(line_).empty()) {
        // Bytes without an end of line: a cut line, or the wrong speed or format.
        w.failure = Failure::Garbled;
        w.detail = line_.substr(0, 40);
    }
    reading_ = false;
    return w;
}

namespace {

// A line quoted in a message: printable characters only.
std::string quoted(std::string_view s) {
    std::string q;
    for (char c : s) q += (c >= 0x20 && c <= 0x7E) ? c : '?';
    return q;
}

std::string secondsText(double seconds) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, seconds);
    std::string s(buf, ec == std::errc() ? end : buf);
    for (char& c : s)
        if (c == '.') c = ',';  // a French message
    return s;
}

}  // namespace

std::string messageOf(const Weighing& w, std::string_view port, std::string_view command, double seconds) {
    const std::string p(port);
    switch (w.failure) {
    case Failure::None: return {};
    case Failure::NoScale:
        return "Aucun instrument de pesage n'est configuré : indiquez son port série avec l'option --port, "
               "ou par « port = » dans la section [pesage] du fichier ~/.config/pesolane/pesolane.conf.";
    case Failure::BadSetting: return "L'instrument de pesage n'est pas utilisable : " + w.detail;
    case Failure::PortAbsent:
        return "Le port série " + p + " de l'instrument de pesage n'existe pas : vérifiez le câble et le nom du port.";
    case Failure::PortBusy:
        return "Le port série " + p + " de l'instrument de pesage est déjà utilisé par un autre programme.";
    case Failure::PortDenied:
        return "Le port série " + p + " de l'instrument de pesage n'est pas accessible : le compte doit appartenir "
               "au groupe dialout (sudo adduser $USER dialout, puis ouvrir une nouvelle session).";
    case Failure::PortOther:
        return "Le port série " + p + " de l'instrument de pesage ne s'ouvre pas : " + quoted(w.detail) + ".";
    case Failure::LinkLost:
        return "La liaison avec l'instrument de pesage (port " + p +
               ") est perdue : vérifiez le câble, puis recommencez la pesée.";
    case Failure::TimedOut:
        return "L'instrument de pesage (port " + p + ") n'a donné aucune pesée stable en " + secondsText(seconds) +
               " s : vérifiez qu'il est allumé, relié et réglé comme le programme (vitesse, format, protocole).";
    case Failure::Unstable:
        return "La pesée est instable : attendez que l'affichage de l'instrument de pesage se stabilise, "
               "puis recommencez.";
    case Failure::AboveCapacity: return "La charge dépasse la portée de l'instrument de pesage.";
    case Failure::BelowZero:
        return "La pesée est négative ou sous le zéro : remettez l'instrument de pesage à zéro, puis recommencez.";
    case Failure::CannotWeigh:
        return "L'instrument de pesage ne peut pas peser maintenant : recommencez dans un instant.";
    case Failure::NotUnderstood:
        return "L'instrument de pesage n'a pas compris la commande « " + quoted(command) +
               " » : vérifiez le réglage commande.";
    case Failure::NoStableWeight:
        return "L'instrument de pesage n'a pas obtenu de pesée stable dans son propre délai : évitez vibrations "
               "et courants d'air, puis recommencez.";
    case Failure::Garbled:
        return "Réponse de l'instrument de pesage incomprise : « " + quoted(w.detail) +
               " ». Vérifiez la vitesse, le format et le protocole.";
    case Failure::OtherUnit:
        return "Cette pesée est en " + w.unit + ", la première pesée de ce comptage en " + w.detail +
               " : réglez l'instrument de pesage sur " + w.detail + ", ou recommencez le comptage à l'étape 1.";
    }
    return {};
}

}  // namespace pesolane
