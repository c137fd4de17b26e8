#include "axis_ticks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korvelin::report {

AxisScale niceScale(double low, double high, int targetTicks) {
  if (high < low) {
    std::swap(low, high);
  }
  if (high - low <= 0.0) {
    double pad = low == 0.0 ? 1.0 : std::fabs(low) * 0.1;
    low -= pad;
    high += pad;
  }
  double raw = (high - low) / std::max(targetTicks, 1);
  double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  double norm = raw / magnitude;
  // A quarter more intervals than asked for is better than half as many:
  // 0..1234 by 200 rather than by 500.
  double factor = norm <= 1.25   ? 1.0
                  : norm <= 2.5  ? 2.0
                  : norm <= 6.25 ? 5.0
                                 : 10.0;
  AxisScale scale;
  scale.step = factor * magnitude;
  // The slack keeps a value that is a whole step up to rounding (0.3 / 0.1)
  // from adding a whole empty step.
  double first = std::floor(low / scale.step + 1e-9);
  double last = std::ceil(high / scale.step - 1e-9);
  scale.low = first * scale.step;
  scale.high = last * scale.step;
  scale.decimals =
      std::max(0, -static_cast<int>(std::floor(std::log10(scale.step) + 1e-9)));
  for (double k = first; k <= last + 0.5; k += 1.0) {
    double tick = k * scale.step;
    scale.ticks.push_back(std::fabs(tick) < scale.step * 1e-9 ? 0.0 : tick);
  }
  return scale;
}

std::string tickLabel(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace korvelin::report
