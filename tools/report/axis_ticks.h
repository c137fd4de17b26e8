#pragma once

#include <string>
#include <vector>

namespace korvelin::report {

/// An axis range widened to whole steps of 1, 2 or 5 times a power of ten,
/// with its tick values.
struct AxisScale {
  double low = 0.0;
  double high = 1.0;
  double step = 1.0;
  int decimals = 0;  ///< decimals the tick labels need to tell steps apart
  std::vector<double> ticks;
};

/// The scale for data from low to high with about `targetTicks` intervals:
/// 271.25..318.75 gives 270..320 by 10, 0..10.525 gives 0..12 by 2. An empty
/// range is widened around its value so that it still has ticks.
[[nodiscard]] AxisScale niceScale(double low, double high, int targetTicks = 6);

/// A tick label with the scale's decimals: 280 -> "280", 0.5 -> "0.5".
[[nodiscard]] std::string tickLabel(double value, int decimals);

}  // namespace korvelin::report
