// A model of scales that knows the truth: a scene (what lies on the pan), a
// dialect (how a family of scales tells it, written from the makers' manuals),
// a line (what happens on the way). It yields the bytes a scale sends, when,
// and the truth: the net weight shown, or no weight. Standard C++.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "outcome.h"

namespace pesolane::model {

// Where the model's choices come from: a seed, or a fuzzer's bytes.
class Draw {
public:
    explicit Draw(std::uint64_t seed) : state_(seed) {}
    Draw(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    unsigned below(unsigned n);  // 0 .. n-1
    bool chance(unsigned percent) { return below(100) < percent; }

private:
    std::uint64_t state_ = 0;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

struct Scene {
    enum State : std::uint8_t { Settled, Moving, Over, Under };
    std::int64_t net = 0, tare = 0;  // in the unit of the last digit shown
    int decimals = 0;
    std::string unit;
    State state = Settled;
    int variant = 0;  // which of a dialect's own ways of telling it
};

struct Conversation {
    std::string dialect, line;  // their names
    Protocol protocol = Protocol::Command;
    bool hid = false;
    struct Sent {
        Millis at;
        std::string bytes;  // for a USB device: one read
    };
    std::vector<Sent> unasked;   // sent on its own, in time order; before `f9`, before the read
    std::string answer;          // sent after each command heard
    std::optional<Millis> changeAt;  // from then on, the scene moving or settled: `answerThen` instead
    std::string answerThen;
    Millis answerAfter = 0;
    int missed = 0;              // the first commands of the read, never heard
    std::vector<std::string> late;  // answers owed to earlier reads, each given up at its time limit
    bool arriving = false;       // bytes were held as the port opened (at 0)
    std::optional<Millis> hangUp;  // the other end hangs up: the port reads an end of file
    Millis f9 = 0, limit = 0;
    std::optional<std::string> truth;  // "40.20 g", or no weight
    bool mustRead = false;             // nothing disturbed it: the truth must be read
};

Conversation converse(Draw& draw);

// The conversation through the pure read session (or a USB device's), from
// the port's opening to the read's one outcome.
Weighing readThrough(const Conversation& c);

// The outcome is the truth or a refusal (a refusal only where it may be);
// otherwise `why` says what went wrong.
bool faithful(const Conversation& c, const Weighing& w, std::string* why);

// The names of all the dialects.
std::vector<std::string> dialects();

// A device on a serial port as the search meets it: a dialect at one line
// setting (at any other, what it sends reads as nothing and it hears
// nothing it knows), or a device that never gives a mass weight. It may
// answer late (up to a second), be loaded during the search (its scene
// moving until it settles), be found beside a settings file with a bad line,
// or sit on the port searched after another that talks.
struct Device {
    using Message = std::string (*)(const Scene&, int);
    std::string dialect, line;
    int baud = 9600;
    std::string format = "8N1";
    std::optional<std::string> truth;  // the net weight shown once settled, or no weight
    bool mustFind = false;             // nothing disturbs it, and it gives a mass weight when asked
    bool print = false;                // sends a print on its PRINT key
    bool pressedThere = false;         // the key pressed each time the search comes to its setting
    Millis pressAfter = 0;             // that long after
    Millis period = 0;                 // between two lines sent on its own (a stream, a key pressed); 0: none
    Message message = nullptr;
    std::vector<std::pair<std::string, Message>> answers;  // a request it knows, the shape of its answer
    Scene scene;
    Millis settleAt = 0;        // a moving scene settles then
    std::vector<Millis> noise;  // when a burst of noise comes
    Millis answerAfter = 0;
    std::string badKey;          // the key of the settings file's bad line, if any
    std::vector<Device> before;  // the devices of the ports searched first

    // What lies on the pan at `t`.
    Scene sceneAt(Millis t) const;
};

Device device(Draw& draw);

// The names of every dialect and device the search may meet.
std::vector<std::string> searchDialects();

// What the search made of a device.
struct Search {
    bool found = false;
    std::string command;           // the command found, as the settings write it, and its end
    std::string end;
    int baud = 0;
    std::string format;
    Protocol protocol = Protocol::Command;
    std::vector<std::string> sent;  // every write, in order
    std::vector<std::size_t> reads;  // which of them a read of what was found made
    std::string shown;              // what the search's own read gave
    bool moving = false;            // found with its weight still moving
    bool unusable = false;          // refused for the settings file's bad line
};

// The search's core driven over `d`, from the port's opening to its end.
// `commandBytes` turns a command and its end, as written, into what is sent.
Search searchThrough(const Device& d, std::string (*commandBytes)(const std::string&, const std::string&));

// Found with settings under which a read gives the truth, or not found; and
// nothing sent but a probe, its follow-up, or the command found (no T, no Z, no
// W CR LF but where LF W CR is asked again); a device that talks asked nothing.
// Otherwise `why` says what went wrong.
bool faithful(const Device& d, const Search& s, std::string (*commandBytes)(const std::string&, const std::string&),
              std::string* why);

// A read of `d` (its PRINT key pressed once more) with these settings, from
// `at` on the device's clock.
Weighing readWith(const Device& d, int baud, const std::string& format, Protocol protocol, const std::string& command,
                  Millis at);

}  // namespace pesolane::model
