// The record's cost: a press of step 6 with the record on against off (the
// commit and its synchronisation to disk included), and an export of 100,000
// countings. The record lives beside the program (this machine's disk, not
// a memory file system), or in the folder given by PESOLANE_BENCH_DIR.
// Runs offscreen: QT_QPA_PLATFORM=offscreen LC_ALL=fr_FR.UTF-8 build/bench/bench_record
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>

#include <sqlite3.h>

#include "form1.h"
#include "link.h"
#include "record.h"
#include "recorder.h"
#include "scale_reading.h"
#include "sending.h"
#include "steps.h"

using namespace pesolane;

namespace {

QString benchDir() {
    const QByteArray dir = qgetenv("PESOLANE_BENCH_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : QString::fromLocal8Bit(dir);
}

// 0: no record; 1: the record; 2: the record, and a sender to the site's
// server named by PESOLANE_BENCH_SERVER (skipped without it).
void pressStep6(benchmark::State& state) {
    const bool recorded = state.range(0) != 0, sent = state.range(0) == 2;
    const std::string server = qEnvironmentVariable("PESOLANE_BENCH_SERVER").toStdString();
    if (sent && server.empty()) {
        state.SkipWithError("PESOLANE_BENCH_SERVER is not set");
        return;
    }
    QTemporaryDir dir(benchDir() + QStringLiteral("/record-XXXXXX"));
    Form1 form;
    bindSteps(form);
    ScaleLink link{ScaleSettings{}};
    auto* reading = new ScaleReading(form, link);
    const std::string path = QFile::encodeName(dir.filePath(QStringLiteral("comptages.db"))).toStdString();
    if (recorded) new Recorder(form, *reading, path, QStringLiteral("vis"));
    if (sent) new Sending(form, path, server);
    form.show();
    const char* const road[] = {"0.1", "1000", "10", "50", "10", "53", "265"};
    const Ctl boxes[] = {Ctl::TxtPrecision, Ctl::TxtPoidsTotal, Ctl::TxtPoidsReel1er, Ctl::TxtNb1er,
                         Ctl::TxtEcartChoisi, Ctl::TxtPoidsReel2eme, Ctl::TxtNb2eme};
    const Ctl buttons[] = {Ctl::Cmd1, Ctl::Cmd1, Ctl::Cmd2, Ctl::Cmd3, Ctl::Cmd4, Ctl::Cmd5};
    for (int i = 0; i < 7; ++i) {
        form.setText(boxes[i], QString::fromLatin1(road[i]));
        if (i > 0 && i < 6) form.button(buttons[i])->click();
    }
    QPushButton* six = form.button(Ctl::Cmd6);
    six->click();  // the record created
    for (auto _ : state) six->click();
    state.SetLabel(sent ? "record and server" : recorded ? "record on" : "record off");
    // What was sent meanwhile, the last of it still under way.
    QCoreApplication::processEvents();
}

// 100,000 countings, one in two with a lot, written in one transaction
// straight into a record the program made, then exported.
void export100k(benchmark::State& state) {
    QTemporaryDir dir(benchDir() + QStringLiteral("/record-XXXXXX"));
    const std::string path = dir.filePath(QStringLiteral("comptages.db")).toStdString();
    {
        Record r(path);
        CountingEntry c;
        c.article = "Vis M3; \"inox\"";
        c.precis = 0.1, c.PdsTot = 1000, c.PdsEcht1 = 10, c.NbEcht1 = 50, c.EcartChoisi = 10, c.PdsReelEcht2 = 53;
        c.NbEcht2 = 265, c.NbTotFinal = "5000,", c.Incert2 = "9,9";
        r.addCounting(c);
    }
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "BEGIN;"
                 "WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)"
                 " INSERT INTO comptage SELECT i, date, poste, operateur, article, precision, poids_total,"
                 " poids_echantillon1, pieces_echantillon1, ecart_accepte, poids_echantillon2, pieces_echantillon2,"
                 " nombre_pieces, incertitude, separateur, source_poids_total, ligne_poids_total, unite_poids_total,"
                 " port_poids_total, source_echantillon1, ligne_echantillon1, unite_echantillon1, port_echantillon1,"
                 " source_echantillon2, ligne_echantillon2, unite_echantillon2, port_echantillon2, avertissement,"
                 " lower(hex(randomblob(16))) FROM comptage, n WHERE numero = 1;"
                 "INSERT INTO lot(comptage, date, pieces, poids, incertitude, separateur, identifiant)"
                 " SELECT numero, date, 500, '100,', '1,4', ',', lower(hex(randomblob(16))) FROM comptage WHERE numero % 2 = 0;"
                 "COMMIT;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string csv;
        exportCsv(path, "", "", csv);
        bytes = csv.size();
    }
    state.counters["csv_MB"] = double(bytes) / 1e6;
}

}  // namespace

BENCHMARK(pressStep6)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(export100k)->Unit(benchmark::kMillisecond)->Iterations(5);
