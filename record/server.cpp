#include "server.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "columns.h"
#include "record.h"

namespace pesolane {
namespace {

struct Connection {
    PGconn* c = nullptr;
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { PQfinish(c); }
};

struct Result {
    PGresult* r;
    explicit Result(PGresult* result) : r(result) {}
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ~Result() { PQclear(r); }
    bool ok() const { return PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK; }
    std::string sqlstate() const {
        const char* s = PQresultErrorField(r, PG_DIAG_SQLSTATE);
        return s ? s : "";
    }
};

// libpq's message on one line, without its final line end.
std::string oneLine(const char* message) {
    std::string text;
    bool lineStart = true;
    for (const char* p = message ? message : ""; *p; ++p) {
        if (*p == '\n') {
            if (p[1]) text += " ; ";
            lineStart = true;
        } else if (!(lineStart && (*p == ' ' || *p == '\t'))) {  // libpq indents its hints with a tab
            text += *p == '\t' ? ' ' : *p;
            lineStart = false;
        }
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == ';' || text.back() == '.')) text.pop_back();
    return text;
}

SendOutcome failure(ServerStatus status, std::string problem) { return {status, 0, 0, std::move(problem)}; }

// Ours before the connection string, so that what it says wins: how long a
// connection may take, and how soon a link that stopped answering is given up.
SendOutcome connectTo(const std::string& server, Connection& conn) {
    const char* const keys[] = {"connect_timeout", "fallback_application_name", "keepalives_idle", "keepalives_interval",
                                "keepalives_count", "tcp_user_timeout", "dbname", nullptr};
    const char* const values[] = {"10", "pesolane", "10", "5", "3", "30000", server.c_str(), nullptr};
    conn.c = PQconnectdbParams(keys, values, 1);
    if (PQstatus(conn.c) == CONNECTION_OK) {
        // Each double as the shortest text that reads back as itself.
        if (Result set(PQexec(conn.c, "SET extra_float_digits = 3")); !set.ok())
            return failure(ServerStatus::Unreachable, "le serveur ne répond pas : " + oneLine(PQerrorMessage(conn.c)));
        return {};
    }
    const std::string why = oneLine(PQerrorMessage(conn.c));
    // Something answered and refused (a login, a database), or nothing did.
    switch (PQpingParams(keys, values, 1)) {
    case PQPING_OK: return failure(ServerStatus::Refused, "le serveur refuse la connexion : " + why);
    case PQPING_NO_ATTEMPT: return failure(ServerStatus::Refused, "la connexion au serveur est mal écrite : " + why);
    default: return failure(ServerStatus::Unreachable, "le serveur ne répond pas : " + why);
    }
}

// What a failed statement says of the server: gone (the link, a shutdown,
// overload), or refusing.
SendOutcome failed(const Connection& conn, const Result& result, const std::string& doing) {
    const std::string state = result.sqlstate();
    const std::string why = oneLine(PQresultErrorMessage(result.r)[0] ? PQresultErrorMessage(result.r) : PQerrorMessage(conn.c));
    if (PQstatus(conn.c) != CONNECTION_OK || state.empty() || state.starts_with("08") || state.starts_with("57") ||
        state.starts_with("53") || state.starts_with("40"))
        return failure(ServerStatus::Unreachable, "le serveur ne répond plus (" + doing + ") : " + why);
    return failure(ServerStatus::Refused, "le serveur refuse " + doing + " : " + why);
}

SendOutcome notAStation(const Connection& conn) {
    return failure(ServerStatus::Refused, std::string("le rôle ") + PQuser(conn.c) +
                                              " n'a pas le droit d'envoyer des comptages (il n'est pas membre de pesolane_poste)");
}

// The server's tables are ours, of a version this program writes.
SendOutcome checkVersion(const Connection& conn) {
    Result r(PQexec(conn.c, "SELECT max(version) FROM pesolane.version"));
    if (!r.ok()) {
        if (r.sqlstate() == "42P01" || r.sqlstate() == "3F000")
            return failure(ServerStatus::Refused, "ce serveur n'est pas un journal de Pesolane : il n'a pas été préparé "
                                                  "(pesolane --preparer-serveur)");
        if (r.sqlstate() == "42501") return notAStation(conn);
        return failed(conn, r, "l'accès au journal du site");
    }
    int version = 0;
    const char* v = PQgetvalue(r.r, 0, 0);
    std::from_chars(v, v + std::char_traits<char>::length(v), version);
    if (version > kServerVersion)
        return failure(ServerStatus::Refused, "le journal du site a été préparé par une version plus récente de Pesolane "
                                              "(version " + std::to_string(version) + ") : mettez à jour ce poste");
    if (version < 1) return failure(ServerStatus::Refused, "ce serveur n'est pas un journal de Pesolane : sa version manque");
    return {};
}

template <std::size_t N>
std::string insertOf(const char* table, const std::array<SentColumn, N>& columns) {
    std::string names, params;
    for (std::size_t i = 0; i < N; ++i) {
        names += (i ? ", " : "") + std::string(columns[i].name);
        params += (i ? ", $" : "$") + std::to_string(i + 1);
    }
    return "INSERT INTO pesolane." + std::string(table) + " (" + names + ") VALUES (" + params +
           ") ON CONFLICT (identifiant) DO NOTHING";
}

// An array of identifiers, as one parameter.
std::string arrayOf(const std::vector<Record::SentRow>& rows) {
    std::string array = "{";
    for (const Record::SentRow& r : rows) {
        if (array.size() > 1) array += ',';
        array += r.front().value_or(std::string());
    }
    array += '}';
    return array;
}

// Inserts the rows into `table` ("comptage" or "lot", also the name of its
// prepared insert), then reads back how many of them this login sees: an
// identifier the server already had from another station is not this one's.
SendOutcome insertRows(const Connection& conn, const std::string& table, const std::vector<Record::SentRow>& rows) {
    std::vector<const char*> values;
    for (const Record::SentRow& row : rows) {
        values.clear();
        for (const std::optional<std::string>& v : row) values.push_back(v ? v->c_str() : nullptr);
        Result r(PQexecPrepared(conn.c, table.c_str(), int(values.size()), values.data(), nullptr, nullptr, 0));
        if (!r.ok()) return failed(conn, r, "l'envoi d'un " + table);
    }
    if (rows.empty()) return {};
    const std::string ids = arrayOf(rows);
    const char* param[] = {ids.c_str()};
    const std::string count = "SELECT count(*) FROM pesolane." + table + " WHERE identifiant = ANY ($1::uuid[])";
    Result seen(PQexecParams(conn.c, count.c_str(), 1, nullptr, param, nullptr, nullptr, 0));
    if (!seen.ok()) return failed(conn, seen, "la relecture de l'envoi");
    const std::string found = PQgetvalue(seen.r, 0, 0);
    if (found != std::to_string(rows.size()))
        return failure(ServerStatus::Refused, "le serveur a déjà, envoyés par un autre poste, des identifiants de ce "
                                              "journal : rien n'est envoyé (" + found + " sur " +
                                                  std::to_string(rows.size()) + " retrouvés)");
    return {};
}

}  // namespace

SendOutcome sendWaiting(const std::string& recordPath, const std::string& server, const std::atomic<bool>* stop,
                        std::size_t batch) {
    SendOutcome done;
    Record record(recordPath);
    Connection conn;
    for (;;) {
        if (stop && stop->load()) return done;
        Record::Batch b;
        if (std::string problem = record.takeWaiting(batch, b); !problem.empty())
            return {ServerStatus::Local, done.countings, done.lots, "le journal " + recordPath + " ne se lit pas : " + problem};
        if (b.countings.empty() && b.lots.empty()) return done;
        if (!conn.c) {
            SendOutcome o = connectTo(server, conn);
            if (o.status == ServerStatus::Done) o = checkVersion(conn);
            for (const auto& [name, sql] : {std::pair{"comptage", insertOf("comptage", kSentCountingColumns)},
                                            std::pair{"lot", insertOf("lot", kSentLotColumns)}}) {
                if (o.status != ServerStatus::Done) break;
                if (Result r(PQprepare(conn.c, name, sql.c_str(), 0, nullptr)); !r.ok()) o = failed(conn, r, "l'envoi");
            }
            if (o.status != ServerStatus::Done) return {o.status, done.countings, done.lots, o.problem};
        }
        // One transaction: the batch is on the server whole, or not at all.
        SendOutcome o;
        if (Result r(PQexec(conn.c, "BEGIN")); !r.ok()) o = failed(conn, r, "l'envoi");
        if (o.status == ServerStatus::Done) o = insertRows(conn, "comptage", b.countings);
        if (o.status == ServerStatus::Done) o = insertRows(conn, "lot", b.lots);
        if (o.status == ServerStatus::Done)
            if (Result r(PQexec(conn.c, "COMMIT")); !r.ok()) o = failed(conn, r, "l'envoi");
        if (o.status != ServerStatus::Done) {
            Result(PQexec(conn.c, "ROLLBACK"));
            return {o.status, done.countings, done.lots, o.problem};
        }
        // Committed there; kept here. A kill in between leaves them to be
        // sent again, which the server ignores.
        if (std::string problem = record.markSent(b.identifiers()); !problem.empty())
            return {ServerStatus::Local, done.countings, done.lots, "le journal " + recordPath + " ne s'écrit pas : " + problem};
        done.countings += std::int64_t(b.countings.size());
        done.lots += std::int64_t(b.lots.size());
    }
}

AfterSend afterSend(SendingState& state, const SendOutcome& o) {
    AfterSend after;
    if (o.status == ServerStatus::Done) {
        if (state.failing)
            after.tell = "Les comptages sont de nouveau envoyés au serveur du site : ceux qui attendaient dans le "
                         "journal de ce poste y sont.";
        state = {};
        return after;
    }
    if (!state.failing)
        after.tell = "Les comptages ne sont plus envoyés au serveur du site : " + o.problem +
                     (o.problem.ends_with('?') ? " " : ". ") +
                     "Ils restent dans le journal de ce poste et partiront dès que possible.";
    state.failing = true;
    state.failures = std::min(state.failures + 1, 7);
    after.retryMs = std::min(1000 << (state.failures - 1), 60000);
    return after;
}

SendOutcome checkServer(const std::string& server) {
    Connection conn;
    SendOutcome o = connectTo(server, conn);
    if (o.status == ServerStatus::Done) o = checkVersion(conn);
    if (o.status != ServerStatus::Done) return o;
    Result r(PQexec(conn.c, "SELECT has_any_column_privilege('pesolane.comptage', 'INSERT') "
                            "AND has_any_column_privilege('pesolane.lot', 'INSERT')"));
    if (!r.ok()) return failed(conn, r, "l'accès au journal du site");
    if (std::string_view(PQgetvalue(r.r, 0, 0)) != "t") return notAStation(conn);
    return o;
}

std::string prepareServer(const std::string& server, bool& already) {
    already = false;
    Connection conn;
    if (SendOutcome o = connectTo(server, conn); o.status != ServerStatus::Done) return o.problem;
    Result exists(PQexec(conn.c, "SELECT to_regclass('pesolane.version') IS NOT NULL"));
    if (!exists.ok()) return oneLine(PQresultErrorMessage(exists.r));
    if (std::string_view(PQgetvalue(exists.r, 0, 0)) == "t") {
        if (SendOutcome o = checkVersion(conn); o.status != ServerStatus::Done) return o.problem;
        already = true;
        return {};
    }
    Result made(PQexec(conn.c, kServerSql));
    if (!made.ok()) return "le serveur n'a pas été préparé, rien n'y a été créé : " + oneLine(PQresultErrorMessage(made.r));
    return {};
}

std::string exportServerCsv(const std::string& server, const std::string& station, const std::string& from,
                            const std::string& to, const std::function<bool(const std::string&)>& write) {
    Connection conn;
    SendOutcome o = connectTo(server, conn);
    if (o.status == ServerStatus::Done) o = checkVersion(conn);
    if (o.status != ServerStatus::Done) return o.problem;
    const std::string sql = std::string("SELECT ") + kCsvSelect + R"( FROM pesolane.comptage c
        LEFT JOIN pesolane.lot l ON l.comptage = c.identifiant
      WHERE ($1 = '' OR c.poste = $1) AND ($2 = '' OR substr(c.date, 1, 10) >= $2) AND ($3 = '' OR substr(c.date, 1, 10) <= $3)
      ORDER BY c.poste, c.numero, c.identifiant, l.numero)";
    const char* params[] = {station.c_str(), from.c_str(), to.c_str()};
    if (!PQsendQueryParams(conn.c, sql.c_str(), 3, nullptr, params, nullptr, nullptr, 0) || !PQsetSingleRowMode(conn.c))
        return "le serveur ne répond plus : " + oneLine(PQerrorMessage(conn.c));
    struct Row : CsvSource {
        PGresult* r = nullptr;
        bool null(int i) const override { return PQgetisnull(r, 0, i); }
        std::string text(int i) const override { return std::string(PQgetvalue(r, 0, i), std::size_t(PQgetlength(r, 0, i))); }
        double real(int i) const override {
            double v = 0;
            std::from_chars(PQgetvalue(r, 0, i), PQgetvalue(r, 0, i) + PQgetlength(r, 0, i), v);
            return v;
        }
    } row;
    std::string chunk = kCsvHeader, problem;
    bool writing = true;
    // Every result read, to the end, whatever happens: the connection is then free.
    while (PGresult* r = PQgetResult(conn.c)) {
        Result result(r);
        if (PQresultStatus(r) == PGRES_SINGLE_TUPLE && writing && problem.empty()) {
            row.r = r;
            chunk += csvRow(row);
            if (chunk.size() >= 1 << 16) {
                writing = write(chunk);
                chunk.clear();
            }
        } else if (PQresultStatus(r) != PGRES_TUPLES_OK && PQresultStatus(r) != PGRES_SINGLE_TUPLE && problem.empty()) {
            problem = "le serveur refuse la lecture du journal du site : " + oneLine(PQresultErrorMessage(r));
        }
    }
    if (!problem.empty()) return problem;
    if (writing && !chunk.empty()) writing = write(chunk);
    return writing ? std::string() : "l'export n'a pas pu être écrit";
}

}  // namespace pesolane
