#include "result_table.h"

#include <gtest/gtest.h>

#include <string>

namespace korvelin::report {
namespace {

// Three fields: .50 T, 1.00 T and one the heading could not show.
const std::string kHeading =
    " T/B              .50         1.00        *****\r\n";

TEST(ResultTableTest, ReadsHeadingRowsAndMissingCells) {
  ResultTable table = parseResultTable(
      kHeading +
      " 302.500         .012        -.457        2.500\r\n"
      " 305.000     1234.567  ***********        0.125\r\n");
  ASSERT_EQ(table.fields.size(), 3u);
  EXPECT_DOUBLE_EQ(*table.fields[0], 0.5);
  EXPECT_DOUBLE_EQ(*table.fields[1], 1.0);
  EXPECT_FALSE(table.fields[2].has_value());
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[0].line, 2);
  EXPECT_DOUBLE_EQ(table.rows[0].temperature, 302.5);
  EXPECT_DOUBLE_EQ(*table.rows[0].cells[0], 0.012);
  EXPECT_DOUBLE_EQ(*table.rows[0].cells[1], -0.457);
  EXPECT_DOUBLE_EQ(*table.rows[1].cells[0], 1234.567);
  EXPECT_FALSE(table.rows[1].cells[1].has_value());
  EXPECT_DOUBLE_EQ(*table.rows[1].cells[2], 0.125);  // a leading 0 is taken
  EXPECT_TRUE(table.notes.empty());
}

TEST(ResultTableTest, TakesLoneLineFeedsFallingTemperaturesAndNoFields) {
  ResultTable falling = parseResultTable(
      " T/B             2.00\n 301.000         .500\n 299.000        1.500\n");
  ASSERT_EQ(falling.rows.size(), 2u);
  EXPECT_DOUBLE_EQ(falling.rows[1].temperature, 299.0);

  ResultTable bare = parseResultTable(" T/B    \r\n 301.000\r\n");
  EXPECT_TRUE(bare.fields.empty());
  ASSERT_EQ(bare.rows.size(), 1u);
  EXPECT_TRUE(bare.rows[0].cells.empty());

  ResultTable headingOnly = parseResultTable(kHeading);
  EXPECT_EQ(headingOnly.fields.size(), 3u);
  EXPECT_TRUE(headingOnly.rows.empty());
}

TEST(ResultTableTest, PartialLastRowIsUsedUpToItsLastCompleteCell) {
  const std::string full = " 300.000         .100         .200";
  struct Case {
    const char* name;
    std::string lastLine;
    std::size_t rows;        // rows kept
    std::size_t cellsKept;   // cells of the last kept row that hold a value
    int noteColumn;
    const char* noteText;
  };
  const Case cases[] = {
      {"after two of three cells", full, 2, 2, 35, "2 of 3 cells used"},
      {"inside the third cell", full + "       1.", 2, 2, 35,
       "incomplete cell after them is ignored"},
      {"in the gap before a cell", full + " ", 2, 2, 35, "2 of 3 cells used"},
      {"inside the temperature", " 300.0", 1, 3, 1, "the line is not used"},
      {"all cells but no line end", full + "         .300", 2, 3, 48,
       "all its cells are used"},
  };
  const std::string first = " 297.500         .010         .020         .030\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultTable table = parseResultTable(kHeading + first + c.lastLine);
    ASSERT_EQ(table.rows.size(), c.rows);
    std::size_t kept = 0;
    for (const auto& cell : table.rows.back().cells) {
      kept += cell.has_value() ? 1u : 0u;
    }
    EXPECT_EQ(kept, c.cellsKept);
    ASSERT_EQ(table.notes.size(), 1u);
    EXPECT_EQ(table.notes[0].line, 3);
    EXPECT_EQ(table.notes[0].column, c.noteColumn);
    EXPECT_NE(table.notes[0].message.find(c.noteText), std::string::npos)
        << table.notes[0].message;
  }
}

TEST(ResultTableTest, RowWithTemperatureOfAsterisksIsDroppedWithANote) {
  ResultTable table = parseResultTable(
      " T/B             1.00\r\n"
      " 300.000        1.000\r\n"
      "********         .500\r\n");
  EXPECT_EQ(table.rows.size(), 1u);
  ASSERT_EQ(table.notes.size(), 1u);
  EXPECT_EQ(table.notes[0].line, 3);
}

TEST(ResultTableTest, MalformedTablesNameLineAndColumn) {
  struct Case {
    const char* name;
    std::string bytes;
    int line;
    int column;
    const char* message;
  };
  const std::string row = " 300.000         .100         .200         .300\r\n";
  const Case cases[] = {
      {"empty file", "", 1, 1, "empty"},
      {"not a table", "T,B,dS\r\n", 1, 1, "must start with"},
      {"label cut short", " T/B\r\n", 1, 5, "must start with"},
      {"heading ends inside a field", " T/B             1.00      2\r\n", 1,
       22, "ends inside a field"},
      {"text in the heading gap", " T/B    x        1.00\r\n", 1, 9,
       "expected a blank"},
      {"heading field of three decimals", " T/B            1.000\r\n", 1, 21,
       "F5.2"},
      {"row too short", kHeading + " 300.000         .100\r\n", 2, 22,
       "row ends after 1 of 3 cells"},
      {"line shorter than a temperature", kHeading + " 300\r\n", 2, 5,
       "line too short"},
      {"row too long", kHeading + " 300.000         .100         .200"
                                  "         .300  9\r\n", 2, 48,
       "text after the last cell"},
      {"letter in a cell", kHeading + " 300.000         .1x0         .200"
                                      "         .300\r\n", 2, 20, "F11.3"},
      {"cell of two decimals", kHeading + " 300.000          .10         .200"
                                          "         .300\r\n", 2, 22, "F11.3"},
      {"cells run together", kHeading + " 300.000 12345678.100         .200"
                                        "         .300\r\n", 2, 10,
       "expected a blank"},
      {"blank cell", kHeading + " 300.000                      .200"
                                "         .300\r\n", 2, 21, "F11.3"},
      {"bad temperature", kHeading + " 300,000         .100         .200"
                                     "         .300\r\n", 2, 5, "F8.3"},
      {"temperature repeated", kHeading + row + row, 3, 1,
       "breaks the order"},
      {"temperatures turn back", kHeading + row +
                                     " 302.000         .100         .200"
                                     "         .300\r\n"
                                     " 301.000         .100         .200"
                                     "         .300\r\n",
       4, 1, "breaks the order"},
      {"carriage return inside a line", kHeading + " 300.000\r    .100\r\n",
       2, 9, "carriage return"},
      {"garbage after a partial row", kHeading + " 300.000         .100  ab",
       2, 24, "F11.3"},
      {"blank line at the end", kHeading + row + "\r\n", 3, 1,
       "line too short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      (void)parseResultTable(c.bytes);
      ADD_FAILURE() << "no error";
    } catch (const InputError& error) {
      EXPECT_EQ(error.line(), c.line);
      EXPECT_EQ(error.column(), c.column);
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << error.what();
    }
  }
}

TEST(ReadFixedFieldTest, AcceptsTheEditorsFormsAndRejectsOthers) {
  struct Accepted {
    const char* text;
    double value;
  };
  for (const Accepted& c : {Accepted{"       .500", 0.5},
                            Accepted{"      -.457", -0.457},
                            Accepted{"       .000", 0.0},
                            Accepted{"1234568.000", 1234568.0},
                            Accepted{"      0.125", 0.125}}) {
    SCOPED_TRACE(c.text);
    FixedFieldValue field = readFixedField(c.text, 3);
    ASSERT_EQ(field.kind, FixedFieldValue::Kind::kNumber);
    EXPECT_DOUBLE_EQ(field.value, c.value);
  }
  EXPECT_EQ(readFixedField("*****", 2).kind, FixedFieldValue::Kind::kAsterisks);

  struct Rejected {
    const char* text;
    int offset;
  };
  for (const Rejected& c : {Rejected{"      1.5", 9},   // one decimal short
                            Rejected{"     1.5000", 10},  // one too many
                            Rejected{"      - .50", 7},
                            Rejected{"      1 .50", 7},
                            Rejected{"      +1.50", 6},   // never written
                            Rejected{"   1.2e+003", 6},
                            Rejected{"1#INF......", 1},
                            Rejected{"   **.***  ", 3},
                            Rejected{"           ", 10}}) {
    SCOPED_TRACE(c.text);
    FixedFieldValue field = readFixedField(c.text, 3);
    EXPECT_EQ(field.kind, FixedFieldValue::Kind::kInvalid);
    EXPECT_EQ(field.errorOffset, c.offset);
  }
}

}  // namespace
}  // namespace korvelin::report
