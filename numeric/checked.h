// Arithmetic with a sticky error flag, for the results the steps compute.
//
// Every stored working value is finite, so any intermediate that is not
// finite (an overflow, an invalid operation) or a division by zero marks the
// whole computation as failed - even when a later operation would bring the
// final value back into range (a denominator that overflows to infinity
// gives a finite 0). No floating-point status flags are involved, so the
// check cannot be reordered away by the optimiser.
#pragma once

#include <cmath>

namespace pesolane {

class Checked {
public:
    explicit Checked(double v) : value_(v), ok_(std::isfinite(v)) {}

    double value() const { return value_; }
    bool ok() const { return ok_; }

    friend Checked operator+(Checked a, Checked b) { return Checked(a.value_ + b.value_, a.ok_ && b.ok_); }
    friend Checked operator-(Checked a, Checked b) { return Checked(a.value_ - b.value_, a.ok_ && b.ok_); }
    friend Checked operator*(Checked a, Checked b) { return Checked(a.value_ * b.value_, a.ok_ && b.ok_); }
    friend Checked operator/(Checked a, Checked b) {
        return Checked(a.value_ / b.value_, a.ok_ && b.ok_ && b.value_ != 0.0);
    }

private:
    Checked(double v, bool inputsOk) : value_(v), ok_(inputsOk && std::isfinite(v)) {}

    double value_;
    bool ok_;
};

}  // namespace pesolane
