#include "svg_plot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "axis_ticks.h"
#include "number_text.h"

namespace korvelin::report {
namespace {

// Colours that stay apart for the usual handful of fields; past ten the
// curves repeat them dashed.
constexpr std::array<const char*, 10> kPalette = {
    "#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};

constexpr const char* kEntropyUnit = "J·kg⁻¹·K⁻¹";
constexpr const char* kEnergyUnit = "J·kg⁻¹";

// The plotting area inside the picture, in pixels.
constexpr double kLeft = 80.0;
constexpr double kTop = 48.0;
constexpr double kBottom = kPlotHeight - 62.0;

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    default: out += c;
    }
  }
  return out;
}

// Coordinates with two decimals are far finer than a pixel and keep the
// file small.
std::string px(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  std::string s = text;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') {
    s.pop_back();
  }
  return s == "-0" ? "0" : s;
}

// Maps data values onto one axis of the plotting area.
struct Mapping {
  AxisScale scale;
  double from = 0.0;  // pixel of scale.low
  double to = 1.0;    // pixel of scale.high
  double operator()(double v) const {
    return from + (v - scale.low) / (scale.high - scale.low) * (to - from);
  }
};

class Svg {
 public:
  Svg(const std::string& title) {
    out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           std::to_string(kPlotWidth) + "\" height=\"" +
           std::to_string(kPlotHeight) + "\" viewBox=\"0 0 " +
           std::to_string(kPlotWidth) + " " + std::to_string(kPlotHeight) +
           "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\" "
           "font-size=\"12\">\n"
           "<title>" + escaped(title) + "</title>\n"
           "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  }

  void raw(const std::string& text) { out_ += text; }

  void line(double x1, double y1, double x2, double y2,
            const std::string& style) {
    out_ += "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" +
            px(x2) + "\" y2=\"" + px(y2) + "\" " + style + "/>\n";
  }

  // text is already marked up (tspans) or escaped by the caller.
  void text(double x, double y, const std::string& anchor,
            const std::string& markup, const std::string& extra = "") {
    out_ += "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" +
            anchor + "\"" + (extra.empty() ? "" : " " + extra) + ">" + markup +
            "</text>\n";
  }

  void polyline(const std::vector<std::pair<double, double>>& points,
                const std::string& style) {
    out_ += "<polyline points=\"";
    for (std::size_t k = 0; k < points.size(); ++k) {
      if (k > 0) {
        out_ += ' ';
      }
      out_ += px(points[k].first) + "," + px(points[k].second);
    }
    out_ += "\" fill=\"none\" " + style + "/>\n";
  }

  std::string finish() { return out_ + "</svg>\n"; }

 private:
  std::string out_;
};

// "-ΔS_M" with a lowered M, followed by `after` back on the baseline. dy
// rather than baseline-shift, which not every renderer honours; the text
// that restores the baseline is never empty, since an empty tspan's dy may
// be dropped; dx, as blanks at a tspan's start may be dropped too.
std::string entropyLabel(const std::string& after) {
  return "−ΔS<tspan dy=\"4\" font-size=\"10\">M</tspan><tspan dy=\"-4\" "
         "dx=\"4\">" + after + "</tspan>";
}

void drawGridAndFrame(Svg& svg, const Mapping& x, const Mapping& y,
                      double right) {
  for (double t : x.scale.ticks) {
    double at = x(t);
    svg.line(at, kTop, at, kBottom, "stroke=\"#e4e4e4\"");
    svg.line(at, kBottom, at, kBottom + 5, "stroke=\"black\"");
    svg.text(at, kBottom + 19, "middle", tickLabel(t, x.scale.decimals));
  }
  for (double v : y.scale.ticks) {
    double at = y(v);
    svg.line(kLeft, at, right, at, "stroke=\"#e4e4e4\"");
    svg.line(kLeft - 5, at, kLeft, at, "stroke=\"black\"");
    svg.text(kLeft - 8, at + 4, "end", tickLabel(v, y.scale.decimals));
  }
  svg.raw("<rect x=\"" + px(kLeft) + "\" y=\"" + px(kTop) + "\" width=\"" +
          px(right - kLeft) + "\" height=\"" + px(kBottom - kTop) +
          "\" fill=\"none\" stroke=\"black\"/>\n");
}

void drawTitle(Svg& svg, const std::string& title) {
  svg.text(kLeft, 28, "start", escaped(title),
           "font-size=\"15\" font-weight=\"bold\"");
}

void drawNoData(Svg& svg, double right, const std::string& why) {
  svg.text((kLeft + right) / 2, (kTop + kBottom) / 2, "middle", escaped(why),
           "font-size=\"14\" fill=\"#555\"");
}

std::string dashFor(std::size_t k) {
  return k < kPalette.size() ? "" : " stroke-dasharray=\"6 3\"";
}

}  // namespace

std::string plotEntropyCurves(const ReportFigures& figures,
                              const std::string& tableName) {
  const double right = kPlotWidth - 230.0;  // the legend takes the rest
  std::string title = "Magnetic entropy change, " + tableName;
  Svg svg(title);
  drawTitle(svg, title);

  double tLow = INFINITY, tHigh = -INFINITY, vLow = 0.0, vHigh = 0.0;
  for (const FieldFigures& f : figures.fields) {
    for (std::size_t k = 0; k < f.curve.size(); ++k) {
      tLow = std::min(tLow, f.curve.temperatures()[k]);
      tHigh = std::max(tHigh, f.curve.temperatures()[k]);
      vLow = std::min(vLow, f.curve.values()[k]);
      vHigh = std::max(vHigh, f.curve.values()[k]);
    }
  }
  bool empty = tLow > tHigh;
  if (empty) {
    tLow = 0.0;
    tHigh = 1.0;
    vHigh = 1.0;
  }
  Mapping x{niceScale(tLow, tHigh), kLeft, right};
  Mapping y{niceScale(vLow, vHigh), kBottom, kTop};
  drawGridAndFrame(svg, x, y, right);
  svg.text((kLeft + right) / 2, kPlotHeight - 18, "middle", "T (K)");
  double yMiddle = (kTop + kBottom) / 2;
  svg.text(24, yMiddle, "middle", entropyLabel(std::string("(") + kEntropyUnit + ")"),
           "transform=\"rotate(-90 24 " + px(yMiddle) + ")\"");
  if (empty) {
    drawNoData(svg, right, "no values in the table");
    return svg.finish();
  }

  // The legend lists each field's peak in three right-aligned columns;
  // blanks inside a text would collapse, so each column is its own text.
  const double legendX = right + 24;
  const double fieldEdge = legendX + 78;
  const double peakEdge = legendX + 132;
  const double temperatureEdge = legendX + 196;
  const std::string bold = "font-weight=\"bold\"";
  svg.text(fieldEdge, kTop + 4, "end", "B (T)", bold);
  svg.text(peakEdge, kTop + 4, "end", "peak", bold);
  svg.text(temperatureEdge, kTop + 4, "end", "at T (K)", bold);
  svg.text(peakEdge, kTop + 17, "end", kEntropyUnit,
           "font-size=\"9\" fill=\"#555\"");
  std::size_t entry = 0;
  for (std::size_t k = 0; k < figures.fields.size(); ++k) {
    const FieldFigures& f = figures.fields[k];
    const std::string colour = kPalette[k % kPalette.size()];
    const std::string stroke = "stroke=\"" + colour + "\"" + dashFor(k);
    std::vector<std::pair<double, double>> points;
    for (std::size_t i = 0; i < f.curve.size(); ++i) {
      points.emplace_back(x(f.curve.temperatures()[i]),
                          y(f.curve.values()[i]));
    }
    svg.raw("<g>\n");
    svg.polyline(points, stroke + " stroke-width=\"1.8\"");
    for (const auto& [px0, py0] : points) {
      svg.raw("<circle cx=\"" + px(px0) + "\" cy=\"" + px(py0) +
              "\" r=\"2.2\" fill=\"" + colour + "\"/>\n");
    }
    if (f.peak) {
      double peakX = x(f.peak->temperature);
      double peakY = y(f.peak->value);
      svg.line(peakX, peakY, peakX, kBottom,
               "stroke=\"" + colour +
                   "\" stroke-width=\"0.8\" stroke-dasharray=\"3 3\"");
      svg.raw("<circle cx=\"" + px(peakX) + "\" cy=\"" + px(peakY) +
              "\" r=\"5\" fill=\"" + colour +
              "\" stroke=\"black\" stroke-width=\"1.2\"/>\n");
    }
    svg.raw("</g>\n");

    double rowY = kTop + 36 + 20.0 * static_cast<double>(entry++);
    svg.line(legendX, rowY - 4, legendX + 26, rowY - 4,
             stroke + " stroke-width=\"1.8\"");
    svg.raw("<circle cx=\"" + px(legendX + 13) + "\" cy=\"" + px(rowY - 4) +
            "\" r=\"2.2\" fill=\"" + colour + "\"/>\n");
    svg.text(fieldEdge, rowY, "end", escaped(fieldText(f.field)));
    if (f.peak) {
      svg.text(peakEdge, rowY, "end", fixed(f.peak->value, 3));
      svg.text(temperatureEdge, rowY, "end", fixed(f.peak->temperature, 2));
    }
  }
  double noteY = kTop + 36 + 20.0 * static_cast<double>(entry) + 8;
  svg.raw("<circle cx=\"" + px(legendX + 13) + "\" cy=\"" + px(noteY - 4) +
          "\" r=\"5\" fill=\"#bbb\" stroke=\"black\" stroke-width=\"1.2\"/>\n");
  svg.text(legendX + 34, noteY, "start", "peak of each curve");
  return svg.finish();
}

std::string plotFieldDependence(const ReportFigures& figures,
                                const std::string& tableName) {
  const double right = kPlotWidth - 90.0;  // the RCP axis takes the rest
  std::string title = "Peak and RCP against field, " + tableName;
  Svg svg(title);
  drawTitle(svg, title);

  struct Point {
    double field;
    double peak;
    bool hasRcp;
    double rcp;
    bool bound;
  };
  std::vector<Point> points;
  for (const FieldFigures& f : figures.fields) {
    if (f.field && f.peak) {
      bool hasRcp = f.halfMaximum.has_value();
      points.push_back({*f.field, f.peak->value, hasRcp, f.rcp,
                        hasRcp && !f.halfMaximum->exact()});
    }
  }
  std::sort(points.begin(), points.end(),
            [](const Point& a, const Point& b) { return a.field < b.field; });

  double bHigh = 1.0, bLow = 0.0, peakHigh = 1.0, peakLow = 0.0,
         rcpHigh = 1.0;
  for (const Point& p : points) {
    bLow = std::min(bLow, p.field);
    bHigh = std::max(bHigh, p.field);
    peakLow = std::min(peakLow, p.peak);
    peakHigh = std::max(peakHigh, p.peak);
    if (p.hasRcp) {
      rcpHigh = std::max(rcpHigh, p.rcp);
    }
  }
  Mapping x{niceScale(bLow, bHigh), kLeft, right};
  Mapping y{niceScale(peakLow, peakHigh), kBottom, kTop};
  Mapping y2{niceScale(0.0, rcpHigh), kBottom, kTop};
  drawGridAndFrame(svg, x, y, right);
  for (double v : y2.scale.ticks) {
    double at = y2(v);
    svg.line(right, at, right + 5, at, "stroke=\"black\"");
    svg.text(right + 8, at + 4, "start", tickLabel(v, y2.scale.decimals));
  }

  const char* peakColour = kPalette[0];
  const char* rcpColour = kPalette[1];
  svg.text((kLeft + right) / 2, kPlotHeight - 18, "middle", "B (T)");
  double yMiddle = (kTop + kBottom) / 2;
  svg.text(24, yMiddle, "middle", "peak " + entropyLabel(std::string("(") + kEntropyUnit + ")"),
           "fill=\"" + std::string(peakColour) +
               "\" transform=\"rotate(-90 24 " + px(yMiddle) + ")\"");
  double rightLabelX = kPlotWidth - 18.0;
  svg.text(rightLabelX, yMiddle, "middle",
           std::string("RCP (") + kEnergyUnit + ")",
           "fill=\"" + std::string(rcpColour) + "\" transform=\"rotate(90 " +
               px(rightLabelX) + " " + px(yMiddle) + ")\"");
  if (points.empty()) {
    drawNoData(svg, right, "no field with a known value and a peak");
    return svg.finish();
  }

  std::vector<std::pair<double, double>> peakLine, rcpLine;
  for (const Point& p : points) {
    peakLine.emplace_back(x(p.field), y(p.peak));
    if (p.hasRcp) {
      rcpLine.emplace_back(x(p.field), y2(p.rcp));
    }
  }
  svg.polyline(peakLine, "stroke=\"" + std::string(peakColour) +
                             "\" stroke-width=\"1.8\"");
  for (const auto& [cx, cy] : peakLine) {
    svg.raw("<circle cx=\"" + px(cx) + "\" cy=\"" + px(cy) + "\" r=\"4.5\" fill=\"" +
            peakColour + "\"/>\n");
  }
  bool anyBound = false;
  if (!rcpLine.empty()) {
    svg.polyline(rcpLine, "stroke=\"" + std::string(rcpColour) +
                              "\" stroke-width=\"1.8\"");
    std::size_t k = 0;
    for (const Point& p : points) {
      if (!p.hasRcp) {
        continue;
      }
      anyBound = anyBound || p.bound;
      auto [cx, cy] = rcpLine[k++];
      svg.raw("<rect x=\"" + px(cx - 4.5) + "\" y=\"" + px(cy - 4.5) +
              "\" width=\"9\" height=\"9\" fill=\"" +
              (p.bound ? std::string("white") : std::string(rcpColour)) +
              "\" stroke=\"" + rcpColour + "\" stroke-width=\"1.5\"/>\n");
    }
  }

  // Legend in the top left corner, where both curves start low; it names
  // only the kinds of marker drawn.
  bool anyExact = false;
  for (const Point& p : points) {
    anyExact = anyExact || (p.hasRcp && !p.bound);
  }
  std::vector<std::pair<std::string, std::string>> entries;  // sample, text
  entries.emplace_back("<circle cx=\"6\" cy=\"-4\" r=\"4.5\" fill=\"" +
                           std::string(peakColour) + "\"/>",
                       "peak " + entropyLabel("(left axis)"));
  if (anyExact) {
    entries.emplace_back("<rect x=\"1.5\" y=\"-8.5\" width=\"9\" height=\"9\" "
                         "fill=\"" + std::string(rcpColour) + "\"/>",
                         "RCP (right axis)");
  }
  if (anyBound) {
    entries.emplace_back("<rect x=\"1.5\" y=\"-8.5\" width=\"9\" height=\"9\" "
                         "fill=\"white\" stroke=\"" + std::string(rcpColour) +
                             "\" stroke-width=\"1.5\"/>",
                         "RCP, lower bound: a half-maximum crossing");
    entries.emplace_back("", "lies outside the data (right axis)");
  }
  double lx = kLeft + 14, ly = kTop + 20;
  svg.raw("<rect x=\"" + px(lx - 8) + "\" y=\"" + px(ly - 14) +
          "\" width=\"" + (anyBound ? "290" : "190") + "\" height=\"" +
          px(10.0 + 18.0 * static_cast<double>(entries.size())) +
          "\" fill=\"white\" fill-opacity=\"0.85\" stroke=\"#999\"/>\n");
  for (const auto& [sample, text] : entries) {
    if (!sample.empty()) {
      svg.raw("<g transform=\"translate(" + px(lx) + " " + px(ly) + ")\">" +
              sample + "</g>\n");
    }
    svg.text(lx + 18, ly, "start", text);
    ly += 18;
  }
  return svg.finish();
}

}  // namespace korvelin::report
