#include "record.h"

#include "columns.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <vector>

namespace pesolane {
namespace {

// What marks a file as a record of ours, and the version of its tables: a
// record written by a newer version is refused rather than half understood.
// Version 1 had no `avertissement`, version 2 no identifiers: such a record
// is still read as it is, and brought to version 3 the first time it is
// opened to be written (the column added, its rows without warning, the
// guards of version 2; each counting and lot given its identifier, and the
// table of what the site's server has), in one transaction; nothing it held
// changes.
constexpr int kApplicationId = 0x50534C4E;  // "PSLN"
constexpr int kVersion = 3;

// An identifier unique across stations: a random (version 4) UUID, from
// SQLite's generator, which the system's random source seeds.
#define PESOLANE_UUID                                                                                                 \
    "lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || "     \
    "substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))"

// A busy record (another window committing) is waited for, not failed.
constexpr int kBusyMs = 10000;

// The guards that version 1 lacked. A replace (INSERT OR REPLACE, REPLACE)
// deletes the row it replaces without firing the deletion's trigger when
// recursive triggers are off, so an insert over a recorded row is refused
// before it happens. Before an insert that lets SQLite choose the number,
// NEW holds -1, so no row may have a number below 1.
constexpr const char* kInsertGuards = R"(
CREATE TRIGGER comptage_garde_rem BEFORE INSERT ON comptage
  WHEN EXISTS (SELECT 1 FROM comptage WHERE numero = NEW.numero) BEGIN SELECT RAISE(ABORT, 'comptage enregistré'); END;
CREATE TRIGGER comptage_garde_num AFTER INSERT ON comptage
  WHEN NEW.numero < 1 BEGIN SELECT RAISE(ABORT, 'numéro de comptage invalide'); END;
CREATE TRIGGER lot_garde_rem BEFORE INSERT ON lot
  WHEN EXISTS (SELECT 1 FROM lot WHERE id = NEW.id) BEGIN SELECT RAISE(ABORT, 'lot enregistré'); END;
CREATE TRIGGER lot_garde_num AFTER INSERT ON lot
  WHEN NEW.id < 1 BEGIN SELECT RAISE(ABORT, 'numéro de lot invalide'); END;
)";

// Nothing in these tables is ever updated or deleted: the triggers refuse it
// to any program, this one included.
constexpr const char* kSchema = R"(
CREATE TABLE comptage(
  numero INTEGER PRIMARY KEY AUTOINCREMENT,
  date TEXT NOT NULL, poste TEXT NOT NULL, operateur TEXT NOT NULL, article TEXT NOT NULL,
  precision REAL NOT NULL, poids_total REAL NOT NULL,
  poids_echantillon1 REAL NOT NULL, pieces_echantillon1 REAL NOT NULL, ecart_accepte REAL NOT NULL,
  poids_echantillon2 REAL NOT NULL, pieces_echantillon2 REAL NOT NULL,
  nombre_pieces TEXT NOT NULL, incertitude TEXT NOT NULL, separateur TEXT NOT NULL,
  source_poids_total TEXT NOT NULL, ligne_poids_total TEXT, unite_poids_total TEXT, port_poids_total TEXT,
  source_echantillon1 TEXT NOT NULL, ligne_echantillon1 TEXT, unite_echantillon1 TEXT, port_echantillon1 TEXT,
  source_echantillon2 TEXT NOT NULL, ligne_echantillon2 TEXT, unite_echantillon2 TEXT, port_echantillon2 TEXT,
  avertissement TEXT NOT NULL DEFAULT '', identifiant TEXT NOT NULL);
CREATE TABLE lot(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  comptage INTEGER NOT NULL REFERENCES comptage(numero),
  date TEXT NOT NULL, pieces REAL NOT NULL, poids TEXT NOT NULL, incertitude TEXT NOT NULL, separateur TEXT NOT NULL,
  identifiant TEXT NOT NULL);
CREATE TRIGGER comptage_garde_maj BEFORE UPDATE ON comptage BEGIN SELECT RAISE(ABORT, 'comptage enregistré'); END;
CREATE TRIGGER comptage_garde_sup BEFORE DELETE ON comptage BEGIN SELECT RAISE(ABORT, 'comptage enregistré'); END;
CREATE TRIGGER lot_garde_maj BEFORE UPDATE ON lot BEGIN SELECT RAISE(ABORT, 'lot enregistré'); END;
CREATE TRIGGER lot_garde_sup BEFORE DELETE ON lot BEGIN SELECT RAISE(ABORT, 'lot enregistré'); END;
PRAGMA application_id = 1347636302;
PRAGMA user_version = 3;
)";

// Version 1 to 2: the same column as the schema's, and its guards.
constexpr const char* kFromVersion1 = R"(
ALTER TABLE comptage ADD COLUMN avertissement TEXT NOT NULL DEFAULT '';
PRAGMA user_version = 2;
)";

// Version 2 to 3: each counting and lot recorded before is given its
// identifier, the guard against an update lifted for that alone and put back
// in the same transaction.
constexpr const char* kFromVersion2 = R"(
ALTER TABLE comptage ADD COLUMN identifiant TEXT;
ALTER TABLE lot ADD COLUMN identifiant TEXT;
DROP TRIGGER comptage_garde_maj;
DROP TRIGGER lot_garde_maj;
UPDATE comptage SET identifiant = )" PESOLANE_UUID R"(;
UPDATE lot SET identifiant = )" PESOLANE_UUID R"(;
CREATE TRIGGER comptage_garde_maj BEFORE UPDATE ON comptage BEGIN SELECT RAISE(ABORT, 'comptage enregistré'); END;
CREATE TRIGGER lot_garde_maj BEFORE UPDATE ON lot BEGIN SELECT RAISE(ABORT, 'lot enregistré'); END;
PRAGMA user_version = 3;
)";

// What version 3 adds to any record: an identifier is given once, and the
// server's copies are told in `envoi`, which only grows. A row there means the
// server committed that counting or lot.
constexpr const char* kVersion3 = R"(
CREATE UNIQUE INDEX comptage_identifiant ON comptage(identifiant);
CREATE UNIQUE INDEX lot_identifiant ON lot(identifiant);
CREATE TRIGGER comptage_garde_id AFTER INSERT ON comptage
  WHEN NEW.identifiant IS NULL BEGIN SELECT RAISE(ABORT, 'comptage sans identifiant'); END;
CREATE TRIGGER lot_garde_id AFTER INSERT ON lot
  WHEN NEW.identifiant IS NULL BEGIN SELECT RAISE(ABORT, 'lot sans identifiant'); END;
CREATE TABLE envoi(identifiant TEXT PRIMARY KEY, date TEXT NOT NULL) WITHOUT ROWID;
CREATE TRIGGER envoi_garde_maj BEFORE UPDATE ON envoi BEGIN SELECT RAISE(ABORT, 'envoi enregistré'); END;
CREATE TRIGGER envoi_garde_sup BEFORE DELETE ON envoi BEGIN SELECT RAISE(ABORT, 'envoi enregistré'); END;
)";
static_assert(kApplicationId == 1347636302 && kVersion == 3, "the schema's pragmas say the same");

// Why the record cannot be written or read, in French.
std::string why(int code) {
    switch (code) {
    case SQLITE_READONLY_DBMOVED: return "le fichier a été déplacé, renommé ou supprimé pendant la session";
    case SQLITE_READONLY_DIRECTORY: return "son dossier est protégé en écriture";
    default: break;
    }
    switch (code & 0xFF) {
    case SQLITE_CANTOPEN: return "le fichier ne peut être ouvert ni créé (dossier absent ou protégé en écriture)";
    case SQLITE_READONLY: return "le fichier ou son dossier est protégé en écriture";
    case SQLITE_PERM: return "accès refusé";
    case SQLITE_FULL: return "le disque est plein";
    case SQLITE_IOERR: return "erreur d'entrée-sortie sur le disque";
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return "le journal est occupé par un autre programme depuis plus de 10 secondes";
    case SQLITE_NOTADB: return "ce fichier n'est pas un journal de comptage de Pesolane";
    case SQLITE_CORRUPT: return "le journal est endommagé";
    default: return sqlite3_errstr(code);
    }
}

// Why a path that exists cannot be the record.
std::string notAFile(mode_t mode) {
    if (S_ISDIR(mode)) return "c'est un dossier, pas un fichier";
    if (S_ISFIFO(mode)) return "c'est un tube nommé (FIFO), pas un fichier";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "c'est un périphérique, pas un fichier";
    return "ce n'est pas un fichier ordinaire";
}

std::string whyNot(int error) {
    switch (error) {
    case EACCES: return "accès refusé";
    case ENOTDIR: return "un élément du chemin n'est pas un dossier";
    case ENAMETOOLONG: return "le chemin est trop long";
    case ELOOP: return "trop de liens symboliques dans le chemin";
    default: return "erreur d'entrée-sortie sur le disque";
    }
}

// The path as SQLite reads it, exactly that file: SQLite takes a name that
// begins with "file:" for a URI, so every name is given as one, each byte
// other than a letter, a digit, '/', '-', '.' or '_' percent-encoded.
std::string uriOf(const std::string& path) {
    std::string uri = path.starts_with('/') ? "file://" : "file:";
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '-' ||
            c == '.' || c == '_') {
            uri += ch;
            continue;
        }
        constexpr const char* kHex = "0123456789ABCDEF";
        uri += '%';
        uri += kHex[c >> 4];
        uri += kHex[c & 0xF];
    }
    return uri;
}

struct Statement {
    sqlite3_stmt* s = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Statement() { sqlite3_finalize(s); }
    void text(int i, const std::string& t) { sqlite3_bind_text(s, i, t.data(), int(t.size()), SQLITE_TRANSIENT); }
    void real(int i, double v) { sqlite3_bind_double(s, i, v); }
    std::string column(int i) const {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
        return t ? std::string(t, std::size_t(sqlite3_column_bytes(s, i))) : std::string();
    }
};

int pragmaInt(sqlite3* db, const char* sql, int& value) {
    Statement st(db, sql);
    if (!st.s) return sqlite3_errcode(db);
    const int rc = sqlite3_step(st.s);
    if (rc == SQLITE_ROW) value = sqlite3_column_int(st.s, 0);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Older: a record of ours from before the current version, read as it is
// and brought to the current version when it is written to.
enum class Kind { Ours, Older, Empty, Foreign, Newer };

Kind kindOf(int id, int version, int tables) {
    if (id == kApplicationId)
        return version > kVersion ? Kind::Newer : version == kVersion ? Kind::Ours : version >= 1 ? Kind::Older : Kind::Foreign;
    return id == 0 && version == 0 && tables == 0 ? Kind::Empty : Kind::Foreign;
}

// What the file holds, read by SQLite without writing a byte.
int identify(sqlite3* db, Kind& kind) {
    int id = 0, version = 0, tables = 0;
    for (const auto& [sql, value] : {std::pair{"PRAGMA application_id", &id}, {"PRAGMA user_version", &version},
                                     {"SELECT count(*) FROM sqlite_master", &tables}})
        if (const int rc = pragmaInt(db, sql, *value); rc != SQLITE_OK) return rc;
    kind = kindOf(id, version, tables);
    return SQLITE_OK;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// What the file at `path` is, looked at before SQLite may touch it: opening
// a database read-write replays the rollback journal left beside it by a
// crash, or folds its write-ahead log into it, even to read it. Only a record
// of ours is opened so, to be mended if a crash cut a commit; any other file is
// looked at in its first 100 bytes and, if need be, through an immutable,
// read-only open, and never when a journal or a log lies beside it. Gives
// why the path cannot be the record, or an empty text and the kind in `kind`
// (Empty for a path where there is nothing, `absent` then true).
std::string look(const std::string& path, Kind& kind, bool& absent) {
    absent = false;
    if (path.empty()) return "aucun chemin n'est donné";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return whyNot(errno);
        absent = true;
        kind = Kind::Empty;
        return {};
    }
    if (!S_ISREG(st.st_mode)) return notAFile(st.st_mode);
    // Not blocking, and checked again once open: a path that became a FIFO
    // meanwhile does not hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == EACCES ? "le fichier est protégé en lecture" : whyNot(errno);
    unsigned char header[100] = {};
    ssize_t got = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) got = ::pread(fd, header, sizeof header, 0);
    else got = -2;
    ::close(fd);
    if (got == -2) return notAFile(st.st_mode);
    if (got < 0) return whyNot(errno);
    const auto word = [&header](int at) {
        return int(std::uint32_t(header[at]) << 24 | std::uint32_t(header[at + 1]) << 16 |
                   std::uint32_t(header[at + 2]) << 8 | header[at + 3]);
    };
    // An empty file's journal is never played back (there is nothing to
    // bring back), and is another window's at work on a new record; a log
    // holds a database of its own.
    const bool log = exists(path + "-wal"), sideFiles = log || exists(path + "-journal");
    if (got == 0) {
        kind = log ? Kind::Foreign : Kind::Empty;
        return {};
    }
    if (got < 100 || std::memcmp(header, "SQLite format 3", 16) != 0) {
        kind = Kind::Foreign;
        return {};
    }
    const int id = word(68), version = word(60);
    if (id == kApplicationId) {
        kind = kindOf(id, version, 0);
        return {};
    }
    // Another program's database, one with a journal or a log beside it, or
    // one in write-ahead mode: not a record, and not to be opened.
    if (id != 0 || sideFiles || header[18] == 2 || header[19] == 2) {
        kind = Kind::Foreign;
        return {};
    }
    // A database that may be empty, in rollback mode, alone: whether it holds
    // any table, read from the file as it stands.
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2((uriOf(path) + "?immutable=1").c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    if (rc == SQLITE_OK) rc = identify(db, kind);
    sqlite3_close_v2(db);
    if (rc != SQLITE_OK) kind = Kind::Foreign;  // not a database SQLite reads
    return {};
}

std::string kindProblem(Kind kind) {
    if (kind == Kind::Foreign) return why(SQLITE_NOTADB);
    if (kind == Kind::Newer) return "ce journal a été écrit par une version plus récente de Pesolane";
    return {};
}

void bindSource(Statement& st, int first, const WeightSource& w) {
    st.text(first, w.fromScale ? "instrument" : "saisi");
    if (!w.fromScale) return;  // the line, unit and port stay NULL
    st.text(first + 1, w.line);
    st.text(first + 2, w.unit);
    st.text(first + 3, w.port);
}

}  // namespace

Stamp stampNow() {
    Stamp s;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[40];
    const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &local);
    // +0100 is written +01:00.
    if (n >= 5) s.date = std::string(buf, n - 2) + ':' + std::string(buf + n - 2, 2);
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) s.host = host;
    if (const passwd* pw = getpwuid(getuid())) s.login = pw->pw_name;
    else if (const char* name = std::getenv("LOGNAME")) s.login = name;
    return s;
}

// sqlite3_close_v2: the connection goes once the statements still alive are
// finalised, which a failure in the middle of a write leaves.
Record::~Record() { sqlite3_close_v2(db_); }

std::string Record::failed(int code) {
    // Opened again at the next write, checked again.
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return why(code);
}

std::string Record::open() {
    if (db_) return {};
    Kind kind{};
    bool absent = false;
    if (std::string problem = look(path_, kind, absent); !problem.empty()) return problem;
    if (std::string problem = kindProblem(kind); !problem.empty()) return problem;
    // An existing file is opened without creating anything, and written to
    // only once it is known to be a record (or empty).
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI | (absent ? SQLITE_OPEN_CREATE : 0);
    if (const int rc = sqlite3_open_v2(uriOf(path_).c_str(), &db_, flags, nullptr); rc != SQLITE_OK) return failed(rc);
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyMs);
    if (const int rc = identify(db_, kind); rc != SQLITE_OK) return failed(rc);
    if (const std::string p = kindProblem(kind); !p.empty()) {
        failed(SQLITE_OK);
        return p;
    }
    // A rollback journal, and the folder synchronised once it is deleted: see
    // the README.
    if (const int rc = sqlite3_exec(db_, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=EXTRA", nullptr, nullptr, nullptr);
        rc != SQLITE_OK)
        return failed(rc);
    if (kind == Kind::Ours) return {};
    // New, or of the earlier version: the tables made or brought up to date
    // once, under the write lock; another window may have done it meanwhile.
    if (const int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr); rc != SQLITE_OK) return failed(rc);
    int rc = identify(db_, kind);
    int version = 0;
    if (rc == SQLITE_OK && kind == Kind::Older) rc = pragmaInt(db_, "PRAGMA user_version", version);
    const bool make = rc == SQLITE_OK && (kind == Kind::Empty || kind == Kind::Older);
    if (make && kind == Kind::Empty) rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
    if (make && rc == SQLITE_OK && version == 1) rc = sqlite3_exec(db_, kFromVersion1, nullptr, nullptr, nullptr);
    if (make && rc == SQLITE_OK && (kind == Kind::Empty || version == 1))
        rc = sqlite3_exec(db_, kInsertGuards, nullptr, nullptr, nullptr);
    if (make && rc == SQLITE_OK && kind == Kind::Older) rc = sqlite3_exec(db_, kFromVersion2, nullptr, nullptr, nullptr);
    if (make && rc == SQLITE_OK) rc = sqlite3_exec(db_, kVersion3, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return failed(rc);
    }
    if (const std::string p = kindProblem(kind); !p.empty()) {
        failed(SQLITE_OK);
        return p;
    }
    return {};
}

std::string Record::addCounting(const CountingEntry& c, const Stamp& stamp) {
    counting_ = 0;  // a lot that follows a counting not recorded is not recorded either
    if (std::string problem = open(); !problem.empty()) return problem;
    Statement st(db_, R"(INSERT INTO comptage(date, poste, operateur, article,
        precision, poids_total, poids_echantillon1, pieces_echantillon1, ecart_accepte, poids_echantillon2,
        pieces_echantillon2, nombre_pieces, incertitude, separateur,
        source_poids_total, ligne_poids_total, unite_poids_total, port_poids_total,
        source_echantillon1, ligne_echantillon1, unite_echantillon1, port_echantillon1,
        source_echantillon2, ligne_echantillon2, unite_echantillon2, port_echantillon2, avertissement, identifiant)
      VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14,
             ?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24, ?25, ?26, ?27, )" PESOLANE_UUID R"())");
    if (!st.s) return failed(sqlite3_extended_errcode(db_));
    st.text(1, stamp.date);
    st.text(2, stamp.host);
    st.text(3, stamp.login);
    st.text(4, c.article);
    const double inputs[] = {c.precis, c.PdsTot, c.PdsEcht1, c.NbEcht1, c.EcartChoisi, c.PdsReelEcht2, c.NbEcht2};
    for (int i = 0; i < 7; ++i) st.real(5 + i, inputs[i]);
    st.text(12, c.NbTotFinal);
    st.text(13, c.Incert2);
    st.text(14, c.separator);
    for (int i = 0; i < 3; ++i) bindSource(st, 15 + 4 * i, c.sources[std::size_t(i)]);
    st.text(27, c.avertissement);
    // One statement, one transaction: committed, synchronised, when it is done.
    if (const int rc = sqlite3_step(st.s); rc != SQLITE_DONE) return failed(rc);
    counting_ = sqlite3_last_insert_rowid(db_);
    return {};
}

std::string Record::addLot(const LotEntry& lot) {
    if (counting_ == 0) return "son comptage n'a pas été enregistré";
    if (std::string problem = open(); !problem.empty()) return problem;
    Statement st(db_, "INSERT INTO lot(comptage, date, pieces, poids, incertitude, separateur, identifiant) "
                      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, " PESOLANE_UUID ")");
    if (!st.s) return failed(sqlite3_extended_errcode(db_));
    sqlite3_bind_int64(st.s, 1, counting_);
    st.text(2, stampNow().date);
    st.real(3, lot.NbVoulu);
    st.text(4, lot.PdsNbVoulu);
    st.text(5, lot.Incert3);
    st.text(6, lot.separator);
    if (const int rc = sqlite3_step(st.s); rc != SQLITE_DONE) return failed(rc);
    return {};
}

namespace {

// A column's value as the server takes it.
std::optional<std::string> sentValue(const Statement& st, int i, ColumnType type) {
    switch (sqlite3_column_type(st.s, i)) {
    case SQLITE_NULL: return std::nullopt;
    case SQLITE_FLOAT:
    case SQLITE_INTEGER:
        if (type == ColumnType::Real) {
            char buf[64];
            const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, sqlite3_column_double(st.s, i));
            return std::string(buf, ec == std::errc() ? end : buf);
        }
        if (type == ColumnType::Integer) return std::to_string(sqlite3_column_int64(st.s, i));
        [[fallthrough]];
    default: return st.column(i);
    }
}

template <std::size_t N>
std::string selectOf(const std::array<SentColumn, N>& columns) {
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < N; ++i) sql += (i ? ", " : "") + std::string(columns[i].local);
    return sql;
}

template <std::size_t N>
std::string readRows(sqlite3* db, Statement& st, const std::array<SentColumn, N>& columns, std::vector<Record::SentRow>& rows) {
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        Record::SentRow row;
        for (std::size_t i = 0; i < N; ++i) row.push_back(sentValue(st, int(i), columns[i].type));
        rows.push_back(std::move(row));
    }
    return rc == SQLITE_DONE ? std::string() : why(rc == SQLITE_OK ? sqlite3_errcode(db) : rc);
}

}  // namespace

std::vector<std::string> Record::Batch::identifiers() const {
    std::vector<std::string> ids;
    for (const auto* rows : {&countings, &lots})
        for (const SentRow& r : *rows) ids.push_back(r.front().value_or(std::string()));
    return ids;
}

std::string Record::takeWaiting(std::size_t limit, Batch& batch) {
    batch = {};
    if (!db_ && !exists(path_)) return {};
    if (std::string problem = open(); !problem.empty()) return problem;
    // One read transaction for both, so that the lots match the countings.
    if (const int rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr); rc != SQLITE_OK) return failed(rc);
    std::string problem;
    {
        Statement c(db_, (selectOf(kSentCountingColumns) +
                          " FROM comptage c WHERE c.identifiant NOT IN (SELECT identifiant FROM envoi) ORDER BY c.numero LIMIT ?1")
                             .c_str());
        if (c.s) sqlite3_bind_int64(c.s, 1, sqlite3_int64(limit));
        problem = c.s ? readRows(db_, c, kSentCountingColumns, batch.countings) : why(sqlite3_errcode(db_));
        // Every counting up to the batch's last is sent or in the batch.
        const std::string last = batch.countings.empty() ? "0" : *batch.countings.back()[2];
        Statement l(db_, (selectOf(kSentLotColumns) + R"( FROM lot l JOIN comptage c ON c.numero = l.comptage
            WHERE l.identifiant NOT IN (SELECT identifiant FROM envoi)
              AND (c.numero <= ?1 OR c.identifiant IN (SELECT identifiant FROM envoi)) ORDER BY l.id)")
                             .c_str());
        if (l.s) l.text(1, last);  // numeric affinity: compared as the number
        if (problem.empty()) problem = l.s ? readRows(db_, l, kSentLotColumns, batch.lots) : why(sqlite3_errcode(db_));
    }
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (!problem.empty()) batch = {};
    return problem;
}

std::string Record::markSent(const std::vector<std::string>& identifiers) {
    if (identifiers.empty()) return {};
    if (std::string problem = open(); !problem.empty()) return problem;
    if (const int rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr); rc != SQLITE_OK) return failed(rc);
    int rc = SQLITE_DONE;
    {
        Statement st(db_, "INSERT OR IGNORE INTO envoi(identifiant, date) VALUES(?1, ?2)");
        const std::string now = stampNow().date;
        for (std::size_t i = 0; st.s && rc == SQLITE_DONE && i < identifiers.size(); ++i) {
            sqlite3_reset(st.s);
            st.text(1, identifiers[i]);
            st.text(2, now);
            rc = sqlite3_step(st.s);
        }
        if (!st.s) rc = sqlite3_errcode(db_);
    }
    if (rc == SQLITE_DONE) rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && rc != SQLITE_DONE) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return failed(rc);
    }
    return {};
}

std::string csvField(const std::string& text) {
    // A spreadsheet takes a field that begins with one of these for a formula
    // (=HYPERLINK(...) would run as the file opens): a leading apostrophe
    // makes it text.
    std::string field = !text.empty() && std::string_view("=+-@").find(text.front()) != std::string_view::npos ? "'" + text : text;
    if (field.find_first_of(";\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

const char* const kCsvHeader =
    "\xEF\xBB\xBF"
    "numéro;date;poste;opérateur;article;précision;poids total;source poids total;poids échantillon 1;"
    "source échantillon 1;pièces échantillon 1;écart accepté;poids échantillon 2;source échantillon 2;"
    "pièces échantillon 2;nombre de pièces;incertitude;pièces du lot;poids du lot;incertitude du lot\r\n";

std::string csvRow(const CsvSource& r) {
    const auto real = [&r](int i) { return decimalComma(r.real(i)); };
    const bool lot = !r.null(18);
    const std::string fields[] = {
        r.text(0), r.text(1), r.text(2), r.text(3), r.text(4),
        real(5), real(6), r.text(7), real(8), r.text(9), real(10), real(11), real(12), r.text(13), real(14),
        shownWithComma(r.text(15), r.text(17)), shownWithComma(r.text(16), r.text(17)),
        lot ? real(18) : std::string(), lot ? shownWithComma(r.text(19), r.text(21)) : std::string(),
        lot ? shownWithComma(r.text(20), r.text(21)) : std::string()};
    std::string line = csvField(fields[0]);
    for (std::size_t i = 1; i < std::size(fields); ++i) line += ';' + csvField(fields[i]);
    return line + "\r\n";
}

std::string decimalComma(double value) {
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    std::string text(buf, ec == std::errc() ? end : buf);
    for (char& c : text)
        if (c == '.') c = ',';
    return text;
}

std::string shownWithComma(const std::string& shown, const std::string& separator) {
    std::string text;
    for (std::size_t i = 0; i < shown.size();) {
        const bool mark = !separator.empty() && shown.compare(i, separator.size(), separator) == 0;
        text += mark ? ',' : shown[i];
        i += mark ? separator.size() : 1;
    }
    if (!text.empty() && text.back() == ',') text.pop_back();
    return text;
}

namespace {

// Opens the record at `path` to read it; gives why it cannot be read, or an
// empty text and the connection in `db`, which the caller closes.
std::string openToRead(const std::string& path, sqlite3*& db) {
    db = nullptr;
    const auto cannot = [&path](const std::string& problem) { return "le journal " + path + " ne peut être lu : " + problem; };
    Kind kind{};
    bool absent = false;
    if (std::string problem = look(path, kind, absent); !problem.empty()) return cannot(problem);
    if (absent) return "le journal " + path + " n'existe pas";
    if (kind != Kind::Ours && kind != Kind::Older) return cannot(kind == Kind::Empty ? why(SQLITE_NOTADB) : kindProblem(kind));
    // A record of ours read-write when it may, so that a transaction cut by
    // a crash is rolled back first; nothing is written here.
    const std::string uri = uriOf(path);
    int rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        db = nullptr;
        rc = sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    }
    const auto fail = [&db, &cannot](const std::string& problem) {
        sqlite3_close_v2(db);
        db = nullptr;
        return cannot(problem);
    };
    if (rc != SQLITE_OK) return fail(why(rc));
    sqlite3_busy_timeout(db, kBusyMs);
    sqlite3_exec(db, "PRAGMA query_only=1", nullptr, nullptr, nullptr);
    if (rc = identify(db, kind); rc != SQLITE_OK) return fail(why(rc));
    if (kind != Kind::Ours && kind != Kind::Older) return fail(kind == Kind::Empty ? why(SQLITE_NOTADB) : kindProblem(kind));
    return {};
}

}  // namespace

std::string exportCsv(const std::string& path, const std::string& from, const std::string& to, std::string& csv) {
    const auto cannot = [&path](const std::string& problem) { return "le journal " + path + " ne peut être lu : " + problem; };
    sqlite3* db = nullptr;
    if (std::string problem = openToRead(path, db); !problem.empty()) return problem;
    const auto fail = [&db, &cannot](const std::string& problem) {
        sqlite3_close_v2(db);
        return cannot(problem);
    };
    int rc = SQLITE_OK;

    // The columns of every version: the CSV is the same from each.
    Statement q(db, (std::string("SELECT ") + kCsvSelect + R"( FROM comptage c LEFT JOIN lot l ON l.comptage = c.numero
      WHERE (?1 = '' OR substr(c.date, 1, 10) >= ?1) AND (?2 = '' OR substr(c.date, 1, 10) <= ?2)
      ORDER BY c.numero, l.id)").c_str());
    if (!q.s) return fail(why(sqlite3_errcode(db)));
    q.text(1, from);
    q.text(2, to);
    csv = kCsvHeader;
    struct Row : CsvSource {
        const Statement& q;
        explicit Row(const Statement& st) : q(st) {}
        bool null(int i) const override { return sqlite3_column_type(q.s, i) == SQLITE_NULL; }
        std::string text(int i) const override { return q.column(i); }
        double real(int i) const override { return sqlite3_column_double(q.s, i); }
    } row(q);
    while ((rc = sqlite3_step(q.s)) == SQLITE_ROW) csv += csvRow(row);
    if (rc != SQLITE_DONE) {
        csv.clear();
        return fail(why(rc));
    }
    sqlite3_close_v2(db);
    return {};
}

}  // namespace pesolane

namespace pesolane {

std::string waitingIn(const std::string& path, Waiting& waiting) {
    waiting = {};
    if (!exists(path)) return {};
    sqlite3* db = nullptr;
    if (std::string problem = openToRead(path, db); !problem.empty()) return problem;
    int version = 0;
    pragmaInt(db, "PRAGMA user_version", version);
    // Before version 3, nothing was sent.
    const char* sql = version >= 3 ? R"(SELECT
        (SELECT count(*) FROM comptage WHERE identifiant NOT IN (SELECT identifiant FROM envoi)),
        (SELECT count(*) FROM lot WHERE identifiant NOT IN (SELECT identifiant FROM envoi)),
        (SELECT min(date) FROM (SELECT date FROM comptage WHERE identifiant NOT IN (SELECT identifiant FROM envoi)
                                UNION ALL SELECT date FROM lot WHERE identifiant NOT IN (SELECT identifiant FROM envoi))))"
                                   : R"(SELECT (SELECT count(*) FROM comptage), (SELECT count(*) FROM lot),
        (SELECT min(date) FROM (SELECT date FROM comptage UNION ALL SELECT date FROM lot)))";
    std::string problem;
    {
        Statement q(db, sql);
        const int rc = q.s ? sqlite3_step(q.s) : sqlite3_errcode(db);
        if (rc == SQLITE_ROW) {
            waiting.countings = sqlite3_column_int64(q.s, 0);
            waiting.lots = sqlite3_column_int64(q.s, 1);
            waiting.since = q.column(2);
        } else {
            problem = "le journal " + path + " ne peut être lu : " + why(rc);
        }
    }
    sqlite3_close_v2(db);
    return problem;
}

std::vector<std::string> recordedArticles(const std::string& path) {
    std::vector<std::string> articles;
    sqlite3* db = nullptr;
    if (!openToRead(path, db).empty()) return articles;
    {
        Statement q(db, "SELECT DISTINCT article FROM comptage WHERE article <> '' ORDER BY article");
        while (q.s && sqlite3_step(q.s) == SQLITE_ROW) articles.push_back(q.column(0));
    }
    sqlite3_close_v2(db);
    return articles;
}

std::string readCounting(const std::string& path, std::int64_t number, RecordedCounting& counting) {
    sqlite3* db = nullptr;
    if (std::string problem = openToRead(path, db); !problem.empty()) return problem;
    std::string problem;
    {
        Statement c(db, R"(SELECT date, poste, operateur, article, nombre_pieces, incertitude,
            coalesce(unite_echantillon2, unite_echantillon1, unite_poids_total, '') FROM comptage WHERE numero = ?1)");
        if (c.s) sqlite3_bind_int64(c.s, 1, number);
        if (!c.s || sqlite3_step(c.s) != SQLITE_ROW) {
            problem = "le journal " + path + " n'a pas de comptage n° " + std::to_string(number);
        } else {
            counting = {};
            counting.number = number;
            counting.date = c.column(0), counting.station = c.column(1), counting.operatorName = c.column(2);
            counting.article = c.column(3), counting.count = c.column(4), counting.incertitude = c.column(5);
            counting.unit = c.column(6);
            Statement l(db, "SELECT pieces, poids, incertitude, separateur FROM lot WHERE comptage = ?1 ORDER BY id");
            if (l.s) sqlite3_bind_int64(l.s, 1, number);
            while (l.s && sqlite3_step(l.s) == SQLITE_ROW)
                counting.lots.push_back({sqlite3_column_double(l.s, 0), l.column(1), l.column(2), l.column(3)});
        }
    }
    sqlite3_close_v2(db);
    return problem;
}

}  // namespace pesolane
