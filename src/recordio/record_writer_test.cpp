#include "recordio/record_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "recordio/console.h"
#include "runtime/console_pause.h"
#include "support/recording_os.h"

namespace korvelin::recordio {
namespace {

using testsupport::RecordIoTest;

// Each test runs in its own temporary folder with the recording Os.
using RecordWriterTest = RecordIoTest;

using Item = std::variant<std::string_view, float, std::int32_t>;

// One write statement: begin, one call per item, end.
void writeStatement(UnitNumber target, std::string_view format,
                    const std::vector<Item>& items) {
  beginWrite(target, format);
  for (const Item& item : items) {
    if (const auto* text = std::get_if<std::string_view>(&item)) {
      writeCharacter(*text);
    } else if (const auto* real = std::get_if<float>(&item)) {
      writeReal(*real);
    } else {
      writeInteger(std::get<std::int32_t>(item));
    }
  }
  endWrite();
}

void logLine(const std::vector<Item>& items) {
  writeStatement(kConsoleUnit, "", items);
}

std::string blanks(std::size_t n) { return std::string(n, ' '); }

// The file name as the program holds it: blank-padded to 50 characters.
const std::string kName = "iso300.dat" + blanks(40);

const std::string kPrompt =
    "Pause - Please enter a blank line (to continue) or a DOS command.\r\n";

// The progress log's lines as the console shows them, each the first record
// of a run (so nothing stands in front of it).
TEST_F(RecordWriterTest, ConsoleRecordsOfTheProgressLog) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  struct Case {
    std::vector<Item> items;
    std::string shown;
  };
  const Case kCases[] = {
      {{"Leyendo fichero: ", kName}, "Leyendo fichero: iso300.dat" + blanks(40)},
      {{"Temperatura: ", 300.0f}, "Temperatura:      300.000000"},
      {{"Temperatura: ", 0.5f}, "Temperatura:    5.000000E-01"},
      {{}, ""},
      {{kName}, kName},
      {{"============="}, "============="},
      {{"No puntos totales: ", 57}, "No puntos totales:          57"},
      // The first number gets 15 columns, the others 16.
      {{300.0f, 0.5f, 0.001234f},
       "     300.000000    5.000000E-01    1.234000E-03"},
      {{"No de puntos para T = ", 300.0f, 57},
       "No de puntos para T =      300.000000          57"},
      {{" Puntos ordenados por el campo"}, " Puntos ordenados por el campo"},
      {{2.0f, -0.123f}, "       2.000000   -1.230000E-01"},
      {{" No temperaturas ", 10}, " No temperaturas          10"},
      // Integers: 11 columns, 12 after a number.
      {{0, 0}, "          0           0"},
      {{kMin, kMin}, "-2147483648 -2147483648"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.shown);
    resetConsoleForTesting();
    os.standardOutput.clear();
    logLine(c.items);
    EXPECT_EQ(os.standardOutput, c.shown);
    EXPECT_TRUE(consoleLineOpen());
  }
}

// The first records of a run with the pause among them: a line's CR LF is
// written when the next line starts, the pause ends the open line itself,
// and the first record after the pause starts with CR LF again.
TEST_F(RecordWriterTest, ConsoleTranscriptAroundAPause) {
  os.setStandardInput("\r\n");
  logLine({"Leyendo fichero: ", kName});
  logLine({"Temperatura: ", 300.0f});
  logLine({});
  logLine({kName});
  logLine({"============="});
  consolePause();
  logLine({"No puntos totales: ", 57});
  EXPECT_EQ(os.standardOutput,
            "Leyendo fichero: " + kName +          //
                "\r\nTemperatura:      300.000000" +  //
                "\r\n" +                              //
                "\r\n" + kName +                      //
                "\r\n=============" +                 //
                "\r\n" + kPrompt +                    //
                "\r\nNo puntos totales:          57");
  EXPECT_TRUE(os.commands.empty());
}

TEST_F(RecordWriterTest, FreeFormRecordsBeyondTheLineBudget) {
  std::string hundred;
  for (int k = 0; k < 10; ++k) {
    hundred += "0123456789";
  }
  const std::string seventy = hundred.substr(0, 70);
  struct Case {
    std::string note;
    std::vector<Item> items;
    std::string shown;
  };
  const Case kCases[] = {
      {"a fifth real does not fit: it starts a record with the blanks it owes, "
       "the first of which the console does not show",
       {1.0f, 1.0f, 1.0f, 1.0f, 1.0f},
       blanks(7) + "1.000000" + blanks(8) + "1.000000" + blanks(8) +
           "1.000000" + blanks(8) + "1.000000" + "\r\n" + blanks(7) +
           "1.000000"},
      {"a number that does not fit behind a text",
       {std::string_view(seventy), 2.0f},
       seventy + "\r\n" + blanks(6) + "2.000000"},
      {"a long text fills the record; the rest goes on in a new one",
       {std::string_view(hundred)},
       hundred.substr(0, 79) + "\r\n" + hundred.substr(79)},
      {"the same behind a shorter text",
       {"Leyendo fichero: ", std::string_view(seventy)},
       "Leyendo fichero: " + seventy.substr(0, 62) + "\r\n" +
           seventy.substr(62)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    resetConsoleForTesting();
    os.standardOutput.clear();
    logLine(c.items);
    logLine({"next"});
    EXPECT_EQ(os.standardOutput, c.shown + "\r\nnext");
  }
}

// Unit 6 and unit 0 reach console output while nothing is connected to
// them.
TEST_F(RecordWriterTest, UnconnectedConsoleNumbersWriteToTheConsole) {
  writeStatement(6, "", {"six"});
  writeStatement(0, "", {"zero", 0});
  EXPECT_EQ(os.standardOutput, "six\r\nzero          0");
}

struct Statement {
  std::string_view format;
  std::vector<Item> items;
};

// The result table's statements on unit 11, then its close.
std::string tableFile(const std::vector<Statement>& statements) {
  openUnit(11, "KORVELIN.dat");
  for (const Statement& s : statements) {
    writeStatement(11, s.format, s.items);
  }
  closeUnit(11);
  std::ifstream in("KORVELIN.dat", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TableRow {
  float meanTemperature;
  std::vector<float> cells;
};

// The table writer's statement sequence: a heading, then one row per pair.
std::vector<Statement> tableStatements(const std::vector<float>& fields,
                                       const std::vector<TableRow>& rows,
                                       std::string_view rowFormat) {
  std::vector<Statement> s;
  s.push_back({"(A8,4X,$)", {" T/B    "}});
  for (float field : fields) {
    s.push_back({"(4X,F5.2,4X,$)", {field}});
  }
  s.push_back({"()", {}});
  for (const TableRow& row : rows) {
    s.push_back({rowFormat, {row.meanTemperature}});
    for (float cell : row.cells) {
      s.push_back({"(2X,F11.3,$)", {cell}});
    }
    s.push_back({"()", {}});
  }
  return s;
}

TEST_F(RecordWriterTest, ResultTableOfTheWorkedExample) {
  const std::vector<TableRow> rows = {{302.5f, {0.0123f, -0.4567f, 2.5f}},
                                      {2.25f, {12.345f, -0.0004f, 0.0f}}};
  const std::string expected =
      " T/B              .50         1.00         5.00\r\n"
      " 302.500         .012        -.457        2.500\r\n"
      "   2.250       12.345         .000         .000\r\n";
  EXPECT_EQ(tableFile(tableStatements({0.5f, 1.0f, 5.0f}, rows, "(F8.3,$)")),
            expected);
  // Whatever follows the format's closing parenthesis is ignored.
  EXPECT_EQ(tableFile(tableStatements({0.5f, 1.0f, 5.0f}, rows,
                                      "(F8.3,$)(2X,F11.3,$)()")),
            expected);
  // No target fields: the heading and the mean temperatures alone.
  EXPECT_EQ(tableFile(tableStatements({}, {{2.25f, {}}}, "(F8.3,$)")),
            " T/B    \r\n   2.250\r\n");
}

TEST_F(RecordWriterTest, OwedBlanksInFileRecords) {
  struct Case {
    std::string note;
    std::vector<Statement> statements;
    std::string file;
  };
  const Case kCases[] = {
      {"\"()\" drops the blanks a trailing 4X owes",
       {{"(A8,4X,$)", {" T/B    "}}, {"()", {}}},
       " T/B    \r\n"},
      {"owed blanks are paid by the next statement of the open record",
       {{"(A8,4X,$)", {" T/B    "}}, {"(4X,F5.2,4X,$)", {0.5f}}, {"()", {}}},
       " T/B              .50\r\n"},
      {"a field of asterisks follows the blanks already owed",
       {{"(F8.3,$)", {1.0f}}, {"(2X,F11.3,$)", {1e9f}}, {"()", {}}},
       "   1.000  ***********\r\n"},
      {"A8 right-justifies a shorter value and cuts a longer one",
       {{"(A8,4X,$)", {"T/B"}}, {"(A8,4X,$)", {"ABCDEFGHIJ"}}, {"()", {}}},
       "     T/B    ABCDEFGH\r\n"},
      {"a record left open at the close goes out without its line end or "
       "the blanks it owes",
       {{"(F8.3,$)", {1.0f}}, {"()", {}}, {"(A8,4X,$)", {" T/B    "}}},
       "   1.000\r\n T/B    "},
      {"an item-less record", {{"()", {}}, {"()", {}}}, "\r\n\r\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    EXPECT_EQ(tableFile(c.statements), c.file);
  }
}

// A console line written while a table record is open neither pays nor
// loses the blanks the record owes.
TEST_F(RecordWriterTest, ConsoleRecordBetweenStatementsOfAnOpenFileRecord) {
  openUnit(11, "KORVELIN.dat");
  writeStatement(11, "(A8,4X,$)", {" T/B    "});
  logLine({"Temperatura: ", 300.0f});
  writeStatement(11, "(4X,F5.2,4X,$)", {0.5f});
  logLine({});
  writeStatement(11, "()", {});
  closeUnit(11);
  std::ifstream in("KORVELIN.dat", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in),
                        std::istreambuf_iterator<char>()),
            " T/B              .50\r\n");
  EXPECT_EQ(os.standardOutput, "Temperatura:      300.000000\r\n");
}

}  // namespace
}  // namespace korvelin::recordio
