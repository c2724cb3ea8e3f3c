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
    if (digits == 0 || digits > kMaxWeightDigits) return line;
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

ScaleLine markedWeight(std::string_view field) {
    ScaleLine line = weightField(field);
    line.marked = true;
    return line;
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
                                                              : LineSays::Settled);
    line.status = true;
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
    if (head == "ST" && (kind == "GS" || kind == "NT")) return markedWeight(s.substr(6));
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
        ScaleLine line = markedWeight(rest.substr(1));
        if (rest[0] == 'D' && line.says != LineSays::NotAWeight) return says(LineSays::Unstable);
        return line;
    }
    // After "S A": "S", a mark (a blank for a stable weight), then the weight.
    if (!rest.empty() && rest[0] == '?') return says(LineSays::Unstable);
    if (!rest.empty() && rest[0] == '^') return says(LineSays::AboveCapacity);
    if (rest.size() > 1 && rest[0] == 'v' && (blank(rest[1]) || digit(rest[1]))) return says(LineSays::BelowZero);
    return markedWeight(rest);
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
    if (auto l = statusLine(line)) return *l;
    if (auto l = continuousLine(line)) return *l;
    if (auto l = commandLine(line)) return *l;
    return weightField(line);
}

void ReadSession::opened() {
    line_.clear();
    afterCR_ = false;
    framed_ = false;
    reading_ = false;
    answer_ = Answer{};
    // Without a command the scale may be in the middle of a line. What is
    // owed stays owed: a scale may answer a command sent before the link was lost.
    skipLine_ = protocol_ == Protocol::Continuous;
}

void ReadSession::begin(Millis now) {
    if (!line_.empty()) skipLine_ = true;
    line_.clear();
    // Status bytes still to come belong to an answer that began before the read.
    answer_.ours = false;
    answer_.judged = true;
    run_.reset();
    moved_ = false;
    lastMark_.reset();
    lastNoise_.clear();
    paidLate_ = false;
    answered_ = false;
    lastLine_ = now;
    reading_ = true;
}

std::optional<Weighing> ReadSession::feed(std::string_view bytes, Millis now) {
    std::optional<Weighing> outcome;
    auto keep = [&outcome](std::optional<Weighing> w) {
        if (w && !outcome) outcome = std::move(w);
    };
    auto endLine = [&] {
        const bool skipped = skipLine_;
        skipLine_ = false;
        std::string text;
        text.swap(line_);
        if (!skipped) keep(line(text, now));
    };
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            const bool ends = !(c == '\n' && afterCR_);
            afterCR_ = c == '\r';
            if (ends) endLine();
            continue;
        }
        afterCR_ = false;
        if (c == kSTX) {
            // A frame begins: what came before it on the line is no part of it.
            line_.clear();
            skipLine_ = false;
            framed_ = true;
        } else if (c == kETX) {
            if (!line_.empty()) endLine();
            framed_ = false;
            keep(endAnswer());
        } else if (line_.size() <= kMaxLineBytes) {
            // A line longer than any answer is kept no further: it is not a weight.
            line_ += c;
        }
    }
    return outcome;
}

std::optional<Weighing> ReadSession::line(std::string_view text, Millis now) {
    if (!reading_ && protocol_ == Protocol::Continuous) return std::nullopt;  // no answer is owed
    const ScaleLine l = readScaleLine(text);
    if (l.says == LineSays::Blank || l.says == LineSays::Acknowledged) return std::nullopt;
    lastLine_ = now;
    if (l.status && answer_.open) {
        // The status of the weight line before it: the first fault it tells counts.
        if (!answer_.status || *answer_.status == LineSays::Settled) answer_.status = l.says;
        return std::nullopt;
    }
    // A new answer: the one before it is whole.
    std::optional<Weighing> before = endAnswer();
    std::optional<Weighing> next = startAnswer(l, text, now);
    return before ? before : next;
}

std::optional<Weighing> ReadSession::startAnswer(const ScaleLine& l, std::string_view text, Millis now) {
    answer_ = Answer{};
    answer_.open = true;
    answer_.framed = framed_;
    answer_.first = l;
    answer_.text = std::string(text.substr(0, 40));
    answer_.at = now;
    bool late = false;
    if (protocol_ == Protocol::Command && owed_ > 0) {
        --owed_;  // the answer to a command of a read that is over
        late = true;
        paidLate_ = paidLate_ || reading_;
    }
    answer_.ours = reading_ && !late;
    answer_.judged = !answer_.ours;
    if (!answer_.ours) return std::nullopt;
    answered_ = true;
    // A line that carries its own verdict, outside a frame, is judged at
    // once; a bare weight waits for the status bytes that may follow it.
    if (answer_.framed || l.status || (l.says == LineSays::Weight && !l.marked)) return std::nullopt;
    answer_.judged = true;
    return over(judge(l, answer_.text));
}

std::optional<Weighing> ReadSession::endAnswer() {
    if (!answer_.open) return std::nullopt;
    answer_.open = false;
    if (answer_.judged) return std::nullopt;
    answer_.judged = true;
    const ScaleLine& l = answer_.first;
    const LineSays status = answer_.status.value_or(l.status ? l.says : LineSays::Blank);
    if (status != LineSays::Blank && status != LineSays::Settled) return over(judge(says(status), answer_.text));
    if (l.status) return over(judge(says(LineSays::NotAWeight), answer_.text));  // status and no weight
    if (l.says == LineSays::Weight && !l.marked && status != LineSays::Settled) return over(unmarked(l, answer_.at));
    return over(judge(l, answer_.text));
}

// A bare weight line, without a mark of stability: the same weight must come
// again and again, or stand alone before a silence (wake).
std::optional<Weighing> ReadSession::unmarked(const ScaleLine& l, Millis at) {
    if (run_ && run_->weight == l.weight && run_->unit == l.unit) {
        ++run_->lines;
    } else {
        if (run_) moved_ = true;
        run_ = Run{l.weight, l.unit, 1, at};
    }
    if (run_->lines >= kSettledLines && at - run_->since >= kSettledMs) return judge(l, {});
    return std::nullopt;
}

std::optional<Weighing> ReadSession::judge(const ScaleLine& l, std::string_view text) {
    Weighing w;
    const bool command = protocol_ == Protocol::Command;
    switch (l.says) {
    case LineSays::Weight:
        w.weight = l.weight;
        w.unit = l.unit;
        return w;
    case LineSays::Negative: w.failure = Failure::BelowZero; return w;
    case LineSays::Blank:
    case LineSays::Acknowledged:
    case LineSays::Settled: return std::nullopt;
    case LineSays::Unstable:
    case LineSays::AboveCapacity:
    case LineSays::BelowZero:
        run_.reset();
        moved_ = true;
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
        w.detail = std::string(text.substr(0, 40));
        break;
    }
    if (command) return w;
    run_.reset();
    lastNoise_ = std::string(text.substr(0, 40));
    return std::nullopt;
}

std::optional<Weighing> ReadSession::over(std::optional<Weighing> outcome) {
    if (outcome) endRead();
    return outcome;
}

void ReadSession::endRead() {
    reading_ = false;
    answer_.ours = false;
    answer_.judged = true;
    run_.reset();
}

std::optional<Millis> ReadSession::wakeAt() const {
    if (!reading_) return std::nullopt;
    const bool waiting = (answer_.open && !answer_.judged) || (run_ && !moved_);
    if (!waiting) return std::nullopt;
    return lastLine_ + kQuietMs;
}

std::optional<Weighing> ReadSession::wake(Millis now) {
    if (!reading_ || now - lastLine_ < kQuietMs) return std::nullopt;
    if (std::optional<Weighing> w = endAnswer()) return w;
    // A weight alone before a silence, as a PRINT key sends it.
    if (reading_ && run_ && !moved_) {
        Weighing w;
        w.weight = run_->weight;
        w.unit = run_->unit;
        return over(w);
    }
    return std::nullopt;
}

Weighing ReadSession::expire() {
    Weighing w;
    w.failure = Failure::TimedOut;
    const bool holding = answer_.open && !answer_.judged;
    if (lastMark_) {
        w.failure = failureOf(*lastMark_);
    } else if (run_ || moved_ || (holding && answer_.first.says == LineSays::Weight && !answer_.first.marked)) {
        w.failure = Failure::Unstable;  // bare weights that did not settle
    } else if (holding) {
        w.failure = Failure::Garbled;   // an answer begun and never ended
        w.detail = answer_.text;
    } else if (!lastNoise_.empty()) {
        w.failure = Failure::Garbled;
        w.detail = lastNoise_;
    } else if (!skipLine_ && !trimmed(line_).empty()) {
        // Bytes without an end of line: a cut line, or the wrong speed or format.
        w.failure = Failure::Garbled;
        w.detail = line_.substr(0, 40);
    } else if (paidLate_ && !answered_) {
        w.failure = Failure::LateAnswer;
    }
    if (reading_ && protocol_ == Protocol::Command && !answered_) owed_ = paidLate_ ? 0 : owed_ + 1;
    endRead();
    return w;
}

void ReadSession::abandon() {
    if (!reading_) return;
    if (protocol_ == Protocol::Command && !answered_) ++owed_;
    endRead();
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
    case Failure::LateAnswer:
        return "L'instrument de pesage a répondu à une pesée précédente, pas à celle-ci : recommencez la pesée.";
    case Failure::OtherUnit:
        return "Cette pesée est en " + w.unit + ", la première pesée de ce comptage en " + w.detail +
               " : réglez l'instrument de pesage sur " + w.detail + ", ou recommencez le comptage à l'étape 1.";
    }
    return {};
}

}  // namespace pesolane
