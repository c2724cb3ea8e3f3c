// F9 in the real window against a scale simulated on a pseudo-terminal.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "application.h"
#include "hid_device.h"
#include "link.h"
#include "scale_fixture.h"
#include "scale_reading.h"
#include "search_dialog.h"
#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

Q_DECLARE_METATYPE(pesolane::Failure)

namespace {

// A window wired to a scale, as the program wires them.
struct Rig {
    explicit Rig(const ScaleSettings& s) : link(s) {
        new ScaleReading(*w, link);
        new SearchDialog(*w, link);
        QObject::connect(&link, &ScaleLink::finished, [this](const Weighing& o) {
            outcome = o;
            failure = o.failure;
        });
    }
    ScaleLink link;
    Window w;
    Weighing outcome;                  // of the last read
    Failure failure = Failure::None;

    // F9 in `box`, then waits until the read is over.
    bool readInto(Ctl box) {
        w->textBox(box)->setFocus();
        QTest::keyClick(w->textBox(box), Qt::Key_F9);
        return QTest::qWaitFor([&] { return !link.busy(); }, 10000);
    }
    QString said() { return w->findChild<QWidget*>("announcer")->accessibleName(); }
    // The failure message, closed; empty when none is up.
    QString takeFailure() {
        auto* box = w->findChild<QMessageBox*>("weighingAlarm");
        if (!box || !box->isVisible()) return {};
        box->close();
        w->activateWindow();  // as the desktop gives the window back its keyboard
        return QTest::qWaitForWindowActive(w.form.get()) ? box->text() : QString("not active again");
    }
};

long residentKiB() {
    QFile f("/proc/self/status");
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

}  // namespace

class ScaleLinkTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { prepareApplication(); }

    void f9_writesTheWeightAsTyped_data() {
        QTest::addColumn<int>("accepted");  // steps accepted before
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("stream");  // sent on its own every 20 ms; empty: answers the command
        QTest::addColumn<bool>("byMenu");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("total weight") << 0 << int(Ctl::TxtPoidsTotal) << "" << false << "Poids total";
        QTest::newRow("first sample, from the menu") << 1 << int(Ctl::TxtPoidsReel1er) << "" << true
                                                     << "Poids réel du premier échantillon";
        QTest::newRow("second sample, continuous") << 4 << int(Ctl::TxtPoidsReel2eme)
                                                   << "US,GS,+  0099.9 g\r\nST,GS,+  0100.250 g\r\n" << false
                                                   << "Poids réel du deuxième échantillon";
        QTest::newRow("total weight, steady bare stream") << 0 << int(Ctl::TxtPoidsTotal) << "  0100.250 g\r\n" << false
                                                          << "Poids total";
    }

    void f9_writesTheWeightAsTyped() {
        QFETCH(int, accepted);
        QFETCH(int, box);
        QFETCH(QString, stream);
        QFETCH(bool, byMenu);
        QFETCH(QString, spoken);
        const bool continuous = !stream.isEmpty();
        SimulatedScale scale;
        Rig rig(settingsFor(scale.port(), 5, continuous ? Protocol::Continuous : Protocol::Command));
        scale.answers = {"S S      0100.250 g"};
        QTimer sending;
        QObject::connect(&sending, &QTimer::timeout, [&] { scale.send(stream.toLatin1()); });
        if (continuous) sending.start(20);
        if (accepted > 0) runRoad(rig.w, kRoad, accepted);
        const QStringList shown = rig.w.shown();
        const Ctl target = Ctl(box);
        if (byMenu) {
            QLineEdit* edit = rig.w->textBox(target);
            emit edit->customContextMenuRequested(QPoint(5, 5));
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QAction* read = menu->actions().at(menu->actions().size() - 2);
            QCOMPARE(read->text(), QString("Lire le poids"));
            QCOMPARE(menu->actions().last()->text(), QString("Chercher l'instrument de pesage…"));
            QVERIFY(read->isShortcutVisibleInContextMenu() && read->shortcut() == QKeySequence(Qt::Key_F9));
            read->trigger();
            menu->close();
            QVERIFY(QTest::qWaitFor([&] { return !rig.link.busy(); }, 10000));
        } else {
            QVERIFY(rig.readInto(target));
        }
        QCOMPARE(rig.w.text(target), QString("0100.250"));
        QCOMPARE(rig.said(), spoken + " : 0100.250 g.");
        QCOMPARE(rig.w.shown(), shown);  // no button pressed
        QCOMPARE(scale.heard, continuous ? QByteArray() : QByteArray("S\r\n"));
    }

    // The road of one counting with its three weights from the scale gives
    // what the same weights typed give.
    void road_withWeightsFromTheScale() {
        SimulatedScale scale;
        Rig rig(settingsFor(scale.port()));
        scale.answers = {"S S  1000.0 g", "S S    10 g", "S S 0053.00 g"};
        Window& w = rig.w;
        w.type(Ctl::TxtPrecision, "0.1");
        QVERIFY(rig.readInto(Ctl::TxtPoidsTotal));
        w.click(Ctl::Cmd1);
        QVERIFY(rig.readInto(Ctl::TxtPoidsReel1er));
        w.click(Ctl::Cmd2);
        for (int step : {3, 4}) {
            w.type(kInputOf[step - 1], kRoad[step]);
            w.click(kButtonOf[step - 1]);
        }
        QVERIFY(rig.readInto(Ctl::TxtPoidsReel2eme));
        w.click(Ctl::Cmd5);
        w.type(Ctl::TxtNb2eme, "265");
        w.click(Ctl::Cmd6);
        QCOMPARE(w.text(Ctl::TxtNbTotalCalcule), QString("5000,"));
        QCOMPARE(w.text(Ctl::TxtIncertitude2), QString("9,9"));
        QVERIFY(w->values.PdsReelEcht2 == 53.0 && w->values.PdsTot == 1000.0 && w->values.PdsEcht1 == 10.0);
        QCOMPARE(rig.takeFailure(), QString());
    }

    void failure_leavesTheBoxAsItWas_data() {
        QTest::addColumn<QString>("port");     // empty: the scale's
        QTest::addColumn<QString>("answer");   // empty: silent
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<bool>("offered");    // the message offers the search
        QTest::newRow("busy") << "" << "S I" << Failure::CannotWeigh << false;
        QTest::newRow("above capacity") << "" << "S +" << Failure::AboveCapacity << false;
        QTest::newRow("below zero") << "" << "S -" << Failure::BelowZero << false;
        QTest::newRow("negative") << "" << "S S  -  8.5 g" << Failure::BelowZero << false;
        QTest::newRow("command unknown") << "" << "ES" << Failure::NotUnderstood << true;
        QTest::newRow("scale's own limit") << "" << "S E" << Failure::NoStableWeight << false;
        QTest::newRow("unstable") << "" << "S A\r\nS?   8.5 g" << Failure::Unstable << false;
        QTest::newRow("status after the weight: in motion") << "" << "\n0012.34lb\r\n10\r\x03" << Failure::Unstable << false;
        QTest::newRow("13 digits") << "" << "S S 1234567890123 g" << Failure::Garbled << true;
        QTest::newRow("not understood") << "" << "S S 8;5 g" << Failure::Garbled << true;
        QTest::newRow("over, or a weight") << "" << "S +   100.00 g" << Failure::Ambiguous << false;
        QTest::newRow("silent") << "" << "" << Failure::TimedOut << true;
        QTest::newRow("heard, but no weight") << "" << " " << Failure::TimedOut << false;
        QTest::newRow("no scale set up") << "none" << "" << Failure::NoScale << true;
        QTest::newRow("absent") << "/dev/pesolane-absent" << "" << Failure::PortAbsent << true;
        QTest::newRow("in use") << "held" << "" << Failure::PortBusy << false;
    }

    void failure_leavesTheBoxAsItWas() {
        QFETCH(QString, port);
        QFETCH(QString, answer);
        QFETCH(Failure, failure);
        QFETCH(bool, offered);
        SimulatedScale scale;
        ScaleLink holder(settingsFor(scale.port()));  // another program's hold on the port
        if (port == "held") {
            scale.answers = {"S S 1 g"};
            holder.read();
        }
        const QString path = port == "none" ? QString() : port.isEmpty() || port == "held" ? scale.port() : port;
        ScaleSettings settings = settingsFor(path, 0.3);
        QTemporaryDir noDevices;  // no USB weighing device plugged in, whatever this machine has
        settings.systemRoot = noDevices.path();
        Rig rig(settings);
        if (!answer.isEmpty()) scale.answers = {answer};
        rig.w.type(Ctl::TxtPoidsTotal, "typed");
        QVERIFY(rig.readInto(Ctl::TxtPoidsTotal));
        QCOMPARE(rig.failure, failure);
        // The message, shown and spoken, is the link's for that failure.
        QCOMPARE(rig.said(), rig.link.message(rig.outcome));
        QCOMPARE(rig.w->findChild<QAbstractButton*>("searchOffer")->isVisibleTo(rig.w.form.get()), offered);
        QCOMPARE(rig.takeFailure(), rig.link.message(rig.outcome));
        QCOMPARE(rig.w.text(Ctl::TxtPoidsTotal), QString("typed"));
    }

    // The search from a weight box's context menu, the window in use: found,
    // saved, and F9 reads; or cancelled, and nothing written, nothing more
    // sent. Either way no box and no step changes.
    void search_fromTheWindow_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QByteArray>("file");     // the settings file before; none: the link at 9600 bauds
        QTest::addColumn<QByteArray>("command");  // the command found
        QTest::newRow("Enregistrer") << false << QByteArray() << QByteArray("S");
        QTest::newRow("Annuler") << true << QByteArray() << QByteArray();
        // Its own command, which no probe sends, tried first; the file's bad line no hindrance.
        QTest::newRow("set up already, a bad line") << false << QByteArray("[pesage]\nport=@\nvitesse=4800\ncommande=PRT\nformat=9X9\n")
                                                    << QByteArray("PRT");
        // A scale that prints gross, tare and net on its PRINT key, pressed during the search: shown, and read, by its net.
        QTest::newRow("a print") << false << QByteArray() << QByteArray();
        // A bad line it does not write: F9 would not read with the file it writes. Nothing searched, nothing sent.
        QTest::newRow("a bad line it does not write") << false << QByteArray("[pesage]\nport=@\ndelai=2,5\n") << QByteArray("-");
    }

    void search_fromTheWindow() {
        QFETCH(bool, cancel);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, command);
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        const bool print = !cancel && command.isEmpty();
        QProcess scale;
        const QString kind = print ? "--burst --every 1.5 --stream GROSS\\x201.500\\x20kg --stream TARE\\x200.250\\x20kg --stream NET\\x201.25\\x20kg"
                               : "--command SI\\r\\n --command S\\r\\n --command PRT\\r\\n --answer S\\x20S\\x2012.5\\x20g";
        scale.start("python3", QStringList{PESOLANE_SOURCE_DIR "/tests/fake_scale.py", "--speed", "4800", "--record", dir.filePath("heard"),
                                           "--seconds", "60"} + kind.split(' '));
        QVERIFY(scale.waitForReadyRead(5000));
        const QString port = QString::fromLatin1(scale.readLine().trimmed());
        const QString conf = dir.filePath("pesolane/pesolane.conf");
        ScaleSettings settings = settingsFor(port, 5);  // 9600 bauds: not its speed
        QFile f(conf);
        if (!file.isEmpty() && QDir().mkpath(dir.filePath("pesolane")) && f.open(QIODevice::WriteOnly))
            f.write(file.replace("@", port.toLatin1())), f.close(), settings = settingsFromFile(conf);
        settings.systemRoot = dir.path();  // no USB weighing device
        Rig rig(settings);
        runRoad(rig.w, kRoad, 2);
        const QStringList shown = rig.w.shown();
        const QString total = rig.w.text(Ctl::TxtPoidsTotal), first = rig.w.text(Ctl::TxtPoidsReel1er);

        QLineEdit* edit = rig.w->textBox(Ctl::TxtPoidsReel1er);
        emit edit->customContextMenuRequested(QPoint(5, 5));
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        menu->actions().last()->trigger();
        menu->close();
        if (command == "-") {
            auto* refused = rig.w->findChild<QMessageBox*>("searchResult");
            QVERIFY(refused && refused->informativeText().contains("délai invalide : 2,5"));
            QTest::qWait(500);
            QVERIFY(!QFile::exists(dir.filePath("heard")) && QFileInfo(conf).size() == file.size());
            return;
        }
        auto* progress = rig.w->findChild<QProgressDialog*>("searchProgress");
        QVERIFY(progress && progress->isVisible());
        QCOMPARE(rig.said(), QString("Recherche de l'instrument de pesage commencée ; le bouton Annuler l'arrête."));
        QVERIFY(rig.readInto(Ctl::TxtPoidsTotal));  // the search has the port
        QCOMPARE(rig.failure, Failure::Searching);
        QCOMPARE(rig.takeFailure(), rig.link.message(rig.outcome));
        if (cancel) {
            QTest::qWait(1000);
            QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
            QCOMPARE(rig.said(), QString("Recherche de l'instrument de pesage annulée : aucun réglage n'a changé."));
            const qint64 sent = QFileInfo(dir.filePath("heard")).size();
            QTest::qWait(1000);
            QCOMPARE(QFileInfo(dir.filePath("heard")).size(), sent);
            QVERIFY(!QFile::exists(conf));
        } else {
            QMessageBox* result = nullptr;
            QVERIFY(QTest::qWaitFor([&] { return (result = rig.w->findChild<QMessageBox*>("searchResult")) != nullptr; }, 30000));
            QCOMPARE(result->informativeText(), "Port : " + port + "\nVitesse : 4800 bauds\nFormat : 8N1\nProtocole : " +
                                                    (print ? QString("impression\nPesée affichée : 1.25 kg")
                                                           : "commande\nCommande : " + command + " CR LF\nPesée affichée : 12.5 g") +
                                                    // the file's bad line under a key it writes, told as mended
                                                    (file.isEmpty() ? "" : "\nLigne fausse remplacée à l'enregistrement : format invalide : 9X9 "
                                                                           "(attendu : bits de données 7 ou 8, parité N, E ou O, bits d'arrêt 1 ou 2 : "
                                                                           "8N1, 7E1, 8N2...)"));
            QFile heard(dir.filePath("heard"));  // set up: found at its first question, asked, asked again, read
            if (!file.isEmpty()) QCOMPARE(heard.open(QIODevice::ReadOnly) ? heard.readAll() : "", (command + "\r\n").repeated(3));
            QTest::mouseClick(result->findChild<QPushButton*>("save"), Qt::LeftButton);
            QFile saved(conf);
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QCOMPARE(saved.readAll(), "[pesage]\nport=" + port.toLatin1() + "\nvitesse=4800\nformat=8N1\nprotocole=" +
                                          (print ? QByteArray("impression\n") : "commande\ncommande=" + command + "\nfin-commande=crlf\n"));
        }
        QCOMPARE(rig.w.shown(), shown);
        QCOMPARE(rig.w.text(Ctl::TxtPoidsTotal), total);
        QCOMPARE(rig.w.text(Ctl::TxtPoidsReel1er), first);
        if (cancel) return;
        rig.w->activateWindow();  // as the desktop gives it back
        QVERIFY(QTest::qWaitForWindowActive(rig.w.form.get()));
        QVERIFY(rig.readInto(Ctl::TxtPoidsReel1er));
        QCOMPARE(rig.takeFailure(), QString());
        QCOMPARE(rig.w.text(Ctl::TxtPoidsReel1er), QString(print ? "1.25" : "12.5"));
    }

    // A weight in another unit than the one still held by another weight box
    // is refused; a typed total and step 1 start a new counting.
    void otherUnit_isRefused() {
        SimulatedScale scale;
        Rig rig(settingsFor(scale.port()));
        scale.answers = {"S S 1000 g", "S S 0.010 kg", "S S 10 g"};
        rig.w.type(Ctl::TxtPrecision, "0.1");
        QVERIFY(rig.readInto(Ctl::TxtPoidsTotal));
        rig.w.click(Ctl::Cmd1);
        QVERIFY(rig.readInto(Ctl::TxtPoidsReel1er));
        QCOMPARE(rig.takeFailure(), QString("Cette pesée est en kg, la première pesée de ce comptage en g : réglez "
                                            "l'instrument de pesage sur g, ou recommencez le comptage à l'étape 1."));
        QCOMPARE(rig.w.text(Ctl::TxtPoidsReel1er), QString());
        QVERIFY(rig.readInto(Ctl::TxtPoidsReel1er));
        QCOMPARE(rig.w.text(Ctl::TxtPoidsReel1er), QString("10"));
        scale.answers = {"S S 0.02 kg"};
        rig.w.type(Ctl::TxtPoidsTotal, "1000");
        rig.w.click(Ctl::Cmd1);
        QVERIFY(rig.readInto(Ctl::TxtPoidsReel1er));
        QCOMPARE(rig.takeFailure(), QString());
        QCOMPARE(rig.w.text(Ctl::TxtPoidsReel1er), QString("0.02"));
    }

    // The command as written, what ends it, and the line's format, as set.
    void commandAndFormat_asSet() {
        SimulatedScale scale;
        ScaleSettings settings = settingsFor(scale.port());
        for (auto [key, value] : {std::pair{"commande", "\\eP"}, {"fin-commande", "aucune"}, {"format", "8N2"}})
            QCOMPARE(applySetting(settings, key, value), QString());
        Rig rig(settings);
        scale.commandEnd = 'P';
        scale.answers = {"S S 12 g"};
        QVERIFY(rig.readInto(Ctl::TxtPoidsTotal));
        QCOMPARE(rig.w.text(Ctl::TxtPoidsTotal), QString("12"));
        QCOMPARE(scale.heard, QByteArray("\x1BP"));
        // A pseudo-terminal keeps eight bits and no parity whatever is asked;
        // the stop bits it keeps.
        QVERIFY(scale.lineFlags() & CSTOPB);
    }

    // A bare stream that keeps moving gives no weight.
    void movingStream_isRefused() {
        SimulatedScale scale;
        Rig rig(settingsFor(scale.port(), 1.5, Protocol::Continuous));
        int sent = 0;
        QTimer sending;
        QObject::connect(&sending, &QTimer::timeout, [&] { scale.send(++sent % 2 ? "   100.0 g\r\n" : "   101.0 g\r\n"); });
        sending.start(100);
        rig.w.type(Ctl::TxtPoidsTotal, "typed");
        QVERIFY(rig.readInto(Ctl::TxtPoidsTotal));
        QCOMPARE(rig.failure, Failure::UnsettledStream);
        QCOMPARE(rig.takeFailure(), rig.link.message(rig.outcome));
        QCOMPARE(rig.w.text(Ctl::TxtPoidsTotal), QString("typed"));
    }

    // What the port held before it was opened is no answer: the command's is.
    void bytesBeforeOpening_areNoAnswer() {
        SimulatedScale scale;
        Rig rig(settingsFor(scale.port(), 2));
        scale.send("  12.5 g\r\nS S 9");
        scale.answers = {"S S 1 g"};
        QVERIFY(rig.readInto(Ctl::TxtPoidsTotal));
        QCOMPARE(rig.takeFailure(), QString());
        QCOMPARE(rig.w.text(Ctl::TxtPoidsTotal), QString("1"));
    }

    // The other end hangs up during a read (another process, ended): the read
    // ends as a lost link, not at its time limit, and the port is closed.
    void hangUp_isALostLink() {
        QProcess other;
        other.start("python3", {PESOLANE_SOURCE_DIR "/tests/fake_scale.py", "--seconds", "1"});
        QVERIFY(other.waitForReadyRead(5000));
        const QString port = QString::fromLatin1(other.readLine().trimmed());
        Rig rig(settingsFor(port, 8));
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(rig.readInto(Ctl::TxtPoidsTotal));
        ::getrusage(RUSAGE_SELF, &after);
        const auto cpuMs = [](const rusage& r) { return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000 + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000; };
        qInfo("hung up: read over after %lld ms, processor %ld ms", clock.elapsed(), long(cpuMs(after) - cpuMs(before)));
        QCOMPARE(rig.failure, Failure::LinkLost);
        // It may have ended already, its end seen during the read.
        QVERIFY(other.state() == QProcess::NotRunning || other.waitForFinished(5000));
        QVERIFY(rig.readInto(Ctl::TxtPoidsTotal));  // opened again: gone
        QCOMPARE(rig.failure, Failure::PortAbsent);
    }

    // What happens while the scale's answer is awaited: the read goes on (the
    // answer is written) or is over (dropped, and F9 reads again at once,
    // taking the answer to its own command, not the late one).
    void duringTheRead_data() {
        QTest::addColumn<int>("accepted");  // steps accepted before
        QTest::addColumn<int>("box");       // where F9 was pressed
        QTest::addColumn<QString>("then");  // typed, a button, F9 in a box, or the time limit
        QTest::addColumn<bool>("goesOn");
        const int total = int(Ctl::TxtPoidsTotal), first = int(Ctl::TxtPoidsReel1er), second = int(Ctl::TxtPoidsReel2eme);
        QTest::newRow("time limit, late answer in the next read") << 0 << total << "limit" << false;
        QTest::newRow("typed over") << 0 << total << "type" << false;
        QTest::newRow("its step pressed") << 0 << total << "Cmd1" << false;
        QTest::newRow("its step pressed, first sample") << 1 << first << "Cmd2" << false;
        QTest::newRow("hidden by an earlier step") << 1 << first << "Cmd1" << false;
        QTest::newRow("another step pressed") << 6 << second << "Cmd7" << true;
        QTest::newRow("another box typed into") << 1 << first << "type TxtPoidsTotal" << true;
        QTest::newRow("F9 again") << 0 << total << "F9" << true;
        QTest::newRow("F9 in another weight box") << 1 << first << "F9 TxtPoidsTotal" << true;
    }

    void duringTheRead() {
        QFETCH(int, accepted);
        QFETCH(int, box);
        QFETCH(QString, then);
        QFETCH(bool, goesOn);
        SimulatedScale scale;
        Rig rig(settingsFor(scale.port(), then == "limit" ? 0.3 : 5));
        Window& w = rig.w;
        runRoad(w, kRoad, accepted);
        if (accepted == 0) w.type(Ctl::TxtPrecision, "0.1");
        const Ctl target = Ctl(box);
        QTest::keyClick(w->textBox(Ctl::TxtPrecision), Qt::Key_F9);  // not a weight box: asks nothing
        w->textBox(target)->setFocus();
        QTest::keyClick(w->textBox(target), Qt::Key_F9);
        QTRY_COMPARE(scale.heard, QByteArray("S\r\n"));
        const QString kept = w.text(target);
        const QString other = w.text(Ctl::TxtPoidsTotal);
        const QString underWay = "Pesée en cours : attendez la réponse de l'instrument de pesage.";
        if (then == "limit") {
            QTRY_VERIFY(!rig.link.busy());
            QCOMPARE(rig.failure, Failure::TimedOut);
            QCOMPARE(rig.takeFailure(), rig.link.message(rig.outcome));
        } else if (then.startsWith("type")) {
            w.type(then == "type" ? target : Ctl::TxtPoidsTotal, "500");
        } else if (then.startsWith("Cmd")) {
            w.click(ctlNamed(then));
        } else {
            QLineEdit* at = w->textBox(then == "F9" ? target : Ctl::TxtPoidsTotal);
            at->setFocus();
            QTest::keyClick(at, Qt::Key_F9);
            QCOMPARE(rig.said(), underWay);
            QTRY_COMPARE(QToolTip::text(), underWay);
        }
        QCOMPARE(rig.link.busy(), goesOn);
        QCOMPARE(rig.takeFailure(), QString());
        const QString after = w.text(target);
        if (goesOn) {
            scale.send("S S 12 g\r\n");
            QTRY_VERIFY(!rig.link.busy());
            QCOMPARE(w.text(target), QString("12"));
            if (target != Ctl::TxtPoidsTotal && !then.startsWith("type")) QCOMPARE(w.text(Ctl::TxtPoidsTotal), other);
            QCOMPARE(scale.heard, QByteArray("S\r\n"));  // one command
        } else {
            QCOMPARE(after, then == "type" ? QString("500") : kept);
            if (!w->isShown(target)) return;
            // The late answer comes after the next command: dropped; the next is taken.
            w->textBox(target)->setFocus();
            QTest::keyClick(w->textBox(target), Qt::Key_F9);
            QTRY_COMPARE(scale.heard, QByteArray("S\r\nS\r\n"));
            scale.send("S S 999.0 g\r\n");
            QTest::qWait(50);
            QCOMPARE(w.text(target), after);
            scale.send("S S 5.0 g\r\n");
            QTRY_VERIFY(!rig.link.busy());
            QCOMPARE(rig.takeFailure(), QString());
            QCOMPARE(w.text(target), QString("5.0"));
        }
    }

    // The cable pulled during a read is told; the next read opens the port again.
    void lostLink_thenOpenedAgain() {
        QTemporaryDir dir;
        const QString port = dir.filePath("scale");
        auto scale = std::make_unique<SimulatedScale>();
        QVERIFY(QFile::link(scale->port(), port));
        Rig rig(settingsFor(port, 1));
        rig.w->textBox(Ctl::TxtPoidsTotal)->setFocus();
        QTest::keyClick(rig.w->textBox(Ctl::TxtPoidsTotal), Qt::Key_F9);
        QTRY_COMPARE(scale->heard, QByteArray("S\r\n"));
        scale->unplug();
        QTRY_VERIFY(!rig.link.busy());
        QCOMPARE(rig.failure, Failure::LinkLost);
        QCOMPARE(rig.takeFailure(), rig.link.message(rig.outcome));
        // The answer to the command sent before the loss may still come: the
        // first answer after it may be that one, so the read asks again and
        // takes the second, certainly its own.
        scale = std::make_unique<SimulatedScale>();
        scale->answers = {"S S 7 g", "S S 8 g"};
        QFile::remove(port);
        QVERIFY(QFile::link(scale->port(), port));
        QVERIFY(rig.readInto(Ctl::TxtPoidsTotal));
        QCOMPARE(rig.takeFailure(), QString());
        QCOMPARE(rig.w.text(Ctl::TxtPoidsTotal), QString("8"));
        QCOMPARE(scale->heard, QByteArray("S\r\nS\r\n"));
    }

    // F9 against a USB weighing device (a FIFO for its node, a folder for
    // sysfs): what it sent before F9 is never taken; unplugged, then plugged
    // in again, it reads at the next F9.
    void hid_data() {
        QTest::addColumn<QString>("port");  // found: none set up, the one weighing device in sysfs
        QTest::addColumn<QString>("sent");  // before F9 | after it, "*": every 5 ms, "x": unplugged
        QTest::addColumn<QString>("weight");  // "": the box unchanged
        QTest::addColumn<Failure>("failure");
        using F = Failure;
        QTest::newRow("stable") << "fifo" << "|030402001400" << "20" << F::None;
        QTest::newRow("found in sysfs") << "found" << "|03040BFF3419" << "645.2" << F::None;
        QTest::newRow("two found") << "two found" << "|" << "" << F::SeveralDevices;
        QTest::newRow("only changes: the last one before F9") << "fifo" << "030402001400|" << "" << F::DeviceSilent;
        QTest::newRow("stable, then moves") << "fifo" << "030402001400|030302001500*" << "" << F::Unstable;
        QTest::newRow("a flood in motion") << "fifo" << "|" + QString("030302001500").repeated(50) + "*" << "" << F::Unstable;
        QTest::newRow("under zero") << "fifo" << "|030502001400" << "" << F::BelowZero;
        QTest::newRow("short report") << "fifo" << "|030402" << "" << F::BadReport;
        QTest::newRow("unplugged during the read") << "fifo" << "|x" << "20" << F::LinkLost;
        // Typed over during the read ("t"): given up, its report comes too late for the box. No outcome at all.
        QTest::newRow("typed over, then its report") << "fifo" << "|t030402001400" << "500" << F::TimedOut;
    }

    void hid() {
        QFETCH(QString, port);
        QFETCH(QString, sent);
        QFETCH(QString, weight);
        QFETCH(Failure, failure);
        QTemporaryDir root;
        auto device = [&](const char* name, const char* hex) {  // its report descriptor in sysfs
            const QString dir = root.filePath(QStringLiteral("sys/class/hidraw/%1/device").arg(name));
            QFile f(dir + "/report_descriptor");
            return QDir().mkpath(dir) && f.open(QIODevice::WriteOnly) && f.write(QByteArray::fromHex(hex)) > 0;
        };
        const char* scaleDescriptor = "058D 8503 0940 7528 9501 8102";  // report 3: Data Weight among 40 bits
        QVERIFY(device("hidraw3", "05010906A101 0507 19E0 29E7 1500 2501 7501 9508 8102 C0") && device("hidraw7", scaleDescriptor) &&
                (port != "two found" || device("hidraw8", scaleDescriptor)) && QDir(root.path()).mkpath("dev"));
        SimulatedHidScale scale(root.filePath(port == "fifo" ? "scale" : "dev/hidraw7"));
        ScaleSettings settings = settingsFor(port == "fifo" ? scale.port : QString(), 0.5);
        settings.hid = port == "fifo";
        settings.systemRoot = root.path();
        Rig rig(settings);
        rig.failure = Failure::TimedOut;
        const QByteArray after = sent.section('|', 1).remove('*').toLatin1();
        QTimer sending;
        QObject::connect(&sending, &QTimer::timeout, [&] { scale.send(after); });
        scale.send(sent.section('|', 0, 0).toLatin1());
        rig.w.type(Ctl::TxtPoidsTotal, "typed");
        for (int read = 0; read < (after == "x" ? 2 : 1); ++read) {
            if (read == 1) scale.plug();  // plugged in again
            rig.w->textBox(Ctl::TxtPoidsTotal)->setFocus();
            QTest::keyClick(rig.w->textBox(Ctl::TxtPoidsTotal), Qt::Key_F9);
            if (read == 1) scale.send("030402001400");
            else if (after == "x") scale.unplug();
            else if (after.startsWith('t')) rig.w.type(Ctl::TxtPoidsTotal, "500"), scale.send(after.mid(1)), QTest::qWait(300);
            else scale.send(after), sent.endsWith('*') ? sending.start(5) : void();
            QVERIFY(QTest::qWaitFor([&] { return !rig.link.busy(); }, 5000));
            QCOMPARE(rig.failure, read == 1 ? Failure::None : failure);
            rig.takeFailure();
        }
        QCOMPARE(rig.w.text(Ctl::TxtPoidsTotal), weight.isEmpty() ? "typed" : weight);
    }

    // Asked for its current report, a device that sends only changes gives
    // it; where asking fails, the next report it sends is taken.
    void hid_asksForTheCurrentReport_data() {
        QTest::addColumn<QByteArray>("answer");  // to the ask; empty: asking fails
        QTest::addColumn<bool>("lost");          // unplugged during an earlier read, its ask answered late
        QTest::addColumn<QString>("weight");
        QTest::newRow("answers") << QByteArray("030402001900") << false << "25 g";
        QTest::newRow("asking fails") << QByteArray() << false << "30 g";
        QTest::newRow("the answer to an ask from before the loss") << QByteArray() << true << "30 g";
    }

    void hid_asksForTheCurrentReport() {
        QFETCH(QByteArray, answer);
        QFETCH(bool, lost);
        QFETCH(QString, weight);
        QTemporaryDir root;
        SimulatedHidScale scale(root.filePath("scale"));
        ScaleSettings settings = settingsFor(scale.port, 2);
        std::atomic<int> askedFor{0}, asks{0};
        std::atomic<bool> late{!lost};
        HidReader reader(settings, nullptr, [&](int, std::uint8_t id, std::size_t size) {
            if (++asks == 1 && lost) {  // held until the next read is under way: 20 g, the weight before the loss
                while (!late) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return QByteArray::fromHex("030402001400");
            }
            const QByteArray given = QByteArray::fromHex(answer);
            return askedFor = id * 100 + int(size), given;  // the test may end once told
        });
        const auto release = qScopeGuard([&] { late = true; });
        Weighing got;
        QObject::connect(&reader, &HidReader::finished, [&](const Weighing& w) { got = w; });
        if (lost) {
            reader.read();
            QTRY_COMPARE(asks.load(), 1);
            scale.unplug();
            QTRY_VERIFY(!reader.busy());
            scale.plug();
        }
        scale.send("030402001400");  // before the read
        reader.read();
        QTRY_COMPARE(askedFor.load(), 306);  // report 3, six bytes
        late = true, QTest::qWait(lost ? 100 : 0);
        scale.send("030402001E00");
        QTRY_VERIFY(!reader.busy());
        QCOMPARE(QString::fromStdString(got.weight + " " + got.unit), weight);
    }

    // A scale that sends as fast as the line goes: the window keeps
    // answering, F9 still reads, and memory stays flat.
    void continuousFlood() {
        SimulatedScale scale;
        Rig rig(settingsFor(scale.port(), 5, Protocol::Continuous));
        std::atomic<bool> go{true};
        std::thread flood([&] {
            while (go) scale.send("ST,GS,+  100.25 g\r\nUS,GS,+  100.2 g\r\n");
        });
        const long before = residentKiB();
        QElapsedTimer clock, gap;
        qint64 longest = 0;
        clock.start();
        gap.start();
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
        tick.start(10);
        int reads = 0;
        while (clock.elapsed() < 3000) {
            rig.w.type(Ctl::TxtPoidsTotal, "x");
            reads += rig.readInto(Ctl::TxtPoidsTotal) && rig.w.text(Ctl::TxtPoidsTotal) == "100.25";
        }
        go = false;
        flood.join();
        const long grown = residentKiB() - before;
        qInfo("%d reads in 3 s, longest pause %lld ms, resident memory %+ld KiB", reads, longest, grown);
        QVERIFY(reads > 10);
        QVERIFY2(longest < 1000, "the window stopped answering");
#ifndef __SANITIZE_ADDRESS__  // AddressSanitizer holds freed memory back, up to 256 MiB
        QVERIFY2(grown < 64 * 1024, "memory grows with what the scale sends");
#endif
    }
};

QTEST_MAIN(ScaleLinkTest)
#include "test_scale_link.moc"
