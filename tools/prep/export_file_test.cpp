#include "export_file.h"

#include <gtest/gtest.h>

namespace prep {
namespace {

TEST(ParseNumber, AcceptsWhatKorvelinReadsAsAReal) {
  struct Case {
    const char* text;
    double value;
  };
  constexpr Case kCases[] = {
      {"12345.6", 12345.6},
      {" -0.5 ", -0.5},    // blanks around a cell
      {"5.", 5.0},
      {".5", 0.5},
      {"1.2E-3", 0.0012},
      {"1.5D-3", 0.0015},  // Fortran exponent letter
      {"1.5+3", 1500.0},   // exponent sign without a letter
      {"2.5-2", 0.025},
      {"+7", 7.0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    const auto value = parseNumber(c.text);
    ASSERT_TRUE(value.has_value());
    EXPECT_DOUBLE_EQ(*value, c.value);
  }
}

TEST(ParseNumber, RejectsWordsAndHalfNumbers) {
  for (const char* text : {"", "SAMPLE_MASS", ".", "+", "1.5E", "1.5E+", "E5",
                           "1.2.3", "12a", "0x10", "inf", "nan", "2015/03/01",
                           "1 2", "12,5"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(parseNumber(text).has_value());
  }
}

TEST(SplitCells, KeepsEmptyCellsAndQuotedDelimiters) {
  EXPECT_EQ(splitCells(",1,,2,", ','),
            (std::vector<std::string>{"", "1", "", "2", ""}));
  EXPECT_EQ(splitCells("\"a, b\",\"say \"\"x\"\"\",3", ','),
            (std::vector<std::string>{"a, b", "say \"x\"", "3"}));
  EXPECT_EQ(splitCells("1\t2", '\t'), (std::vector<std::string>{"1", "2"}));
}

TEST(ParseExport, TitlesFollowTheDataMarker) {
  const ExportFile file = parseExport(
      "a.dat",
      "[Header]\r\nINFO,1.2,SAMPLE_MASS\r\n[Data]\r\n\r\n"
      "Comment,Time Stamp (sec),Magnetic Field (Oe)\r\n,1,2\r\n\r\n,3,4\r\n");
  EXPECT_EQ(file.titleLine, 5);
  EXPECT_EQ(file.titles, (std::vector<std::string>{"Comment", "Time Stamp (sec)",
                                                   "Magnetic Field (Oe)"}));
  ASSERT_EQ(file.rows.size(), 2u);  // the blank line is no row
  EXPECT_EQ(file.rows[0].line, 6);
  EXPECT_EQ(file.rows[1].line, 8);
  EXPECT_EQ(file.rows[1].cells[2], "4");
}

TEST(ParseExport, WithoutMarkerTitlesStandBeforeTheFirstNumbers) {
  // The header line with two numbers is not taken for data.
  const ExportFile file = parseExport(
      "b.txt",
      "Run 7 of 2024\nField (T)\tTemp (K)\tMoment (emu)\n0.1\t300\t0.5\n");
  EXPECT_EQ(file.delimiter, '\t');
  EXPECT_EQ(file.titleLine, 2);
  ASSERT_EQ(file.rows.size(), 1u);
  EXPECT_EQ(file.rows[0].cells[1], "300");
}

TEST(ParseExport, RefusesFilesWithoutData) {
  try {
    parseExport("c.dat", "[Header]\nTITLE,words only\n");
    FAIL() << "no error";
  } catch (const PrepError& e) {
    EXPECT_EQ(e.file(), "c.dat");
    EXPECT_EQ(e.line(), 0);
  }
  try {
    parseExport("d.dat", "1,2,3,4,5\n");
    FAIL() << "no error";
  } catch (const PrepError& e) {
    EXPECT_EQ(e.line(), 1);  // data with no titles in front
  }
}

}  // namespace
}  // namespace prep
