// Seeded conversations with the model of scales: whatever the scale, the
// scene and the line, a read gives the weight on the pan or a refusal, never
// another weight; and every dialect is read when nothing disturbs it.
#include <QTest>

#include <algorithm>
#include <map>
#include <set>

#include "scale_model.h"
#include "settings.h"

using namespace pesolane;
using namespace pesolane::model;

namespace {

constexpr std::uint64_t kConversations = 100000;
constexpr std::uint64_t kDevices = 30000;

// The bytes the settings file's command and end stand for, as F9 sends them.
std::string written(const std::string& command, const std::string& end) {
    ScaleSettings s;
    if (!applySetting(s, "commande", QString::fromStdString(command)).isEmpty() ||
        !applySetting(s, "fin-commande", QString::fromStdString(end)).isEmpty())
        return "<refused by the settings>";
    return (s.command + s.commandEnd).toStdString();
}

std::string shown(const std::string& bytes) {
    std::string s;
    for (unsigned char c : bytes) s += c >= 0x20 && c < 0x7F ? std::string(1, char(c)) : QByteArray(1, char(c)).toHex(' ').prepend("<").append(">").toStdString();
    return s;
}

}  // namespace

class ScaleModelTest : public QObject {
    Q_OBJECT

private slots:
    void reads_theTruthOrRefuses() {
        struct Count {
            int conversations = 0, weights = 0, mustRead = 0;
        };
        std::map<std::string, Count> counts;
        for (std::uint64_t seed = 1; seed <= kConversations; ++seed) {
            Draw draw(seed);
            const Conversation c = converse(draw);
            const Weighing w = readThrough(c);
            std::string why;
            if (!faithful(c, w, &why)) {
                std::string sent;
                for (const Conversation::Sent& u : c.unasked) sent += " @" + std::to_string(u.at) + " " + shown(u.bytes);
                QFAIL(("seed " + std::to_string(seed) + ", " + c.dialect + ", line " + c.line + ": " + why +
                       "; answer " + shown(c.answer) + "; sent" + sent.substr(0, 600)).c_str());
            }
            Count& n = counts[c.dialect];
            ++n.conversations;
            n.weights += w.failure == Failure::None;
            n.mustRead += c.mustRead;
        }
        for (const std::string& d : dialects()) {
            const Count& n = counts[d];
            qInfo("%-28s %6d conversations, %6d weights read, %6d undisturbed that had to be", d.c_str(), n.conversations,
                  n.weights, n.mustRead);
            QVERIFY2(n.conversations > 0, d.c_str());
            QVERIFY2(n.mustRead > 0 || d == "framed digits, no unit", d.c_str());
        }
    }

    // Whatever device sits on the port, at whatever setting: found with
    // settings under which a read gives the weight on the pan, or not found;
    // and nothing sent but a probe's bytes and the command found.
    void search_findsTheTruthOrNothing() {
        // Every request the search may make: literals, as the scales' manuals give them.
        const std::set<std::string> requests = {"SI\r\n", "S\r\n", "\x1bP\r\n", "IP\r\n", "\nW\r", "W\r",
                                                "READ\r\n", "G\r\n", "N\r\n", "\x05", "\r\n"};
        std::map<std::string, std::pair<int, int>> found;  // found, undisturbed that had to be
        for (std::uint64_t seed = 1; seed <= kDevices; ++seed) {
            Draw draw(seed);
            const Device d = device(draw);
            const Search s = searchThrough(d, written);
            std::string why;
            for (std::size_t i = 0; i < s.sent.size(); ++i) {
                const std::string& b = s.sent[i];
                if (!requests.count(b) && !(s.found && b == written(s.command, s.end))) why = "sent " + shown(b);
                if (b.find_first_of("TZtz") != std::string::npos) why = "a byte that tares or zeroes";
                // W CR LF only as LF W CR, answered, is asked again after W CR was not,
                // or read again, as a scale that takes LF as the start of each command.
                const bool wcrlf = (i > 0 && (s.sent[i - 1] + b).find("W\r\n") != std::string::npos) ||
                                   b.find("W\r\n") != std::string::npos;
                if (wcrlf && !(b == "\nW\r" && std::count(s.reads.begin(), s.reads.end(), i)) && !(i > 1 && s.sent[i - 2] == "\nW\r" && s.sent[i - 1] == "W\r" && b == "\nW\r"))
                    why = "W CR LF on the line";
            }
            // One that sends on its own is heard at every setting, and asked nothing.
            if (d.period && !d.print && !s.sent.empty()) why = "sent " + shown(s.sent[0]) + " to a device that talks";
            if (s.found) {
                const Weighing w = readWith(d, s.baud, s.format, s.protocol, s.command.empty() ? "" : written(s.command, s.end));
                const std::string read = w.weight + " " + w.unit;
                Conversation truth;
                truth.truth = d.truth;
                truth.mustRead = bool(d.truth);
                if (!faithful(truth, w, &why) || !d.truth)
                    why = "found at " + std::to_string(s.baud) + " " + s.format + " command " + shown(s.command) + ": " +
                          (why.empty() ? "no weight on the pan" : why);
                if (why.empty() && s.shown != read) why = "the search showed " + s.shown + ", its settings read " + read;
            } else if (d.mustFind) {
                why = "not found at " + std::to_string(d.baud) + " " + d.format + ", the truth " + *d.truth + ", variant " + std::to_string(d.scene.variant) + ", " + std::to_string(s.sent.size()) + " writes, shown " + s.shown;
            }
            if (!why.empty()) QFAIL(("seed " + std::to_string(seed) + ", " + d.dialect + ", line " + d.line + ": " + why).c_str());
            found[d.dialect].first += s.found;
            found[d.dialect].second += d.mustFind;
        }
        for (const std::string& name : searchDialects()) {
            const auto [n, must] = found[name];
            qInfo("%-28s %5d found, %5d undisturbed that had to be", name.c_str(), n, must);
        }
        // Every family that gives a mass weight is found, undisturbed; the others never are.
        for (const char* never : {"temperatures", "bare numbers", "gross only, asked", "framed digits, no unit"})
            QVERIFY2(found[never].first == 0, never);
        for (const char* printKey : {"ticket", "one line on PRINT"}) QVERIFY2(found[printKey].first > 0, printKey);
        for (const char* asked : {"MT-SICS S", "MT-SICS SI", "status header, asked", "sixteen characters",
                                  "sixteen characters with ID", "marks after the unit", "weight and status bytes", "SMA",
                                  "mark before the weight", "ticket, asked", "gross and net, asked", "status header, stream",
                                  "indicator lines, stream", "Toledo continuous", "bare stream"})
            QVERIFY2(found[asked].second > 0, asked);
    }
};

QTEST_GUILESS_MAIN(ScaleModelTest)
#include "test_scale_model.moc"
