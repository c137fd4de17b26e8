#pragma once

#include <string>

#include "figures.h"
#include "result_table.h"

namespace korvelin::report {

/// Everything a written summary draws on.
struct SummarySource {
  std::string tableName;
  const ResultTable* table = nullptr;
  const ReportFigures* figures = nullptr;
  std::string controlName;  ///< empty when no control file was read
  double mass = 0.0;        ///< g, from the control file
};

}  // namespace korvelin::report
