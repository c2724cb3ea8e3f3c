// The record of countings: an SQLite file that keeps every final count and
// every lot weight the window showed, with the weights they came from, and
// its export as a CSV file that a French spreadsheet opens as it is.
//
// Standard C++ and the system's SQLite only. Every write is one transaction,
// on the disk before the caller shows its result: the file synchronised, and
// its folder once the rollback journal is deleted; nothing is ever deleted or
// rewritten. A file that is not a record, or a record from a newer version,
// is refused before anything is written to it, and another program's
// database is never opened so that SQLite could change it. A path is bytes,
// given to the system as they are.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace pesolane {

// Where one weight came from: typed, or read from the scale.
struct WeightSource {
    bool fromScale = false;
    std::string line;  // read from the scale: the line as it came
    std::string unit;  // its unit
    std::string port;  // the port or device it came through
};

// One final count, with the inputs as the steps used them and the results
// as the window showed them (the masked texts, the locale's separator and all).
struct CountingEntry {
    std::string article;
    double precis = 0, PdsTot = 0, PdsEcht1 = 0, NbEcht1 = 0, EcartChoisi = 0, PdsReelEcht2 = 0, NbEcht2 = 0;
    std::string NbTotFinal, Incert2;
    std::string separator = ",";  // the decimal separator the window showed them with
    std::array<WeightSource, 3> sources;  // total weight, first sample, second sample
    std::string avertissement;  // the counting's warnings as the window showed them; empty: none
};

// One lot weight of the latest counting.
struct LotEntry {
    double NbVoulu = 0;
    std::string PdsNbVoulu, Incert3;
    std::string separator = ",";
};

// Who counts, where and when: filled by the record at each counting unless
// set (the tests set them).
struct Stamp {
    std::string date;   // ISO 8601 local time with its offset: 2026-12-08T09:14:03+01:00
    std::string host;
    std::string login;
};
Stamp stampNow();

class Record {
public:
    explicit Record(std::string path) : path_(std::move(path)) {}
    ~Record();
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    // Each gives an empty text once committed, or why not, in French. The
    // file is created at the first counting.
    std::string addCounting(const CountingEntry& counting, const Stamp& stamp = stampNow());
    // Under the latest counting this record added; none, and it is refused.
    std::string addLot(const LotEntry& lot);

    std::int64_t latestCounting() const { return counting_; }

    // Sending to the site's server. A row's values as text (a real as the
    // shortest text that reads back as the same double), in the order of
    // its column table; none for NULL.
    using SentRow = std::vector<std::optional<std::string>>;
    struct Batch {
        std::vector<SentRow> countings, lots;
        std::vector<std::string> identifiers() const;  // of them all
    };
    // The oldest countings the server does not have yet, at most `limit`,
    // and the lots that can go with them (their counting already on the
    // server, or in the batch), in the order they were recorded. A record
    // that does not exist has none, and is not created.
    std::string takeWaiting(std::size_t limit, Batch& batch);
    // Keeps that the server has committed these, in one transaction.
    std::string markSent(const std::vector<std::string>& identifiers);

private:
    std::string open();
    std::string failed(int code);

    std::string path_;
    sqlite3* db_ = nullptr;
    std::int64_t counting_ = 0;
};

// The countings of a local date range (AAAA-MM-JJ; empty: unbounded), both
// ends included, as CSV: UTF-8 with a byte-order mark, ';' between fields,
// decimal comma, CR LF. One row per lot, or one for a counting without lot.
// Gives an empty text and the CSV in `csv`, or why the record cannot be read.
std::string exportCsv(const std::string& path, const std::string& from, const std::string& to, std::string& csv);

// The CSV's first line, after its byte-order mark.
extern const char* const kCsvHeader;

// One row of the CSV, CR LF included, from a row of the columns that
// kCsvSelect names, in their order.
struct CsvSource {
    virtual ~CsvSource() = default;
    virtual bool null(int column) const = 0;
    virtual std::string text(int column) const = 0;
    virtual double real(int column) const = 0;
};
std::string csvRow(const CsvSource& row);

// A field as the CSV holds it: after an apostrophe when it begins with '=',
// '+', '-' or '@' (no formula for a spreadsheet), then quoted, inner quotes
// doubled, when it holds ';', '"', CR or LF.
std::string csvField(const std::string& text);

// A value the step used, written with a decimal comma: the shortest text
// that reads back as the same double.
std::string decimalComma(double value);

// A result as the window showed it with `separator` ("5000," or "9,9"),
// written with a decimal comma and without a trailing separator.
std::string shownWithComma(const std::string& shown, const std::string& separator);

// What waits to be sent to the site's server: how many countings and lots,
// and the date of the oldest (empty: none). A record of an earlier version
// has sent nothing yet. Gives an empty text, or why the record cannot be read;
// a record that does not exist has nothing waiting.
struct Waiting {
    std::int64_t countings = 0, lots = 0;
    std::string since;
};
std::string waitingIn(const std::string& path, Waiting& waiting);

// The articles already recorded, each once, in order; none when the record
// cannot be read.
std::vector<std::string> recordedArticles(const std::string& path);

// One counting as the record keeps it, with its lots in their order: what
// its label says.
struct RecordedCounting {
    std::int64_t number = 0;
    std::string date, station, operatorName, article;
    std::string count, incertitude;  // as the window showed them
    std::string unit;                // of the weights read from the scale; empty: typed
    std::vector<LotEntry> lots;
};

// Reads counting `number`; gives an empty text, or why it cannot be read.
std::string readCounting(const std::string& path, std::int64_t number, RecordedCounting& counting);

}  // namespace pesolane
