// The site's server: every station's countings and lots in one PostgreSQL
// database, through Debian's libpq. The station's record stays the first
// place a counting is kept; what it holds is then copied to the server, each
// counting and lot once, by its identifier.
//
// Standard C++ and libpq only; each call blocks, so the window calls them on
// a thread of its own. Every statement takes its values as parameters: no
// text from a station is ever part of one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace pesolane {

// The server's tables, triggers and roles, as the administrator runs them.
extern const char* const kServerSql;

// The version of the server's tables this program writes; a server of a
// newer one is not sent to.
inline constexpr int kServerVersion = 1;

enum class ServerStatus {
    Done,         // all was sent (or the server answers, for checkServer)
    Unreachable,  // no answer: the network, or the server stopped
    Refused,      // it answers, but refuses: login, rights, not a record of ours, a newer version
    Local,        // the station's own record cannot be read or written
};

struct SendOutcome {
    ServerStatus status = ServerStatus::Done;
    std::int64_t countings = 0, lots = 0;  // sent by this call
    std::string problem;                    // why it stopped, in French; empty when done
};

// Sends what the record at `recordPath` holds that the server `server` (a
// libpq connection string or URI) does not, oldest first, in transactions of
// at most `batch` countings with their lots; each is kept as sent once the
// server has committed it. The server ignores an identifier it already has,
// so what a kill or a lost answer left unkept is sent again harmlessly.
// Stops between transactions once `stop` is set.
SendOutcome sendWaiting(const std::string& recordPath, const std::string& server,
                        const std::atomic<bool>* stop = nullptr, std::size_t batch = 1000);

// When sending stops working and when it works again, the operator is told
// once each; between, it is tried again after a pause that doubles from 1 s
// to at most a minute.
struct SendingState {
    bool failing = false;
    int failures = 0;  // in a row
};
struct AfterSend {
    std::string tell;   // what to tell the operator now; empty: nothing
    int retryMs = -1;   // when to try again; -1: when there is something new
};
AfterSend afterSend(SendingState& state, const SendOutcome& outcome);

// Whether the server answers and would take this station's countings.
SendOutcome checkServer(const std::string& server);

// Makes the server's tables, triggers and roles (kServerSql), once; a server
// already prepared is left as it is. Gives an empty text, or why not.
std::string prepareServer(const std::string& server, bool& already);

// The site's countings as the same CSV as a station's record gives, those of
// station `station` only when it is not empty, within the local days `from`
// and `to` (AAAA-MM-JJ, empty: unbounded); written piece by piece to `write`
// (false: stop), row by row from the server, in constant memory. Gives an
// empty text, or why not.
std::string exportServerCsv(const std::string& server, const std::string& station, const std::string& from,
                            const std::string& to, const std::function<bool(const std::string&)>& write);

}  // namespace pesolane
