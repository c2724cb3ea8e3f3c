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

}  // namespace pesolane::model
