#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "result_table.h"

namespace korvelin::report {

/// One field's column as a curve: the rows that hold a value, in rising
/// temperature. Between two points the curve is the straight line through
/// them; it is not extended beyond the first and last point. Every figure
/// below is taken from this piecewise-linear curve.
class Curve {
 public:
  Curve() = default;
  /// temperatures must rise strictly and have the size of values.
  Curve(std::vector<double> temperatures, std::vector<double> values);

  std::size_t size() const { return temperatures_.size(); }
  const std::vector<double>& temperatures() const { return temperatures_; }
  const std::vector<double>& values() const { return values_; }
  double first() const { return temperatures_.front(); }
  double last() const { return temperatures_.back(); }

  /// The interpolated value at t, first() <= t <= last().
  [[nodiscard]] double valueAt(double t) const;
  /// The exact integral of |curve| from a to b, first() <= a <= b <= last().
  /// A segment whose ends differ in sign is split at its zero.
  [[nodiscard]] double integralOfMagnitude(double a, double b) const;

 private:
  // Integral of |curve| from first() up to t.
  double cumulativeAt(double t) const;
  std::size_t segmentOf(double t) const;

  std::vector<double> temperatures_;
  std::vector<double> values_;
  std::vector<double> cumulative_;  // integral of |curve| up to each point
};

/// The largest value of the curve and where it is; the first of equal ones.
struct Peak {
  std::size_t index = 0;
  double temperature = 0.0;
  double value = 0.0;
};

/// Requires a curve with at least one point.
[[nodiscard]] Peak findPeak(const Curve& curve);

/// Where the curve falls to half the peak on one side of it. When it does not
/// fall that far within the data, inData is false and temperature is the end
/// of the data on that side: the true crossing lies beyond it.
struct Crossing {
  double temperature = 0.0;
  bool inData = false;
};

/// The two half-maximum crossings around a positive peak.
struct HalfMaximum {
  Crossing cold;
  Crossing hot;

  bool exact() const { return cold.inData && hot.inData; }
  /// The full width at half maximum; a lower bound unless exact().
  double width() const { return hot.temperature - cold.temperature; }
};

/// Walks out from the peak on each side to the first point at or below half
/// the peak and interpolates linearly between it and its inner neighbour.
/// Requires peak.value > 0.
[[nodiscard]] HalfMaximum findHalfMaximum(const Curve& curve, const Peak& peak);

/// A temperature-averaged entropy change: the largest mean of |curve| over a
/// window of the given width lying wholly inside the data, and the middle of
/// the window that gives it.
struct Tec {
  double value = 0.0;
  double centre = 0.0;
};

/// TEC for one window width (K). Empty when the data span less than the
/// width. The window slides continuously, its edges falling anywhere between
/// rows; the maximum is found exactly for the piecewise-linear curve.
[[nodiscard]] std::optional<Tec> findTec(const Curve& curve, double width);

/// The field exponent between a lower and a higher field at one temperature.
struct FieldExponent {
  double value = 0.0;
  double lowerField = 0.0;   ///< T
  double temperature = 0.0;  ///< K, the row where both cells were taken
};

/// The figures of merit of one target field (one column of the table).
struct FieldFigures {
  std::size_t column = 0;       ///< 0-based column in the table
  std::optional<double> field;  ///< T; empty when the heading hides it
  std::size_t cellsUsed = 0;
  std::size_t cellsMissing = 0;
  Curve curve;
  std::optional<Peak> peak;  ///< empty when the column holds no value
  /// Present when the peak is positive and the column has two values or
  /// more. FWHM = width(); RCP and RC below share its exactness.
  std::optional<HalfMaximum> halfMaximum;
  double rcp = 0.0;  ///< peak x FWHM, J/kg
  double rc = 0.0;   ///< integral of |curve| between the crossings, J/kg
  std::vector<std::optional<Tec>> tec;  ///< one per requested width
  /// n = d ln|dS| / d ln B against the next lower known positive field, at
  /// this field's peak temperature; empty when it cannot be formed.
  std::optional<FieldExponent> exponent;
};

/// Every figure of every column. fields overrides the heading's fields (the
/// control file's exact values) when it is not empty; it then has one entry
/// per column.
struct ReportFigures {
  std::vector<double> tecWidths;
  std::vector<FieldFigures> fields;  ///< in table column order
};

[[nodiscard]] ReportFigures computeFigures(
    const ResultTable& table, const std::vector<double>& tecWidths,
    const std::vector<double>& fields = {});

}  // namespace korvelin::report
