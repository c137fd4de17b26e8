#include "figures.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace korvelin::report {
namespace {

// Integral of |y| over one straight segment from (0, y0) to (length, y1).
// 0 -> 2 over 1 K gives 1; 1 -> -1 over 2 K crosses zero half way and gives
// two triangles of 0.5 each, not the 0 a plain trapezoid would.
double segmentMagnitude(double length, double y0, double y1) {
  if ((y0 >= 0.0 && y1 >= 0.0) || (y0 <= 0.0 && y1 <= 0.0)) {
    return length * (std::fabs(y0) + std::fabs(y1)) * 0.5;
  }
  double zero = y0 / (y0 - y1);  // fraction of the segment before the zero
  return length * (zero * std::fabs(y0) + (1.0 - zero) * std::fabs(y1)) * 0.5;
}

}  // namespace

Curve::Curve(std::vector<double> temperatures, std::vector<double> values)
    : temperatures_(std::move(temperatures)), values_(std::move(values)) {
  cumulative_.assign(temperatures_.size(), 0.0);
  for (std::size_t k = 1; k < temperatures_.size(); ++k) {
    cumulative_[k] = cumulative_[k - 1] +
                     segmentMagnitude(temperatures_[k] - temperatures_[k - 1],
                                      values_[k - 1], values_[k]);
  }
}

std::size_t Curve::segmentOf(double t) const {
  if (temperatures_.size() < 2) {
    return 0;
  }
  auto above = std::upper_bound(temperatures_.begin(), temperatures_.end(), t);
  std::size_t k = static_cast<std::size_t>(above - temperatures_.begin());
  return std::clamp<std::size_t>(k, 1, temperatures_.size() - 1) - 1;
}

double Curve::valueAt(double t) const {
  if (temperatures_.size() < 2) {
    return values_.front();
  }
  std::size_t k = segmentOf(t);
  double t0 = temperatures_[k];
  double t1 = temperatures_[k + 1];
  if (t >= t1) {
    return values_[k + 1];
  }
  return values_[k] + (values_[k + 1] - values_[k]) * ((t - t0) / (t1 - t0));
}

double Curve::cumulativeAt(double t) const {
  if (temperatures_.size() < 2) {
    return 0.0;
  }
  std::size_t k = segmentOf(t);
  return cumulative_[k] +
         segmentMagnitude(t - temperatures_[k], values_[k], valueAt(t));
}

double Curve::integralOfMagnitude(double a, double b) const {
  return cumulativeAt(b) - cumulativeAt(a);
}

Peak findPeak(const Curve& curve) {
  const std::vector<double>& v = curve.values();
  auto top = std::max_element(v.begin(), v.end());
  Peak peak;
  peak.index = static_cast<std::size_t>(top - v.begin());
  peak.temperature = curve.temperatures()[peak.index];
  peak.value = *top;
  return peak;
}

HalfMaximum findHalfMaximum(const Curve& curve, const Peak& peak) {
  const std::vector<double>& t = curve.temperatures();
  const std::vector<double>& v = curve.values();
  const double half = peak.value * 0.5;
  HalfMaximum result;
  result.cold = {curve.first(), false};
  result.hot = {curve.last(), false};
  // Walking outwards, the first point at or below half ends the peak; the
  // crossing lies between it and its inner neighbour, which is above half.
  for (std::size_t j = peak.index; j-- > 0;) {
    if (v[j] <= half) {
      result.cold = {t[j] + (half - v[j]) / (v[j + 1] - v[j]) * (t[j + 1] - t[j]),
                     true};
      break;
    }
  }
  for (std::size_t j = peak.index + 1; j < v.size(); ++j) {
    if (v[j] <= half) {
      result.hot = {
          t[j - 1] + (v[j - 1] - half) / (v[j - 1] - v[j]) * (t[j] - t[j - 1]),
          true};
      break;
    }
  }
  return result;
}

std::optional<Tec> findTec(const Curve& curve, double width) {
  if (curve.size() < 2 || !(width > 0.0) ||
      curve.last() - curve.first() < width) {
    return std::nullopt;
  }
  const std::vector<double>& t = curve.temperatures();
  const std::vector<double>& v = curve.values();
  const double lo = curve.first();
  const double hi = std::max(lo, curve.last() - width);

  // The window's mean, as a function of its cold edge a, is a quadratic in a
  // between the places where either edge meets a point or a zero of the
  // curve; its slope |v(a + width)| - |v(a)| is continuous and linear there.
  // So the largest mean sits at one of those places or where the slope
  // changes from rising to falling inside a piece.
  std::vector<double> edges{lo, hi};
  auto addEdge = [&](double x) {
    for (double a : {x, x - width}) {
      if (a > lo && a < hi) {
        edges.push_back(a);
      }
    }
  };
  for (std::size_t k = 0; k < t.size(); ++k) {
    addEdge(t[k]);
    if (k + 1 < t.size() && ((v[k] < 0.0 && v[k + 1] > 0.0) ||
                             (v[k] > 0.0 && v[k + 1] < 0.0))) {
      addEdge(t[k] + v[k] / (v[k] - v[k + 1]) * (t[k + 1] - t[k]));
    }
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

  auto hotEdge = [&](double a) { return std::min(a + width, curve.last()); };
  auto slope = [&](double a) {
    return std::fabs(curve.valueAt(hotEdge(a))) - std::fabs(curve.valueAt(a));
  };
  Tec best{-1.0, 0.0};
  auto consider = [&](double a) {
    double mean = curve.integralOfMagnitude(a, hotEdge(a)) / width;
    if (mean > best.value) {
      best = {mean, a + width * 0.5};
    }
  };
  double previousSlope = slope(edges.front());
  consider(edges.front());
  for (std::size_t k = 1; k < edges.size(); ++k) {
    double s = slope(edges[k]);
    if (previousSlope > 0.0 && s < 0.0) {
      consider(edges[k - 1] +
               (edges[k] - edges[k - 1]) * previousSlope / (previousSlope - s));
    }
    consider(edges[k]);
    previousSlope = s;
  }
  return best;
}

ReportFigures computeFigures(const ResultTable& table,
                             const std::vector<double>& tecWidths,
                             const std::vector<double>& fields) {
  ReportFigures report;
  report.tecWidths = tecWidths;

  // Rows in rising temperature; korvelin writes them falling when the
  // control file lists the temperatures that way.
  std::vector<std::size_t> order(table.rows.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (table.rows.size() > 1 &&
      table.rows.front().temperature > table.rows.back().temperature) {
    std::reverse(order.begin(), order.end());
  }

  // For each column, the row behind each point of its curve.
  std::vector<std::vector<std::size_t>> pointRows(table.fields.size());
  for (std::size_t c = 0; c < table.fields.size(); ++c) {
    FieldFigures figures;
    figures.column = c;
    figures.field = fields.empty() ? table.fields[c]
                                   : std::optional<double>(fields[c]);
    std::vector<double> temperatures;
    std::vector<double> values;
    for (std::size_t r : order) {
      const std::optional<double>& cell = table.rows[r].cells[c];
      if (cell) {
        temperatures.push_back(table.rows[r].temperature);
        values.push_back(*cell);
        pointRows[c].push_back(r);
      }
    }
    figures.cellsUsed = values.size();
    figures.cellsMissing = table.rows.size() - values.size();
    figures.curve = Curve(std::move(temperatures), std::move(values));
    if (figures.curve.size() > 0) {
      figures.peak = findPeak(figures.curve);
      if (figures.peak->value > 0.0 && figures.curve.size() > 1) {
        HalfMaximum half = findHalfMaximum(figures.curve, *figures.peak);
        figures.halfMaximum = half;
        figures.rcp = figures.peak->value * half.width();
        figures.rc = figures.curve.integralOfMagnitude(half.cold.temperature,
                                                       half.hot.temperature);
      }
    }
    for (double width : tecWidths) {
      figures.tec.push_back(findTec(figures.curve, width));
    }
    report.fields.push_back(std::move(figures));
  }

  // Field exponents: each known positive field against the next lower one,
  // both cells taken from the row of the higher field's peak.
  std::vector<std::size_t> byField;
  for (const FieldFigures& f : report.fields) {
    if (f.field && *f.field > 0.0) {
      byField.push_back(f.column);
    }
  }
  std::stable_sort(byField.begin(), byField.end(),
                   [&](std::size_t a, std::size_t b) {
                     return *report.fields[a].field < *report.fields[b].field;
                   });
  for (std::size_t k = 1; k < byField.size(); ++k) {
    FieldFigures& high = report.fields[byField[k]];
    std::size_t lowerAt = k;
    while (lowerAt > 0 &&
           !(*report.fields[byField[lowerAt - 1]].field < *high.field)) {
      --lowerAt;
    }
    if (lowerAt == 0 || !high.peak) {
      continue;
    }
    const FieldFigures& low = report.fields[byField[lowerAt - 1]];
    const TableRow& row = table.rows[pointRows[high.column][high.peak->index]];
    const std::optional<double>& lowCell = row.cells[low.column];
    double highValue = std::fabs(high.peak->value);
    if (!lowCell || *lowCell == 0.0 || highValue == 0.0) {
      continue;
    }
    high.exponent = FieldExponent{
        std::log(highValue / std::fabs(*lowCell)) /
            std::log(*high.field / *low.field),
        *low.field, row.temperature};
  }
  return report;
}

}  // namespace korvelin::report
