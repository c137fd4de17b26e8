#pragma once

#include <string_view>
#include <vector>

#include "input_error.h"
#include "result_table.h"

namespace korvelin::report {

/// Where a value stands in its file (1-based).
struct TextPosition {
  int line = 0;
  int column = 0;
};

/// What the report takes from a korvelin control file: its first three
/// records.
struct ControlFile {
  double mass = 0.0;                    ///< g
  int fieldCount = 0;                   ///< as written; 0 or less means none
  TextPosition fieldCountAt;
  std::vector<double> fields;           ///< T, fieldCount values
  std::vector<TextPosition> fieldsAt;
};

/// Reads the mass, the field count (with the sweep direction behind it) and
/// the target fields, free-form as korvelin does: values separated by blanks,
/// tabs, commas or line ends, each read starting on a fresh line and ignoring
/// the rest of the last line it used, "r*v" repeats, a "/" ending the read,
/// a null value (",,") leaving its item at 0. Throws InputError on a value
/// that is not a number, at the end of the file before all values are read,
/// and for more than 20 target fields.
[[nodiscard]] ControlFile parseControlFile(std::string_view bytes);

/// Checks the control file against the table it is said to belong to and
/// gives the fields to use in its place: as many as the table has columns,
/// each agreeing with the heading to the heading's two decimals (a heading of
/// asterisks agrees with a field of 100 T or more, or of -10 T or less).
/// Throws InputError positioned in the control file.
[[nodiscard]] std::vector<double> reconcileFields(const ControlFile& control,
                                                  const ResultTable& table);

}  // namespace korvelin::report
