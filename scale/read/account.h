// The account of commands owed an answer. A scale answers its commands in
// order, but may answer late (after the read that sent the command has ended)
// or not at all (it was off): the link cannot tell which. So it counts the
// answers that may still come for commands of reads that are over; during a
// read, an answer is certainly the read's own only when more answers have
// come in the read than that count, whatever the scale missed. Until then the
// read asks again. Standard C++ only.
#pragma once

#include <algorithm>

namespace pesolane {

class CommandAccount {
public:
    // A read starts: the answers that may still come are all earlier ones.
    void readBegins() {
        earlier_ = mayCome_;
        answersInRead_ = 0;
        reading_ = true;
    }
    void readEnds() { reading_ = false; }

    // A command has been sent.
    void sent() { ++mayCome_; }

    // An answer has come: true when it is certainly the answer to a command
    // of the read under way.
    bool answered() {
        mayCome_ = std::max(0, mayCome_ - 1);
        return reading_ && ++answersInRead_ > earlier_;
    }

    // Answers that may still come, for commands already sent.
    int owed() const { return mayCome_; }

    // The read has had answers that may have been late ones.
    bool hadUnsure() const { return reading_ && answersInRead_ > 0; }

private:
    int mayCome_ = 0;        // answers that may still come
    int earlier_ = 0;        // of those, at the read's start
    int answersInRead_ = 0;
    bool reading_ = false;
};

}  // namespace pesolane
