#pragma once

#include <string>

#include "summary_source.h"

namespace korvelin::report {

/// The summary for people: one aligned line per target field under a
/// two-line heading of names and units, a short legend, and the notes about
/// the table (partial row, missing cells, figures that could not be formed).
/// Lines end with LF.
[[nodiscard]] std::string formatTextSummary(const SummarySource& source);

}  // namespace korvelin::report
