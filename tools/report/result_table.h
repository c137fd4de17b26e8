#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "input_error.h"

namespace korvelin::report {

/// One data line of the table: the mean temperature of two neighbouring
/// isotherms and one cell per target field.
struct TableRow {
  int line = 0;              ///< 1-based line number in the file
  double temperature = 0.0;  ///< mean temperature in K
  /// One entry per heading field, in heading order; empty for a cell of
  /// asterisks or one that a partial last row never reached.
  std::vector<std::optional<double>> cells;
};

/// The contents of a result table, as written by korvelin.
struct ResultTable {
  /// Target fields in T, in heading order; empty where the heading shows
  /// asterisks (a field of 100 T or more, or of -10 T or less).
  std::vector<std::optional<double>> fields;
  std::vector<TableRow> rows;  ///< in file order
  /// Usable oddities: a partial last row, rows dropped for a temperature of
  /// asterisks, a missing line end.
  std::vector<InputNote> notes;
};

/// Parses a result table. The heading is " T/B    " followed by 8 blanks and
/// an F5.2 field per target field; each row is an F8.3 mean temperature and,
/// per field, 2 blanks and an F11.3 value; lines end with CR LF (a lone LF
/// is taken too). A last line without its line end is a run that stopped
/// early: its complete cells are used and the rest is noted. Mean
/// temperatures must rise, or fall, strictly from row to row.
/// Throws InputError at the first byte that breaks the layout.
[[nodiscard]] ResultTable parseResultTable(std::string_view bytes);

/// The result of reading one fixed-point field (Fw.d, w = text size).
struct FixedFieldValue {
  enum class Kind { kNumber, kAsterisks, kInvalid };
  Kind kind = Kind::kInvalid;
  double value = 0.0;
  int errorOffset = 0;  ///< 0-based offset of the offending byte (kInvalid)
};

/// Reads a right-justified fixed-point field with exactly `decimals` digits
/// after the period: "   -.457", "  12.500", a leading "0" is accepted;
/// a field of asterisks is kAsterisks.
[[nodiscard]] FixedFieldValue readFixedField(std::string_view text,
                                             int decimals);

}  // namespace korvelin::report
