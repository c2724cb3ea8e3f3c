// The site's server: a real PostgreSQL 15 of the test's own (with_postgres.sh),
// stations sending over 127.0.0.1 with their passwords from a password file,
// the administrator on the Unix socket, the real window, and a SIGKILL.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <libpq-fe.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "application.h"
#include "form1.h"
#include "link.h"
#include "notice.h"
#include "record.h"
#include "recorder.h"
#include "scale_reading.h"
#include "sending.h"
#include "server.h"
#include "window_fixture.h"

using namespace pesolane;
using namespace pesolane::test;

namespace {

const QByteArray kSocket = qgetenv("PESOLANE_PG_SOCKET"), kPort = qgetenv("PESOLANE_PG_PORT");

std::string admin(const char* db = "pesolane") {
    return "host=" + kSocket.toStdString() + " port=" + kPort.toStdString() + " user=admin dbname=" + db;
}
// A station's login over TCP: its password comes from the password file.
std::string overTcp(const char* user, const char* db = "pesolane") {
    return "postgresql://" + std::string(user) + "@127.0.0.1:" + kPort.toStdString() + "/" + db + "?connect_timeout=5";
}

// Runs SQL as `who`; gives the first value, "" for no row, or "refusé: SQLSTATE".
QString query(const std::string& who, const std::string& sql) {
    PGconn* c = PQconnectdb(who.c_str());
    PGresult* r = PQexec(c, sql.c_str());
    std::string v;
    if (PQresultStatus(r) == PGRES_TUPLES_OK) v = PQntuples(r) ? PQgetvalue(r, 0, 0) : "";
    else if (PQresultStatus(r) != PGRES_COMMAND_OK) v = std::string("refusé: ") + (PQresultErrorField(r, PG_DIAG_SQLSTATE) ?: "?");
    PQclear(r);
    PQfinish(c);
    return QString::fromStdString(v);
}

QString local(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    const int rc = sqlite3_step(st);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    std::string v = rc == SQLITE_ROW && text ? text : "none " + std::to_string(rc) + " " + sqlite3_errmsg(db);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return QString::fromStdString(v);
}

void ctl(const char* what) { QCOMPARE(QProcess::execute(qEnvironmentVariable("PESOLANE_PG_CTL"), {what}), 0); }

// `n` countings of station `host`, each with a lot: the first through the
// record, the others copied from it in one transaction.
void fill(const QString& path, const char* host, int n) {
    {
        Record r(path.toStdString());
        CountingEntry c;
        c.article = "vis 0";
        c.precis = 0.1, c.PdsTot = 1000, c.PdsEcht1 = 10, c.NbEcht1 = 50, c.EcartChoisi = 10, c.PdsReelEcht2 = 53.3;
        c.NbEcht2 = 265, c.NbTotFinal = "5000,", c.Incert2 = "9,9";
        QVERIFY(r.addCounting(c, {"2026-12-08T09:14:03+01:00", host, "op"}).empty());
        QVERIFY(r.addLot({500, "100,", "1,4", ","}).empty());
    }
    if (n == 1) return;
    const std::string copies = "BEGIN; WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < " +
        std::to_string(n - 1) + R"()
      INSERT INTO comptage(date, poste, operateur, article, precision, poids_total, poids_echantillon1, pieces_echantillon1,
        ecart_accepte, poids_echantillon2, pieces_echantillon2, nombre_pieces, incertitude, separateur, source_poids_total,
        source_echantillon1, source_echantillon2, avertissement, identifiant)
      SELECT date, poste, operateur, 'vis ' || i, precision, poids_total + i / 3.0, poids_echantillon1, pieces_echantillon1,
        ecart_accepte, poids_echantillon2, pieces_echantillon2, nombre_pieces, incertitude, separateur, source_poids_total,
        source_echantillon1, source_echantillon2, avertissement, lower(hex(randomblob(16))) FROM comptage, k WHERE numero = 1;
      INSERT INTO lot(comptage, date, pieces, poids, incertitude, separateur, identifiant)
        SELECT numero, date, 500, '100,', '1,4', ',', lower(hex(randomblob(16))) FROM comptage WHERE numero > 1;
      COMMIT;)";
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path), &db);
    const int rc = sqlite3_exec(db, copies.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(rc, SQLITE_OK);
}

std::string serverCsv(const std::string& who, const std::string& station) {
    std::string csv;
    const std::string failed = exportServerCsv(who, station, "", "", [&csv](const std::string& s) { return csv += s, true; });
    return failed.empty() ? csv : "échec: " + failed;
}

}  // namespace

class ServerTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase() {
        prepareApplication();
        QVERIFY2(!kSocket.isEmpty(), "run under tests/with_postgres.sh");
        // The administrator prepares the server with the program itself, twice.
        for (const char* said : {"Le serveur est prêt", "Le serveur était déjà prêt"}) {
            QProcess p;
            p.start(PESOLANE_PROGRAM, {"--preparer-serveur", "--serveur", QString::fromStdString(admin())});
            QVERIFY(p.waitForFinished(30000));
            QVERIFY2(p.exitCode() == 0 && p.readAllStandardOutput().startsWith(said), p.readAllStandardError());
        }
        QCOMPARE(query(admin(), "CREATE DATABASE autre"), "");
        QCOMPARE(query(admin(), "CREATE DATABASE futur"), "");
        bool already = true;
        QVERIFY(prepareServer(admin("futur"), already).empty() && !already);
        QCOMPARE(query(admin("futur"), "INSERT INTO pesolane.version VALUES (2)"), "");
        for (const char* role : {"poste_a LOGIN PASSWORD 'a' IN ROLE pesolane_poste", "poste_b LOGIN PASSWORD 'b' IN ROLE pesolane_poste",
                                 "stock LOGIN PASSWORD 's' IN ROLE pesolane_stock", "intrus LOGIN PASSWORD 'i'"})
            QCOMPARE(query(admin(), std::string("CREATE ROLE ") + role), "");
        QFile pass(dir.filePath("pgpass"));
        QVERIFY(pass.open(QIODevice::WriteOnly));
        pass.write("*:*:*:poste_a:a\n*:*:*:poste_b:b\n*:*:*:stock:s\n*:*:*:intrus:i\n*:*:*:poste_faux:x\n");
        pass.close();
        pass.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        qputenv("PGPASSFILE", QFile::encodeName(pass.fileName()));
        QCOMPARE(query(admin(), "CREATE ROLE poste_faux LOGIN PASSWORD 'autre' IN ROLE pesolane_poste"), "");
    }

    void afterSend_tellsOnceEachWay_andWaitsLongerUpToAMinute() {
        const SendOutcome down{ServerStatus::Unreachable, 0, 0, "le serveur ne répond pas"};
        const SendOutcome refused{ServerStatus::Refused, 0, 0, "le serveur refuse"}, done{};
        const std::pair<SendOutcome, int> rows[] = {{done, -1}, {down, 1000}, {down, 2000}, {refused, 4000}, {down, 8000},
                                                    {down, 16000}, {down, 32000}, {down, 60000}, {down, 60000},
                                                    {done, -1}, {done, -1}, {refused, 1000}};
        SendingState state;
        QStringList told;
        for (const auto& [outcome, retry] : rows) {
            const AfterSend after = afterSend(state, outcome);
            QCOMPARE(after.retryMs, retry);
            if (!after.tell.empty()) told << QString::fromStdString(after.tell).section(':', 0, 0);
        }
        QCOMPARE(told, QStringList({"Les comptages ne sont plus envoyés au serveur du site ",
                                    "Les comptages sont de nouveau envoyés au serveur du site ",
                                    "Les comptages ne sont plus envoyés au serveur du site "}));
    }

    void server_isCheckedBeforeAnythingIsSent_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("because");
        QTest::newRow("a station") << QString::fromStdString(overTcp("poste_a")) << int(ServerStatus::Done) << "";
        QTest::newRow("on the socket") << QString::fromStdString(admin()) << int(ServerStatus::Done) << "";
        QTest::newRow("a wrong password") << QString::fromStdString(overTcp("poste_faux")) << int(ServerStatus::Refused)
                                          << "le serveur refuse la connexion : ";
        QTest::newRow("not a record") << QString::fromStdString(overTcp("poste_a", "autre")) << int(ServerStatus::Refused)
                                      << "ce serveur n'est pas un journal de Pesolane";
        QTest::newRow("a newer version") << QString::fromStdString(overTcp("poste_a", "futur")) << int(ServerStatus::Refused)
                                         << "le journal du site a été préparé par une version plus récente de Pesolane (version 2)";
        QTest::newRow("not a station") << QString::fromStdString(overTcp("intrus")) << int(ServerStatus::Refused)
                                       << "le rôle intrus n'a pas le droit d'envoyer";
        QTest::newRow("nobody there") << "postgresql://poste_a@127.0.0.1:1/pesolane" << int(ServerStatus::Unreachable)
                                      << "le serveur ne répond pas : ";
        QTest::newRow("miswritten") << "hote=stock" << int(ServerStatus::Refused) << "la connexion au serveur est mal écrite";
    }
    void server_isCheckedBeforeAnythingIsSent() {
        QFETCH(QString, server);
        QFETCH(int, status);
        QFETCH(QString, because);
        const SendOutcome o = checkServer(server.toStdString());
        QVERIFY2(int(o.status) == status && QString::fromStdString(o.problem).startsWith(because), o.problem.c_str());
        // What --etat-journal says of it, with one counting waiting: 2 refused, else 1.
        const QString path = dir.filePath(QString("etat-%1.db").arg(QTest::currentDataTag()).replace(' ', '-'));
        fill(path, "banc-etat", 1);
        QProcess p;
        p.start(PESOLANE_PROGRAM, {"--etat-journal", "--journal", path, "--serveur", server});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), status == int(ServerStatus::Refused) ? 2 : 1);
        QVERIFY(p.readAllStandardOutput().startsWith("1 comptage et 1 lot attendent d'être envoyés au serveur, depuis le 2026-12-08T09:14:03+01:00.\n"));
    }

    void stationRoles_onlyAdd_andReadOnlyTheirOwn_data() {
        QTest::addColumn<QString>("who");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("answer");
        const QString a = QString::fromStdString(overTcp("poste_a")), stock = QString::fromStdString(overTcp("stock"));
        QTest::newRow("update") << a << "UPDATE pesolane.comptage SET article = 'x'" << "refusé: 42501";
        QTest::newRow("delete") << a << "DELETE FROM pesolane.lot" << "refusé: 42501";
        QTest::newRow("truncate") << a << "TRUNCATE pesolane.comptage CASCADE" << "refusé: 42501";
        QTest::newRow("read a whole row") << a << "SELECT article FROM pesolane.comptage" << "refusé: 42501";
        QTest::newRow("another station's") << a << "SELECT count(*) FROM pesolane.comptage WHERE envoye_par = 'poste_b'" << "0";
        QTest::newRow("its own") << a << "SELECT count(*) FROM pesolane.comptage" << "2";
        QTest::newRow("send as another") << a << "INSERT INTO pesolane.comptage (identifiant, envoye_par) "
                                                 "VALUES (gen_random_uuid(), 'poste_b')" << "refusé: 42501";
        QTest::newRow("the stock system reads all") << stock << "SELECT count(*) FROM pesolane.comptage" << "4";
        QTest::newRow("the stock system adds nothing") << stock << "INSERT INTO pesolane.version VALUES (1)" << "refusé: 42501";
        QTest::newRow("not even the owner changes") << QString::fromStdString(admin()) << "UPDATE pesolane.lot SET poids = 'x'"
                                                    << "refusé: 42501";
    }
    void stationRoles_onlyAdd_andReadOnlyTheirOwn() {
        QFETCH(QString, who);
        QFETCH(QString, sql);
        QFETCH(QString, answer);
        static const bool sent = [this] {
            for (const char* s : {"a", "b"}) {
                const QString path = dir.filePath(QString("roles-%1.db").arg(s));
                fill(path, (std::string("banc-") + s).c_str(), 2);
                if (sendWaiting(path.toStdString(), overTcp((std::string("poste_") + s).c_str())).status != ServerStatus::Done) return false;
            }
            return true;
        }();
        QVERIFY(sent);
        QCOMPARE(query(who.toStdString(), sql.toStdString()), answer);
    }

    // Kept as sent only what the server committed, and only what this station sent.
    void notCommitted_orAnotherStations_staysWaiting() {
        QCOMPARE(query(admin(), R"(CREATE FUNCTION public.au_commit() RETURNS trigger LANGUAGE plpgsql AS $$
            BEGIN IF NEW.article = 'refusé au commit' THEN RAISE EXCEPTION 'refusé au commit'; END IF; RETURN NULL; END $$;
            CREATE CONSTRAINT TRIGGER au_commit AFTER INSERT ON pesolane.comptage DEFERRABLE INITIALLY DEFERRED
              FOR EACH ROW EXECUTE FUNCTION public.au_commit())"), "");
        const QString refused = dir.filePath("commit.db");
        CountingEntry c;
        c.article = "refusé au commit";
        Record r(refused.toStdString());
        QVERIFY(r.addCounting(c).empty() && r.addLot({}).empty());
        const SendOutcome atCommit = sendWaiting(refused.toStdString(), overTcp("poste_a"));
        QVERIFY2(atCommit.status == ServerStatus::Refused && atCommit.problem.find("refusé au commit") != std::string::npos,
                 atCommit.problem.c_str());
        const QString copied = dir.filePath("copie.db"), original = dir.filePath("original.db");
        fill(original, "banc-copie", 2);
        QVERIFY(QFile::copy(original, copied));
        QVERIFY(sendWaiting(original.toStdString(), overTcp("poste_a")).status == ServerStatus::Done);
        const SendOutcome copy = sendWaiting(copied.toStdString(), overTcp("poste_b"));
        QVERIFY2(copy.status == ServerStatus::Refused && copy.problem.find("envoyés par un autre poste") != std::string::npos,
                 copy.problem.c_str());
        for (const auto& [path, waits] : {std::pair{refused, "1 1"}, {copied, "2 2"}, {original, "0 0"}}) {
            Waiting w;
            QVERIFY(waitingIn(path.toStdString(), w).empty());
            QCOMPARE(QString("%1 %2").arg(w.countings).arg(w.lots), QString(waits));
        }
        QCOMPARE(query(admin(), "SELECT count(*) FROM pesolane.comptage WHERE article = 'refusé au commit' OR poste = 'banc-copie'"), "2");
    }

    // Two stations at once; then each station's own export and the site's, row for row.
    void twoStations_atOnce_andTheSitesExportIsTheirs() {
        const QString a = dir.filePath("deux-a.db"), b = dir.filePath("deux-b.db");
        fill(a, "deux-a", 300);
        fill(b, "deux-b", 300);
        SendOutcome oa, ob;
        std::thread ta([&] { oa = sendWaiting(a.toStdString(), overTcp("poste_a"), nullptr, 7); });
        std::thread tb([&] { ob = sendWaiting(b.toStdString(), overTcp("poste_b"), nullptr, 7); });
        ta.join();
        tb.join();
        QVERIFY2(oa.status == ServerStatus::Done && ob.status == ServerStatus::Done, (oa.problem + ob.problem).c_str());
        QVERIFY(oa.countings == 300 && oa.lots == 300 && ob.countings == 300 && ob.lots == 300);
        std::string csvA, csvB;
        QVERIFY(exportCsv(a.toStdString(), "", "", csvA).empty() && exportCsv(b.toStdString(), "", "", csvB).empty());
        QCOMPARE(serverCsv(overTcp("stock"), "deux-a"), csvA);
        QCOMPARE(serverCsv(admin(), "deux-b"), csvB);
        QVERIFY(serverCsv(overTcp("poste_a"), "deux-a").starts_with("échec: le serveur refuse la lecture"));
        // And the whole site through the program: a's rows, then b's.
        QProcess p;
        p.start(PESOLANE_PROGRAM, {"--exporter", dir.filePath("site.csv"), "--serveur", QString::fromStdString(overTcp("stock")),
                                   "--depuis", "2026-12-08", "--jusqu-a", "2026-12-08"});
        QVERIFY(p.waitForFinished(30000) && p.exitCode() == 0);
        QFile site(dir.filePath("site.csv"));
        QVERIFY(site.open(QIODevice::ReadOnly));
        const std::string all = site.readAll().toStdString(), header = csvA.substr(0, csvA.find("\r\n") + 2);
        QVERIFY(all.find(csvA.substr(header.size()) + csvB.substr(header.size())) != std::string::npos);
    }

    // Killed while sending, then again after the server committed but before
    // the station kept it: each counting is on the server once.
    void kill_whileSending_losesNothing_andSendsNothingTwice() {
        const QString path = dir.filePath("tue.db");
        fill(path, "banc-tue", 30000);
        const std::string station = overTcp("poste_a");
        const auto onServer = [] {
            return query(admin(), "SELECT count(*) || ' ' || count(DISTINCT identifiant) FROM pesolane.comptage WHERE poste = 'banc-tue'");
        };
        QProcess p;
        p.start(PESOLANE_PROGRAM, {"--envoyer-journal", "--journal", path, "--serveur", QString::fromStdString(station)});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(onServer() != "0 0", 20000);
        ::kill(pid_t(p.processId()), SIGKILL);
        QVERIFY(p.waitForFinished());
        const QString kept = local(path, "SELECT count(*) FROM envoi");
        // As if killed between the server's commit and the station's.
        QFile::copy(path, path + ".avant");
        QCOMPARE(int(sendWaiting(path.toStdString(), station).status), int(ServerStatus::Done));
        QCOMPARE(onServer(), "30000 30000");
        QVERIFY(QFile::remove(path) && QFile::rename(path + ".avant", path));
        const SendOutcome again = sendWaiting(path.toStdString(), station);
        QVERIFY2(again.status == ServerStatus::Done, again.problem.c_str());
        QCOMPARE(onServer(), "30000 30000");
        QCOMPARE(local(path, "SELECT count(*) FROM envoi"), "60000");
        QVERIFY2(kept != "60000", "the kill came after the whole was sent");
        qInfo("killed with %s of 60000 kept as sent", qPrintable(kept));
    }

    // The window: the result shows at once whatever the server does; the
    // operator is told once when sending stops and once when it works again.
    void window_neverWaits_andTellsOnceEachWay_data() {
        QTest::addColumn<bool>("silent");   // a server that takes the connection and never answers
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("because");
        QTest::newRow("stopped, then started") << false << QString::fromStdString(overTcp("poste_b")) << "le serveur ne répond pas";
        QTest::newRow("silent") << true << "" << "le serveur ne répond pas";
        QTest::newRow("a wrong password") << false << QString::fromStdString(overTcp("poste_faux")) << "le serveur refuse la connexion";
    }
    void window_neverWaits_andTellsOnceEachWay() {
        QFETCH(bool, silent);
        QFETCH(QString, station);
        QFETCH(QString, because);
        // Listening, never accepting: the system takes the connection, nothing answers.
        const int mute = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof at;
        QVERIFY(::bind(mute, reinterpret_cast<sockaddr*>(&at), size) == 0 && ::listen(mute, 8) == 0 &&
                ::getsockname(mute, reinterpret_cast<sockaddr*>(&at), &size) == 0);
        const auto closeMute = qScopeGuard([mute] { ::close(mute); });
        if (silent) station = QString("postgresql://poste_b@127.0.0.1:%1/pesolane?connect_timeout=5").arg(ntohs(at.sin_port));
        const bool restart = !silent && station.contains("poste_b");
        const QString path = dir.filePath(QString("fenetre-%1.db").arg(QTest::currentDataTag()).replace(' ', '-'));
        if (restart) ctl("stop");
        auto started = qScopeGuard([restart] { if (restart) QProcess::execute(qEnvironmentVariable("PESOLANE_PG_CTL"), {"start"}); });
        ScaleLink link(ScaleSettings{});
        Window w;
        new Recorder(*w, *new ScaleReading(*w, link), path.toStdString(), "vis");
        new Sending(*w, path.toStdString(), station.toStdString());
        runRoad(w, kRoad, 5);
        QTest::qWait(300);  // the operator's pace: what started at the opening is over
        QElapsedTimer pressed;
        pressed.start();
        w.type(Ctl::TxtNb2eme, "265");
        w.click(Ctl::Cmd6);
        QVERIFY2(pressed.elapsed() < 4000, "the press waited on the network");
        QCOMPARE(w.text(Ctl::TxtNbTotalCalcule), "5000,");
        QCOMPARE(local(path, "SELECT count(*) FROM comptage"), "1");
        QTRY_VERIFY_WITH_TIMEOUT(w->notice() && w->notice()->isVisible(), 20000);
        QVERIFY2(w->notice()->text().contains(because), qPrintable(w->notice()->text()));
        QVERIFY(w->isActiveWindow());
        // Another counting while it fails: kept here, and not told again.
        w.click(Ctl::Cmd6);
        QTest::qWait(1500);
        QVERIFY(!w->notice()->isVisible());
        QCOMPARE(local(path, "SELECT count(*) FROM comptage"), "2");
        if (!restart) return;
        ctl("start");
        started.dismiss();
        QTRY_VERIFY_WITH_TIMEOUT(w->notice()->isVisible(), 20000);
        QVERIFY(w->notice()->text().startsWith("Les comptages sont de nouveau envoyés au serveur du site"));
        const QString ids = local(path, "SELECT group_concat(identifiant, ',') FROM (SELECT identifiant FROM comptage ORDER BY 1)");
        QCOMPARE(query(admin(), "SELECT string_agg(identifiant::text, ',' ORDER BY identifiant::text) FROM pesolane.comptage "
                                "WHERE envoye_par = 'poste_b' AND article = 'vis'"),
                 ids);
        // A lot after it goes at once.
        w.type(Ctl::TxtNbVoulu, "500");
        w.click(Ctl::Cmd7);
        QTRY_COMPARE_WITH_TIMEOUT(query(admin(), "SELECT count(*) FROM pesolane.lot l JOIN pesolane.comptage c ON c.identifiant = l.comptage "
                                                 "WHERE c.envoye_par = 'poste_b' AND c.article = 'vis'"),
                                  QString("1"), 10000);
    }
};

QTEST_MAIN(ServerTest)
#include "test_server.moc"
