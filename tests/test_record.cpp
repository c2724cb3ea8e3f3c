// The record of countings: real presses in the real window, a real SQLite
// file, the export read back byte for byte, and a kill by SIGKILL.
#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>

#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "application.h"
#include "link.h"
#include "record.h"
#include "recorder.h"
#include "scale_fixture.h"
#include "scale_reading.h"
#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {

// The worked example through two lots of 500 and a press of 6 again, the
// total weight read by F9, the first sample read and then typed over.
const QByteArray kRoadCsv =
    "\xEF\xBB\xBFnuméro;date;poste;opérateur;article;précision;poids total;source poids total;poids échantillon 1;"
    "source échantillon 1;pièces échantillon 1;écart accepté;poids échantillon 2;source échantillon 2;"
    "pièces échantillon 2;nombre de pièces;incertitude;pièces du lot;poids du lot;incertitude du lot\r\n"
    "1;@;@;@;\"Vis M3 \"\"inox\"\"; boîte 7\";0,1;1000;instrument;10;saisi;50;10;53;saisi;265;5000;9,9;500;100;1,4\r\n"
    "1;@;@;@;\"Vis M3 \"\"inox\"\"; boîte 7\";0,1;1000;instrument;10;saisi;50;10;53;saisi;265;5000;9,9;500;100;1,4\r\n"
    "2;@;@;@;\"Vis M3 \"\"inox\"\"; boîte 7\";0,1;1000;instrument;10;saisi;50;10;53;saisi;265;5000;9,9;;;\r\n";

// One value of the record, read by SQL as any other program would.
QString sql(const QString& path, const char* query) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, query, -1, &st, nullptr);
    QString value = sqlite3_step(st) == SQLITE_ROW ? QString::fromUtf8((const char*)sqlite3_column_text(st, 0)) : "none";
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("absent");
}

// A window wired as the program wires it, with a record.
struct Rig {
    Rig(const ScaleSettings& s, const QString& path) : link(s) {
        new Recorder(*w, *new ScaleReading(*w, link), QFile::encodeName(path).toStdString(), "Vis M3 \"inox\"; boîte 7");
    }
    // F9 in `box`, until the scale's weight is there.
    bool read(Ctl box, const QString& weight) {
        w->textBox(box)->setFocus();
        QTest::keyClick(w->textBox(box), Qt::Key_F9);
        return QTest::qWaitFor([&] { return w.text(box) == weight; }, 5000);
    }
    ScaleLink link;
    Window w;
};

}  // namespace

class RecordTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(); }

    void road_isRecordedBeforeItShows_andExportedAsTheSpreadsheetReadsIt() {
        QTemporaryDir dir;
        const QString path = dir.filePath("comptages.db");
        SimulatedScale scale;
        scale.answers = QStringList{"S S     1000 g", "S S       10 g"};
        Rig rig(settingsFor(scale.port()), path);
        // Whenever a result box shows, the record already holds its result.
        QStringList heldWhenShown;
        struct Watch : QObject {
            std::function<void()> f;
            bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::Show ? f(), false : false; }
        } watch;
        watch.f = [&] { heldWhenShown << sql(path, "SELECT count(*) FROM comptage") + "/" + sql(path, "SELECT count(*) FROM lot"); };
        rig.w->textBox(Ctl::TxtNbTotalCalcule)->installEventFilter(&watch);
        rig.w->textBox(Ctl::TxtPoidsNbVoulu)->installEventFilter(&watch);

        rig.w.type(Ctl::TxtPrecision, "0.1");
        QVERIFY(rig.read(Ctl::TxtPoidsTotal, "1000"));
        rig.w.click(Ctl::Cmd1);
        QVERIFY(rig.read(Ctl::TxtPoidsReel1er, "10"));
        rig.w.type(Ctl::TxtPoidsReel1er, "10");  // typed over the scale's weight
        rig.w.click(Ctl::Cmd2);
        rig.w.type(Ctl::TxtPoidsTotal, "2000");  // after step 1 used the weight read: recorded as used
        for (int step = 3; step <= 7; ++step) {
            rig.w.type(kInputOf[step - 1], kRoad[step]);
            rig.w.click(kButtonOf[step - 1]);
        }
        rig.w.type(Ctl::TxtNbVoulu, "5001");         // above the count, refused: nothing recorded
        rig.w.click(Ctl::Cmd7);
        rig.w.type(Ctl::TxtNbVoulu, "500");
        rig.w.click(Ctl::Cmd7);
        rig.w.click(Ctl::Cmd6);
        QCOMPARE(heldWhenShown.join(" "), "1/0 1/1 1/2 2/2");
        QCOMPARE(sql(path, "SELECT source_poids_total || '|' || ligne_poids_total || '|' || unite_poids_total || '|' || "
                           "port_poids_total || '|' || nombre_pieces || '|' || incertitude FROM comptage"),
                 "instrument|S S     1000 g|g|" + scale.port() + "|5000,|9,9");
        QCOMPARE(sql(path, "SELECT quote(ligne_echantillon1) || quote(ligne_echantillon2) FROM comptage"), "NULLNULL");

        // The real program's export, on standard output and into a file.
        QProcess exporter;
        exporter.start(PESOLANE_PROGRAM, {"--exporter", "--journal", path});
        QVERIFY(exporter.waitForFinished(10000));
        QCOMPARE(exporter.exitCode(), 0);
        QByteArray csv = exporter.readAllStandardOutput();
        const QRegularExpression stamp(QString(";(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d);%1;%2;")
                                           .arg(QRegularExpression::escape(QSysInfo::machineHostName()),
                                                QRegularExpression::escape(getpwuid(getuid())->pw_name)));
        for (auto m = stamp.globalMatch(QString::fromUtf8(csv)); m.hasNext();) {
            const QString text = m.next().captured(1);
            const QDateTime date = QDateTime::fromString(text, Qt::ISODate), now = QDateTime::currentDateTime();
            QVERIFY2(std::abs(date.secsTo(now)) < 120 && date.offsetFromUtc() == now.offsetFromUtc(), qPrintable(text));
        }
        // The date, host and login, checked above, stand as @ in the literal.
        const auto stamped = [&](const QByteArray& b) { return b.left(3) + QString::fromUtf8(b.mid(3)).replace(stamp, ";@;@;@;").toUtf8(); };
        QCOMPARE(stamped(csv), kRoadCsv);
        QCOMPARE(QProcess::execute(PESOLANE_PROGRAM, {"--exporter", "--journal", path, dir.filePath("out.csv")}), 0);
        QCOMPARE(stamped(readAll(dir.filePath("out.csv"))), kRoadCsv);
        // Written nowhere, or over the record itself: refused, the record as it was.
        const QByteArray before = readAll(path);
        QCOMPARE(QProcess::execute(PESOLANE_PROGRAM, {"--exporter", "--journal", path, "/nonexistent/out.csv"}), 1);
        QCOMPARE(QProcess::execute(PESOLANE_PROGRAM, {"--exporter", "--journal", path, path}), 1);
        QVERIFY(readAll(path) == before);
    }

    void unwritableRecord_theResultStillShowsAndTheOperatorIsTold_data() {
        QTest::addColumn<QString>("file");     // what the path holds before
        QTest::addColumn<QString>("because");  // said after "...n'a pas été enregistré dans le journal PATH : "
        QTest::newRow("folder absent") << "absent/" << "le fichier ne peut être ouvert ni créé (dossier absent ou protégé en écriture).";
        QTest::newRow("not a record") << "numéro;date\r\n1;2\r\n" << "ce fichier n'est pas un journal de comptage de Pesolane.";
        QTest::newRow("another program's database") << "CREATE TABLE t(x);" << "ce fichier n'est pas un journal de comptage de Pesolane.";
        QTest::newRow("newer record") << "PRAGMA application_id=1347636302; PRAGMA user_version=3;"
                                      << "ce journal a été écrit par une version plus récente de Pesolane.";
    }
    void unwritableRecord_theResultStillShowsAndTheOperatorIsTold() {
        QFETCH(QString, file);
        QFETCH(QString, because);
        QTemporaryDir dir;
        QString path = dir.filePath("comptages.db");
        if (file.endsWith('/')) path = dir.filePath(file + "comptages.db");
        else if (file.contains("PRAGMA") || file.contains("CREATE")) {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(path), &db);
            sqlite3_exec(db, file.toUtf8(), nullptr, nullptr, nullptr);
            sqlite3_close(db);
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file.toUtf8()) > 0);
        }
        const QByteArray before = readAll(path);
        Rig rig(ScaleSettings{}, path);
        runRoad(rig.w, kRoad, 6);
        QCOMPARE(rig.w.text(Ctl::TxtNbTotalCalcule) + " " + rig.w.text(Ctl::TxtIncertitude2), "5000, 9,9");
        QVERIFY(rig.w->isShown(Ctl::TxtNbTotalCalcule));
        auto* alarm = rig.w->findChild<QMessageBox*>("recordAlarm");
        const QString told = "Ce comptage n'a pas été enregistré dans le journal " + path + " : " + because;
        QVERIFY(alarm && alarm->isVisible());
        QCOMPARE(alarm->text(), told);
        QCOMPARE(rig.w->findChild<QWidget*>("announcer")->accessibleName(), told);
        QVERIFY(readAll(path) == before);  // byte for byte, or still absent
        QVERIFY(!QFile::exists(path + "-journal"));
    }

    // Another window holding the record while it commits: waited for.
    void busyRecord_isWaitedFor() {
        QTemporaryDir dir;
        Record mine(dir.filePath("r.db").toStdString());
        std::thread holder([&] {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(dir.filePath("r.db")), &db);
            sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        QCOMPARE(QString::fromStdString(mine.addCounting({})), QString());
        holder.join();
        QCOMPARE(mine.latestCounting(), 1);
    }

    void export_keepsTheLocalDaysAsked_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("numbers");
        QTest::newRow("all") << "" << "" << "1 2 3";
        QTest::newRow("one day, both ends included") << "2026-12-08" << "2026-12-08" << "2 3";
        QTest::newRow("since") << "2026-12-09" << "" << "";
        QTest::newRow("until") << "" << "2026-12-07" << "1";
    }
    void export_keepsTheLocalDaysAsked() {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QTemporaryDir dir;
        Record r(dir.filePath("r.db").toStdString());
        for (const char* date : {"2026-12-07T23:59:59+01:00", "2026-12-08T00:00:00+01:00", "2026-12-08T23:59:59+01:00"})
            QCOMPARE(QString::fromStdString(r.addCounting({}, {date, "poste", "op"})), QString());
        std::string csv;
        QCOMPARE(QString::fromStdString(exportCsv(dir.filePath("r.db").toStdString(), from.toStdString(), to.toStdString(), csv)), QString());
        QStringList numbers;
        for (const QString& row : QString::fromStdString(csv).split("\r\n").mid(1, -1))
            if (!row.isEmpty()) numbers << row.section(';', 0, 0);
        QTEST(numbers.join(' '), "numbers");
    }

    // The program killed by another process right after a result showed,
    // again and again in the middle of countings: every result shown is in
    // the record, and the record reads.
    void killedRightAfterAResultShows_losesNothing() {
        QTemporaryDir dir;
        const QString path = dir.filePath("comptages.db");
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--count-until-killed", path});
        int shown = 0;
        while (shown < 25 && child.waitForReadyRead(10000))
            while (child.canReadLine()) shown += child.readLine() == "5000,\n";
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(5000));
        shown += child.readAllStandardOutput().count("5000,\n");
        QVERIFY(shown >= 25);
        std::string csv;
        QCOMPARE(QString::fromStdString(exportCsv(path.toStdString(), "", "", csv)), QString());
        QVERIFY2(QString::fromStdString(csv).count(";5000;9,9;") >= shown, csv.c_str());
        QCOMPARE(sql(path, "PRAGMA integrity_check"), "ok");
    }
};

// The process that counts until it is killed: presses 6 over and over and
// says each final count once it shows.
int countUntilKilled(const QString& path) {
    prepareApplication();
    Form1 f;
    bindSteps(f);
    ScaleLink link{ScaleSettings{}};
    new Recorder(f, *new ScaleReading(f, link), QFile::encodeName(path).toStdString(), "");
    f.show();
    f.setText(Ctl::TxtPrecision, kRoad[0]);
    f.setText(Ctl::TxtPoidsTotal, kRoad[1]);
    for (int step = 1; step <= 6; ++step) {
        if (step > 1) f.setText(kInputOf[step - 1], kRoad[step]);
        if (step < 6) f.button(kButtonOf[step - 1])->click();
    }
    for (;;) {
        f.button(Ctl::Cmd6)->click();
        QCoreApplication::processEvents();
        if (f.findChild<QMessageBox*>("recordAlarm") || !f.isShown(Ctl::TxtNbTotalCalcule)) return 1;
        std::printf("%s\n", qPrintable(f.text(Ctl::TxtNbTotalCalcule)));
        std::fflush(stdout);
    }
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--count-until-killed") return countUntilKilled(QString::fromLocal8Bit(argv[2]));
    RecordTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_record.moc"
