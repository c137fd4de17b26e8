// The text summary, the CSV and the two SVG plots, on one small table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "axis_ticks.h"
#include "csv_summary.h"
#include "svg_plot.h"
#include "text_summary.h"

namespace korvelin::report {
namespace {

// At 1 T the curve falls to half its peak on both sides; at 2 T it does not
// on the cold side, so its width, RCP and RC are lower bounds; 150 T is
// hidden by the heading and its last cell is asterisks.
const char* const kTable =
    " T/B             1.00         2.00        *****\r\n"
    " 290.000         .500        4.000         .100\r\n"
    " 292.500        2.000        5.000         .200\r\n"
    " 295.000        4.000        6.000         .300\r\n"
    " 297.500        1.000        2.000  ***********\r\n";

struct Fixture {
  ResultTable table = parseResultTable(kTable);
  ReportFigures figures = computeFigures(table, {3.0, 10.0});
  SummarySource source() const {
    SummarySource s;
    s.tableName = "run&1/KORVELIN.dat";
    s.table = &table;
    s.figures = &figures;
    return s;
  }
};

TEST(TextSummaryTest, AlignsFiguresMarksBoundsAndListsNotes) {
  Fixture f;
  // Checked by hand: at 1 T half the peak (2) is met exactly at 292.5 K and
  // at 295 + 2.5 x 2/3 K; the best 3 K window, 293.2..296.2 K, has equal
  // ends (2.56) and a mean of 3.28. At 2 T the curve stays above 3 down to
  // 290 K. The hidden field rises to its last value, so its hot side is open.
  EXPECT_EQ(formatTextSummary(f.source()),
            "Figures of merit from run&1/KORVELIN.dat\n"
            "  4 rows from 290.000 K to 297.500 K, 3 target fields\n"
            "\n"
            "      B        peak  T(peak)  T(half) cold  T(half) hot    FWHM"
            "     RCP      RC    TEC(3 K)   TEC(10 K)      n\n"
            "      T  J·kg⁻¹·K⁻¹        K             K            K       K"
            "  J·kg⁻¹  J·kg⁻¹  J·kg⁻¹·K⁻¹  J·kg⁻¹·K⁻¹      1\n"
            "   1.00       4.000  295.000       292.500      296.667   4.167"
            "   16.67   12.50       3.280           -      -\n"
            "   2.00       6.000  295.000      <290.000      296.875  >6.875"
            "  >41.25  >33.44       5.520           -  0.585\n"
            "  *****       0.300  295.000       291.250     >295.000  >3.750"
            "   >1.12   >0.84       0.240           -      -\n"
            "\n"
            "peak: largest -ΔS_M of the column. FWHM: width at half the peak, "
            "crossings\n"
            "interpolated linearly. RCP = peak × FWHM. RC = ∫|ΔS_M| dT between "
            "the two\n"
            "half-maximum temperatures. TEC(ΔT): largest mean of |ΔS_M| over a "
            "ΔT-wide\n"
            "window inside the data. n = d ln|ΔS_M| / d ln B against the next "
            "lower field,\n"
            "at this field's peak temperature.\n"
            "< >: the curve does not fall to half its peak within the data on "
            "that side;\n"
            "the end of the data is shown, and FWHM, RCP and RC are lower "
            "bounds.\n"
            "\n"
            "Notes:\n"
            "  field ***** T: 1 of 4 cells missing (asterisks or never "
            "written); the curve runs through the others\n"
            "  no TEC(10 K) at 1.00, 2.00, ***** T: the data span less than "
            "10 K\n");
}

TEST(TextSummaryTest, SaysWhenThereIsNothingToMeasure) {
  ResultTable table = parseResultTable(" T/B    \r\n");
  ReportFigures figures = computeFigures(table, {3.0});
  SummarySource source;
  source.tableName = "KORVELIN.dat";
  source.table = &table;
  source.figures = &figures;
  source.controlName = "KORVELIN.inp";
  source.mass = 0.0123;
  std::string text = formatTextSummary(source);
  EXPECT_NE(text.find("  no data rows, 0 target fields\n"
                      "  sample mass 0.0123 g and target fields from "
                      "KORVELIN.inp\n\n"
                      "  the table has no target fields\n"),
            std::string::npos)
      << text;
}

TEST(CsvSummaryTest, OneRecordPerFieldWithEmptyFieldsForMissingFigures) {
  Fixture f;
  std::string csv = formatCsvSummary(f.source());
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < csv.size();) {
    std::size_t end = csv.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "every record ends in CR LF";
    lines.push_back(csv.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0],
            "B (T),peak (J·kg⁻¹·K⁻¹),T_peak (K),T_half_cold (K),"
            "T_half_hot (K),FWHM (K),RCP (J·kg⁻¹),RC (J·kg⁻¹),width,"
            "TEC(3 K) (J·kg⁻¹·K⁻¹),TEC(3 K) centre (K),"
            "TEC(10 K) (J·kg⁻¹·K⁻¹),TEC(10 K) centre (K),n,"
            "n lower field (T),n temperature (K),cells used,cells missing");
  EXPECT_EQ(lines[1],
            "1,4,295,292.5,296.6666667,4.166666667,16.66666667,12.5,"
            "exact,3.28,294.7,,,,,,4,0");
  EXPECT_EQ(lines[2],
            "2,6,295,,296.875,6.875,41.25,33.4375,"
            "lower bound: cold crossing below the data,5.52,294.1,,,"
            "0.5849625007,1,295,4,0");
  EXPECT_EQ(lines[3],
            ",0.3,295,291.25,,3.75,1.125,0.84375,"
            "lower bound: hot crossing above the data,0.24,293.5,,,,,,3,1");
}

// A small well-formedness check: every element closed in order, attribute
// values quoted, no bare '&' or '<' in text.
void expectWellFormed(const std::string& xml) {
  std::vector<std::string> open;
  std::size_t at = xml.find("<svg");
  ASSERT_NE(at, std::string::npos);
  while (at < xml.size()) {
    std::size_t lt = xml.find('<', at);
    std::string text = xml.substr(at, lt == std::string::npos ? xml.npos : lt - at);
    for (std::size_t amp = text.find('&'); amp != std::string::npos;
         amp = text.find('&', amp + 1)) {
      std::size_t semi = text.find(';', amp);
      ASSERT_NE(semi, std::string::npos) << "bare & in " << text;
    }
    if (lt == std::string::npos) {
      break;
    }
    std::size_t gt = xml.find('>', lt);
    ASSERT_NE(gt, std::string::npos);
    std::string tag = xml.substr(lt + 1, gt - lt - 1);
    ASSERT_EQ(std::count(tag.begin(), tag.end(), '"') % 2, 0) << tag;
    if (tag.front() == '/') {
      ASSERT_FALSE(open.empty()) << tag;
      EXPECT_EQ(open.back(), tag.substr(1));
      open.pop_back();
    } else if (tag.back() != '/') {
      open.push_back(tag.substr(0, tag.find_first_of(" \n")));
    }
    at = gt + 1;
  }
  EXPECT_TRUE(open.empty());
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

TEST(SvgPlotTest, CurvesPlotHasOneCurveAndOnePeakMarkPerField) {
  Fixture f;
  std::string svg = plotEntropyCurves(f.figures, "run&1/KORVELIN.dat");
  expectWellFormed(svg);
  EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg "
                      "xmlns=\"http://www.w3.org/2000/svg\" width=\"820\" "
                      "height=\"500\"", 0), 0u);
  EXPECT_EQ(count(svg, "<polyline"), 3u);
  // One peak mark in each curve's colour.
  for (const char* colour : {"#1f77b4", "#d62728", "#2ca02c"}) {
    EXPECT_EQ(count(svg, std::string("r=\"5\" fill=\"") + colour), 1u)
        << colour;
  }
  EXPECT_EQ(count(svg, "run&amp;1/KORVELIN.dat"), 2u) << "title, heading";
  EXPECT_NE(svg.find(">T (K)</text>"), std::string::npos);
  EXPECT_NE(svg.find("(J·kg⁻¹·K⁻¹)"), std::string::npos);
  for (const char* legend : {">2.00</text>", ">6.000</text>", ">295.00</text>",
                             ">*****</text>"}) {
    EXPECT_NE(svg.find(legend), std::string::npos) << legend;
  }
  // Temperature ticks 290..298 by 2 from 290..297.5 data.
  for (const char* tick : {">290</text>", ">292</text>", ">298</text>"}) {
    EXPECT_NE(svg.find(tick), std::string::npos) << tick;
  }
}

TEST(SvgPlotTest, FieldPlotDrawsKnownFieldsAndOpenMarksForBounds) {
  Fixture f;
  std::string svg = plotFieldDependence(f.figures, "KORVELIN.dat");
  expectWellFormed(svg);
  // The hidden field is left out: two peak dots, two RCP squares, one of
  // them open (2 T) for a lower bound, plus the legend's samples.
  EXPECT_EQ(count(svg, "r=\"4.5\""), 3u);
  EXPECT_EQ(count(svg, "width=\"9\" height=\"9\" fill=\"white\""), 2u);
  EXPECT_NE(svg.find("RCP (J·kg⁻¹)"), std::string::npos);
  EXPECT_NE(svg.find(">B (T)</text>"), std::string::npos);

  ResultTable empty = parseResultTable(" T/B    \r\n");
  for (const std::string& nothing :
       {plotEntropyCurves(computeFigures(empty, {}), "x"),
        plotFieldDependence(computeFigures(empty, {}), "x")}) {
    expectWellFormed(nothing);
    EXPECT_NE(nothing.find("no "), std::string::npos);
  }
}

TEST(AxisTicksTest, StepsOfOneTwoOrFiveCoverTheData) {
  struct Case {
    double low, high;
    double scaleLow, scaleHigh, step;
    int decimals;
  };
  const Case cases[] = {
      {271.25, 318.75, 270, 320, 10, 0},
      {0.0, 10.525, 0, 12, 2, 0},
      {0.0, 0.3, 0, 0.3, 0.05, 2},
      {-1.2, 3.4, -2, 4, 1, 0},
      {0.0, 1234.0, 0, 1400, 200, 0},
      {5.0, 5.0, 4.4, 5.6, 0.2, 1},  // one value: widened around it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.high);
    AxisScale scale = niceScale(c.low, c.high);
    EXPECT_NEAR(scale.low, c.scaleLow, 1e-9);
    EXPECT_NEAR(scale.high, c.scaleHigh, 1e-9);
    EXPECT_NEAR(scale.step, c.step, 1e-12);
    EXPECT_EQ(scale.decimals, c.decimals);
    EXPECT_NEAR(scale.ticks.front(), scale.low, 1e-9);
    EXPECT_NEAR(scale.ticks.back(), scale.high, 1e-9);
  }
  EXPECT_EQ(tickLabel(0.05 * 3, 2), "0.15");
}

}  // namespace
}  // namespace korvelin::report
