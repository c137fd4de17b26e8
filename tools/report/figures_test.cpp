#include "figures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <string>

namespace korvelin::report {
namespace {

// Relative agreement for the closed-form cases.
constexpr double kRelative = 1e-6;

void expectClose(double actual, double expected, double relative,
                 const char* what) {
  EXPECT_NEAR(actual, expected, std::fabs(expected) * relative) << what;
}

// A field's column in korvelin's layout: F8.3 temperature, F11.3 cells, no
// digit before the period when the integer part is zero.
std::string edited(double value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%*.3f", width, value);
  std::string s = text;
  std::size_t zero = s.find("0.");
  if (zero != std::string::npos &&
      (zero == 0 || s[zero - 1] == ' ' || s[zero - 1] == '-')) {
    std::string shifted(1, ' ');
    shifted += s.substr(0, zero);
    shifted += s.substr(zero + 1);
    return shifted;
  }
  return s;
}

// An asymmetric triangle: 0 below 280 K, rising linearly to `top` at 300 K,
// falling to 0 at 325 K. Rows every 2.5 K from `from` to `to` hold it at
// 1 T (top) and at 2 T (twice as high); every kink lies on a row, so the
// piecewise-linear curve is the triangle itself.
std::string triangleTable(double top, double from, double to) {
  std::string text = " T/B             1.00         2.00\r\n";
  for (double t = from; t <= to + 1e-9; t += 2.5) {
    double v = t <= 280.0 || t >= 325.0 ? 0.0
               : t <= 300.0            ? top * (t - 280.0) / 20.0
                                       : top * (325.0 - t) / 25.0;
    text += edited(t, 8) + "  " + edited(v, 11) + "  " + edited(2 * v, 11) +
            "\r\n";
  }
  return text;
}

TEST(FiguresTest, GaussianPeaksMatchTheirClosedForms) {
  // -ΔS_M = A(B) exp(-(T - T0)^2 / 2σ^2) with A = 4 B^0.75, sampled every
  // 0.01 K: the piecewise-linear curve departs from the Gaussian by about
  // (h/σ)^2 / 30 of the figures, far inside 1e-6.
  const double sigma = 5.0;
  const double t0 = 300.0;
  const std::vector<double> fields = {1.0, 2.0, 5.0};
  ResultTable table;
  for (double b : fields) {
    table.fields.push_back(b);
  }
  for (int k = 0; k <= 8000; ++k) {
    double t = 260.0 + k / 100.0;
    TableRow row;
    row.temperature = t;
    for (double b : fields) {
      double x = (t - t0) / sigma;
      row.cells.push_back(4.0 * std::pow(b, 0.75) * std::exp(-0.5 * x * x));
    }
    table.rows.push_back(row);
  }

  ReportFigures report = computeFigures(table, {3.0, 10.0});
  const double rootTwoPi = std::sqrt(2.0 * std::numbers::pi);
  const double fwhm = 2.0 * sigma * std::sqrt(2.0 * std::log(2.0));
  for (std::size_t j = 0; j < fields.size(); ++j) {
    SCOPED_TRACE(fields[j]);
    const FieldFigures& f = report.fields[j];
    const double a = 4.0 * std::pow(fields[j], 0.75);
    ASSERT_TRUE(f.peak && f.halfMaximum);
    expectClose(f.peak->value, a, kRelative, "peak");
    expectClose(f.peak->temperature, t0, kRelative, "peak temperature");
    ASSERT_TRUE(f.halfMaximum->exact());
    expectClose(f.halfMaximum->width(), fwhm, kRelative, "FWHM");
    expectClose(f.halfMaximum->cold.temperature, t0 - fwhm / 2, kRelative,
                "cold crossing");
    expectClose(f.rcp, a * fwhm, kRelative, "RCP");
    expectClose(f.rc, a * sigma * rootTwoPi * std::erf(std::sqrt(std::log(2.0))),
                kRelative, "RC");
    for (std::size_t w = 0; w < 2; ++w) {
      double width = report.tecWidths[w];
      ASSERT_TRUE(f.tec[w]);
      expectClose(f.tec[w]->value,
                  a * sigma * rootTwoPi *
                      std::erf(width / (2.0 * std::sqrt(2.0) * sigma)) / width,
                  kRelative, "TEC");
      EXPECT_NEAR(f.tec[w]->centre, t0, 1e-6);
    }
    if (j == 0) {
      EXPECT_FALSE(f.exponent);
    } else {
      ASSERT_TRUE(f.exponent);
      expectClose(f.exponent->value, 0.75, kRelative, "n");
      EXPECT_DOUBLE_EQ(f.exponent->lowerField, fields[j - 1]);
      EXPECT_DOUBLE_EQ(f.exponent->temperature, t0);
    }
  }
}

TEST(FiguresTest, TriangleReadFromATableIsExact) {
  // Half of 10 is reached at 290 K and 312.5 K: FWHM 22.5 K. RC is the
  // triangle's area between them, 3/4 of 10 x 22.5. For a window of width w
  // the best one has both ends at the same height, splitting w as 20:25, and
  // its mean is 10 (1 - w / 90); the 3 K window's ends fall between rows.
  ResultTable table = parseResultTable(triangleTable(10.0, 270.0, 340.0));
  ReportFigures report = computeFigures(table, {3.0, 10.0});
  for (std::size_t j = 0; j < 2; ++j) {
    SCOPED_TRACE(j);
    const FieldFigures& f = report.fields[j];
    double top = 10.0 * static_cast<double>(j + 1);
    ASSERT_TRUE(f.peak && f.halfMaximum);
    EXPECT_NEAR(f.peak->value, top, 1e-12);
    EXPECT_NEAR(f.peak->temperature, 300.0, 1e-12);
    EXPECT_NEAR(f.halfMaximum->cold.temperature, 290.0, 1e-9);
    EXPECT_NEAR(f.halfMaximum->hot.temperature, 312.5, 1e-9);
    EXPECT_NEAR(f.rcp, top * 22.5, 1e-9);
    EXPECT_NEAR(f.rc, 0.75 * top * 22.5, 1e-9);
    for (std::size_t w = 0; w < 2; ++w) {
      double width = report.tecWidths[w];
      ASSERT_TRUE(f.tec[w]);
      EXPECT_NEAR(f.tec[w]->value, top * (1.0 - width / 90.0), 1e-9);
      EXPECT_NEAR(f.tec[w]->centre, 300.0 - width * 20.0 / 45.0 + width / 2,
                  1e-9);
    }
  }
  ASSERT_TRUE(report.fields[1].exponent);
  EXPECT_NEAR(report.fields[1].exponent->value, 1.0, 1e-12);
}

TEST(FiguresTest, CrossingOutsideTheDataGivesLowerBounds) {
  struct Case {
    const char* name;
    double from, to;
    bool coldInData, hotInData;
    double cold, hot, rc;
  };
  // RC bounds: the triangle's area from the cut-off end to the crossing.
  const Case cases[] = {
      {"cold side cut at 292.5 K (6.25)", 292.5, 340.0, false, true, 292.5,
       312.5, 7.5 * (6.25 + 10.0) / 2 + 12.5 * (10.0 + 5.0) / 2},
      {"hot side cut at 305 K (8)", 270.0, 305.0, true, false, 290.0, 305.0,
       10.0 * (5.0 + 10.0) / 2 + 5.0 * (10.0 + 8.0) / 2},
      {"both sides cut", 295.0, 302.5, false, false, 295.0, 302.5,
       5.0 * (7.5 + 10.0) / 2 + 2.5 * (10.0 + 9.0) / 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultTable table = parseResultTable(triangleTable(10.0, c.from, c.to));
    ReportFigures report = computeFigures(table, {3.0, 10.0});
    const FieldFigures& f = report.fields[0];
    ASSERT_TRUE(f.halfMaximum);
    EXPECT_EQ(f.halfMaximum->cold.inData, c.coldInData);
    EXPECT_EQ(f.halfMaximum->hot.inData, c.hotInData);
    EXPECT_FALSE(f.halfMaximum->exact());
    EXPECT_NEAR(f.halfMaximum->cold.temperature, c.cold, 1e-9);
    EXPECT_NEAR(f.halfMaximum->hot.temperature, c.hot, 1e-9);
    EXPECT_NEAR(f.rcp, 10.0 * (c.hot - c.cold), 1e-9);
    EXPECT_NEAR(f.rc, c.rc, 1e-9);
  }
}

TEST(FiguresTest, PartialLastRowShortensOnlyTheFieldsItMissed) {
  // The run stopped after the 1 T cell of the 312.5 K row: at 1 T the curve
  // reaches half its peak exactly there; at 2 T it ends at 310 K, still
  // above half, so that crossing lies outside the data.
  std::string text = triangleTable(10.0, 270.0, 310.0) +
                     " 312.500        5.000";
  ResultTable table = parseResultTable(text);
  ASSERT_EQ(table.notes.size(), 1u);
  ReportFigures report = computeFigures(table, {3.0});
  const FieldFigures& one = report.fields[0];
  const FieldFigures& two = report.fields[1];
  EXPECT_EQ(one.cellsMissing, 0u);
  EXPECT_EQ(two.cellsMissing, 1u);
  ASSERT_TRUE(one.halfMaximum && two.halfMaximum);
  EXPECT_TRUE(one.halfMaximum->exact());
  EXPECT_NEAR(one.halfMaximum->width(), 22.5, 1e-9);
  EXPECT_FALSE(two.halfMaximum->hot.inData);
  EXPECT_NEAR(two.halfMaximum->hot.temperature, 310.0, 1e-12);
}

TEST(FiguresTest, MissingCellsAreBridgedAndFallingRowsReordered) {
  // Rows written from hot to cold, with the 300 K peak row's 2 T cell lost
  // to asterisks: the 2 T curve joins 297.5 K and 302.5 K.
  ResultTable table = parseResultTable(
      " T/B             1.00         2.00\r\n"
      " 305.000        2.000        4.000\r\n"
      " 302.500        6.000        9.000\r\n"
      " 300.000       10.000  ***********\r\n"
      " 297.500        6.000        7.000\r\n"
      " 295.000        2.000        4.000\r\n");
  ReportFigures report = computeFigures(table, {3.0});
  const FieldFigures& one = report.fields[0];
  const FieldFigures& two = report.fields[1];
  EXPECT_EQ(one.curve.first(), 295.0);
  ASSERT_TRUE(one.halfMaximum && two.halfMaximum);
  EXPECT_NEAR(one.halfMaximum->cold.temperature, 296.875, 1e-12);
  EXPECT_NEAR(one.halfMaximum->hot.temperature, 303.125, 1e-12);
  EXPECT_EQ(two.cellsMissing, 1u);
  EXPECT_EQ(two.peak->temperature, 302.5);
  // n at 2 T is taken in the 302.5 K row, where both cells exist.
  ASSERT_TRUE(two.exponent);
  EXPECT_NEAR(two.exponent->value, std::log(9.0 / 6.0) / std::log(2.0), 1e-12);
  EXPECT_EQ(two.exponent->temperature, 302.5);
}

TEST(FiguresTest, WithoutAPositivePeakOnlyTheMeansRemain) {
  // An inverse effect: -ΔS_M below zero throughout. TEC still averages the
  // magnitude; the half-maximum figures need a positive peak.
  ResultTable table;
  table.fields = {1.0};
  for (double t : {300.0, 302.0, 304.0, 306.0}) {
    table.rows.push_back({0, t, {-2.0}});
  }
  ReportFigures report = computeFigures(table, {3.0, 10.0});
  const FieldFigures& f = report.fields[0];
  ASSERT_TRUE(f.peak);
  EXPECT_FALSE(f.halfMaximum);
  ASSERT_TRUE(f.tec[0]);
  EXPECT_NEAR(f.tec[0]->value, 2.0, 1e-12);
  EXPECT_FALSE(f.tec[1]) << "6 K of data cannot hold a 10 K window";
}

TEST(FiguresTest, ExponentNeedsKnownPositiveNeighbouringFields) {
  // Heading order 2 T, (hidden), 1 T, 4 T: 2 T pairs with 1 T, 4 T with 2 T,
  // and neither the hidden field nor the lowest gets an exponent.
  ResultTable table;
  table.fields = {2.0, std::nullopt, 1.0, 4.0};
  table.rows.push_back({0, 300.0, {4.0, 9.0, 2.0, 8.0}});
  table.rows.push_back({0, 302.0, {3.0, 9.0, 1.0, 6.0}});
  ReportFigures report = computeFigures(table, {});
  ASSERT_TRUE(report.fields[0].exponent);
  EXPECT_DOUBLE_EQ(report.fields[0].exponent->lowerField, 1.0);
  EXPECT_NEAR(report.fields[0].exponent->value, 1.0, 1e-12);
  EXPECT_FALSE(report.fields[1].exponent);
  EXPECT_FALSE(report.fields[2].exponent);
  ASSERT_TRUE(report.fields[3].exponent);
  EXPECT_DOUBLE_EQ(report.fields[3].exponent->lowerField, 2.0);
  EXPECT_NEAR(report.fields[3].exponent->value, 1.0, 1e-12);
}

TEST(CurveTest, MagnitudeIntegralSplitsSegmentsAtTheirZero) {
  // 1 -> -1 over 1 K: two triangles of 0.25; then |-1| over 1 K.
  Curve curve({0.0, 1.0, 2.0}, {1.0, -1.0, -1.0});
  EXPECT_NEAR(curve.integralOfMagnitude(0.0, 2.0), 1.5, 1e-15);
  EXPECT_NEAR(curve.integralOfMagnitude(0.25, 0.75), 0.125, 1e-15);
  EXPECT_NEAR(curve.valueAt(0.25), 0.5, 1e-15);
}

TEST(CurveTest, TecIsTheBestWindowAnywhere) {
  // A bumpy curve that changes sign, on an uneven grid, against a brute-force
  // scan of the window position: the exact search must never be beaten and
  // must agree with the scan's best to the scan's resolution.
  std::vector<double> t, v;
  double at = 250.0;
  for (int k = 0; k < 40; ++k) {
    t.push_back(at);
    v.push_back(3.0 * std::sin(at / 4.0) + 2.0 * std::cos(at / 1.7) + 0.5);
    at += 0.7 + 0.6 * ((k * 7) % 5) / 4.0;
  }
  Curve curve(t, v);
  for (double width : {0.5, 3.0, 10.0}) {
    SCOPED_TRACE(width);
    std::optional<Tec> tec = findTec(curve, width);
    ASSERT_TRUE(tec);
    double best = 0.0;
    const int steps = 200000;
    double span = curve.last() - width - curve.first();
    for (int k = 0; k <= steps; ++k) {
      double a = curve.first() + span * k / steps;
      best = std::max(best, curve.integralOfMagnitude(a, a + width) / width);
    }
    EXPECT_GE(tec->value, best - 1e-12);
    EXPECT_NEAR(tec->value, best, 1e-6);
    double a = tec->centre - width / 2;
    EXPECT_NEAR(curve.integralOfMagnitude(a, a + width) / width, tec->value,
                1e-12);
  }
}

}  // namespace
}  // namespace korvelin::report
