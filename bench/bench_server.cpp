// The site's server: 10,000 countings that waited through an outage sent in
// one go, and an export of 1,000,000 countings from the server, its memory
// measured as the process's peak. Needs a server prepared for Pesolane:
//   tests/with_postgres.sh bench/run_server.sh
// or PESOLANE_BENCH_ADMIN (a role that may write the tables directly) and
// PESOLANE_BENCH_SERVER (a station's login) set by hand.
#include <benchmark/benchmark.h>

#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "record.h"
#include "server.h"

using namespace pesolane;

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool run(const std::string& who, const std::string& sql) {
    PGconn* c = PQconnectdb(who.c_str());
    PGresult* r = PQexec(c, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    PQclear(r);
    PQfinish(c);
    return ok;
}

// A station's record of `n` countings that have not been sent, each with a lot.
std::string waitingRecord(int n) {
    const std::string path = std::filesystem::temp_directory_path() / ("pesolane-bench-" + std::to_string(::getpid()) + ".db");
    std::filesystem::remove(path);
    {
        Record r(path);
        CountingEntry c;
        c.article = "Vis M3";
        c.precis = 0.1, c.PdsTot = 1000, c.PdsEcht1 = 10, c.NbEcht1 = 50, c.EcartChoisi = 10, c.PdsReelEcht2 = 53;
        c.NbEcht2 = 265, c.NbTotFinal = "5000,", c.Incert2 = "9,9";
        r.addCounting(c);
        r.addLot({500, "100,", "1,4", ","});
    }
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    const std::string sql = "BEGIN; WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i <= " +
                            std::to_string(n - 1) +
                            ") INSERT INTO comptage(date, poste, operateur, article, precision, poids_total, poids_echantillon1,"
                            " pieces_echantillon1, ecart_accepte, poids_echantillon2, pieces_echantillon2, nombre_pieces,"
                            " incertitude, separateur, source_poids_total, source_echantillon1, source_echantillon2, identifiant)"
                            " SELECT date, poste, operateur, article, precision, poids_total + i, poids_echantillon1,"
                            " pieces_echantillon1, ecart_accepte, poids_echantillon2, pieces_echantillon2, nombre_pieces,"
                            " incertitude, separateur, source_poids_total, source_echantillon1, source_echantillon2,"
                            " lower(hex(randomblob(16))) FROM comptage, n WHERE numero = 1;"
                            " INSERT INTO lot(comptage, date, pieces, poids, incertitude, separateur, identifiant)"
                            " SELECT numero, date, 500, '100,', '1,4', ',', lower(hex(randomblob(16))) FROM comptage"
                            " WHERE numero > 1; COMMIT;";
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return path;
}

void send10kAfterAnOutage(benchmark::State& state) {
    const std::string server = env("PESOLANE_BENCH_SERVER");
    if (server.empty()) return state.SkipWithError("PESOLANE_BENCH_SERVER is not set");
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = waitingRecord(10000);
        state.ResumeTiming();
        const SendOutcome o = sendWaiting(path, server);
        if (o.status != ServerStatus::Done || o.countings != 10000) state.SkipWithError(o.problem.c_str());
        state.PauseTiming();
        std::filesystem::remove(path);
        state.ResumeTiming();
    }
}

void export1M(benchmark::State& state) {
    const std::string admin = env("PESOLANE_BENCH_ADMIN");
    if (admin.empty()) return state.SkipWithError("PESOLANE_BENCH_ADMIN is not set");
    // A million countings of a station of their own, one in two with a lot,
    // written on the server by the administrator.
    const bool made = run(admin, R"(INSERT INTO pesolane.comptage (identifiant, poste, numero, date, operateur, article, precision,
          poids_total, poids_echantillon1, pieces_echantillon1, ecart_accepte, poids_echantillon2, pieces_echantillon2,
          nombre_pieces, incertitude, separateur, source_poids_total, source_echantillon1, source_echantillon2, avertissement)
        SELECT gen_random_uuid(), 'banc-million', i, '2026-12-08T09:14:03+01:00', 'op', 'Vis M3; "inox"', 0.1, 1000 + i / 3.0,
          10, 50, 10, 53, 265, '5000,', '9,9', ',', 'saisi', 'saisi', 'saisi', '' FROM generate_series(1, 1000000) i
        WHERE NOT EXISTS (SELECT FROM pesolane.comptage WHERE poste = 'banc-million');
      INSERT INTO pesolane.lot (identifiant, comptage, poste, numero, date, pieces, poids, incertitude, separateur)
        SELECT gen_random_uuid(), identifiant, poste, numero, date, 500, '100,', '1,4', ',' FROM pesolane.comptage c
        WHERE poste = 'banc-million' AND numero % 2 = 0
          AND NOT EXISTS (SELECT FROM pesolane.lot l WHERE l.poste = 'banc-million');)");
    if (!made) return state.SkipWithError("the countings could not be written on the server");
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        const std::string failed = exportServerCsv(admin, "banc-million", "", "", [&bytes](const std::string& chunk) {
            bytes += chunk.size();
            return true;
        });
        if (!failed.empty()) state.SkipWithError(failed.c_str());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["csv_MB"] = double(bytes) / 1e6;
    state.counters["peak_RSS_MB"] = double(usage.ru_maxrss) / 1024;
}

}  // namespace

BENCHMARK(send10kAfterAnOutage)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(export1M)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
