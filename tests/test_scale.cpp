// What a scale sends, line by line and read by read, for both families of
// scales; the messages that tell why no weight was read; the settings.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include "hid_report.h"
#include "messages.h"
#include "port.h"
#include "probes.h"
#include "search.h"
#include "session.h"
#include "settings.h"

using namespace pesolane;

Q_DECLARE_METATYPE(pesolane::Meaning)
Q_DECLARE_METATYPE(pesolane::Failure)
Q_DECLARE_METATYPE(pesolane::Protocol)
Q_DECLARE_METATYPE(pesolane::Heard)

namespace {

std::string bytes(const QString& s) { return s.toStdString(); }

// How the tests name a weight's role.
QString roleName(WeightRole r) {
    return r == WeightRole::Gross ? " gross" : r == WeightRole::Net ? " net" : r == WeightRole::Tare ? " tare" : r == WeightRole::Count ? " count" : "";
}
std::string fromHex(const QString& hex) { return QByteArray::fromHex(hex.toLatin1()).toStdString(); }
QString told(const Weighing& w) { return w.weight.empty() ? QString() : QString::fromStdString(w.weight + " " + w.unit); }

}  // namespace

class ScaleTest : public QObject {
    Q_OBJECT

private slots:
    void line_says_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<Meaning>("says");
        QTest::addColumn<QString>("weight");  // weight and unit, "*" when marked stable, and the role but plain
        using L = Meaning;
        const QString stx(QChar(2)), etx(QChar(3));
        QTest::newRow("stable") << "S S     100.25 g" << L::Weight << "100.25 g*";
        QTest::newRow("leading zeros kept") << "S S      0100.250 g" << L::Weight << "0100.250 g*";
        QTest::newRow("cannot weigh") << "S I" << L::CannotWeigh << "";
        QTest::newRow("above capacity") << "S +" << L::AboveCapacity << "";
        QTest::newRow("below zero") << "S -" << L::BelowZero << "";
        QTest::newRow("not understood") << "ES" << L::NotUnderstood << "";
        QTest::newRow("no stable weight") << "S E" << L::NoStableWeight << "";
        QTest::newRow("acknowledged") << "S A" << L::Acknowledged << "";
        QTest::newRow("mark blank") << "S         8.5 g" << L::Weight << "8.5 g*";
        QTest::newRow("mark blank, sign apart") << "S    -     8.5 g" << L::BelowZero << "";
        QTest::newRow("mark moving") << "S?        8.5 g" << L::Unstable << "";
        QTest::newRow("mark over") << "S^   9999.9 g" << L::AboveCapacity << "";
        QTest::newRow("mark under") << "Sv      0.0 g" << L::BelowZero << "";
        QTest::newRow("dynamic") << "S D     100.25 g" << L::Unstable << "";
        QTest::newRow("bare, unit glued, upper case") << "0012.34LB" << L::Weight << "0012.34 lb";
        QTest::newRow("bare, print key") << "     12.34 kg" << L::Weight << "12.34 kg";
        QTest::newRow("plus, blanks, other units") << "+   5 OZ" << L::Weight << "5 oz";
        QTest::newRow("mg") << "5mg" << L::Weight << "5 mg";
        QTest::newRow("ct") << ".5 Ct" << L::Weight << ".5 ct";
        QTest::newRow("stable gross") << "ST,GS,+  100.25 g" << L::Weight << "100.25 g* gross";
        QTest::newRow("stable net") << "ST,NT,+  100.25 g" << L::Weight << "100.25 g* net";
        QTest::newRow("stable tare") << "ST,TR,+  10.00 g" << L::Weight << "10.00 g* tare";
        QTest::newRow("unstable") << "US,GS,+  100.25 g" << L::Unstable << "";
        QTest::newRow("overload") << "OL,GS,+  100.25 g" << L::AboveCapacity << "";
        QTest::newRow("stable negative") << "ST,GS,-    5.00 g" << L::Negative << "";
        QTest::newRow("framed") << stx + "S S  1.5 g" + etx << L::Weight << "1.5 g*";
        QTest::newRow("blanks") << " \t " << L::Blank << "";
        QTest::newRow("no unit") << "100.25" << L::Unreadable << "";
        QTest::newRow("decimal comma") << "100,25 g" << L::Weight << "100.25 g";
        QTest::newRow("tonnes") << "100.25 t" << L::Weight << "100.25 t";
        QTest::newRow("two points") << "12.3.4 g" << L::Unreadable << "";
        QTest::newRow("thousands and decimals") << "1,234.5 g" << L::Unreadable << "";
        QTest::newRow("no digit") << "S S . g" << L::Unreadable << "";
        QTest::newRow("not text") << "S S 1" + QString(QChar(0x80)) + " g" << L::Unreadable << "";
        // A status header with the sign and no gross or net field; a count.
        QTest::newRow("header, stable") << "ST,+00050.20  g" << L::Weight << "00050.20 g*";
        QTest::newRow("header, moving") << "US,-00050.19  g" << L::Unstable << "";
        QTest::newRow("header, overload") << "OL,+9999999E" << L::AboveCapacity << "";
        QTest::newRow("header, count") << "QT,+00000125PC" << L::NotAMass << "PC";
        QTest::newRow("header, gross, no comma") << "ST,GS   50.20 g" << L::Weight << "50.20 g* gross";
        QTest::newRow("header, comma before the unit") << "ST,GS,  12.345,Kg" << L::Weight << "12.345 kg* gross";
        // Fixed width: an ID field of six, then sixteen of data; the unit's place blank while moving.
        QTest::newRow("fixed width, ID") << "N     +    50.20 g  " << L::Weight << "50.20 g net";
        QTest::newRow("fixed width") << "+    50.20 g  " << L::Weight << "50.20 g";
        QTest::newRow("fixed width, blank sign") << "     50.20 g  " << L::Weight << "50.20 g";
        QTest::newRow("fixed width, moving") << "+    50.20    " << L::Unstable << "";
        QTest::newRow("fixed width, ID, moving") << "G#    -    50.20    " << L::Unstable << "";
        QTest::newRow("word high") << "High" << L::AboveCapacity << "";
        QTest::newRow("word low") << "Low" << L::BelowZero << "";
        QTest::newRow("word, not final") << "--" << L::Unstable << "";
        QTest::newRow("sixteen-character status") << "Stat            H " << L::AboveCapacity << "";
        QTest::newRow("error code") << "Err 101" << L::ScaleError << "";
        QTest::newRow("error") << "Error" << L::ScaleError << "";
        // Marks after the unit, after blanks or glued to it.
        QTest::newRow("mark G") << "50.20 g G" << L::Weight << "50.20 g gross";
        QTest::newRow("mark NET") << "  50.20 kg  NET" << L::Weight << "50.20 kg net";
        QTest::newRow("mark GS glued") << "50.20gGS" << L::Weight << "50.20 g gross";
        QTest::newRow("mark NT glued") << "50.20 KgNT" << L::Weight << "50.20 kg net";
        QTest::newRow("mark gross, indicator") << "  12.34kgGR" << L::Weight << "12.34 kg gross";
        QTest::newRow("mark moving") << "- 50.20 g ? NET" << L::Unstable << "";
        QTest::newRow("mark moving, glued") << "50.20g?" << L::Unstable << "";
        QTest::newRow("mark over") << "50.20 g OL" << L::AboveCapacity << "";
        QTest::newRow("grain or gram net") << "50.20 GN" << L::Ambiguous << "";
        QTest::newRow("unknown mark") << "50.20 g X" << L::Unreadable << "";
        // Words or letters before the weight.
        QTest::newRow("label GROSS") << "GROSS   50.20 g" << L::Weight << "50.20 g gross";
        QTest::newRow("label NET") << "NET     50.20 g" << L::Weight << "50.20 g net";
        QTest::newRow("label G, sign apart") << "G + 2.10 kg" << L::Weight << "2.10 kg gross";
        QTest::newRow("label with a scale number") << "1G   1.234kg" << L::Weight << "1.234 kg gross";
        QTest::newRow("label tare") << "T       10.00 g" << L::Weight << "10.00 g tare";
        QTest::newRow("mark before, moving") << "? - 2.237 lb" << L::Unstable << "";
        QTest::newRow("mark before, over") << "^      0.000 kg" << L::AboveCapacity << "";
        QTest::newRow("display of carets") << "^^^^^^^lb" << L::AboveCapacity << "";
        QTest::newRow("display of underscores") << "_______lb" << L::BelowZero << "";
        // Units.
        QTest::newRow("glued, capitals") << "000013.5KG" << L::Weight << "000013.5 kg";
        QTest::newRow("troy ounces") << "1.5 ozt" << L::Weight << "1.5 ozt";
        QTest::newRow("pennyweights") << "3.25 DWT" << L::Weight << "3.25 dwt";
        QTest::newRow("grains") << "15.4 gr" << L::Weight << "15.4 gr";
        QTest::newRow("decimal comma glued") << "50,20g" << L::Weight << "50.20 g";
        QTest::newRow("pieces") << "125 pcs" << L::NotAMass << "pcs";
        QTest::newRow("percent") << "50.5 %" << L::NotAMass << "%";
        QTest::newRow("newtons") << "50.2 N" << L::NotAMass << "N";
        // The fixed-format output of indicators, framed: status A (point), B, C, weight, tare.
        auto ff = [](char a, char b, char c, bool tare = true) {
            return QString(QChar(2)) + a + b + c + "001234" + (tare ? "000000" : "");
        };
        QTest::newRow("fixed format, kg") << ff(',', '0', ' ') << L::Weight << "0012.34 kg* gross";
        QTest::newRow("fixed format without its tare field") << ff(',', ' ', ' ', false) << L::Unreadable << "";
        QTest::newRow("fixed format, grams") << ff(',', '0', '!') << L::Weight << "0012.34 g* gross";
        QTest::newRow("fixed format, no point") << ff('*', '0', ' ') << L::Weight << "001234 kg* gross";
        QTest::newRow("fixed format, tens") << ff(')', '0', ' ') << L::Weight << "0012340 kg* gross";
        QTest::newRow("fixed format, motion") << ff(',', '8', ' ') << L::Unstable << "";
        QTest::newRow("fixed format, negative") << ff(',', '2', ' ') << L::Negative << "";
        QTest::newRow("fixed format, out of range") << ff(',', '4', ' ') << L::AboveCapacity << "";
        QTest::newRow("fixed format, power-up") << ff(',', 'p', ' ') << L::CannotWeigh << "";
        QTest::newRow("fixed format, ten times finer") << ff(',', '0', '0') << L::Unreadable << "";
        QTest::newRow("fixed format, not framed") << ff(',', '0', ' ').mid(1) << L::Unreadable << "";
        QTest::newRow("12 digits") << "S S 123456.789012 g" << L::Weight << "123456.789012 g*";
        QTest::newRow("13 digits") << "S S 1234567890123 g" << L::Unreadable << "";
        QTest::newRow("13 digits, bare") << "000000000012.5 kg" << L::Unreadable << "";
        QTest::newRow("256 bytes") << "S S" + QString(248, ' ') + "1.5 g" << L::Weight << "1.5 g*";
        QTest::newRow("257 bytes") << "S S" + QString(249, ' ') + "1.5 g" << L::Unreadable << "";
        // Status bytes: bits 4 and 5 set; motion in the first, under and over in the second.
        QTest::newRow("status settled") << "00" << L::NothingWrong << "";
        QTest::newRow("status at zero, third byte") << "2p0" << L::NothingWrong << "";
        QTest::newRow("status moving") << "10" << L::Unstable << "";
        QTest::newRow("status over") << "02" << L::AboveCapacity << "";
        QTest::newRow("status under") << "01" << L::BelowZero << "";
        QTest::newRow("status fault") << "08" << L::CannotWeigh << "";
        QTest::newRow("not status, first byte with bit 6") << "p0" << L::Unreadable << "";
        QTest::newRow("not status, last byte with bit 6") << "0p" << L::NotAMass << "p";
        QTest::newRow("not status, five bytes") << "0ppp0" << L::Unreadable << "";
        // Lines that read two ways are refused; what reads one way says whose weight it is.
        QTest::newRow("two rows: over, and a stable weight") << "S +   100.00 g" << L::Ambiguous << "";
        QTest::newRow("capital T: tonnes or a tare mark") << "S S     50.20 T" << L::Ambiguous << "";
        QTest::newRow("gross label, net mark") << "G  50.20 g NET" << L::Ambiguous << "";
        QTest::newRow("count header in grams") << "QT,+00000125 g" << L::Weight << "00000125 g* count";
        QTest::newRow("label count") << "Qnt   125 g" << L::Weight << "125 g count";
        QTest::newRow("label TARE") << "TARE    10.00 g" << L::Weight << "10.00 g tare";
        QTest::newRow("pounds spelled lbs") << "12.5 lbs" << L::Weight << "12.5 lb";
        QTest::newRow("fixed format, net") << ff(',', '1', ' ') << L::Weight << "0012.34 kg* net";
        QTest::newRow("fixed format, no increment size") << ff(' ', ' ', ' ') << L::Unreadable << "";
        QTest::newRow("fixed format, A with bit 6") << ff('l', '0', ' ') << L::Unreadable << "";
        QTest::newRow("fixed format, B without bit 5") << ff(',', '\x10', ' ') << L::Unreadable << "";
        QTest::newRow("fixed format, C with bit 6") << ff(',', '0', '`') << L::Unreadable << "";
        // SI echoed, then its mark; IDs with a tare memory's number; legends after the unit; labels with a colon.
        QTest::newRow("SI frame") << "SI         18.5 kg" << L::Weight << "18.5 kg*";
        QTest::newRow("SI frame, moving") << "SI ?       18.5 kg" << L::Unstable << "";
        QTest::newRow("ID of a tare memory") << "T1    +    10.00 g  " << L::Weight << "10.00 g tare";
        QTest::newRow("ID of the net under it") << "N1    +    40.20 g  " << L::Weight << "40.20 g net";
        QTest::newRow("ID of a preset tare") << "PT2   +    10.00 g  " << L::Weight << "10.00 g tare";
        QTest::newRow("legend T after the unit") << "  10.00 kg   T" << L::Weight << "10.00 kg tare";
        QTest::newRow("legend PT, glued") << "65.0kg PT" << L::Weight << "65.0 kg tare";
        QTest::newRow("legend TW") << "10.00 kg TW" << L::Weight << "10.00 kg tare";
        QTest::newRow("legend in small letters: moving") << "  60.21 kg   g" << L::Unstable << "";
        QTest::newRow("label with a colon, mixed case") << "Net: 25.6lb" << L::Weight << "25.6 lb net";
        QTest::newRow("label with a colon, a preset tare") << " TARE:     65.0kg PT" << L::Weight << "65.0 kg tare";
        QTest::newRow("a total") << "TOTAL   50.20 g" << L::Weight << "50.20 g count";
        // A print's header and footer; the point-of-sale scale's status.
        QTest::newRow("rule of dashes") << "--------------------" << L::CannotWeigh << "";
        QTest::newRow("rule of underscores") << "____________" << L::BelowZero << "";
        QTest::newRow("date and time") << "14.01.2011    09:43" << L::Header << "";
        QTest::newRow("serial number") << "Ser.no.    12345678" << L::Header << "";
        QTest::newRow("point of sale, moving") << stx + "?a" << L::Unstable << "";
        QTest::newRow("point of sale, command unknown") << stx + "?p" << L::NotUnderstood << "";
    }

    void line_says() {
        QFETCH(QString, line);
        QFETCH(Meaning, says);
        QFETCH(QString, weight);
        const std::string raw = line.toLatin1().toStdString();
        const ScaleLine l = readScaleLine(raw);
        QCOMPARE(l.meaning, says);
        const std::string read = l.meaning == Meaning::NotAMass ? l.unit : l.weight.empty() ? "" : l.weight + " " + l.unit;
        QCOMPARE(QString::fromStdString(read + (l.marked && !l.weight.empty() ? "*" : "")) +
                     (l.weight.empty() ? "" : roleName(l.role)),
                 weight);
        QCOMPARE(l.status, QByteArray(QTest::currentDataTag()).startsWith("status "));
        // Only a line known to read two ways by two rows has two readings.
        QCOMPARE(readingsOf(raw).size() > 1, QByteArray(QTest::currentDataTag()).startsWith("two rows"));
    }

    // Every line of the fuzzer's seeds reads one way, but those that are
    // known to read two.
    void seeds_readOneWay() {
        const QStringList twoWays{"S +   100.00 g"};
        QDir dir(QStringLiteral(PESOLANE_SOURCE_DIR "/fuzz/corpus/scale_line"));
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY(files.size() >= 6);
        for (const QString& name : files) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            for (QByteArray line : f.readAll().split('\n')) {
                line = line.trimmed();
                const std::size_t readings = readingsOf(line.toStdString()).size();
                QVERIFY2(readings <= 1 || twoWays.contains(QString::fromLatin1(line)), line.constData());
            }
        }
    }

    // One read: bytes before it (dropped), then its bytes in chunks ("|";
    // "~N": N ms of silence), then the time limit if no outcome came.
    void session_data() {
        QTest::addColumn<Protocol>("protocol");
        QTest::addColumn<bool>("opened");     // the link was opened just before
        QTest::addColumn<QString>("before");  // came before the read
        QTest::addColumn<QString>("chunks");
        QTest::addColumn<bool>("atOnce");     // the outcome comes before the time limit
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QString>("got");     // weight and unit, or the detail of a failure
        const Protocol C = Protocol::Command, K = Protocol::Continuous, P = Protocol::Print;
        using F = Failure;
        QTest::newRow("answer") << C << true << "" << "S S     100.25 g\r\n" << true << F::None << "100.25 g";
        QTest::newRow("acknowledged first") << C << false << "" << "S A\r\nS         8.5 g\r\n" << true << F::None << "8.5 g";
        QTest::newRow("acknowledged, moving") << C << false << "" << "S A\r|\nS?   8.5 g\n" << true << F::Unstable << "";
        QTest::newRow("busy") << C << false << "" << "S I\r\n" << true << F::CannotWeigh << "";
        QTest::newRow("over") << C << false << "" << "S +\n" << true << F::AboveCapacity << "";
        QTest::newRow("under") << C << false << "" << "S -\r" << true << F::BelowZero << "";
        QTest::newRow("negative") << C << false << "" << "S S  -  3 g\r\n" << true << F::BelowZero << "";
        QTest::newRow("command unknown") << C << false << "" << "ES\r\n" << true << F::NotUnderstood << "";
        QTest::newRow("scale's own limit") << C << false << "" << "S E\r\n" << true << F::NoStableWeight << "";
        QTest::newRow("noise") << C << false << "" << "\r\n#@!\r\n|~1000" << true << F::Garbled << "#@!";
        QTest::newRow("in pieces") << C << false << "" << "S S  1|00.2|5 g|\r\n" << true << F::None << "100.25 g";
        QTest::newRow("cut line at the limit") << C << false << "" << "S S 5 g" << false << F::Garbled << "S S 5 g";
        QTest::newRow("silence") << C << false << "" << "" << false << F::TimedOut << "";
        QTest::newRow("line too long") << C << false << "" << QString(300, '7') + " g\r\n|~1000" << true << F::Garbled
                                       << QString(40, '7');
        QTest::newRow("before the read") << C << false << "S S 1 g\r\nS S 2" << " g\r\nS S 3 g\r\n" << true << F::None << "3 g";
        QTest::newRow("moving, then stable") << K << false << "" << "US,GS,+ 1 g\r\nST,GS,+  100.25 g\r\n|~1000" << true
                                             << F::None << "100.25 g";
        QTest::newRow("moving to the end") << K << false << "" << "US,GS,+ 1 g\r\nUS,GS,+ 2 g\r\n" << false << F::Unstable << "";
        QTest::newRow("overload to the end") << K << false << "" << "OL,GS,+ 1 g\r\n" << false << F::AboveCapacity << "";
        QTest::newRow("stable negative") << K << false << "" << "ST,-  5 g\r\n" << true << F::BelowZero << "";
        QTest::newRow("noise to the end") << K << false << "" << "\x01zz\r\n" << false << F::Garbled << "\x01zz";
        QTest::newRow("first line cut") << K << true << "" << "2.34 kg\r\nST,+ 12.34 kg\r\n" << true << F::None << "12.34 kg";
        QTest::newRow("line under way at F9, its end no answer") << C << false << "S S 9" << "9.5 g\r\n|~1000" << false
                                                               << F::TimedOut << "";
        QTest::newRow("print key, first line cut") << P << true << "" << "2.34 kg\r\n|~1000|12.34 kg\r\n|~1000" << true
                                                   << F::None << "12.34 kg";
        QTest::newRow("line under way") << K << false << "ST,+ 99" << ".5 g\nST,+ 7 g\n" << true << F::None << "7 g";
        // Bare weights, without a command: settled by three equal whole
        // prints over half a second (a print is whole when the next begins),
        // never by a silence; with the print key, by the silence after it.
        auto stream = [](const QStringList& weights, int gap) {
            QStringList lines;
            for (const QString& w : weights) lines << "   " + w + " g\r\n";
            return lines.join(QStringLiteral("|~%1|").arg(gap));
        };
        QTest::newRow("print key: one line, a silence") << P << false << "" << "     12.34 kg\r\n|~999|~1" << true << F::None << "12.34 kg";
        QTest::newRow("print key, before the silence") << P << false << "" << "     12.34 kg\r\n|~999" << false << F::Unstable << "";
        QTest::newRow("print key, silence from the last byte") << P << false << "" << "   12.34 kg\r\n|~500|   13|~999" << false
                                                              << F::Unstable << "";
        QTest::newRow("print key, a print under way at F9") << P << false << "   99.0 kg\r\n" << "   12.34 kg\r\n|~999|~1|7 kg\r\n|~1000"
                                                           << true << F::None << "7 kg";
        QTest::newRow("continuous, one line then a silence") << K << false << "" << "     12.34 kg\r\n|~1000|~1000" << false
                                                            << F::UnsettledStream << "";
        QTest::newRow("continuous, changing every 1.1 s") << K << false << "" << stream({"100.0", "101.0", "100.0"}, 1100) + "|~1100"
                                                         << false << F::UnsettledStream << "";
        const QStringList steady{"100.0", "100.0", "100.0", "100.0"};
        QTest::newRow("steady stream") << K << false << "" << stream(steady, 250) << true << F::None << "100.0 g";
        QTest::newRow("steady, but not half a second") << K << false << "" << stream(steady, 166) << false << F::UnsettledStream << "";
        QTest::newRow("steady, three lines only") << K << false << "" << stream(steady.mid(1), 250) << false << F::UnsettledStream << "";
        QTest::newRow("two equal lines over more than half a second") << K << false << "" << stream({"100.0", "100.0", "101.0"}, 600)
                                                                     << false << F::UnsettledStream << "";
        QTest::newRow("steady, two lines only") << K << false << "" << "1 g\r\n|~600|1 g\r\n|~999" << false << F::UnsettledStream << "";
        QTest::newRow("moving stream") << K << false << "" << stream({"100.0", "101.0", "100.0", "101.0", "100.0"}, 250) + "|~2000"
                                       << false << F::UnsettledStream << "";
        QTest::newRow("moved, then settled") << K << false << "" << stream(QStringList{"101.0"} + steady, 250) << true << F::None
                                             << "100.0 g";
        QTest::newRow("moving stream, with a command") << C << false << "" << stream({"100.0", "101.0", "100.0"}, 300) + "|~2000"
                                                       << false << F::Unstable << "";
        QTest::newRow("bare answer, then a silence") << C << false << "" << "0012.34LB\r\n|~1000" << true << F::None
                                                     << "0012.34 lb";
        QTest::newRow("a 00 line is no status without ETX") << K << false << "" << "100.0 g\r\n00\r\n|~250|100.0 g\r\n00\r\n|~250|"
                                                                                    "100.0 g\r\n00\r\n|~250|100.0 g\r\n00\r\n"
                                                            << false << F::Garbled << "100.0 g";
        // Moving lines with more to come, after a command too; a status without a command keeps its reason.
        QTest::newRow("header stream until settled") << C << false << "" << "US,-00050.19  g\r\nUS,+00050.1  g\r\nST,+00050.20  g\r\n"
                                                     << true << F::None << "00050.20 g";
        QTest::newRow("header stream, moving to the end") << C << false << "" << "US,+00050.1  g\r\n" << false << F::Unstable << "";
        QTest::newRow("status line, no command") << K << false << "" << "S I\r\n" << false << F::CannotWeigh << "";
        QTest::newRow("adjusting, no command") << K << false << "" << "C\r\n" << false << F::CannotWeigh << "";
        QTest::newRow("status bytes of a fault, no command") << K << false << "" << "\x02 1 g\r\n08\r\x03" << false << F::CannotWeigh << "";
        QTest::newRow("count") << C << false << "" << "QT,+00000125PC\r\n|~1000" << true << F::NotTheWeight << "QT,+00000125PC";
        QTest::newRow("count in grams") << C << false << "" << "QT,+00000125 g\r\n|~1000" << true << F::NotTheWeight << "QT,+00000125 g";
        QTest::newRow("count, no command") << K << false << "" << "QT,+00000125PC\r\n|~1000" << false << F::NotTheWeight
                                           << "QT,+00000125PC";
        QTest::newRow("over, and a weight after it") << C << false << "" << "S +   100.00 g\r\n" << true << F::Ambiguous << "S +   100.00 g";
        QTest::newRow("scale's error") << C << false << "" << "Err 101\r\n" << true << F::ScaleError << "Err 101";
        QTest::newRow("fixed width, moving") << C << false << "" << "+    50.20    \r\n" << true << F::Unstable << "";
        // A print of several lines: its net, or its one weight, once it is over.
        QTest::newRow("print of several lines") << P << false << "" << "GROSS   50.20 g\r\nNo. 1\r\nTOTAL   50.20 g\r\n\r\n\r|~1000"
                                                << true << F::None << "50.20 g";
        QTest::newRow("print gross, tare, net") << C << false << "" << "G       50.20 g\r\nT       10.00 g\r\nN       40.20 g\r\n|~1000"
                                                << true << F::None << "40.20 g";
        QTest::newRow("print GROSS, TARE, NET") << P << false << "" << "GROSS  1.500 kg\r\nTARE   0.250 kg\r\nNET    1.25 kg\r\n|~1000"
                                                << true << F::None << "1.25 kg";
        QTest::newRow("print that does not add up") << P << false << "" << "G       50.20 g\r\nT       10.00 g\r\nN       40.21 g\r\n|~1000"
                                                    << true << F::Disagrees << "G       50.20 g";
        QTest::newRow("print of a tare alone") << P << false << "" << "T       10.00 g\r\n|~1000" << true << F::NotTheWeight
                                               << "T       10.00 g";
        QTest::newRow("print of two different weights") << P << false << "" << "   50.20 g\r\n   12.00 g\r\n|~1000" << true
                                                        << F::Ambiguous << "   50.20 g";
        QTest::newRow("stream, gross then net") << K << false << "" << "ST,GS,+  50.20 g\r\nST,NT,+  40.20 g\r\n" << true << F::None
                                                << "40.20 g";
        QTest::newRow("stream, net first") << K << false << "" << "ST,NT,+  40.20 g\r\nST,GS,+  50.20 g\r\n" << true << F::None
                                           << "40.20 g";
        QTest::newRow("stream, stable gross tare net") << K << false << "" << "ST,GS,+  50.20 g\r\nST,TR,+  10.00 g\r\nST,NT,+  40.20 g\r\n"
                                                       << true << F::None << "40.20 g";
        QTest::newRow("stream, stable gross tare net that do not add up")
            << K << false << "" << "ST,GS,+  50.20 g\r\nST,TR,+  10.00 g\r\nST,NT,+  40.10 g\r\n" << true << F::Disagrees
            << "ST,GS,+  50.20 g";
        QTest::newRow("stream of gross alone") << K << false << "" << "ST,GS,+  50.20 g\r\n|ST,GS,+  50.20 g\r\n" << true << F::None
                                               << "50.20 g";
        QTest::newRow("bare stream, gross tare net") << K << false << "" << "G  50 g\r\nT  10 g\r\nN  40 g\r\n|~250|G  50 g\r\nT  10 g\r\n"
                                                                             "N  40 g\r\n|~250|G  50 g\r\nT  10 g\r\nN  40 g\r\n|~250|G  50 g\r\n"
                                                     << true << F::None << "40 g";
        QTest::newRow("fixed-format output") << K << false << "" << "\x02,0 001234000000\r\x17\x02,0 0012" << true << F::None
                                             << "0012.34 kg";
        QTest::newRow("fixed-format output, moving") << K << false << "" << "\x02,8 001234000000\r\x17" << false << F::Unstable << "";
        // A weight and its status bytes, up to ETX: judged whole.
        QTest::newRow("status settled") << C << false << "" << "\n0012.34lb\r\n00\r\x03" << true << F::None << "0012.34 lb";
        QTest::newRow("status in motion") << C << false << "" << "\n0012.34lb\r\n|10\r\x03" << true << F::Unstable << "";
        QTest::newRow("status after a pause") << C << false << "" << "\n0012.34lb\r\n|~1100|10\r\x03" << true << F::Unstable << "";
        QTest::newRow("status over capacity") << C << false << "" << "\n0012.34lb\r\n02\r\x03" << true << F::AboveCapacity << "";
        QTest::newRow("status without ETX") << C << false << "" << "0012.34lb\r\n|~999|10\r\n|~1000" << false << F::Garbled
                                            << "0012.34lb";
        QTest::newRow("status alone") << C << false << "" << "\n00\r\x03" << true << F::Garbled << "00";
        QTest::newRow("framed, status after") << C << false << "" << "\x02S S 5 g\r\n|01\r\n\x03" << true << F::BelowZero << "";
        QTest::newRow("framed, no ETX") << C << false << "" << "\x02S S 5 g\r\n" << false << F::Garbled << "S S 5 g";
        QTest::newRow("a second frame before the first closed") << C << false << "" << "\x02S S 5 g\r\n\x02S S 6 g\x03" << true
                                                                << F::Garbled << "S S 5 g";
        QTest::newRow("fixed-format look-alike") << C << false << "" << "\x02   000500\r\x03" << true << F::Garbled << "   000500";
        // Cut short by motion, or beside a line no row reads: never whole.
        QTest::newRow("stable gross, then a moving net") << K << false << "" << "ST,GS,+  50.20 g\r\nUS,NT,+  40.21 g\r\n" << false
                                                         << F::Unstable << "";
        QTest::newRow("stable gross, then a moving tare") << K << false << "" << "ST,GS,+  50.20 g\r\nUS,TR,+  10.01 g\r\n" << false
                                                          << F::Unstable << "";
        QTest::newRow("a print cut short by motion") << C << false << "" << "G  50.20 g\r\nT  10.00 g\r\n? 40.21 g\r\n" << true
                                                     << F::Unstable << "";
        QTest::newRow("gross, a tare garbled into print") << K << false << "" << "ST,GS,+  50.20 g\r\nST,PR,+  10.00 g\r\nST,GS,+  50.20 g\r\n"
                                                          << false << F::UnsettledStream << "";
        QTest::newRow("gross, tare memory, its net") << P << false << "" << "G#    +    50.20 g  \r\nT1    +    10.00 g  \r\nN1    +    40.20 g  \r\n|~1000"
                                                     << true << F::None << "40.20 g";
        QTest::newRow("legends after the unit") << P << false << "" << "  60.20 kg   G\r\n  10.00 kg   T\r\n|~1000" << true << F::None << "50.20 kg";
        QTest::newRow("GMP header and footer") << C << false << "" << "--------------------\r\n14.01.2011    09:43\r\nType           SIWR\r\n"
                                                                  "Ser.no.    12345678\r\n--------------------\r\n    +    50.20 g  \r\n"
                                                                  "--------------------\r\n14.01.2011    09:45\r\nName:\r\n\r\n"
                                                                  "--------------------\r\n|~1000" << true << F::None << "50.20 g";
        QTest::newRow("a display full of dashes") << C << false << "" << "--------\r\n|~1000" << true << F::CannotWeigh << "";
        QTest::newRow("ticket, labels with a colon") << P << false << "" << "Date: 05/01/2017\r\nTime: 11:30:52\r\nNet: 25.6lb\r\n"
                                                                        "Tare: 10.3lb\r\nGross: 35.9lb\r\n|~1000" << true << F::None << "25.6 lb";
        QTest::newRow("point of sale, STX weight CR") << C << false << "" << "\x02" "0012.34LB\r|~1000" << true << F::None << "0012.34 lb";
        QTest::newRow("STX frame, CR LF: its ETX lost") << C << false << "" << "\x02" "0012.34LB\r\n|~1000" << false << F::Garbled << "0012.34LB";
        QTest::newRow("point of sale, moving") << C << false << "" << "\x02?a\r" << true << F::Unstable << "";
        QTest::newRow("gross and tare, other decimals") << P << false << "" << "GROSS   50.20 g\r\nTARE     1.0 g\r\n|~1000" << true
                                                        << F::GrossAndTare << "GROSS   50.20 g";
        QTest::newRow("gross and tare, other units") << P << false << "" << "GROSS  50.20 kg\r\nTARE   10.00 g\r\n|~1000" << true
                                                     << F::GrossAndTare << "GROSS  50.20 kg";
    }

    void session() {
        QFETCH(Protocol, protocol);
        QFETCH(bool, opened);
        QFETCH(QString, before);
        QFETCH(QString, chunks);
        QFETCH(bool, atOnce);
        QFETCH(Failure, failure);
        QFETCH(QString, got);
        ReadSession s(protocol);
        if (opened) s.opened();
        QVERIFY(!s.feed(bytes(before), 0));
        s.begin(0);
        std::optional<Weighing> w;
        Millis now = 0;
        for (const QString& chunk : chunks.split('|')) {
            QVERIFY2(!w, "an outcome before the last chunk");
            if (chunk.startsWith('~')) {
                now += chunk.mid(1).toInt();
                const std::optional<Millis> at = s.wakeAt();
                w = s.wake(now);
                if (w) QVERIFY2(at && now >= *at, "settled before the silence");
            } else {
                w = s.feed(bytes(chunk), now);
            }
        }
        QCOMPARE(w.has_value(), atOnce);
        if (!w) w = s.expire();
        QVERIFY2(!s.feed(bytes(chunks.split('|').filter(QRegularExpression("^[^~]")).join("")), now + 5000),
                 "an outcome ends the read");
        QCOMPARE(w->failure, failure);
        QCOMPARE(QString::fromStdString(failure == Failure::None ? w->weight + " " + w->unit : w->detail), got);
    }

    // Reads one after another on one session, with a command: "F9" starts a
    // read, "T" is its time limit, "X" gives it up, "O" opens the port again
    // (after a lost link), any other step is bytes
    // from the scale. Each read's outcome is listed, and each time the read
    // sends its command again.
    void answers_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("outcomes");
        QTest::newRow("late answer, then its own") << "F9|T|F9|S S 999.0 g\r\n|S S 5.0 g\r\n" << "time limit, asked again, 5.0 g";
        QTest::newRow("late answer in one piece with its own") << "F9|T|F9|S S 999.0 g\r\nS S 5.0 g\r\n"
                                                               << "time limit, 5.0 g";
        QTest::newRow("late answer between reads") << "F9|T|S S 999.0 g\r\n|F9|S S 5.0 g\r\n" << "time limit, 5.0 g";
        QTest::newRow("two late answers") << "F9|T|F9|T|F9|S I\r\nS S 999 g\r\n|S S 5 g\r\n"
                                          << "time limit, time limit, asked again, asked again, 5 g";
        QTest::newRow("late status answer") << "F9|T|F9|\n0012.34lb\r\n10\r\x03|S S 5 g\r\n" << "time limit, asked again, 5 g";
        QTest::newRow("given up, then read again") << "F9|X|F9|S S 999 g\r\n|S S 5 g\r\n" << "given up, asked again, 5 g";
        QTest::newRow("given up during its answer") << "F9|0012.34lb\r\n|X|F9|S S 5 g\r\n" << "given up, 5 g";
        QTest::newRow("scale off, then on") << "F9|T|F9|S S 5 g\r\n|S S 6 g\r\n" << "time limit, asked again, 6 g";
        QTest::newRow("missed for good, still read") << "F9|T|F9|S S 5 g\r\n|S S 6 g\r\n|F9|S S 7 g\r\n|S S 8 g\r\n"
                                                     << "time limit, asked again, 6 g, asked again, 8 g";
        QTest::newRow("slow scale, one answer behind") << "F9|T|F9|S S 1 g\r\n|T|S S 2 g\r\n|F9|S S 3 g\r\n|T"
                                                       << "time limit, asked again, late, asked again, late";
        QTest::newRow("still silent") << "F9|T|F9|T" << "time limit, time limit";
        QTest::newRow("link lost, port opened again") << "F9|X|O|F9|S S 999 g\r\n|S S 5 g\r\n" << "given up, asked again, 5 g";
        QTest::newRow("own answer unsettled") << "F9|1 g\r\n|2 g\r\n|T" << "unstable";
    }

    void answers() {
        QFETCH(QString, script);
        QFETCH(QString, outcomes);
        ReadSession s(Protocol::Command);
        s.opened();
        QStringList got;
        auto tell = [&got](const Weighing& w) {
            got << (w.failure == Failure::None ? QString::fromStdString(w.weight + " " + w.unit)
                    : w.failure == Failure::TimedOut ? "time limit"
                    : w.failure == Failure::LateAnswer ? "late"
                    : w.failure == Failure::Unstable ? "unstable"
                                                     : "other failure");
        };
        for (const QString& step : script.split('|')) {
            if (step == "F9") {
                s.begin(0);
            } else if (step == "T") {
                tell(s.expire());
            } else if (step == "X") {
                s.abandon();
                got << "given up";
            } else if (step == "O") {
                s.opened();
            } else if (std::optional<Weighing> w = s.feed(bytes(step), 0)) {
                tell(*w);
            }
            for (int asks = s.askAgain(); asks > 0; --asks) got << "asked again";
        }
        QCOMPARE(got.join(", "), outcomes);
    }

    // A weighing device's data report: ID 3, status, unit, exponent, weight
    // low byte first. Codes from the usage tables of page 0x8D: statuses 1-8
    // for usages 0x71-0x78, units 1-12 for usages 0x51-0x5C.
    void hidReport_data() {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("weight");   // "": no weight
        QTest::addColumn<Failure>("failure");  // with no weight; Unstable: waits; None: another report
        using F = Failure;
        QTest::newRow("stable, ounces, tenths") << "03040BFF3419" << "645.2 oz" << F::None;
        QTest::newRow("stable, grams") << "030402001400" << "20 g" << F::None;
        QTest::newRow("stable at zero") << "030202FF0000" << "0.0 g" << F::None;
        QTest::newRow("fault") << "030102001400" << "" << F::ScaleFault;
        QTest::newRow("in motion") << "030302001400" << "" << F::Unstable;
        QTest::newRow("under zero") << "030502001400" << "" << F::BelowZero;
        QTest::newRow("over weight") << "030602001400" << "" << F::AboveCapacity;
        QTest::newRow("needs calibration") << "030702001400" << "" << F::NeedsCalibration;
        QTest::newRow("needs re-zeroing") << "030802001400" << "" << F::NeedsRezero;
        QTest::newRow("status 9") << "030902001400" << "" << F::BadReport;
        const char* units[] = {"mg", "g", "kg", "ct", "tael", "gr", "dwt", "t", "ton", "ozt", "oz", "lb"};
        for (int code = 1; code <= 12; ++code)
            QTest::newRow(units[code - 1]) << "0304" + QString::number(code + 256, 16).mid(1) + "001400"
                                           << QStringLiteral("20 ") + units[code - 1] << F::None;
        QTest::newRow("unit 0") << "030400001400" << "" << F::UnknownUnit;
        QTest::newRow("unit 13") << "03040D001400" << "" << F::UnknownUnit;
        QTest::newRow("exponent -4") << "030402FC1400" << "0.0020 g" << F::None;
        QTest::newRow("exponent -3, one digit") << "030402FD0500" << "0.005 g" << F::None;
        QTest::newRow("exponent -2") << "030402FE3419" << "64.52 g" << F::None;
        QTest::newRow("exponent +1") << "030402011400" << "200 g" << F::None;
        QTest::newRow("exponent +1, zero") << "030202010000" << "0 g" << F::None;
        QTest::newRow("12 digits") << "03040207FFFF" << "655350000000 g" << F::None;
        QTest::newRow("13 digits") << "03040208FFFF" << "" << F::BadReport;
        QTest::newRow("12 decimals") << "030402F40500" << "" << F::BadReport;
        QTest::newRow("another report ID") << "040402001400" << "" << F::None;
        QTest::newRow("short") << "03040200" << "" << F::BadReport;
    }

    void hidReport() {
        QFETCH(QString, report);
        QFETCH(QString, weight);
        QFETCH(Failure, failure);
        const HidReport r = readHidReport(fromHex(report), commonHidLayout());
        QCOMPARE(told(r.weighing), weight);
        QCOMPARE(r.says, !weight.isEmpty() ? HidSays::Weight : failure == Failure::Unstable ? HidSays::Moving
                         : failure == Failure::None ? HidSays::Other : HidSays::Refused);
        QCOMPARE(r.weighing.failure, failure);
    }

    // Report descriptors written item by item; the sizes of the input reports by ID.
    void hidDescriptor_data() {
        QTest::addColumn<QString>("descriptor");
        QTest::addColumn<QString>("says");  // weighing, numbered, the weight's report ID, id:bytes...
        // A feature report 1; data report 3 (status, unit, scaling, Data Weight on 16 bits); status report 4.
        QTest::newRow("numbered") << "058D0920A101 8501 0930 7508 9502 B102 8503 0932 A102 0970 7508 9501 8102 0950 8102"
                                     "0941 8102 0940 7510 8102 C0 8504 0933 A102 0970 7508 9501 8102 C0 C0" << "1 1 3 3:6 4:2";
        QTest::newRow("not numbered") << "058D0920A101 0970750895018102 09508102 09418102 0940751081 02 C0" << "1 0 0 0:5";
        QTest::newRow("Data Weight with its page, report 5") << "0501 8505 0B40008D00 7508 9506 8102" << "1 1 5 5:7";
        QTest::newRow("keyboard") << "05010906A101 0507 19E0 29E7 1500 2501 7501 9508 8102 C0" << "0 0 0 0:1";
        QTest::newRow("cut in an item") << "058D 85" << "1 0 0";
    }

    void hidDescriptor() {
        QFETCH(QString, descriptor);
        QFETCH(QString, says);
        const HidLayout l = readHidDescriptor(fromHex(descriptor.remove(' ')));
        QStringList got{QString::number(l.weighing), QString::number(l.numbered), QString::number(l.dataId)};
        for (int id = 0; id < 256; ++id)
            if (l.sizes[id]) got << QStringLiteral("%1:%2").arg(id).arg(l.sizes[id]);
        QCOMPARE(got.join(' '), says);
    }

    // The reports of one read, as the device's reads cut them: "|" between
    // reads, "?" before the report given when asked; the time limit ends it.
    void hidSession_data() {
        QTest::addColumn<QString>("reads");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<Failure>("failure");
        QTest::newRow("a report cut in two reads") << "0304|02001400" << "" << Failure::BadReport;
        QTest::newRow("moving, then stable, one read") << "030302001500 030402001400" << "20 g" << Failure::None;
        QTest::newRow("another report first") << "040102030405|030401000500 030402001400" << "5 mg" << Failure::None;
        QTest::newRow("never settles") << "030302001500|030302001600" << "" << Failure::Unstable;
        QTest::newRow("silent") << "" << "" << Failure::DeviceSilent;
        QTest::newRow("cut short") << "030402" << "" << Failure::BadReport;
        QTest::newRow("asked, stable") << "?030402001400" << "20 g" << Failure::None;
        QTest::newRow("asked, moving, then settles") << "?030302001400|030402001900" << "25 g" << Failure::None;
    }

    void hidSession() {
        QFETCH(QString, reads);
        QFETCH(QString, weight);
        QFETCH(Failure, failure);
        HidSession s;
        QVERIFY(!s.feed(fromHex("030402001400")));  // before the read: never taken
        s.begin();
        std::optional<Weighing> w;
        for (QString r : reads.remove(' ').split('|', Qt::SkipEmptyParts))
            if (!w) w = r.startsWith('?') ? s.feedAsked(fromHex(r.mid(1))) : s.feed(fromHex(r));
        if (!w) w = s.expire();
        QVERIFY(!s.reading());
        QCOMPARE(told(*w), weight);
        QCOMPARE(w->failure, failure);
    }

    void messages_data() {
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QString>("message");
        QTest::newRow("denied") << Failure::PortDenied
                                << "Le port série /dev/ttyUSB0 de l'instrument de pesage n'est pas accessible : le compte "
                                   "doit appartenir au groupe dialout (sudo adduser $USER dialout, puis ouvrir une "
                                   "nouvelle session).";
        QTest::newRow("busy") << Failure::CannotWeigh
                              << "L'instrument de pesage ne peut pas peser maintenant : recommencez dans un instant.";
        QTest::newRow("searching") << Failure::Searching
                                   << "La recherche de l'instrument de pesage est en cours : attendez qu'elle finisse, ou "
                                      "annulez-la, puis recommencez la pesée.";
        QTest::newRow("above capacity") << Failure::AboveCapacity << "La charge dépasse la portée de l'instrument de pesage.";
        QTest::newRow("below zero") << Failure::BelowZero
                                    << "La pesée est négative ou sous le zéro : remettez l'instrument de pesage à zéro, "
                                       "puis recommencez.";
        QTest::newRow("scale's own limit") << Failure::NoStableWeight
                                           << "L'instrument de pesage n'a pas obtenu de pesée stable dans son propre délai : "
                                              "évitez vibrations et courants d'air, puis recommencez.";
        QTest::newRow("unstable") << Failure::Unstable
                                  << "La pesée est instable : attendez que l'affichage de l'instrument de pesage se "
                                     "stabilise, puis recommencez.";
        QTest::newRow("not understood") << Failure::Garbled
                                        << "Réponse de l'instrument de pesage incomprise : « g ». Vérifiez la vitesse, le "
                                           "format et le protocole.";
        QTest::newRow("no scale set up") << Failure::NoScale
                                         << "Aucun instrument de pesage n'est configuré ni branché en USB : indiquez son "
                                            "port série avec l'option --port, ou par « port = » dans la section [pesage] du "
                                            "fichier ~/.config/pesolane/pesolane.conf.";
        QTest::newRow("absent") << Failure::PortAbsent
                                << "Le port série /dev/ttyUSB0 de l'instrument de pesage n'existe pas : vérifiez le câble "
                                   "et le nom du port.";
        QTest::newRow("in use") << Failure::PortBusy
                                << "Le port série /dev/ttyUSB0 de l'instrument de pesage est déjà utilisé par un autre "
                                   "programme.";
        QTest::newRow("link lost") << Failure::LinkLost
                                   << "La liaison avec l'instrument de pesage (port /dev/ttyUSB0) est perdue : vérifiez le "
                                      "câble, puis recommencez la pesée.";
        QTest::newRow("time limit") << Failure::TimedOut
                                    << "L'instrument de pesage (port /dev/ttyUSB0) n'a donné aucune pesée stable en 2,5 s : "
                                       "vérifiez qu'il est allumé, relié et réglé comme le programme (vitesse, format, "
                                       "protocole).";
        QTest::newRow("command") << Failure::NotUnderstood
                                 << "L'instrument de pesage n'a pas compris la commande « SI » : vérifiez le réglage commande.";
        QTest::newRow("unsettled stream") << Failure::UnsettledStream
                                          << "La pesée est instable : attendez que l'affichage de l'instrument de pesage se "
                                             "stabilise, puis recommencez. Un instrument de pesage qui n'envoie sa pesée que "
                                             "sur sa touche d'impression se règle par « protocole = impression ».";
        QTest::newRow("two readings") << Failure::Ambiguous
                                      << "Réponse de l'instrument de pesage ambiguë : « g » se lit de deux façons, aucune "
                                         "pesée n'est prise. Vérifiez le format d'envoi de l'instrument de pesage.";
        QTest::newRow("a tare") << Failure::NotTheWeight
                                << "L'instrument de pesage a envoyé une tare ou un nombre de pièces, pas une pesée : « g ».";
        QTest::newRow("gross, tare, net") << Failure::Disagrees
                                          << "Le ticket de l'instrument de pesage se contredit : le brut moins la tare n'est "
                                             "pas le net (« g ») : recommencez la pesée.";
        QTest::newRow("USB, silent") << Failure::DeviceSilent
                                     << "L'instrument de pesage USB /dev/ttyUSB0 n'a donné aucune pesée en 2,5 s : vérifiez "
                                        "qu'il est allumé et branché.";
        QTest::newRow("units") << Failure::OtherUnit
                               << "Cette pesée est en kg, la première pesée de ce comptage en g : réglez l'instrument de "
                                  "pesage sur g, ou recommencez le comptage à l'étape 1.";
    }

    void messages() {
        QFETCH(Failure, failure);
        QFETCH(QString, message);
        const Weighing w{failure, "", "kg", "g"};
        QCOMPARE(QString::fromStdString(messageOf(w, "/dev/ttyUSB0", "SI", 2.5)), message);
    }

    // The system's words, quoted in a message, keep their accents.
    void message_keepsTheSystemsAccents() {
        const Weighing w{Failure::PortOther, "", "", "Erreur d'entrée/sortie"};
        QVERIFY(QString::fromStdString(messageOf(w, "/dev/ttyS0", "S", 1)).endsWith("Erreur d'entrée/sortie."));
    }

    void settings_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("error");  // empty: accepted
        QTest::newRow("speed") << "vitesse" << "19200" << "";
        QTest::newRow("speed not offered") << "vitesse" << "9601"
                                           << "vitesse invalide : 9601 (attendu : 300, 600, 1200, 2400, 4800, 9600, "
                                              "19200, 38400, 57600 ou 115200)";
        QTest::newRow("format") << "format" << "7e1" << "";
        QTest::newRow("format, two stop bits") << "format" << "7o2" << "";
        QTest::newRow("format unknown") << "format" << "8M1"
                                        << "format invalide : 8M1 (attendu : bits de données 7 ou 8, parité N, E ou O, "
                                           "bits d'arrêt 1 ou 2 : 8N1, 7E1, 8N2...)";
        QTest::newRow("protocol") << "protocole" << "continu" << "";
        QTest::newRow("protocol, print key") << "protocole" << "impression" << "";
        QTest::newRow("protocol unknown") << "protocole" << "auto"
                                          << "protocole invalide : auto (attendu : commande, continu, impression ou hid)";
        QTest::newRow("command with a blank") << "commande" << "S I"
                                              << "commande invalide : S I (attendu : de 1 à 16 octets : caractères "
                                                 "imprimables sans espace, \\e, \\xHH, \\r, \\n, \\t ou \\\\)";
        QTest::newRow("command end unknown") << "fin-commande" << "CRLF" << "fin-commande invalide : CRLF (attendu : crlf, cr, lf ou aucune)";
        QTest::newRow("delay, the largest") << "delai" << "600" << "";
        QTest::newRow("delay") << "delai" << "0.25" << "";
        for (const char* bad : {"0", "600.5", "1,5", "nan", "inf", "2s"})
            QTest::newRow(qPrintable(QStringLiteral("delay %1").arg(bad)))
                << "delai" << bad
                << QStringLiteral("délai invalide : %1 (attendu : un nombre de secondes écrit avec un point, plus grand "
                                  "que 0 et au plus 600)").arg(bad);
        QTest::newRow("unknown") << "vitese" << "9600" << "réglage inconnu : vitese";
    }

    void settings() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, error);
        ScaleSettings s;
        QCOMPARE(applySetting(s, key, value), error);
        QCOMPARE(s.baud, key == "vitesse" && error.isEmpty() ? 19200 : 9600);
        QCOMPARE(s.format, key == "format" && error.isEmpty() ? value.toUpper() : QString("8N1"));
        QCOMPARE(s.protocol, key != "protocole" || !error.isEmpty() ? Protocol::Command
                             : value == "impression"               ? Protocol::Print
                                                                   : Protocol::Continuous);
        QVERIFY(s.seconds == (key == "delai" && error.isEmpty() ? value.toDouble() : 10.0));
    }

    // A command as written, escapes and all, and what ends it: the bytes sent.
    void command_data() {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QByteArray>("sent");  // empty: refused
        QTest::newRow("default") << "S" << "crlf" << QByteArray("S\r\n");
        QTest::newRow("ESC P, nothing after") << "\\eP" << "aucune" << QByteArray("\x1BP");
        QTest::newRow("ENQ alone") << "\\x05" << "aucune" << QByteArray("\x05");
        QTest::newRow("LF W CR") << "\\nW" << "cr" << QByteArray("\nW\r");
        QTest::newRow("a lone s") << "s" << "aucune" << QByteArray("s");
        QTest::newRow("semicolon, tab, backslash, LF end") << "P\\x3B\\t\\\\" << "lf" << QByteArray("P;\t\\\n");
        QTest::newRow("CR within") << "W\\r" << "aucune" << QByteArray("W\r");
        QTest::newRow("hex in capitals") << "\\x1B\\x7e" << "crlf" << QByteArray("\x1B~\r\n");
        QTest::newRow("one hex digit") << "\\x5" << "crlf" << QByteArray();
        QTest::newRow("unknown escape") << "\\q" << "crlf" << QByteArray();
        QTest::newRow("backslash at the end") << "S\\" << "crlf" << QByteArray();
        QTest::newRow("17 bytes") << QString(17, 'S') << "crlf" << QByteArray();
        QTest::newRow("16 bytes") << QString(15, 'S') + "\\e" << "aucune" << QByteArray(15, 'S') + "\x1B";
    }

    void command() {
        QFETCH(QString, written);
        QFETCH(QString, end);
        QFETCH(QByteArray, sent);
        ScaleSettings s;
        QCOMPARE(applySetting(s, "fin-commande", end), QString());
        QCOMPARE(applySetting(s, "commande", written).isEmpty(), !sent.isEmpty());
        if (!sent.isEmpty()) QCOMPARE(s.command + s.commandEnd, sent);
    }

    // Every bad setting of the file is told, and a command cut by ';'.
    void settingsFile_tellsEveryProblem() {
        QTemporaryDir dir;
        const QString path = dir.filePath("pesolane.conf");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[pesage]\nvitesse=fast\nformat=9X9\ncommande=P;X\n");
        f.close();
        const ScaleSettings s = settingsFromFile(path);
        QCOMPARE(s.problems.size(), 3);
        const QString told = problemsText(s);
        for (const char* part : {"vitesse invalide : fast", "format invalide : 9X9", "coupée au « ; »"})
            QVERIFY2(told.contains(QString::fromUtf8(part)), qPrintable(told));
        // In double quotes the file reads it whole.
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[pesage]\ncommande=\"P;X\"\n");
        f.close();
        const ScaleSettings quoted = settingsFromFile(path);
        QCOMPARE(quoted.problems.size(), 0);
        QCOMPARE(quoted.command, QByteArray("P;X"));
    }
    // What the bytes heard after a probe, or while listening, say.
    void reply_data() {
        QTest::addColumn<QByteArray>("heard");
        QTest::addColumn<QByteArray>("sent");  // empty: listening
        QTest::addColumn<Heard>("says");
        QTest::newRow("nothing") << QByteArray() << QByteArray("SI\r\n") << Heard::Nothing;
        QTest::newRow("a weight") << QByteArray("S S    100.25 g\r\n") << QByteArray("SI\r\n") << Heard::Scale;
        QTest::newRow("moving") << QByteArray("S D    100.25 g\r\n") << QByteArray("SI\r\n") << Heard::Scale;
        QTest::newRow("busy") << QByteArray("S I\r\n") << QByteArray("SI\r\n") << Heard::Scale;
        QTest::newRow("the echo") << QByteArray("SI\r\n") << QByteArray("SI\r\n") << Heard::Nothing;
        QTest::newRow("the echo, then a weight") << QByteArray("\x1BP\r\n+    50.20 g  \r\n") << QByteArray("\x1BP\r\n") << Heard::Scale;
        QTest::newRow("command unknown") << QByteArray("ES\r\n") << QByteArray("IP\r\n") << Heard::CommandUnknown;
        QTest::newRow("a wrong speed") << QByteArray("\xF3\xF0\xF3\xF1\xFD\xFA") << QByteArray("SI\r\n") << Heard::Noise;
        QTest::newRow("a line, then noise") << QByteArray("S S 1 g\r\nx#~\r\n") << QByteArray("SI\r\n") << Heard::Noise;
        QTest::newRow("no line end") << QByteArray("S S 1 g") << QByteArray("SI\r\n") << Heard::Noise;
        QTest::newRow("status bytes") << QByteArray("\n0012.34lb\r\n00\r\x03") << QByteArray("W\r") << Heard::Scale;
        QTest::newRow("a stream, its first line cut") << QByteArray("0 g\r\nST,GS,+  100.25 g\r\n") << QByteArray() << Heard::Scale;
        QTest::newRow("only a cut line") << QByteArray("0 g\r\n") << QByteArray() << Heard::Noise;
    }

    void reply() {
        QFETCH(QByteArray, heard);
        QFETCH(QByteArray, sent);
        QFETCH(Heard, says);
        QCOMPARE(judgeReply(heard.toStdString(), sent.toStdString()).heard, says);
    }

    // Every byte sequence the search may send, and the bytes as they go down
    // the line one after the other: nothing that tares, zeroes, clears,
    // switches off, stands by or changes a unit in any scale whose manual
    // was read for it, even sent without a line end.
    void probes_onlyAsk() {
        QStringList sent;
        for (const Probe& p : probeTable()) sent << QString::fromStdString(spelled(p.sent + p.clear));
        QCOMPARE(sent.join(" | "), QString("SI CR LF | ESC P CR LF | IP CR LF | LF W CR | W CR | READ CR LF | G CR LF | ENQ CR LF"));
        QByteArray wire;
        for (const Trial& t : searchPlan(SearchScope{}, std::nullopt))
            if (t.probe >= 0) wire += QByteArray::fromStdString(probeTable()[std::size_t(t.probe)].sent + probeTable()[std::size_t(t.probe)].clear);
        for (const char c : QByteArray("TZCXtQ")) QVERIFY2(!wire.contains(c), QByteArray(1, c).constData());
        QVERIFY(!wire.contains("W\r\n"));
        QCOMPARE(wire.count('\x1B'), wire.count("\x1BP"));
        const QStringList lines = QString::fromLatin1(wire).split(QRegularExpression("[\r\n]+"), Qt::SkipEmptyParts);
        for (const char* acts : {"P", "R", "RZ", "ZR", "TR", "U", "ON", "OFF", "CAL", "EXC", "ST", "SZ", "S"})
            QVERIFY2(!lines.contains(acts), acts);
    }

    // The order of the trials: what is set up, then the makers' settings,
    // then the rest; listening first at each setting; options narrow it.
    void plan() {
        const std::vector<Trial> all = searchPlan(SearchScope{}, std::nullopt);
        QCOMPARE(int(all.size()), 8 * 5 * 9);
        const auto text = [](const std::vector<Trial>& plan, std::size_t n) {
            QStringList t;
            for (std::size_t i = 0; i < std::min(n, plan.size()); ++i)
                t << QString("%1 %2 %3").arg(plan[i].line.baud).arg(plan[i].line.format.c_str()).arg(plan[i].probe);
            return t.join(", ");
        };
        QCOMPARE(text(all, 13), QString("9600 8N1 -1, 9600 8N1 0, 9600 8N1 1, 9600 8N1 2, 9600 8N1 3, 9600 8N1 4, "
                                        "9600 8N1 5, 9600 8N1 6, 9600 8N1 7, 1200 7O1 -1, 1200 7O1 1, 2400 7E1 -1, 2400 7E1 0"));
        QCOMPARE(text(searchPlan(SearchScope{}, Trial{{4800, "7O1"}, 5}), 3), QString("4800 7O1 -1, 4800 7O1 5, 9600 8N1 -1"));
        SearchScope narrow;
        narrow.speeds = {2400};
        narrow.listen = false;
        narrow.probes.resize(2);
        QCOMPARE(text(searchPlan(narrow, std::nullopt), 20),
                 QString("2400 7E1 0, 2400 7E1 1, 2400 8N1 0, 2400 8N1 1, 2400 7O1 0, 2400 7O1 1, 2400 8E1 0, 2400 8E1 1, "
                         "2400 8O1 0, 2400 8O1 1"));
    }

    // USB weighing devices, then the adapters a scale is usually on (":u": a USB maker known), then the built-in ports.
    void portOrder() {
        QList<PortChoice> ports;
        for (const QString& p : QString("/dev/ttyS0 /dev/ttyUSB1:u /dev/hidraw2:h /dev/ttyS1 /dev/ttyACM0 /dev/ttyAMA0:u").split(' '))
            ports.append({p.section(':', 0, 0), {}, p.endsWith(":h"), p.endsWith(":u")});
        QStringList order;
        for (const PortChoice& p : searchOrder(ports)) order << p.name;
        QCOMPARE(order.join(' '), QString("/dev/hidraw2 /dev/ttyACM0 /dev/ttyAMA0 /dev/ttyUSB1 /dev/ttyS0 /dev/ttyS1"));
    }

    // Each format as the port object has it: a pseudo-terminal keeps none of it.
    void lineFormat_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::newRow("8N1") << "8N1" << 8 << int(QSerialPort::NoParity) << 1;
        QTest::newRow("7E1") << "7E1" << 7 << int(QSerialPort::EvenParity) << 1;
        QTest::newRow("7O1") << "7O1" << 7 << int(QSerialPort::OddParity) << 1;
        QTest::newRow("8E1") << "8E1" << 8 << int(QSerialPort::EvenParity) << 1;
        QTest::newRow("8O1") << "8O1" << 8 << int(QSerialPort::OddParity) << 1;
        QTest::newRow("7O2") << "7O2" << 7 << int(QSerialPort::OddParity) << 2;
        QTest::newRow("8N2") << "8N2" << 8 << int(QSerialPort::NoParity) << 2;
    }

    void lineFormat() {
        QFETCH(QString, format);
        QFETCH(int, dataBits);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QSerialPort port;
        setLine(port, 2400, format);
        QCOMPARE(port.baudRate(), 2400);
        QCOMPARE(int(port.dataBits()), dataBits);
        QCOMPARE(int(port.parity()), parity);
        QCOMPARE(int(port.stopBits()), stopBits);
        QByteArray bytes("\xD3\x53");  // S with its parity in bit 7, S without
        keepDataBits(bytes, format);
        QCOMPARE(bytes, dataBits == 7 ? QByteArray("SS") : QByteArray("\xD3\x53"));
    }

    // What the search found goes into [pesage]; every other line stays.
    void save_keepsTheRest_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("none") << QByteArray() << "\\eP" << QByteArray("[pesage]\nport=/dev/ttyUSB1\nvitesse=1200\nformat=7O1\nprotocole=commande\ncommande=\\\\eP\nfin-commande=crlf\n");
        QTest::newRow("kept")
            << QByteArray("; mine\n[pesage]\ndelai=3\nport=/dev/ttyS0\ncouleur=bleu\n\n[autre]\nport=x\n")
            << "\\x05"
            << QByteArray("; mine\n[pesage]\ndelai=3\ncouleur=bleu\nport=/dev/ttyUSB1\nvitesse=1200\nformat=7O1\nprotocole=commande\n"
                          "commande=\\\\x05\nfin-commande=crlf\n\n[autre]\nport=x\n");
        QTest::newRow("no LF after the last line")
            << QByteArray("[pesage]\nport=/dev/ttyS0\n\n[autre]\ncle=1") << "\\x05"
            << QByteArray("[pesage]\nport=/dev/ttyUSB1\nvitesse=1200\nformat=7O1\nprotocole=commande\ncommande=\\\\x05\n"
                          "fin-commande=crlf\n\n[autre]\ncle=1");
        QTest::newRow("a second [pesage], a Latin-1 comment")
            << QByteArray("; caf\xE9 du matin\n[pesage]\r\nvitesse=2400\r\n[autre]\nx=1\n[pesage]\ncommande = SI\nformat=8E1\ndelai=4\n")
            << "\\x05"
            << QByteArray("; caf\xE9 du matin\n[pesage]\r\nport=/dev/ttyUSB1\nvitesse=1200\nformat=7O1\nprotocole=commande\n"
                          "commande=\\\\x05\nfin-commande=crlf\n[autre]\nx=1\n[pesage]\ndelai=4\n");
        QTest::newRow("a ;") << QByteArray("[other]\na=1\n") << "P;X"
                             << QByteArray("[other]\na=1\n\n[pesage]\nport=/dev/ttyUSB1\nvitesse=1200\nformat=7O1\nprotocole=commande\n"
                                           "commande=\"P;X\"\nfin-commande=crlf\n");
    }

    void save_keepsTheRest() {
        QFETCH(QByteArray, before);
        QFETCH(QString, command);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath("sub/pesolane.conf");
        if (!before.isEmpty()) {
            QDir().mkpath(dir.filePath("sub"));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(before);
        }
        ScaleSettings found;
        for (const auto& [key, value] : {std::pair{"port", "/dev/ttyUSB1"}, {"vitesse", "1200"}, {"format", "7O1"}})
            QCOMPARE(applySetting(found, key, value), QString());
        QCOMPARE(applySetting(found, "commande", command), QString());
        QCOMPARE(saveSettings(path, found), QString());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), after);
        // Read back, it is the same link.
        const ScaleSettings read = settingsFromFile(path);
        for (const ScaleSettings::Problem& p : read.problems) QCOMPARE(p.key, QString("couleur"));  // not ours
        QCOMPARE(read.command, found.command);
        QCOMPARE(read.baud, 1200);
        QCOMPARE(read.format, QString("7O1"));
    }
};

QTEST_GUILESS_MAIN(ScaleTest)
#include "test_scale.moc"
