#pragma once

#include <string>

#include "figures.h"

namespace korvelin::report {

/// Size of both plots in CSS pixels; the SVG's width and height.
inline constexpr int kPlotWidth = 820;
inline constexpr int kPlotHeight = 500;

/// -ΔS_M against temperature, one curve per target field through the rows
/// that hold a value, each peak marked and dropped to the temperature axis,
/// the legend giving each field's peak. A standalone SVG document.
[[nodiscard]] std::string plotEntropyCurves(const ReportFigures& figures,
                                            const std::string& tableName);

/// The peak (left axis) and RCP (right axis) against the target field; an
/// RCP that is only a lower bound is drawn as an open marker. Fields the
/// heading hides are left out. A standalone SVG document.
[[nodiscard]] std::string plotFieldDependence(const ReportFigures& figures,
                                              const std::string& tableName);

}  // namespace korvelin::report
