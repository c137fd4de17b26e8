#include "runtime/run_error.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "recordio/console.h"
#include "recordio/free_form_reader.h"
#include "recordio/record_writer.h"
#include "recordio/units.h"
#include "runtime/console_pause.h"
#include "runtime/run_lifecycle.h"
#include "support/recording_os.h"

namespace korvelin {
namespace {

using platform::SysError;
using recordio::kConsoleUnit;
using testsupport::RecordIoTest;

const std::string kPrompt =
    "Pause - Please enter a blank line (to continue) or a DOS command.\r\n";

const std::string kConsoleEndOfFile =
    "\r\nrun-time error F6501: WRITE(CON)\r\n- end of file encountered\r\n";

// The report of whatever `raise` throws.
std::string reportOf(const std::function<void()>& raise) {
  try {
    raise();
  } catch (const RunError& error) {
    return error.reportText();
  }
  return "(nothing raised)";
}

TEST(RunErrorReportTest, ReportBytes) {
  struct Case {
    std::string note;
    std::function<void()> raise;
    std::string report;
  };
  const Case kCases[] = {
      {"end of file in a read",
       [] {
         throw RunError('F', 6501, StatementKind::kRead, "KORVELIN.inp",
                        "end of file encountered");
       },
       "\r\nrun-time error F6501: READ(KORVELIN.inp)\r\n"
       "- end of file encountered\r\n"},
      {"a failed open",
       [] { raiseIo(IoCondition::kPathNotFound, StatementKind::kOpen, "a/b"); },
       "\r\nrun-time error F6416: OPEN(a/b)\r\n- path not found\r\n"},
      {"a failed close",
       [] { raiseIo(IoCondition::kDiskFull, StatementKind::kClose, "t.dat"); },
       "\r\nrun-time error F6422: CLOSE(t.dat)\r\n- disk full\r\n"},
      {"a console write",
       [] { raiseIo(IoCondition::kEndOfFile, StatementKind::kWrite, "CON"); },
       kConsoleEndOfFile},
      {"an empty message: no \"- \", the line stays empty",
       [] { throw RunError('F', 6423, StatementKind::kClose, "t.dat", ""); },
       "\r\nrun-time error F6423: CLOSE(t.dat)\r\n\r\n"},
      {"division by zero", [] { raiseMath(MathCondition::kDivideByZero); },
       "\r\nrun-time error M6103: MATH\r\n"
       "- floating-point error: divide by zero\r\n"},
      {"invalid operation", [] { raiseMath(MathCondition::kInvalid); },
       "\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n"},
      {"overflow", [] { raiseMath(MathCondition::kOverflow); },
       "\r\nrun-time error M6104: MATH\r\n- floating-point error: overflow\r\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    EXPECT_EQ(reportOf(c.raise), c.report);
  }
}

void logLine(std::string_view text) {
  recordio::beginWrite(kConsoleUnit, "");
  recordio::writeCharacter(text);
  recordio::endWrite();
}

void tableRecord(std::string_view text) {
  recordio::beginWrite(11, "(A)");
  recordio::writeCharacter(text);
  recordio::endWrite();
}

using EndOfRunTest = RecordIoTest;

TEST_F(EndOfRunTest, NormalEndClosesUnitsAndEndsTheConsoleLine) {
  recordio::openUnit(11, "KORVELIN.dat");
  tableRecord("row");
  logLine("=============");
  EXPECT_EQ(readFile("KORVELIN.dat"), "");
  EXPECT_EQ(exitStatusOf([] { endRun(0); }), 0);
  EXPECT_EQ(readFile("KORVELIN.dat"), "row\r\n");
  EXPECT_EQ(recordio::connectedUnit(11), nullptr);
  EXPECT_EQ(os.standardOutput, "=============\r\n");
  EXPECT_EQ(os.standardError, "");
}

TEST_F(EndOfRunTest, NothingIsWrittenWhenNoConsoleLineIsOpen) {
  EXPECT_EQ(exitStatusOf([] { endRun(0); }), 0);
  EXPECT_EQ(os.standardOutput, "");
  EXPECT_EQ(os.standardError, "");
}

TEST_F(EndOfRunTest, ReportEndsTheRunWithStatusOne) {
  recordio::openUnit(11, "KORVELIN.dat");
  tableRecord(" T/B");
  logLine("Temperatura");
  RunError error('F', 6501, StatementKind::kRead, "KORVELIN.inp",
                 "end of file encountered");
  EXPECT_EQ(exitStatusOf([&] { reportRunError(error); }), 1);
  EXPECT_EQ(os.standardError,
            "\r\nrun-time error F6501: READ(KORVELIN.inp)\r\n"
            "- end of file encountered\r\n");
  // What was written before the condition reaches its file, and the open
  // console line is ended.
  EXPECT_EQ(readFile("KORVELIN.dat"), " T/B\r\n");
  EXPECT_EQ(os.standardOutput, "Temperatura\r\n");
}

// The top of the run: a condition raised anywhere in the program becomes its
// report and status 1; a program that completes ends with status 0.
TEST_F(EndOfRunTest, RunProgramReportsWhatTheProgramRaises) {
  EXPECT_EQ(exitStatusOf([] {
              runProgram([] {
                logLine("Temperatura");
                raiseMath(MathCondition::kDivideByZero);
              });
            }),
            1);
  EXPECT_EQ(os.standardError,
            "\r\nrun-time error M6103: MATH\r\n"
            "- floating-point error: divide by zero\r\n");
  EXPECT_EQ(os.standardOutput, "Temperatura\r\n");

  os.standardOutput.clear();
  os.standardError.clear();
  recordio::resetConsoleForTesting();
  EXPECT_EQ(exitStatusOf([] { runProgram([] { logLine("fin"); }); }), 0);
  EXPECT_EQ(os.standardError, "");
  EXPECT_EQ(os.standardOutput, "fin\r\n");
}

// A buffer that cannot be written out while the units are closed: the
// closing stops there, no line end goes to the console, and the status
// stays the one the run was ending with.
// Output that never reached its file makes the run a failure: a normal end
// whose last close fails exits with status 1, not 0.
TEST_F(EndOfRunTest, CloseFailureWhileEndingTheRun) {
  for (int status : {0, 1}) {
    SCOPED_TRACE("ending with status " + std::to_string(status));
    recordio::resetUnitsForTesting();
    recordio::resetConsoleForTesting();
    os.standardOutput.clear();
    os.standardError.clear();
    recordio::openUnit(11, "KORVELIN.dat");
    tableRecord("first");
    recordio::openUnit(12, "other.dat");
    recordio::beginWrite(12, "(A)");
    recordio::writeCharacter("second");
    recordio::endWrite();
    logLine("line");
    os.failWriteAt(1, SysError::kDiskFull, 3);
    EXPECT_EQ(exitStatusOf([&] { endRun(status); }), 1);
    EXPECT_EQ(os.standardError,
              "\r\nrun-time error F6422: CLOSE(KORVELIN.dat)\r\n"
              "- disk full\r\n");
    EXPECT_EQ(os.standardOutput, "line");
    EXPECT_EQ(readFile("KORVELIN.dat"), "fir");
    EXPECT_EQ(readFile("other.dat"), "") << "a unit after the failed one "
                                            "was closed";
  }
}

using ConsolePauseTest = RecordIoTest;

// One pause on redirected standard input: what it runs.
TEST_F(ConsolePauseTest, RepliesFromRedirectedInput) {
  struct Case {
    std::string input;
    std::vector<std::string> commands;
  };
  const Case kCases[] = {
      {"\r\n", {}},
      {"\n", {}},
      {" \t \t\r\n", {}},            // blanks and tabs
      {"x\r\n", {}},                 // one character
      {"x \t \r\n", {}},             // one character and blanks
      {"ab\r\n", {"ab"}},            // two characters are a command
      {" a\r\n", {" a"}},            // leading blanks stay and count
      {"dir /w \t \r\n", {"dir /w"}},  // trailing blanks and tabs go
      {"ab", {"ab"}},                // a last line without its line end
      {"ab\rcd\r\n", {"ab"}},
      {std::string(200, 'y') + "\r\n", {}},  // too long to be run
      {std::string(127, 'y') + "\r\n", {std::string(127, 'y')}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.input.substr(0, 20)));
    recordio::resetConsoleForTesting();
    os.standardOutput.clear();
    os.commands.clear();
    os.setStandardInput(c.input);
    consolePause();
    EXPECT_EQ(os.commands, c.commands);
    EXPECT_EQ(os.standardOutput, kPrompt);
  }
}

// Consecutive pauses take consecutive lines; a long line is passed over
// whole, and after a CR the next byte belongs to the line end.
TEST_F(ConsolePauseTest, PausesTakeConsecutiveLines) {
  os.setStandardInput("\r\nls -l\r\n" + std::string(200, 'y') +
                      "\r\npwd\nab\rXcd\r\n");
  logLine("=============");
  for (int k = 0; k < 6; ++k) {
    consolePause();
  }
  EXPECT_EQ(os.commands,
            (std::vector<std::string>{"ls -l", "pwd", "ab", "cd"}));
  std::string expected = "=============";
  for (int k = 0; k < 6; ++k) {
    expected += "\r\n" + kPrompt;
  }
  EXPECT_EQ(os.standardOutput, expected);
  // The input is used up: the next pause ends the run.
  EXPECT_EQ(reportOf([] { consolePause(); }), kConsoleEndOfFile);
}

TEST_F(ConsolePauseTest, EndOfRedirectedInput) {
  struct Case {
    std::string note;
    std::string input;
  };
  const Case kCases[] = {
      {"an empty file", ""},
      {"a line holding control-Z alone", "\x1a\r\n"},
      {"control-Z third from the end of a block: the whole block is unused",
       "\r\n\r\n\x1a\r\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    recordio::resetConsoleForTesting();
    os.setStandardInput(c.input);
    os.commands.clear();
    logLine("=============");
    EXPECT_EQ(reportOf([] { consolePause(); }), kConsoleEndOfFile);
    EXPECT_TRUE(os.commands.empty());
  }
}

// The report names the statement executed before the pause.
TEST_F(ConsolePauseTest, EndOfInputNamesTheStatementBeforeThePause) {
  writeFile("data.txt", "1\r\n");
  recordio::openUnit(10, "data.txt");
  std::int32_t n = 0;
  ASSERT_EQ(recordio::beginRead(10, "", recordio::OutcomePolicy::kNone), 0);
  ASSERT_EQ(recordio::readInteger(n), 0);
  ASSERT_EQ(recordio::endRead(), 0);
  os.setStandardInput("");
  EXPECT_EQ(reportOf([] { consolePause(); }),
            "\r\nrun-time error F6501: READ(CON)\r\n"
            "- end of file encountered\r\n");
}

// The whole way out: the report, the console line ended, status 1.
TEST_F(ConsolePauseTest, EndOfInputEndsTheRun) {
  os.setStandardInput("");
  logLine("=============");
  std::optional<int> status = exitStatusOf([] {
    try {
      consolePause();
    } catch (const RunError& error) {
      reportRunError(error);
    }
  });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(os.standardError, kConsoleEndOfFile);
  EXPECT_EQ(os.standardOutput, "=============\r\n" + kPrompt + "\r\n");
}

// At a terminal (or the null device) one read request is one reply; a
// request that delivers nothing, or a control-Z, continues the run.
TEST_F(ConsolePauseTest, RepliesFromACharacterDevice) {
  struct Case {
    std::string input;
    std::vector<std::string> commands;
  };
  const Case kCases[] = {
      {"", {}},  // the null device
      {"\n", {}},
      {"\r\n", {}},
      {"\x1a\r\n", {}},
      {"x  \n", {}},
      {"ab\n", {"ab"}},
      {" ls \t\r\n", {" ls"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.input));
    os.commands.clear();
    os.setStandardInput(c.input, /*characterDevice=*/true);
    consolePause();
    EXPECT_EQ(os.commands, c.commands);
  }
}

}  // namespace
}  // namespace korvelin
