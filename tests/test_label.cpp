// Labels through a real CUPS scheduler (tests/with_cups.sh): each one drawn,
// sent to a queue whose jobs are kept, then read back as a person would: its
// text by pdftotext, its barcode by zbarimg, its page size by pdfinfo.
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include "application.h"
#include "label.h"
#include "label_printer.h"
#include "labels.h"
#include "link.h"
#include "recorder.h"
#include "scale_reading.h"
#include "settings.h"
#include "window_fixture.h"

using namespace pesolane;

namespace {

// The worked example's count, recorded as the 12th counting.
LabelContent workedExample() {
    LabelContent l;
    l.article = "Vis TF M3x10 « inox »";
    l.count = "5000,", l.incertitude = "9,9";
    l.when = "2026-12-08T09:14:03+01:00", l.station = "poste-3", l.operatorName = "claire";
    l.number = 12;
    return l;
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000)) return "(" + program + " did not finish)";
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The jobs the queue kept, oldest first.
QStringList jobs() {
    QDir out(qEnvironmentVariable("PESOLANE_LABELS"));
    QStringList files = out.entryList({"job-*"}, QDir::Files, QDir::Name).filter(QRegularExpression("^job-\\d+$"));
    for (QString& f : files) f = out.filePath(f);
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        return a.section('-', -1).toInt() < b.section('-', -1).toInt();
    });
    return files;
}

// The n-th job kept, once the scheduler has handed it to its device; empty if none came.
QString awaitJob(qsizetype n) {
    if (!QTest::qWaitFor([n] { return jobs().size() >= n; }, 20000)) return {};
    return jobs().at(n - 1);
}

QString textOf(const QString& pdf) { return run("pdftotext", {"-layout", pdf, "-"}).simplified(); }

}  // namespace

class LabelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(); }

    void lines_data() {
        QTest::addColumn<bool>("lot");
        QTest::addColumn<bool>("recorded");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("count") << false << true
            << QStringList{"Vis TF M3x10 « inox »", "5000 pièces ± 9,9", "08/12/2026 09:14 · poste-3 · claire",
                           "Comptage n° 12"};
        QTest::newRow("lot, not recorded") << true << false
            << QStringList{"Vis TF M3x10 « inox »", "5000 pièces ± 9,9", "Lot 2 : 500 pièces, 100 g ± 1,4 pièces",
                           "08/12/2026 09:14 · poste-3 · claire", "Comptage non enregistré"};
    }

    void lines() {
        QFETCH(bool, lot);
        QFETCH(bool, recorded);
        QFETCH(QStringList, lines);
        LabelContent l = workedExample();
        if (lot) l.lot = LabelLot{2, "500", "100,", "g", "1,4"};
        if (!recorded) l.number = 0;
        QStringList got;
        for (const LabelLine& line : labelLines(l)) got << QString::fromStdString(line.text);
        QCOMPARE(got, lines);
    }

    // Through the default queue: the text as printed, the number in the
    // barcode, the page of the roll's size; and sizes from the smallest roll
    // to A6 with a long article, wrapped, never cut.
    void printed_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("article");
        QTest::addColumn<QString>("pageSize");  // as pdfinfo says it, in whole points
        QTest::newRow("62x29") << "62x29" << "" << "176 x 82 pts";
        QTest::newRow("50x25, long article") << "50x25" << QString(40, u'é') + " fin" << "142 x 71 pts";
        QTest::newRow("A6") << "105x148" << QString("Écrou H M6 \"zingué\" ").repeated(10) << "297 x 420 pts";
    }

    void printed() {
        QFETCH(QString, format);
        QFETCH(QString, article);
        QFETCH(QString, pageSize);
        LabelSettings s;
        QCOMPARE(labelSettingTable()[1].apply(s, format), QString());
        LabelContent l = workedExample();
        if (!article.isEmpty()) l.article = article.toStdString();
        const qsizetype before = jobs().size();
        QCOMPARE(printLabelNow(l, s), QString());
        const QString pdf = awaitJob(before + 1);
        QVERIFY(!pdf.isEmpty());
        QString text = textOf(pdf);
        for (const QString& part : {QString("5000 pièces ± 9,9"), QString("08/12/2026 09:14 · poste-3 · claire"),
                                    QString("Comptage n° 12")})
            QVERIFY2(text.contains(part), qPrintable(text));
        // The article whole: every word of it, in order, whatever the wrapping.
        QVERIFY2(text.contains(QString::fromStdString(l.article).simplified()) ||
                     text.remove(' ').contains(QString::fromStdString(l.article).remove(' ')),
                 qPrintable(text));
        QVERIFY(run("pdfinfo", {pdf}).simplified().contains("Page size: " + pageSize));
        const QString png = pdf + ".png";
        run("pdftoppm", {"-r", "600", "-png", "-singlefile", pdf, pdf});
        QCOMPARE(run("zbarimg", {"--quiet", "--raw", png}).trimmed(), QString("12"));
    }

    // What the operator is told when a label cannot be printed.
    void notPrinted_data() {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<QString>("why");
        QTest::newRow("no such queue") << "inconnue" << "la file d'impression « inconnue » n'existe pas";
        QTest::newRow("stopped") << "arretee" << "l'imprimante « arretee » est arrêtée";
        QTest::newRow("refusing") << "refuse" << "l'imprimante « refuse » refuse les travaux";
    }

    void notPrinted() {
        QFETCH(QString, printer);
        QFETCH(QString, why);
        LabelSettings s;
        s.printer = printer;
        const qsizetype before = jobs().size();
        const QString failure = printLabelNow(workedExample(), s);
        QCOMPARE(failure, why);
        QTest::qWait(200);
        QCOMPARE(jobs().size(), before);
    }

    // Off the calling thread: print() returns at once, done() comes later.
    void printer_answersLater() {
        LabelPrinter printer{LabelSettings{}};
        QSignalSpy done(&printer, &LabelPrinter::done);
        const qsizetype before = jobs().size();
        printer.print(workedExample());
        QCOMPARE(done.size(), 0);
        QVERIFY(done.wait(20000));
        QCOMPARE(done.at(0).at(0).toString(), QString());
        QVERIFY(!awaitJob(before + 1).isEmpty());
    }

    // The whole road with a record and automatic labels: F2 names the article,
    // each lot's label prints by itself once the record has kept it, Ctrl+P
    // prints the latest again; then the command line prints a lot from the record.
    void road_printsEachLot_andReprints() {
        QTemporaryDir dir;
        const QString path = dir.filePath("journal.db");
        test::Window w;
        ScaleLink link{ScaleSettings{}};
        const auto* reading = new ScaleReading(*w, link);
        auto* recorder = new Recorder(*w, *reading, QFile::encodeName(path).toStdString(), "");
        LabelSettings automatic;
        automatic.automatic = true;
        new Labels(*w, *reading, recorder, automatic, "", path);
        QTimer::singleShot(200, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog && dialog->objectName() == "articleDialog");
            QTest::keyClicks(dialog->findChild<QLineEdit*>("article"), "Vis M3 inox");
            QTest::keyClick(dialog, Qt::Key_Return);
        });
        QTest::keyClick(w->textBox(Ctl::TxtPrecision), Qt::Key_F2);
        w->activateWindow();  // as the desktop does once the dialog is gone
        QVERIFY(QTest::qWaitForWindowActive(w.form.get()));
        const qsizetype before = jobs().size();
        test::runRoad(w, test::kRoad, 7);
        QString first = awaitJob(before + 1);
        w.type(Ctl::TxtNbVoulu, "250");
        w.click(Ctl::Cmd7);
        QString second = awaitJob(before + 2);
        QTest::keyClick(w->textBox(Ctl::TxtNbVoulu), Qt::Key_P, Qt::ControlModifier);
        QString again = awaitJob(before + 3);
        const QString lot1 = "Vis M3 inox 5000 pièces ± 9,9 Lot 1 : 500 pièces, 100 ± 1,4 pièces";
        const QString lot2 = "Vis M3 inox 5000 pièces ± 9,9 Lot 2 : 250 pièces, 50 ± 1 pièces";
        QVERIFY2(textOf(first).startsWith(lot1) && textOf(first).endsWith("Comptage n° 1"), qPrintable(textOf(first)));
        QVERIFY2(textOf(second).startsWith(lot2) && textOf(second).endsWith("Comptage n° 1"), qPrintable(textOf(second)));
        QCOMPARE(textOf(again), textOf(second));

        QProcess reprint;
        reprint.start(PESOLANE_PROGRAM, {"--journal", path, "--etiquette", "1", "--lot", "1"});
        QVERIFY(reprint.waitForFinished(30000));
        QCOMPARE(reprint.exitCode(), 0);
        QVERIFY2(textOf(awaitJob(before + 4)).startsWith(lot1), qPrintable(textOf(jobs().constLast())));
        // CUPS not running: told, and nothing printed.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CUPS_SERVER", dir.filePath("no-cups.sock"));
        reprint.setProcessEnvironment(env);
        reprint.start(PESOLANE_PROGRAM, {"--journal", path, "--etiquette", "1"});
        QVERIFY(reprint.waitForFinished(30000));
        QCOMPARE(reprint.exitCode(), 1);
        QVERIFY(QString::fromUtf8(reprint.readAllStandardError())
                    .contains("pesolane : l'étiquette n'a pas été imprimée : le service d'impression (CUPS) ne répond pas."));
    }
};

QTEST_MAIN(LabelTest)
#include "test_label.moc"
