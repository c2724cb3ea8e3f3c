// Finding a scale whose settings nobody knows: the line settings to try, the
// probes to send (each only asks for a weight), the order they are tried in,
// and what a reply says. A reply is a scale only when its lines read as the
// table of shapes reads a scale's lines. Data and short code, naming no
// family of scales. Standard C++ only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outcome.h"
#include "shapes.h"

namespace pesolane {

// One question a scale may be asked.
struct Probe {
    std::string sent;     // the bytes, line end included
    std::string command;  // the link's command once it has an answer, as the settings write it (escapes)
    std::string end;      // what follows that command: crlf, cr, lf or aucune
    std::string clear;    // sent after the answer: ends a command a scale may hold half read
    // Asked only of a scale that answered this probe twice: the request its
    // manual gives for the weight F9 wants (the stable weight, the net),
    // with the same end; the link's command in its place when answered too.
    std::string better;
    std::string betterCommand;
    bool kept = true;     // the link's command when `better` is not answered (a gross never is)
    // `better` is the second question, before this probe is sent again: the
    // probe's own bytes, sent twice in a row, would put on the line what it
    // must never hold (LF W CR twice holds W CR LF); sent again after
    // `better`, a CR alone goes between them.
    bool betterFirst = false;
};

// The probes, in the order they are sent at one line setting.
const std::vector<Probe>& probeTable();

// A speed, and a format: data bits, parity, stop bits ("7E1").
struct LineSetting {
    int baud = 9600;
    std::string format = "8N1";
    bool operator==(const LineSetting&) const = default;
};

// Every speed and every format tried, in the order tried.
const std::vector<int>& searchSpeeds();
const std::vector<std::string>& searchFormats();

// The makers' own settings as their scales leave the factory, each with
// the probe that asks them (its index in probeTable()).
struct MakerSetting {
    LineSetting line;
    int probe;
};
const std::vector<MakerSetting>& makerSettings();

// One thing to do at one line setting: listen (probe < 0), or send a probe.
struct Trial {
    LineSetting line;
    int probe = -1;
    bool operator==(const Trial&) const = default;
};

// What the search may try: narrowed by what the operator said.
struct SearchScope {
    std::vector<int> speeds = searchSpeeds();
    std::vector<std::string> formats = searchFormats();
    bool listen = true;                    // a scale that sends on its own
    std::vector<Probe> probes = probeTable();
    std::vector<std::string> fileProblems;  // the keys of the settings file's bad lines ("" for the file itself)
};

// The trials in order: what was already set up (`known`, and its probe
// when it has one) first, then the makers' settings, then every other
// setting; at each setting, listening before the first probe.
std::vector<Trial> searchPlan(const SearchScope& scope, const std::optional<Trial>& known);

// What the bytes heard after a probe (or while listening) say.
enum class Heard {
    Nothing,         // not a byte, or only the echo of the probe
    Noise,           // bytes that no shape reads: a wrong speed, a device that is no scale
    Scale,           // lines that read as a scale's: a weight, moving, over, under, busy...
    CommandUnknown,  // a scale that answers, but not to this probe
};

struct Reply {
    Heard heard = Heard::Nothing;
    ScaleLine first;  // what the scale shows: its first line read, or the net of a print
};

// Judges `bytes`, heard after `sent` (empty while listening). While
// listening, the first line may have begun before: it is not judged, unless
// `cutAtStart` says the port was quiet when the bytes began.
Reply judgeReply(std::string_view bytes, std::string_view sent, bool cutAtStart);
inline Reply judgeReply(std::string_view bytes, std::string_view sent) { return judgeReply(bytes, sent, sent.empty()); }

// What a print heard during the search shows, read as F9 reads a print on
// the PRINT key: its net (gross less tare checked), or its one weight; or
// why none. `cutAtStart`: its first line may have begun before it was heard.
Weighing printHeard(std::string_view bytes, bool cutAtStart);

// The bytes as a person reads them: ESC, ENQ, CR, LF named, "S CR LF".
std::string spelled(std::string_view bytes);

}  // namespace pesolane
