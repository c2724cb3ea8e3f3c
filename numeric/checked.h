// Arithmetic with a sticky error flag, for the results the steps compute.
//
// Every stored working value is a finite number in the normal range of
// doubles, so a computation fails as a whole when any of its operations
// - overflows or is invalid (not finite), or divides by zero, even when a
//   later operation would bring the final value back into range (a
//   denominator that overflows to infinity gives a finite 0);
// - loses its range at the small end: a result that is subnormal, or a
//   product or quotient of non-zero operands that comes out 0. Such a result
//   has lost its precision (or all of it), and a count or bound computed from
//   it would be plainly wrong.
// An exact zero from adding or subtracting is a sound result (it is a
// division by it that fails). The operands themselves are taken as they are:
// a typed subnormal number is refused only by the first operation that uses it.
// No floating-point status flags are involved, so the check cannot be
// reordered away by the optimiser.
#pragma once

#include <cfloat>
#include <cmath>

namespace pesolane {

class Checked {
public:
    explicit Checked(double v) : value_(v), ok_(std::isfinite(v)) {}

    double value() const { return value_; }
    bool ok() const { return ok_; }

    friend Checked operator+(Checked a, Checked b) { return Checked(a.value_ + b.value_, a.ok_ && b.ok_); }
    friend Checked operator-(Checked a, Checked b) { return Checked(a.value_ - b.value_, a.ok_ && b.ok_); }
    friend Checked operator*(Checked a, Checked b) {
        const double r = a.value_ * b.value_;
        return Checked(r, a.ok_ && b.ok_ && (r != 0.0 || a.value_ == 0.0 || b.value_ == 0.0));
    }
    friend Checked operator/(Checked a, Checked b) {
        const double r = a.value_ / b.value_;
        return Checked(r, a.ok_ && b.ok_ && b.value_ != 0.0 && (r != 0.0 || a.value_ == 0.0));
    }

private:
    Checked(double v, bool inputsOk) : value_(v), ok_(inputsOk && std::isfinite(v) && (v == 0.0 || std::fabs(v) >= DBL_MIN)) {}

    double value_;
    bool ok_;
};

}  // namespace pesolane
