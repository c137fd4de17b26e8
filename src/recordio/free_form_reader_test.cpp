#include "recordio/free_form_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "recordio/value_conversion.h"
#include "support/recording_os.h"

namespace korvelin::recordio {
namespace {

using namespace std::string_view_literals;
using testsupport::RecordIoTest;

// Each test runs in its own temporary folder with the recording Os.
using FreeFormReaderTest = RecordIoTest;

// Items are preloaded with this value, so an item a statement did not
// touch (a null value, a slash, a failure) is told apart from one it set.
constexpr float U = -999.25f;

using Five = std::array<float, 5>;

constexpr Five kUntouched = {U, U, U, U, U};

// The outcome's sign: callers of the layer look at nothing else.
int signOf(ReadOutcome outcome) { return outcome < 0 ? -1 : outcome > 0; }

struct FiveRead {
  ReadOutcome outcome = 0;
  Five items = kUntouched;
};

// The isotherm reader's statement: five reals, end of file and errors
// taken back. The statement stops at the first non-zero outcome.
FiveRead readFive(UnitNumber unit) {
  FiveRead r;
  r.outcome = beginRead(unit, "", OutcomePolicy::kAll);
  for (float& item : r.items) {
    if (r.outcome != 0) {
      return r;
    }
    r.outcome = readReal(item);
  }
  if (r.outcome == 0) {
    r.outcome = endRead();
  }
  return r;
}

struct Expected {
  int sign;  // 0 success, -1 end of file, 1 error
  Five items;
};

constexpr Expected kEnd = {-1, kUntouched};
constexpr Expected kError = {1, kUntouched};

struct FileCase {
  std::string_view note;
  std::string_view bytes;
  // Consecutive five-real statements on the same unit: where one leaves the
  // unit shows in what the next one reads.
  std::vector<Expected> statements;
};

const FileCase kFiveRealCases[] = {
    {"a leading comma is a null value; the rest of the line is passed over",
     ",12345.6,1000.0,300.0,0.00123,7.5,8\r\n9,8,7,6,5\r\n",
     {{0, {U, 12345.6f, 1000, 300, 0.00123f}}, {0, {9, 8, 7, 6, 5}}, kEnd}},
    {"two commas in a row give a null value",
     "12345.6,,1000,300,1.2E-3,9\r\n",
     {{0, {12345.6f, U, 1000, 300, 0.0012f}}, kEnd}},
    {"blanks around a comma form one separator with it",
     "1 , 2 ,3  ,4 , 5\r\n",
     {{0, {1, 2, 3, 4, 5}}, kEnd}},
    {"a tab counts as a blank", "1\t,\t2\t3 ,\t4\t\t5\r\n",
     {{0, {1, 2, 3, 4, 5}}, kEnd}},
    {"a value ended by its record end: the next statement starts on the "
     "next line",
     "1,2,3,4,5\r\n6,7,8,9,10\r\n",
     {{0, {1, 2, 3, 4, 5}}, {0, {6, 7, 8, 9, 10}}, kEnd}},
    {"a statement goes on into the next record; what is left of it is "
     "passed over",
     "1,2,3\r\n4,5,6\r\n10,20,30,40,50\r\n",
     {{0, {1, 2, 3, 4, 5}}, {0, {10, 20, 30, 40, 50}}, kEnd}},
    {"a slash leaves the remaining items alone and ends the record",
     "1,2,3/4,5\r\n9,8,7,6,5\r\n",
     {{0, {1, 2, 3, U, U}}, {0, {9, 8, 7, 6, 5}}, kEnd}},
    {"a slash first: nothing is read", "/1,2,3,4,5\r\n9,8,7,6,5\r\n",
     {{0, kUntouched}, {0, {9, 8, 7, 6, 5}}, kEnd}},
    {"a bad value ended by its record end leaves the unit on the next line",
     "[Header]\r\n1,2,3,4,5\r\n",
     {kError, {0, {1, 2, 3, 4, 5}}, kEnd}},
    {"a bad value ended by a comma: the repeated statement goes on behind it",
     "INFO,Temperature,300\r\n1,2,3,4,5\r\n",
     {kError, kError, {0, {300, 1, 2, 3, 4}}, kEnd}},
    {"a semicolon is no separator: one bad value up to the line end",
     "1;2;3;4;5\r\n6,7,8,9,10\r\n",
     {kError, {0, {6, 7, 8, 9, 10}}, kEnd}},
    {"a repeat count", "3*2.5,1,2\r\n", {{0, {2.5f, 2.5f, 2.5f, 1, 2}}, kEnd}},
    {"a repeated null value", "2*,1,2,3\r\n", {{0, {U, U, 1, 2, 3}}, kEnd}},
    {"a repeat count of 0: the unit stands just behind the \"*\"",
     "0*5,6,7,8,9,10\r\n",
     {kError, {0, {5, 6, 7, 8, 9}}, kEnd}},
    {"a second \"*\" in one value: the unit stands just behind it",
     "2*3*4,5,6,7,8,9\r\n",
     {kError, {0, {4, 5, 6, 7, 8}}, kEnd}},
    {"blank and empty lines give no values",
     "\r\n   \r\n\t\r\n1,2\r\n\r\n \t\r\n3,4,5\r\n\r\n",
     {{0, {1, 2, 3, 4, 5}}, kEnd}},
    {"end of file mid-statement: the items already read keep their values",
     "1,2,3", {{-1, {1, 2, 3, U, U}}, kEnd}},
    {"the same with a line end and blank lines at the end of the file",
     "1,2,3\r\n\r\n  \r\n", {{-1, {1, 2, 3, U, U}}, kEnd}},
    {"everything from a lone CR through the next LF is passed over",
     "1,2\r3,4,5\n6,7,8\r\n", {{0, {1, 2, 6, 7, 8}}, kEnd}},
    {"lines ending in LF alone", "1,2,3\n4,5,6\n10,20,30,40,50\n",
     {{0, {1, 2, 3, 4, 5}}, {0, {10, 20, 30, 40, 50}}, kEnd}},
    {"lines separated by CR alone: one record up to the end of the file",
     "1,2,3,4,5\r6,7,8,9,10\r11,12\r", {{0, {1, 2, 3, 4, 5}}, kEnd}},
    {"CR alone, fewer values than items on the first line",
     "1,2,3\r4,5,6\r", {{-1, {1, 2, 3, U, U}}, kEnd}},
    {"a comma at a line end followed by one at the start of the next: null",
     "5,\r\n,6,7,8,9\r\n", {{0, {5, U, 6, 7, 8}}, kEnd}},
    {"a line end then a comma form one separator", "5\r\n,6,7,8,9\r\n",
     {{0, {5, 6, 7, 8, 9}}, kEnd}},
    {"a comma then a line end form one separator", "5,\r\n6,7,8,9\r\n",
     {{0, {5, 6, 7, 8, 9}}, kEnd}},
    {"comma, blank, comma: null", "5, ,6,7,8\r\n",
     {{0, {5, U, 6, 7, 8}}, kEnd}},
    {"the statement repeated after an error starts with a comma again",
     "abc,,1,2,3,4\r\n", {kError, {0, {U, 1, 2, 3, 4}}, kEnd}},
    {"a quoted value for a real item is an error; its comma is consumed",
     "'abc',1,2,3,4,5\r\n", {kError, {0, {1, 2, 3, 4, 5}}, kEnd}},
    {"an empty quoted value is null", "'',1,2,3,4\r\n",
     {{0, {U, 1, 2, 3, 4}}, kEnd}},
    {"the byte behind a closing mark is its separator, whatever it is",
     "''x,6,7,8,9\r\n", {{0, {U, U, 6, 7, 8}}, kEnd}},
    {"a blank behind a closing mark joins the comma after it",
     "'' ,6,7,8,9\r\n", {{0, {U, 6, 7, 8, 9}}, kEnd}},
    {"an LF behind a closing mark stays to end the record",
     "1,2,3,4,''\n7,8,9,10,11\n",
     {{0, {1, 2, 3, 4, U}}, {0, {7, 8, 9, 10, 11}}, kEnd}},
    {"two closing marks in a row do not end a quoted value",
     "'it''s' 1,2,3,4,5\r\n", {kError, {0, {1, 2, 3, 4, 5}}, kEnd}},
    {"a quoted value goes on over its record end",
     "\"ab\r\ncd\",1,2,3,4,5\r\n", {kError, {0, {1, 2, 3, 4, 5}}, kEnd}},
    {"a parenthesised value is an error; \")\" is its separator",
     "(1,2),3,4,5,6,7\r\n", {kError, {0, {U, 3, 4, 5, 6}}, kEnd}},
    {"a NUL byte is part of the value", "1\0,2,3,4,5,6\r\n"sv,
     {kError, {0, {2, 3, 4, 5, 6}}, kEnd}},
    {"bytes above 127 are part of the value", "\xff\xfe 1,2,3,4,5\r\n",
     {kError, {0, {1, 2, 3, 4, 5}}, kEnd}},
    {"control-Z at the end of a disk file is a value, not its end",
     "1,2,3,4,5\r\n\x1a",
     {{0, {1, 2, 3, 4, 5}}, kError, kEnd}},
    {"control-Z inside a record is an ordinary byte",
     "1,2\x1a,3,4,5,6\r\n", {{1, {1, U, U, U, U}}, {-1, {3, 4, 5, 6, U}}}},
};

TEST_F(FreeFormReaderTest, FiveRealStatementsOverTheEdgeCaseRecords) {
  for (const FileCase& c : kFiveRealCases) {
    SCOPED_TRACE(c.note);
    writeFile("data.txt", c.bytes);
    openUnit(12, "data.txt");
    for (std::size_t i = 0; i < c.statements.size(); ++i) {
      SCOPED_TRACE("statement " + std::to_string(i + 1));
      const Expected& want = c.statements[i];
      FiveRead got = readFive(12);
      EXPECT_EQ(signOf(got.outcome), want.sign) << "outcome " << got.outcome;
      for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(got.items[k], want.items[k]) << "item " << k + 1;
      }
    }
    closeUnit(12);
  }
}

// A statement on a unit that has met its end of file ends at once, before
// it reads anything; the flag stays until the unit is closed.
TEST_F(FreeFormReaderTest, EndOfFileStaysUntilTheUnitIsClosed) {
  writeFile("data.txt", "1\r\n");
  openUnit(12, "data.txt");
  std::int32_t n = 0;
  ASSERT_EQ(beginRead(12, "", OutcomePolicy::kAll), 0);
  EXPECT_EQ(readInteger(n), 0);
  EXPECT_EQ(endRead(), 0);
  EXPECT_EQ(n, 1);
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(beginRead(12, "", OutcomePolicy::kEndOfFileOnly), 0);
    EXPECT_EQ(readInteger(n), -1);
  }
  // The file grows meanwhile; the unit still stands at its end.
  writeFile("data.txt", "1\r\n2\r\n");
  ASSERT_EQ(beginRead(12, "", OutcomePolicy::kAll), 0);
  EXPECT_EQ(readInteger(n), -1);
  closeUnit(12);
  openUnit(12, "data.txt");
  ASSERT_EQ(beginRead(12, "", OutcomePolicy::kAll), 0);
  EXPECT_EQ(readInteger(n), 0);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(endRead(), 0);
  closeUnit(12);
}

// Once a call has failed, further item calls of the statement read
// nothing and give the same outcome again.
TEST_F(FreeFormReaderTest, ItemCallsAfterAFailureReadNothing) {
  writeFile("data.txt", "abc,5,6\r\n");
  openUnit(12, "data.txt");
  float first = U;
  float second = U;
  ASSERT_EQ(beginRead(12, "", OutcomePolicy::kAll), 0);
  ReadOutcome failed = readReal(first);
  EXPECT_GT(failed, 0);
  EXPECT_EQ(readReal(second), failed);
  EXPECT_EQ(first, U);
  EXPECT_EQ(second, U);
  ASSERT_EQ(beginRead(12, "", OutcomePolicy::kAll), 0);
  EXPECT_EQ(readReal(first), 0);
  EXPECT_EQ(endRead(), 0);
  EXPECT_EQ(first, 5.0f);
  closeUnit(12);
}

// One value into one item, a few through the whole read path; the
// conversions themselves have their own tests.
TEST_F(FreeFormReaderTest, SingleValuesIntoRealAndIntegerItems) {
  struct Case {
    std::string_view record;
    bool integer;
    int sign;
    double value;  // the item afterwards; the preload when it failed
  };
  constexpr std::int32_t kPreload = -77;
  const Case kCases[] = {
      {"1.5+3", false, 0, 1500},
      {"0.5 ! mass", false, 0, 0.5},  // the rest of the record is passed over
      {"0.5!mass", false, 1, U},      // "!" is part of the value
      {"\xEF\xBB\xBF" "1.5", false, 1, U},  // a byte-order mark
      {"\r\n  \r\n 2.5", false, 0, 2.5},  // blank lines in front
      {"16#FF", true, 0, 255},
      {"-2147483648", true, 0, -2147483648.0},
      {"3.0", true, 1, kPreload},
      {"12\0xyz"sv, true, 0, 12},  // NUL ends the digits
      {"7\x1a", true, 0, 7},       // so does control-Z
      {"+", true, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.record)));
    writeFile("data.txt", std::string(c.record) + "\r\n");
    openUnit(10, "data.txt");
    ASSERT_EQ(beginRead(10, "", OutcomePolicy::kAll), 0);
    ReadOutcome outcome;
    double value;
    if (c.integer) {
      std::int32_t item = kPreload;
      outcome = readInteger(item);
      value = item;
    } else {
      float item = U;
      outcome = readReal(item);
      value = item;
    }
    if (outcome == 0) {
      outcome = endRead();
    }
    EXPECT_EQ(signOf(outcome), c.sign) << "outcome " << outcome;
    EXPECT_EQ(value, c.integer ? c.value : static_cast<float>(c.value));
    closeUnit(10);
  }
}

// Runs one single-item statement with nothing taken back and returns the
// report it raised ("" when it raised none).
template <typename Item>
std::string reportOfStatement(OutcomePolicy policy, Item& item) {
  try {
    if (beginRead(10, "", policy) == 0) {
      ReadOutcome outcome;
      if constexpr (std::is_same_v<Item, float>) {
        outcome = readReal(item);
      } else {
        outcome = readInteger(item);
      }
      if (outcome == 0) {
        endRead();
      }
    }
  } catch (const RunError& error) {
    return error.reportText();
  }
  return "";
}

std::string readReport(std::string_view code, std::string_view message) {
  return "\r\nrun-time error F" + std::string(code) + ": READ(data.txt)\r\n- " +
         std::string(message) + "\r\n";
}

TEST_F(FreeFormReaderTest, ConditionsNotTakenBackEndTheRunWithTheirReport) {
  struct Case {
    std::string_view record;
    bool integer;
    std::string_view code;
    std::string_view message;
  };
  const std::string longZeros(300, '0');
  const std::string kLongReal = longZeros + "5";     // 5, were it not so long
  const std::string kLongInteger = longZeros + "7";  // 7, likewise
  const Case kCases[] = {
      {"3a", true, "6101", "invalid digit in integer value"},
      {"2147483648", true, "6100", "integer value out of range"},
      {"2#1#1", true, "6302", "second # in integer value"},
      {"37#1", true, "6303", "number base not between 2 and 36"},
      {"1.5E", false, "6103", "invalid real value"},
      {"1e400", false, "6102", "real value out of range"},
      {"1e39", false, "6104", "real value out of single-precision range"},
      {"0*5", false, "6502", "invalid repeat count"},
      {"x*5", true, "6502", "invalid repeat count"},
      {"2*3*4", false, "6503", "second repeat count in value"},
      {"(1)", false, "6504", "quoted or parenthesised numeric value"},
      {"'1'", true, "6504", "quoted or parenthesised numeric value"},
      // A value text beyond the 260 characters the scanner holds is refused
      // as an invalid value of the item's kind, not cut to another number.
      {kLongReal, false, "6103", "invalid real value"},
      {kLongInteger, true, "6101", "invalid digit in integer value"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.record.substr(0, 20)));
    writeFile("data.txt", std::string(c.record) + "\r\n");
    openUnit(10, "data.txt");
    std::string report;
    if (c.integer) {
      std::int32_t item = 0;
      report = reportOfStatement(OutcomePolicy::kNone, item);
    } else {
      float item = 0;
      report = reportOfStatement(OutcomePolicy::kNone, item);
    }
    EXPECT_EQ(report, readReport(c.code, c.message));
    // Policy 1 takes back only end of file: the same error still ends the
    // run.
    closeUnit(10);
    openUnit(10, "data.txt");
    if (c.integer) {
      std::int32_t item = 0;
      report = reportOfStatement(OutcomePolicy::kEndOfFileOnly, item);
    } else {
      float item = 0;
      report = reportOfStatement(OutcomePolicy::kEndOfFileOnly, item);
    }
    EXPECT_EQ(report, readReport(c.code, c.message));
    closeUnit(10);
  }
}

TEST_F(FreeFormReaderTest, EndOfFileIsReportedOrTakenBackByPolicy) {
  const std::string kEndOfFile = readReport("6501", "end of file encountered");
  const std::string kAfterEnd =
      readReport("6405", "statement after end of file");
  writeFile("data.txt", "0.5\r\n");
  openUnit(10, "data.txt");
  float item = 0;
  EXPECT_EQ(reportOfStatement(OutcomePolicy::kNone, item), "");
  EXPECT_EQ(item, 0.5f);
  // Policy 0 at the end of the file: F6501.
  EXPECT_EQ(reportOfStatement(OutcomePolicy::kNone, item), kEndOfFile);
  closeUnit(10);

  // Policy 1 takes the end back; a policy-0 statement after it starts on a
  // unit already at its end: F6405.
  openUnit(10, "data.txt");
  EXPECT_EQ(reportOfStatement(OutcomePolicy::kEndOfFileOnly, item), "");
  ASSERT_EQ(beginRead(10, "", OutcomePolicy::kEndOfFileOnly), 0);
  EXPECT_EQ(readReal(item), -1);
  EXPECT_EQ(reportOfStatement(OutcomePolicy::kNone, item), kAfterEnd);
  closeUnit(10);

  // An item-less statement at the end of the file meets it too.
  openUnit(10, "data.txt");
  EXPECT_EQ(reportOfStatement(OutcomePolicy::kNone, item), "");
  try {
    ASSERT_EQ(beginRead(10, "", OutcomePolicy::kNone), 0);
    endRead();
    ADD_FAILURE() << "no end of file";
  } catch (const RunError& error) {
    EXPECT_EQ(error.reportText(), kEndOfFile);
  }
  closeUnit(10);
  EXPECT_EQ(item, 0.5f);
}

// A statement without items passes over exactly one record, whatever it
// holds.
TEST_F(FreeFormReaderTest, ItemlessStatementPassesOverOneRecord) {
  writeFile("data.txt", "1,2,3\r\n\r\n4\r\n");
  openUnit(10, "data.txt");
  std::int32_t n = 0;
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(beginRead(10, "", OutcomePolicy::kNone), 0);
    EXPECT_EQ(endRead(), 0);
  }
  ASSERT_EQ(beginRead(10, "", OutcomePolicy::kNone), 0);
  EXPECT_EQ(readInteger(n), 0);
  EXPECT_EQ(endRead(), 0);
  EXPECT_EQ(n, 4);
  closeUnit(10);
}

// The scanner holds 260 characters of a value: a text of exactly that
// length is read, a longer one is refused and reading goes on behind it.
TEST_F(FreeFormReaderTest, ValueTextsAtAndBeyondTheValueStore) {
  const std::string fits = std::string(259, '0') + "5";
  const std::string tooLong = std::string(260, '0') + "5";
  writeFile("data.txt", fits + ",6,7,8,9\r\n" + tooLong + ",7,8,9,10,11\r\n");
  openUnit(12, "data.txt");
  FiveRead first = readFive(12);
  EXPECT_EQ(first.outcome, 0);
  EXPECT_EQ(first.items, (Five{5, 6, 7, 8, 9}));
  FiveRead refused = readFive(12);
  EXPECT_GT(refused.outcome, 0);
  EXPECT_EQ(refused.items, kUntouched);
  FiveRead after = readFive(12);
  EXPECT_EQ(after.outcome, 0);
  EXPECT_EQ(after.items, (Five{7, 8, 9, 10, 11}));
  closeUnit(12);
}

struct TextRead {
  ReadOutcome outcome = 0;
  std::string field;
};

// The control file's file-name statement: "(A50)" into a 50-character
// variable that starts out holding '#'.
TextRead readName(UnitNumber unit, OutcomePolicy policy) {
  std::array<char, 50> name;
  name.fill('#');
  TextRead r;
  r.outcome = beginRead(unit, "(A50)", policy);
  if (r.outcome == 0) {
    r.outcome = readText(name);
  }
  if (r.outcome == 0) {
    r.outcome = endRead();
  }
  r.field.assign(name.data(), name.size());
  return r;
}

std::string padded(std::string_view text) {
  std::string field(text);
  field.resize(50, ' ');
  return field;
}

TEST_F(FreeFormReaderTest, FixedFormFiftyCharacterField) {
  const std::string sixty =
      "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX";
  const std::string fifty = sixty.substr(0, 50);
  struct Case {
    std::string note;
    std::string bytes;
    std::vector<std::string> fields;  // then end of file
  };
  const Case kCases[] = {
      {"a short record is filled with blanks", "iso300.dat\r\nnext\r\n",
       {padded("iso300.dat"), padded("next")}},
      {"a long record gives its first 50 bytes; the rest is passed over",
       sixty + "\r\nsecond\r\n", {fifty, padded("second")}},
      {"exactly 50 bytes", fifty + "\r\nsecond\r\n",
       {fifty, padded("second")}},
      {"an empty line gives 50 blanks", "\r\nname\r\n",
       {padded(""), padded("name")}},
      {"blanks and tabs in front and behind stay",
       "  \tiso 300.dat \t \r\n", {padded("  \tiso 300.dat \t ")}},
      {"control bytes stay", std::string("a\x1a\0b\x7f\r\n", 7),
       {padded(std::string("a\x1a\0b\x7f", 5))}},
      {"a CR ends the field; the rest of the record is passed over",
       "abc\rxyz\r\ndef\r\n", {padded("abc"), padded("def")}},
      {"LF line ends and a last line without one", "abc\ndef",
       {padded("abc"), padded("def")}},
      {"an empty file", "", {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    writeFile("names.txt", c.bytes);
    openUnit(10, "names.txt");
    for (const std::string& want : c.fields) {
      TextRead got = readName(10, OutcomePolicy::kEndOfFileOnly);
      EXPECT_EQ(got.outcome, 0);
      EXPECT_EQ(got.field, want);
    }
    TextRead end = readName(10, OutcomePolicy::kEndOfFileOnly);
    EXPECT_EQ(end.outcome, -1);
    closeUnit(10);
  }
}

TEST_F(FreeFormReaderTest, FixedFormEndOfFileWithNothingTakenBack) {
  writeFile("data.txt", "iso300.dat\r\n");
  openUnit(10, "data.txt");
  EXPECT_EQ(readName(10, OutcomePolicy::kNone).field, padded("iso300.dat"));
  try {
    readName(10, OutcomePolicy::kNone);
    ADD_FAILURE() << "no end of file";
  } catch (const RunError& error) {
    EXPECT_EQ(error.reportText(),
              readReport("6501", "end of file encountered"));
  }
  closeUnit(10);
}

// The control file's shape: free-form values, then "(A50)" names, on one
// unit; each statement starts where the one before left the unit.
TEST_F(FreeFormReaderTest, FreeFormAndFixedFormStatementsAlternate) {
  writeFile("data.txt", " 300.0  ! first\r\n  iso300.dat\r\n305,\r\niso305.dat");
  openUnit(10, "data.txt");
  float temperature = 0;
  ASSERT_EQ(beginRead(10, "", OutcomePolicy::kEndOfFileOnly), 0);
  EXPECT_EQ(readReal(temperature), 0);
  EXPECT_EQ(endRead(), 0);
  EXPECT_EQ(temperature, 300.0f);
  EXPECT_EQ(readName(10, OutcomePolicy::kNone).field, padded("  iso300.dat"));
  ASSERT_EQ(beginRead(10, "", OutcomePolicy::kEndOfFileOnly), 0);
  EXPECT_EQ(readReal(temperature), 0);
  EXPECT_EQ(endRead(), 0);
  EXPECT_EQ(temperature, 305.0f);
  EXPECT_EQ(readName(10, OutcomePolicy::kNone).field, padded("iso305.dat"));
  ASSERT_EQ(beginRead(10, "", OutcomePolicy::kEndOfFileOnly), 0);
  EXPECT_EQ(readReal(temperature), -1);
  closeUnit(10);
}

}  // namespace
}  // namespace korvelin::recordio

namespace korvelin::recordio {
namespace {

// Records of comma-separated number-like texts, read by five-real
// statements repeated after errors, must give what converting each text on
// its own says: whatever path the reader takes for a value (plain numbers
// are taken in one pass straight from the buffer), the result is the same.
TEST_F(FreeFormReaderTest, NumberTextsReadAsTheirConversionSays) {
  std::mt19937 random(20261211);
  const std::string alphabet = "0123456789.eEdD+-";
  auto token = [&]() -> std::string {
    switch (random() % 8) {
    case 0: return "";  // a null value
    case 1: {           // anything made of number characters
      std::string t;
      for (auto n = random() % 12; n > 0; --n) {
        t += alphabet[random() % alphabet.size()];
      }
      return t;
    }
    case 2:  // long digit strings around the 15-digit and 260-character
             // limits
      return std::string(random() % 270, '0') +
             std::to_string(random() % 1000);
    default: {  // a plain decimal, maybe with an exponent
      std::string t = (random() % 4 == 0) ? "-" : "";
      t += std::to_string(random() % 100000);
      if (random() % 2) {
        t += "." + std::to_string(random() % 1000000);
      }
      if (random() % 3 == 0) {
        t += (random() % 2 ? "E" : "d");
        t += (random() % 2 ? "-" : "+");
        t += std::to_string(random() % 40);
      }
      return t;
    }
    }
  };
  std::vector<std::string> tokens;
  std::string file;
  for (int record = 0; record < 3000; ++record) {
    for (int k = 0; k < 5; ++k) {
      tokens.push_back(token());
      file += tokens.back();
      file += ',';
    }
    // The record's own end stops nothing: the sixth value is never read.
    file += "9\r\n";
  }
  writeFile("numbers.txt", file);

  // What the statements must give, from the texts alone. The stream of
  // values is each record's five texts, each ended by a comma, then "9"
  // ended by the record's end.
  struct Value {
    std::string text;
    bool endsRecord;
  };
  std::vector<Value> values;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    values.push_back({tokens[i], false});
    if (i % 5 == 4) {
      values.push_back({"9", true});
    }
  }
  std::vector<FiveRead> expected;
  Five items = kUntouched;
  std::size_t next = 0;
  while (next < values.size()) {
    FiveRead statement{0, items};
    bool afterBlank = false;  // a statement starts as after a comma
    int filled = 0;
    bool endOfFile = false;
    while (filled < 5) {
      if (next == values.size()) {
        endOfFile = true;
        break;
      }
      const Value& v = values[next++];
      if (v.text.empty()) {
        if (!afterBlank) {
          ++filled;  // a null value: the item keeps what it held
        }
        afterBlank = false;  // the comma joins a blank in front of it
        continue;
      }
      Conversion<float> converted = convertReal(v.text);
      if (converted.error || v.text.size() > 260) {
        statement.outcome = 1;
        break;
      }
      statement.items[static_cast<std::size_t>(filled++)] = converted.value;
      afterBlank = v.endsRecord;
    }
    if (endOfFile) {
      break;
    }
    items = statement.items;
    expected.push_back(statement);
    if (statement.outcome == 0) {
      // The rest of the record of the last value used is passed over.
      next = (next - 1) / 6 * 6 + 6;
    }
  }

  openUnit(12, "numbers.txt");
  Five running = kUntouched;
  std::size_t index = 0;
  for (;;) {
    FiveRead got;
    got.items = running;
    got.outcome = beginRead(12, "", OutcomePolicy::kAll);
    for (float& item : got.items) {
      if (got.outcome != 0) {
        break;
      }
      got.outcome = readReal(item);
    }
    if (got.outcome == 0) {
      got.outcome = endRead();
    }
    if (got.outcome < 0) {
      break;
    }
    running = got.items;
    ASSERT_LT(index, expected.size());
    SCOPED_TRACE("statement " + std::to_string(index));
    EXPECT_EQ(got.outcome > 0, expected[index].outcome > 0);
    for (std::size_t k = 0; k < 5; ++k) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(got.items[k]),
                std::bit_cast<std::uint32_t>(expected[index].items[k]))
          << "item " << k;
    }
    ++index;
  }
  closeUnit(12);
}

}  // namespace
}  // namespace korvelin::recordio
