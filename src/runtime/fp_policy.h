#pragma once

#include <cmath>
#include <limits>

#include "runtime/run_error.h"

namespace korvelin::fp {

// Every stored real is a float; every expression is evaluated in double
// from float operands, one operation at a time, and rounded to float when it
// is stored. Division by zero, an invalid operation and overflow at a store
// end the run at the first faulting operation. With finite float operands a
// double sum, difference or product can neither overflow nor be invalid, so
// the only places that can fault are divisions and stores, and those are
// checked here, in portable code rather than with hardware traps.

/// a / b in double; raises M6103 when b is zero and a is not, M6101 when
/// both are zero (or a is not a number).
inline double divide(double a, double b) {
  if (b == 0.0) {
    raiseMath(a == 0.0 || std::isnan(a) ? MathCondition::kInvalid
                                        : MathCondition::kDivideByZero);
  }
  if (std::isnan(a) || std::isnan(b) || (std::isinf(a) && std::isinf(b))) {
    raiseMath(MathCondition::kInvalid);
  }
  return a / b;
}

/// Rounds a double to float for a store; raises M6104 when the rounded value
/// is beyond the largest float, M6101 for a value that is not a number.
inline float store(double value) {
  if (std::isnan(value)) {
    raiseMath(MathCondition::kInvalid);
  }
  // Halfway between the largest float and the next power of two rounds (to
  // even) to infinity; anything from there on overflows.
  constexpr double kFirstOverflow = 0x1.ffffffp+127;
  if (std::fabs(value) >= kFirstOverflow) {
    raiseMath(MathCondition::kOverflow);
  }
  return static_cast<float>(value);
}

}  // namespace korvelin::fp
