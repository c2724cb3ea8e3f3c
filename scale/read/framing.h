// Bytes from a scale into lines and frames: lines end with CR, LF or CR LF;
// STX opens a frame and ETX closes it. Standard C++ only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "outcome.h"
#include "shapes.h"
#include "text.h"

namespace pesolane {

class Framing {
public:
    struct Piece {
        bool frameEnd = false;   // ETX: the frame under way is closed
        std::string_view text;   // a line, without its end; its STX kept when it opened a frame
        bool framed = false;     // the line lies within a frame
        bool bareLF = false;     // an empty line ended by a LF that follows no CR
        bool skipped = false;    // a line that was not taken has ended here
    };

    // The port has just been opened. A scale that sends on its own may be in
    // the middle of a line: its first bytes may end a line begun before.
    void opened(bool midLine) {
        line_.clear();
        skip_ = midLine;
        afterCR_ = false;
        framed_ = false;
    }

    // A read starts: the line under way began before it and is not its answer.
    void skipLineUnderWay() {
        if (!line_.empty()) skip_ = true;
        line_.clear();
    }

    // The next line is not taken: its start came before the port was opened.
    void skipNextLine() { skip_ = true; }

    // The frame under way is over without ETX (its line carried its own end).
    void endFrame() { framed_ = false; }

    // The bytes of a line not yet ended, unless it is skipped.
    std::string_view underWay() const { return skip_ ? std::string_view() : std::string_view(line_); }
    // The last byte was a CR that ended a line, no LF after it (yet).
    bool endedByLoneCR() const { return afterCR_; }
    // When the last byte came; nothing before the first.
    std::optional<Millis> lastByte() const { return lastByte_; }

    // Hands each line and each frame's end to `sink`, in order.
    template <class Sink>
    void feed(std::string_view bytes, Millis now, Sink&& sink) {
        if (!bytes.empty()) lastByte_ = now;
        for (const char c : bytes) {
            if (c == '\r' || c == '\n') {
                const bool bareLF = c == '\n' && !afterCR_;
                const bool ends = !(c == '\n' && afterCR_);
                afterCR_ = c == '\r';
                if (ends) endLine(sink, bareLF);
                continue;
            }
            afterCR_ = false;
            if (c == kSTX) {
                // What came before it on the line is no part of the frame; the
                // STX is kept, some shapes stand only right after it.
                line_.assign(1, kSTX);
                skip_ = false;
                framed_ = true;
            } else if (c == kETX) {
                if (!line_.empty()) endLine(sink, false);
                framed_ = false;
                Piece end;
                end.frameEnd = true;
                sink(end);
            } else if (line_.size() <= kMaxLineBytes) {
                // A line longer than any answer is kept no further: it is not a weight.
                line_ += c;
            }
        }
    }

private:
    template <class Sink>
    void endLine(Sink& sink, bool bareLF) {
        const bool skipped = skip_;
        skip_ = false;
        Piece p;
        p.skipped = skipped;
        if (!skipped) {
            p.text = line_;
            p.framed = framed_;
            p.bareLF = bareLF && line_.empty();
        }
        sink(p);
        line_.clear();  // keeps its room: no allocation a line
    }

    std::string line_;       // the line under way, up to kMaxLineBytes + 1
    bool skip_ = false;      // the line under way is not taken
    bool afterCR_ = false;   // a LF right after a CR ends no line
    bool framed_ = false;    // an STX came and its ETX not yet
    std::optional<Millis> lastByte_;
};

}  // namespace pesolane
