#pragma once

#include <string>

#include "summary_source.h"

namespace korvelin::report {

/// The same figures for programs: RFC 4180 CSV, one record per target field,
/// units in the header names, full precision, an empty field where a figure
/// does not exist. FWHM, RCP and RC are filled in also when they are only
/// lower bounds; the "width" column says which.
[[nodiscard]] std::string formatCsvSummary(const SummarySource& source);

}  // namespace korvelin::report
