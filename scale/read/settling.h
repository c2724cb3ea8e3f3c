// When a weight without a mark of stability is settled: the same weight in
// three whole answers in a row, over at least half a second. A scale that
// sends only on its PRINT key ends its print with a silence, counted from
// the last byte received. Standard C++ only.
#pragma once

#include <optional>
#include <string>

#include "outcome.h"

namespace pesolane {

inline constexpr int kSettledAnswers = 3;
inline constexpr Millis kSettledMs = 500;
inline constexpr Millis kQuietMs = 1000;
// Bytes that come this soon after the port opens were under way as it opened.
inline constexpr Millis kOpeningMs = 100;

class Repetition {
public:
    // One more whole answer with this weight, begun at `at`: true once the
    // weight has settled.
    bool add(const std::string& weight, const std::string& unit, Millis at) {
        if (run_ && run_->weight == weight && run_->unit == unit) {
            ++run_->answers;
        } else {
            moved_ = moved_ || run_.has_value();
            run_ = Run{weight, unit, 1, at};
        }
        unit_ = unit;
        return run_->answers >= kSettledAnswers && at - run_->since >= kSettledMs;
    }

    // The weight moved (a moving or overload line): the run starts again.
    void broken() {
        moved_ = moved_ || run_.has_value();
        run_.reset();
    }

    void clear() {
        run_.reset();
        moved_ = false;
        unit_.clear();
    }

    // Weights came, and none settled.
    bool unsettled() const { return run_.has_value() || moved_; }
    // The unit of the last of them.
    const std::string& unit() const { return unit_; }
    // Weights came that were not all the same.
    bool moved() const { return moved_; }

private:
    struct Run {
        std::string weight, unit;
        int answers = 0;
        Millis since = 0;
    };
    std::optional<Run> run_;
    bool moved_ = false;
    std::string unit_;
};

}  // namespace pesolane
