// Seeded conversations with the model of scales: whatever the scale, the
// scene and the line, a read gives the weight on the pan or a refusal, never
// another weight; and every dialect is read when nothing disturbs it.
#include <QTest>

#include <map>

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
        std::map<std::string, std::pair<int, int>> found;  // found, undisturbed that had to be
        for (std::uint64_t seed = 1; seed <= kDevices; ++seed) {
            Draw draw(seed);
            const Device d = device(draw);
            const Search s = searchThrough(d, written);
            std::string why;
            if (!s.found && d.mustFind)
                why = "not found at " + std::to_string(d.baud) + " " + d.format + ", the truth " + *d.truth;
            faithful(d, s, written, &why);
            if (!why.empty()) QFAIL(("seed " + std::to_string(seed) + ", " + d.dialect + ", line " + d.line + ": " + shown(why)).c_str());
            found[d.dialect].first += s.found;
            found[d.dialect].second += d.mustFind;
        }
        for (const std::string& name : searchDialects()) {
            const auto [n, must] = found[name];
            qInfo("%-28s %5d found, %5d undisturbed that had to be", name.c_str(), n, must);
        }
        // Every family that gives a mass weight is found, undisturbed; the others never are.
        const QStringList never{"temperatures", "bare numbers", "gross only, asked", "framed digits, no unit"};
        for (const std::string& name : searchDialects())
            QVERIFY2(never.contains(QString::fromStdString(name)) ? found[name].first == 0 : found[name].second > 0, name.c_str());
    }
};

QTEST_GUILESS_MAIN(ScaleModelTest)
#include "test_scale_model.moc"
