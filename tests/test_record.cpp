// The record of countings: real presses in the real window, a real SQLite
// file, the export read back byte for byte, and a kill by SIGKILL.
#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>

#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
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

// Runs SQL on the file as any other program would; gives SQLite's code.
int exec(const QString& path, const QString& statements) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path), &db);
    const int rc = sqlite3_exec(db, statements.toUtf8(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}

// A record as the earlier version wrote it, with one counting.
const char* const kVersion1 = R"(CREATE TABLE comptage(numero INTEGER PRIMARY KEY AUTOINCREMENT, date TEXT NOT NULL,
  poste TEXT NOT NULL, operateur TEXT NOT NULL, article TEXT NOT NULL, precision REAL NOT NULL, poids_total REAL NOT NULL,
  poids_echantillon1 REAL NOT NULL, pieces_echantillon1 REAL NOT NULL, ecart_accepte REAL NOT NULL, poids_echantillon2
  REAL NOT NULL, pieces_echantillon2 REAL NOT NULL, nombre_pieces TEXT NOT NULL, incertitude TEXT NOT NULL, separateur
  TEXT NOT NULL, source_poids_total TEXT NOT NULL, ligne_poids_total TEXT, unite_poids_total TEXT, port_poids_total TEXT,
  source_echantillon1 TEXT NOT NULL, ligne_echantillon1 TEXT, unite_echantillon1 TEXT, port_echantillon1 TEXT,
  source_echantillon2 TEXT NOT NULL, ligne_echantillon2 TEXT, unite_echantillon2 TEXT, port_echantillon2 TEXT);
CREATE TABLE lot(id INTEGER PRIMARY KEY AUTOINCREMENT, comptage INTEGER NOT NULL REFERENCES comptage(numero),
  date TEXT NOT NULL, pieces REAL NOT NULL, poids TEXT NOT NULL, incertitude TEXT NOT NULL, separateur TEXT NOT NULL);
CREATE TRIGGER comptage_garde_maj BEFORE UPDATE ON comptage BEGIN SELECT RAISE(ABORT, 'comptage enregistré'); END;
CREATE TRIGGER comptage_garde_sup BEFORE DELETE ON comptage BEGIN SELECT RAISE(ABORT, 'comptage enregistré'); END;
CREATE TRIGGER lot_garde_maj BEFORE UPDATE ON lot BEGIN SELECT RAISE(ABORT, 'lot enregistré'); END;
CREATE TRIGGER lot_garde_sup BEFORE DELETE ON lot BEGIN SELECT RAISE(ABORT, 'lot enregistré'); END;
PRAGMA application_id = 1347636302; PRAGMA user_version = 1;
INSERT INTO comptage VALUES(NULL, '2026-12-07T16:00:00+01:00', 'poste', 'op', 'écrou', 0.1, 1000, 10, 50, 10, 53, 265,
  '5000,', '9,9', ',', 'saisi', NULL, NULL, NULL, 'saisi', NULL, NULL, NULL, 'saisi', NULL, NULL, NULL);)";

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
        QVERIFY(QDir(dir.path()).mkdir("file:a, b %41?#"));  // a folder whose name SQLite could read as a URI's
        const QString path = dir.filePath("file:a, b %41?#/comptages.db");
        SimulatedScale scale;
        scale.answers = QStringList{"S S     1000 g", "S S       10 g", "S S       53 g"};
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
            if (step == 5) {  // read and used, then typed over and used again: typed
                QVERIFY(rig.read(Ctl::TxtPoidsReel2eme, "53"));
                rig.w.click(Ctl::Cmd5);
            }
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
                 "instrument|S S     1000 g|g|" + scale.port() + "|5000" + QLocale::system().decimalPoint() + "|9" + QLocale::system().decimalPoint() + "9");
        QCOMPARE(sql(path, "SELECT quote(ligne_echantillon1) || quote(ligne_echantillon2) FROM comptage"), "NULLNULL");

        // The real program's export, on standard output (the record named
        // from its folder's folder) and into a file.
        QProcess exporter;
        exporter.setWorkingDirectory(dir.path());
        exporter.start(PESOLANE_PROGRAM, {"--exporter", "--journal", "file:a, b %41?#/comptages.db"});
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
        for (const QString& same : {path, QFileInfo(path).path() + "/./comptages.db"})
            QCOMPARE(QProcess::execute(PESOLANE_PROGRAM, {"--exporter", "--journal", path, same}), 1);
        QProcess full;  // a standard output that cannot be written
        full.setStandardOutputFile("/dev/full");
        full.start(PESOLANE_PROGRAM, {"--exporter", "--journal", path});
        QVERIFY(full.waitForFinished(10000) && full.exitCode() == 1);
        QVERIFY(readAll(path) == before);
    }

    void unwritableRecord_theResultStillShowsAndTheOperatorIsTold_data() {
        QTest::addColumn<QString>("file");     // what the path holds before
        QTest::addColumn<QString>("because");  // said after "...n'a pas été enregistré dans le journal PATH : "
        QTest::newRow("folder absent") << "absent/" << "le fichier ne peut être ouvert ni créé (dossier absent ou protégé en écriture).";
        QTest::newRow("not a record") << "numéro;date\r\n1;2\r\n" << "ce fichier n'est pas un journal de comptage de Pesolane.";
        QTest::newRow("another program's database") << "CREATE TABLE t(x);" << "ce fichier n'est pas un journal de comptage de Pesolane.";
        QTest::newRow("newer record") << "PRAGMA application_id=1347636302; PRAGMA user_version=4;"
                                      << "ce journal a été écrit par une version plus récente de Pesolane.";
        // Another program's database copied while it writes: beside it, its log, or the journal a crash leaves.
        QTest::newRow("a database and its log") << "PRAGMA journal_mode=WAL; CREATE TABLE t(x); INSERT INTO t VALUES(1);"
                                                << "ce fichier n'est pas un journal de comptage de Pesolane.";
        QTest::newRow("a database and its journal") << "PRAGMA cache_size=1; CREATE TABLE t(x); INSERT INTO t VALUES(1); BEGIN; "
                                                       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 99) "
                                                       "INSERT INTO t SELECT zeroblob(1000) FROM n;"  // spilt: the journal is live
                                                    << "ce fichier n'est pas un journal de comptage de Pesolane.";
        QTest::newRow("a folder") << "/" << "c'est un dossier, pas un fichier.";
    }
    void unwritableRecord_theResultStillShowsAndTheOperatorIsTold() {
        QFETCH(QString, file);
        QFETCH(QString, because);
        QTemporaryDir dir;
        QString path = dir.filePath("comptages.db");
        const auto files = [&path] { return readAll(path) + readAll(path + "-journal") + readAll(path + "-wal"); };
        if (file == "/") QVERIFY(QDir(dir.path()).mkdir("comptages.db"));
        else if (file.endsWith('/')) path = dir.filePath(file + "comptages.db");
        else if (file.contains("PRAGMA") || file.contains("CREATE")) {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(dir.filePath("other.db")), &db);
            sqlite3_exec(db, file.toUtf8(), nullptr, nullptr, nullptr);
            for (const char* side : {"", "-journal", "-wal"}) QFile::copy(dir.filePath("other.db") + side, path + side);
            sqlite3_close(db);
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(file.toUtf8()) > 0);
        }
        const QByteArray before = files();
        Rig rig(ScaleSettings{}, path);
        runRoad(rig.w, kRoad, 6);
        QCOMPARE(rig.w.text(Ctl::TxtNbTotalCalcule) + " " + rig.w.text(Ctl::TxtIncertitude2), "5000, 9,9");
        QVERIFY(rig.w->isShown(Ctl::TxtNbTotalCalcule));
        auto* alarm = rig.w->findChild<QMessageBox*>("recordAlarm");
        const QString told = "Ce comptage n'a pas été enregistré dans le journal " + path + " : " + because;
        QVERIFY(alarm && alarm->isVisible());
        QCOMPARE(alarm->text(), told);
        QCOMPARE(rig.w->findChild<QWidget*>("announcer")->accessibleName(), told);
        QVERIFY(files() == before);  // byte for byte with the files beside it, or still absent
        alarm->close();
        rig.w.type(Ctl::TxtNbVoulu, "5001");  // refused: nothing to record, nothing told again
        rig.w.click(Ctl::Cmd7);
        QVERIFY(!alarm->isVisible());
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

    // A record moved away between two countings: the second is not recorded,
    // and neither is a lot under it, filed under the first.
    void lotAfterACountingNotRecorded_isNotRecorded() {
        QTemporaryDir dir;
        const QString path = dir.filePath("file:r.db"), here = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        Record r("file:r.db");  // a name SQLite would read as a URI's
        QCOMPARE(QString::fromStdString(r.addCounting({})), QString());
        QVERIFY(QDir::setCurrent(here) && QFile::rename(path, dir.filePath("ailleurs.db")));
        QCOMPARE(QString::fromStdString(r.addCounting({})), "le fichier a été déplacé, renommé ou supprimé pendant la session");
        QCOMPARE(QString::fromStdString(r.addLot({})), "son comptage n'a pas été enregistré");
        QCOMPARE(sql(dir.filePath("ailleurs.db"), "SELECT count(*) FROM lot"), "0");
    }

    // Every way SQLite has to change or remove a recorded row, recursive
    // triggers off, on a record of this version and on one brought up from
    // the earlier version: refused, the file as it was.
    void guard_refusesEveryChange_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("update a lot") << "UPDATE lot SET poids = 'x'";
        QTest::newRow("delete a counting") << "DELETE FROM comptage";
        QTest::newRow("replace a counting") << "CREATE TEMP TABLE c AS SELECT * FROM comptage; UPDATE c SET article = 'x'; "
                                               "INSERT OR REPLACE INTO comptage SELECT * FROM c";
        QTest::newRow("replace a lot") << "REPLACE INTO lot SELECT id, comptage, date, pieces, 'x', incertitude, separateur, identifiant FROM lot";
        QTest::newRow("upsert a counting") << "INSERT INTO comptage SELECT * FROM comptage WHERE 1 ON CONFLICT DO UPDATE SET article = 'x'";
    }
    void guard_refusesEveryChange() {
        QFETCH(QString, change);
        for (const bool earlier : {false, true}) {
            QTemporaryDir dir;
            const QString path = dir.filePath("r.db");
            QVERIFY(!earlier || exec(path, kVersion1) == SQLITE_OK);
            Record r(path.toStdString());
            QVERIFY(r.addCounting({}).empty() && r.addLot({}).empty());
            const QByteArray before = readAll(path);
            const int rc = exec(path, "PRAGMA recursive_triggers = OFF; " + change);
            QVERIFY2(rc == SQLITE_CONSTRAINT && readAll(path) == before, qPrintable(QString("%1 (%2)").arg(rc).arg(earlier)));
        }
    }

    // A record of the earlier version, without warnings: read, and written
    // with the warning of a new counting.
    void recordOfTheEarlierVersion_isReadAndWritten() {
        QTemporaryDir dir;
        const QString path = dir.filePath("r.db");
        QCOMPARE(exec(path, kVersion1), SQLITE_OK);
        CountingEntry c;
        c.article = "vis";
        c.avertissement = "Écart faible";
        QCOMPARE(QString::fromStdString(Record(path.toStdString()).addCounting(c)), QString());
        QCOMPARE(sql(path, "SELECT group_concat(numero || ' ' || article || ' ' || avertissement, '|') FROM comptage"),
                 "1 écrou |2 vis Écart faible");
        std::string csv;
        QVERIFY(exportCsv(path.toStdString(), "", "", csv).empty() && csv.find("\r\n1;2026-12-07T16:00:00+01:00;poste;op;écrou;0,1;") != csv.npos);
    }

    void csvField_isNeverAFormulaAndKeepsItsLines() {
        const std::pair<const char*, const char*> rows[] = {
            {"Vis\nM3", "\"Vis\nM3\""}, {"=HYPERLINK(\"h\";\"v\")", "\"'=HYPERLINK(\"\"h\"\";\"\"v\"\")\""}, {"+33 1", "'+33 1"},
            {"-5", "'-5"}, {"@SOMME(A1)", "'@SOMME(A1)"}, {"M3=a+b-c@d", "M3=a+b-c@d"}, {"000123", "000123"}, {"1/2", "1/2"}};
        for (const auto& [text, field] : rows) QCOMPARE(QString::fromStdString(csvField(text)), QString(field));
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
        // The program's options say the same.
        QStringList options{"--exporter", "--journal", dir.filePath("r.db"), dir.filePath("out.csv")};
        if (!from.isEmpty()) options << "--depuis" << from;
        if (!to.isEmpty()) options << "--jusqu-a" << to;
        QCOMPARE(QProcess::execute(PESOLANE_PROGRAM, options), 0);
        QVERIFY(readAll(dir.filePath("out.csv")) == QByteArray::fromStdString(csv));
        QStringList numbers;
        for (const QString& row : QString::fromStdString(csv).split("\r\n").mid(1, -1))
            if (!row.isEmpty()) numbers << row.section(';', 0, 0);
        QTEST(numbers.join(' '), "numbers");
    }

    // What the process asks of the disk, seen by strace: each result shows
    // once the record is synchronised, its journal deleted, and then the
    // folder synchronised, without which a power cut could bring the journal
    // back and the next opening roll the result back.
    void eachResult_showsOnceOnTheDisk() {
        QTemporaryDir dir;
        const QString folder = QDir(dir.path()).canonicalPath(), path = folder + "/r.db";
        QProcess child;
        child.start("strace", {"-f", "-y", "-qq", "-o", folder + "/trace", "-e", "trace=unlink,unlinkat,fsync,fdatasync,write",
                               QCoreApplication::applicationFilePath(), "--count-lot-count", path});
        QVERIFY2(child.waitForFinished(30000) && child.exitCode() == 0, "strace is needed: ./dev.sh installs it");
        // A letter a call: D the record synchronised, J its journal deleted, F its folder synchronised, S a result shown.
        QString calls;
        const QRegularExpression call("f(?:data)?sync\\(\\d+<(.*)>\\)|unlink.*\"(.*)\"|write\\(1.*\"(shown)\"");
        for (const QString& line : QString::fromUtf8(readAll(folder + "/trace")).split('\n')) {
            const QRegularExpressionMatch m = call.match(line);
            calls += m.captured(1) == path ? "D" : m.captured(1) == folder ? "F" : m.captured(2) == path + "-journal" ? "J" : m.captured(3) == "shown" ? "S" : "";
        }
        QVERIFY2(QRegularExpression("^((F?DJF)+S){3}$").match(calls).hasMatch(), qPrintable(calls));
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

// The process traced: a counting, a lot and a counting, each said once recorded.
int countLotCount(const char* path) {
    Record r(path);
    for (int i = 0; i < 3; ++i)
        if (!(i == 1 ? r.addLot({}) : r.addCounting({})).empty() || ::write(1, "shown", 5) != 5) return 1;
    return 0;
}

int main(int argc, char** argv) {
    // Ended at once: a leak check at exit would trace the process itself, which strace already does.
    if (argc == 3 && QByteArray(argv[1]) == "--count-lot-count") std::_Exit(countLotCount(argv[2]));
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--count-until-killed") return countUntilKilled(QString::fromLocal8Bit(argv[2]));
    RecordTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_record.moc"
