#include "recordio/units.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "recordio/free_form_reader.h"
#include "recordio/record_writer.h"
#include "support/recording_os.h"

namespace korvelin::recordio {
namespace {

using platform::Access;
using platform::SysError;
using testsupport::RecordIoTest;

// Each test runs in its own temporary folder with the recording Os.
using UnitsTest = RecordIoTest;

// Every record of a unit as the control file's "(A50)" statement sees it,
// trailing blanks removed, up to end of file. Unlike a free-form read this
// shows empty records, so it counts records exactly.
std::vector<std::string> recordsOf(UnitNumber unit) {
  std::vector<std::string> records;
  for (;;) {
    std::array<char, 50> field{};
    EXPECT_EQ(beginRead(unit, "(A50)", OutcomePolicy::kEndOfFileOnly), 0);
    if (readText(field) != 0) {
      return records;
    }
    EXPECT_EQ(endRead(), 0);
    std::string text(field.data(), field.size());
    text.erase(text.find_last_not_of(' ') + 1);
    records.push_back(text);
  }
}

// One integer per statement, end of file and errors taken back; an error is
// listed as its outcome code negated, end of file ends the list.
std::vector<std::int64_t> integersOf(UnitNumber unit) {
  std::vector<std::int64_t> values;
  for (;;) {
    std::int32_t n = -1;
    EXPECT_EQ(beginRead(unit, "", OutcomePolicy::kAll), 0);
    ReadOutcome outcome = readInteger(n);
    if (outcome == 0) {
      outcome = endRead();
    }
    if (outcome < 0) {
      return values;
    }
    values.push_back(outcome == 0 ? n : -std::int64_t{outcome});
  }
}

// "     103\r\n": ten bytes per record, so record k starts at 10 (k - 1).
std::string numberedRecords(int first, int last) {
  std::string bytes;
  for (int k = first; k <= last; ++k) {
    char record[16];
    std::snprintf(record, sizeof record, "%8d\r\n", k);
    bytes += record;
  }
  return bytes;
}

std::string reportOf(std::string_view code, std::string_view statement,
                     std::string_view name, std::string_view message) {
  return "\r\nrun-time error F" + std::string(code) + ": " +
         std::string(statement) + "(" + std::string(name) + ")\r\n- " +
         std::string(message) + "\r\n";
}

// Writes one whole-value record "(A)" to the unit.
void writeLine(UnitNumber unit, std::string_view text) {
  beginWrite(unit, "(A)");
  writeCharacter(text);
  endWrite();
}

TEST_F(UnitsTest, LastLineWithoutLineEndIsARecordAtAnySize) {
  // Around the physical read size, and around 1024 bytes for good measure:
  // records must not depend on either.
  for (std::size_t size :
       {std::size_t{1023}, std::size_t{1024}, std::size_t{1025},
        kDiskReadBlock - 1, kDiskReadBlock, kDiskReadBlock + 1,
        2 * kDiskReadBlock}) {
    SCOPED_TRACE("file of " + std::to_string(size) + " bytes");
    // Ten-byte records, a few blanks in front of the first to make the
    // size exact, and "last" without a line end.
    std::size_t body = size - 4;
    std::string bytes = std::string(body % 10, ' ') +
                        numberedRecords(1, static_cast<int>(body / 10)) +
                        "last";
    ASSERT_EQ(bytes.size(), size);
    writeFile("data.txt", bytes);
    openUnit(10, "data.txt");
    std::vector<std::string> records = recordsOf(10);
    const int n = static_cast<int>(body / 10);
    ASSERT_EQ(records.size(), static_cast<std::size_t>(n) + 1);
    EXPECT_EQ(records.front(), std::string(body % 10, ' ') + "       1");
    EXPECT_EQ(records[static_cast<std::size_t>(n) - 1],
              numberedRecords(n, n).substr(0, 8));
    EXPECT_EQ(records.back(), "last");
    closeUnit(10);
  }
}

// A final LF at a block boundary supplies no extra record.
TEST_F(UnitsTest, FileEndingInLineFeedAtABlockBoundaryHasNoExtraRecord) {
  // A few blanks, ten-byte records and an empty one, filling one block.
  const std::size_t pad = (kDiskReadBlock - 2) % 10;
  const int n = static_cast<int>((kDiskReadBlock - 2) / 10);
  const std::string bytes =
      std::string(pad, ' ') + numberedRecords(1, n) + "\r\n";
  ASSERT_EQ(bytes.size(), kDiskReadBlock);
  writeFile("data.txt", bytes);
  openUnit(10, "data.txt");
  std::vector<std::string> records = recordsOf(10);
  ASSERT_EQ(records.size(), static_cast<std::size_t>(n) + 1);
  EXPECT_EQ(records[0], std::string(pad, ' ') + "       1");
  EXPECT_EQ(records[static_cast<std::size_t>(n) - 1],
            numberedRecords(n, n).substr(0, 8));
  EXPECT_EQ(records[static_cast<std::size_t>(n)], "");
  closeUnit(10);
}

TEST_F(UnitsTest, RecordsLongerThanABlock) {
  std::string manyValues = "1";
  while (manyValues.size() < 3000) {
    manyValues += ",9";
  }
  const std::string longName(3000, 'n');
  // A value that starts in the first block and ends in the second.
  const std::string straddling = std::string(1020, ' ') + "12345,6";
  struct Case {
    std::string note;
    std::string bytes;
    std::vector<std::int64_t> integers;
    std::vector<std::string> records;
  };
  const Case kCases[] = {
      {"the rest of a long record is passed over",
       manyValues + "\r\n42\r\n", {1, 42}, {manyValues.substr(0, 50), "42"}},
      {"blanks in front of a value over three blocks",
       std::string(2500, ' ') + "43\r\n44", {43, 44}, {"", "44"}},
      {"a long line read by \"(A50)\"", longName + "\r\nnext\r\n", {},
       {std::string(50, 'n'), "next"}},
      {"a value split by the block boundary", straddling + "\r\n7\r\n",
       {12345, 7}, {"", "7"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    writeFile("data.txt", c.bytes);
    if (!c.integers.empty()) {
      openUnit(12, "data.txt");
      EXPECT_EQ(integersOf(12), c.integers);
      closeUnit(12);
    }
    openUnit(12, "data.txt");
    EXPECT_EQ(recordsOf(12), c.records);
    closeUnit(12);
  }
}

// The CR of a CR LF pair is the last byte of the first block and the LF the
// first byte of the second: still one line end.
TEST_F(UnitsTest, CrLfSplitAcrossTheBlockBoundary) {
  const std::string first = std::string(1019, ' ') + "1234";  // CR at 1023
  writeFile("data.txt", first + "\r\n56\r\n");
  openUnit(12, "data.txt");
  EXPECT_EQ(integersOf(12), (std::vector<std::int64_t>{1234, 56}));
  closeUnit(12);

  writeFile("names.txt", std::string(1023, 'x') + "\r\nnext\r\n");
  openUnit(10, "names.txt");
  EXPECT_EQ(recordsOf(10), (std::vector<std::string>{std::string(50, 'x'),
                                                     "next"}));
  closeUnit(10);
}

TEST_F(UnitsTest, MissingFileIsCreatedEmptyAndRemains) {
  openUnit(12, "  iso 300.dat ");  // blanks around the name are removed
  ASSERT_TRUE(fileExists("iso 300.dat"));
  EXPECT_EQ(readFile("iso 300.dat"), "");
  EXPECT_TRUE(recordsOf(12).empty());
  closeUnit(12);
  EXPECT_TRUE(fileExists("iso 300.dat"));
  EXPECT_EQ(readFile("iso 300.dat"), "");
}

// Only the first 259 characters of a name count, and only the space
// character is trimmed; case and inner blanks stay.
TEST_F(UnitsTest, NamePreparation) {
  struct Case {
    std::string given;
    std::string file;
  };
  std::vector<Case> cases = {
      {std::string(250, ' ') + "abcdefghijklmnop", "abcdefghi"},
      {"  Iso 300.DAT  ", "Iso 300.DAT"},
  };
  std::vector<std::string> expected = {"Iso 300.DAT", "abcdefghi"};
  // Only blanks are trimmed, so a tab stays part of the name; where the
  // file system refuses control characters in names (Windows) there is
  // nothing to see.
  if (std::ofstream("\tprobe")) {
    std::filesystem::remove("\tprobe");
    cases.push_back({"\tdata.txt ", "\tdata.txt"});
    expected.insert(expected.begin(), "\tdata.txt");
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    openUnit(12, c.given);
    closeUnit(12);
    EXPECT_TRUE(fileExists(c.file));
  }
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, expected);
}

// The cause the system gives for refusing an open decides the report; after
// the access fallback it is the cause of the last attempt, writing only.
TEST_F(UnitsTest, OpenRefusedByTheSystem) {
  struct Case {
    SysError readWrite, readOnly, writeOnly;
    std::string code;
    std::string message;
  };
  const Case kCases[] = {
      {SysError::kExists, SysError::kExists, SysError::kExists, "6415",
       "file already exists"},
      {SysError::kTooManyOpenFiles, SysError::kTooManyOpenFiles,
       SysError::kTooManyOpenFiles, "6417", "too many open files"},
      {SysError::kBadName, SysError::kBadName, SysError::kBadName, "6412",
       "file name or open refused"},
      {SysError::kOther, SysError::kOther, SysError::kOther, "6412",
       "file name or open refused"},
      {SysError::kTooManyOpenFiles, SysError::kBadName,
       SysError::kAccessDenied, "6414", "access denied"},
      {SysError::kAccessDenied, SysError::kAccessDenied,
       SysError::kPathNotFound, "6416", "path not found"},
  };
  int k = 0;
  for (const Case& c : kCases) {
    // A new name each time, so the earlier refusals do not apply.
    const std::string name = "refused" + std::to_string(++k);
    SCOPED_TRACE(name);
    os.refuseOpen(name, Access::kReadWrite, c.readWrite);
    os.refuseOpen(name, Access::kReadOnly, c.readOnly);
    os.refuseOpen(name, Access::kWriteOnly, c.writeOnly);
    try {
      openUnit(12, name);
      ADD_FAILURE() << "the open succeeded";
    } catch (const RunError& error) {
      EXPECT_EQ(error.reportText(), reportOf(c.code, "OPEN", name, c.message));
    }
    EXPECT_EQ(connectedUnit(12), nullptr);
  }
}

TEST_F(UnitsTest, OpenFailuresAndTheirReports) {
  std::filesystem::create_directory("sub");
  struct Case {
    std::string name;
    std::string report;
  };
  const Case kCases[] = {
      {"nodir/x.dat", reportOf("6416", "OPEN", "nodir/x.dat", "path not found")},
      // The report names the file as prepared: blanks around it removed.
      {"   nodir/x.dat  ",
       reportOf("6416", "OPEN", "nodir/x.dat", "path not found")},
      {"sub", reportOf("6414", "OPEN", "sub", "access denied")},
      {"sub/", reportOf("6414", "OPEN", "sub/", "access denied")},
      // No file system takes a NUL inside a name.
      {std::string("a\0b", 3), reportOf("6412", "OPEN", std::string("a\0b", 3),
                                        "file name or open refused")},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    try {
      openUnit(12, c.name);
      ADD_FAILURE() << "the open succeeded";
    } catch (const RunError& error) {
      EXPECT_EQ(error.reportText(), c.report);
    }
    EXPECT_EQ(connectedUnit(12), nullptr) << "connected after a failed open";
  }
  EXPECT_FALSE(fileExists("nodir"));
}

// numberedName(k) trips a false -Wrestrict warning of GCC 12 at -O3.
std::string numberedName(int k) {
  std::string name = std::to_string(k);
  name.insert(name.begin(), 'f');
  return name;
}

TEST_F(UnitsTest, SixtyOneUnitsAtOnce) {
  for (int k = 1; k <= 62; ++k) {
    writeFile(numberedName(k), "");
  }
  for (int k = 1; k <= 61; ++k) {
    openUnit(k, numberedName(k));
  }
  try {
    openUnit(62, "f62");
    ADD_FAILURE() << "a 62nd unit was connected";
  } catch (const RunError& error) {
    EXPECT_EQ(error.reportText(),
              reportOf("6418", "OPEN", "f62", "too many units connected"));
  }
  EXPECT_EQ(connectedUnit(62), nullptr);
  // A close frees a slot for the next open.
  closeUnit(30);
  openUnit(62, "f62");
  EXPECT_NE(connectedUnit(62), nullptr);
  EXPECT_EQ(connectedUnit(30), nullptr);
}

// Unit 5 reaches console input while nothing is connected to it: records
// are the lines of standard input.
TEST_F(UnitsTest, UnconnectedUnitFiveReadsConsoleInput) {
  os.setStandardInput("12, 13 14\r\n\r\n15\r\n");
  std::int32_t a = 0;
  std::int32_t b = 0;
  ASSERT_EQ(beginRead(5, "", OutcomePolicy::kAll), 0);
  EXPECT_EQ(readInteger(a), 0);
  EXPECT_EQ(readInteger(b), 0);
  EXPECT_EQ(endRead(), 0);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 13);
  ASSERT_EQ(beginRead(5, "", OutcomePolicy::kAll), 0);
  EXPECT_EQ(readInteger(a), 0);
  EXPECT_EQ(endRead(), 0);
  EXPECT_EQ(a, 15);
}

TEST_F(UnitsTest, SameFileUnderAnotherNameIsRefused) {
  writeFile("data.txt", "1\r\n");
  std::filesystem::create_hard_link("data.txt", "link.txt");
  const std::string absolute =
      (std::filesystem::current_path() / "data.txt").string();
  openUnit(10, "data.txt");
  for (const std::string& other : {std::string("./data.txt"), absolute,
                                   std::string("link.txt"),
                                   std::string("data.txt")}) {
    SCOPED_TRACE(other);
    try {
      openUnit(12, other);
      ADD_FAILURE() << "connected to a second unit";
    } catch (const RunError& error) {
      EXPECT_EQ(error.reportText(),
                reportOf("6413", "OPEN", other,
                         "file already connected to another unit"));
    }
    EXPECT_EQ(connectedUnit(12), nullptr);
  }
  // Unit 10 is untouched, and once it is closed the other name opens.
  EXPECT_EQ(recordsOf(10), std::vector<std::string>{"1"});
  closeUnit(10);
  openUnit(12, "./data.txt");
  EXPECT_EQ(recordsOf(12), std::vector<std::string>{"1"});
  closeUnit(12);
}

TEST_F(UnitsTest, FirstWriteStatementCutsTheOldFile) {
  const std::string old = numberedRecords(1, 300);
  writeFile("KORVELIN.dat", old);
  openUnit(11, "KORVELIN.dat");
  EXPECT_EQ(readFile("KORVELIN.dat"), old) << "the open changed the file";
  beginWrite(11, "(F8.3,$)");
  // Cut at once, before any byte of the statement reaches the file.
  EXPECT_EQ(readFile("KORVELIN.dat"), "");
  writeReal(302.5f);
  endWrite();
  beginWrite(11, "()");
  endWrite();
  closeUnit(11);
  EXPECT_EQ(readFile("KORVELIN.dat"), " 302.500\r\n");
}

TEST_F(UnitsTest, FileOpenedButNeverWrittenKeepsItsContent) {
  const std::string old = "old table\r\nsecond line";
  writeFile("KORVELIN.dat", old);
  openUnit(11, "KORVELIN.dat");
  closeUnit(11);
  EXPECT_EQ(readFile("KORVELIN.dat"), old);
  openUnit(11, "KORVELIN.dat");
  EXPECT_EQ(recordsOf(11).size(), 2u);
  closeUnit(11);
  EXPECT_EQ(readFile("KORVELIN.dat"), old);
}

// Output reaches the file in whole 1024-byte blocks, and the rest at the
// close.
TEST_F(UnitsTest, OutputReachesTheFileInBlocksAndAtTheClose) {
  const std::string line(98, 'r');  // 100 bytes with its CR LF
  openUnit(11, "out.dat");
  for (int k = 0; k < 10; ++k) {
    writeLine(11, line);
  }
  EXPECT_EQ(readFile("out.dat").size(), 0u);
  writeLine(11, line);
  std::string expected;
  for (int k = 0; k < 11; ++k) {
    expected += line + "\r\n";
  }
  EXPECT_EQ(readFile("out.dat"), expected.substr(0, 1024));
  closeUnit(11);
  EXPECT_EQ(readFile("out.dat"), expected);
}

TEST_F(UnitsTest, WriteStatementOnAUnitAtItsEnd) {
  writeFile("data.txt", "");
  openUnit(10, "data.txt");
  EXPECT_TRUE(recordsOf(10).empty());
  try {
    beginWrite(10, "()");
    endWrite();
    ADD_FAILURE() << "written after end of file";
  } catch (const RunError& error) {
    EXPECT_EQ(error.reportText(), reportOf("6405", "WRITE", "data.txt",
                                           "statement after end of file"));
  }
}

// Permission bits do not stop root; the fake refuses the read-write open
// instead, as the system does for a file that may only be read.
TEST_F(UnitsTest, FileThatMayOnlyBeReadIsOpenedForReading) {
  writeFile("iso300.dat", "1,2\r\n3\r\n");
  os.refuseOpen("iso300.dat", Access::kReadWrite, SysError::kAccessDenied);
  openUnit(12, "iso300.dat");
  ASSERT_NE(connectedUnit(12), nullptr);
  EXPECT_EQ(connectedUnit(12)->access, Access::kReadOnly);
  EXPECT_EQ(integersOf(12), (std::vector<std::int64_t>{1, 3}));
  closeUnit(12);

  // Written to, it fails at the first write statement and keeps its content.
  writeFile("KORVELIN.dat", "old\r\n");
  os.refuseOpen("KORVELIN.dat", Access::kReadWrite, SysError::kAccessDenied);
  openUnit(11, "KORVELIN.dat");
  try {
    beginWrite(11, "(A8,4X,$)");
    writeCharacter(" T/B    ");
    endWrite();
    closeUnit(11);
    ADD_FAILURE() << "a read-only unit was written";
  } catch (const RunError& error) {
    EXPECT_EQ(error.reportText(),
              reportOf("6421", "WRITE", "KORVELIN.dat", "write refused"));
  }
  resetUnitsForTesting();
  EXPECT_EQ(readFile("KORVELIN.dat"), "old\r\n");
}

TEST_F(UnitsTest, ReadOnlyPermissionBitsOnTheHost) {
  writeFile("iso300.dat", "1,2\r\n3\r\n");
  std::filesystem::permissions("iso300.dat",
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  if (std::ofstream("iso300.dat", std::ios::app)) {
    GTEST_SKIP() << "permission bits do not refuse opens to this user "
                    "(root); FileThatMayOnlyBeReadIsOpenedForReading covers "
                    "this through the fake";
  }
  openUnit(12, "iso300.dat");
  EXPECT_EQ(connectedUnit(12)->access, Access::kReadOnly);
  EXPECT_EQ(integersOf(12), (std::vector<std::int64_t>{1, 3}));
  closeUnit(12);
}

TEST_F(UnitsTest, WriteFailuresKeepTheBytesBeforeTheFault) {
  const std::string line(98, 'w');
  struct Case {
    std::string note;
    SysError error;
    std::size_t accepted;  // bytes the failing write still puts in the file
    int records;           // 100-byte records written before the close
    std::string report;
  };
  const Case kCases[] = {
      {"disk full when the full buffer goes out", SysError::kDiskFull, 100, 11,
       reportOf("6422", "WRITE", "out.dat", "disk full")},
      {"disk full at the close", SysError::kDiskFull, 20, 3,
       reportOf("6422", "CLOSE", "out.dat", "disk full")},
      {"write refused at the close", SysError::kAccessDenied, 0, 2,
       reportOf("6421", "CLOSE", "out.dat", "write refused")},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    std::filesystem::remove("out.dat");
    openUnit(11, "out.dat");
    os.failWriteAt(1, c.error, c.accepted);
    std::string report;
    try {
      for (int k = 0; k < c.records; ++k) {
        writeLine(11, line);
      }
      closeUnit(11);
    } catch (const RunError& error) {
      report = error.reportText();
    }
    EXPECT_EQ(report, c.report);
    resetUnitsForTesting();
    EXPECT_EQ(readFile("out.dat"), (line + "\r\n").substr(0, c.accepted));
  }
}

// The second block of the file cannot be read once: the statement that
// needs it gets the error outcome, and the next one reads the block again.
TEST_F(UnitsTest, ReadFailureInTheMiddleOfAFile) {
  // Ten-byte records: the one that straddles the end of the first block
  // needs the second read. A few blanks in front put the block's end among
  // that record's leading blanks, so the failed read uses up no digit.
  const std::size_t pad = (kDiskReadBlock - 2) % 10;
  const int straddling = static_cast<int>((kDiskReadBlock - pad) / 10) + 1;
  const int last = straddling + 47;
  writeFile("data.txt", std::string(pad, ' ') + numberedRecords(1, last));
  openUnit(12, "data.txt");
  os.failReadAt(2, SysError::kOther);
  std::vector<std::int64_t> expected;
  for (int k = 1; k < straddling; ++k) {
    expected.push_back(k);
  }
  expected.push_back(-6500);
  for (int k = straddling; k <= last; ++k) {
    expected.push_back(k);
  }
  EXPECT_EQ(integersOf(12), expected);
  closeUnit(12);

  // With nothing taken back the failure ends the run.
  openUnit(12, "data.txt");
  os.failReadAt(1, SysError::kOther);
  try {
    std::int32_t n = 0;
    beginRead(12, "", OutcomePolicy::kEndOfFileOnly);
    readInteger(n);
    ADD_FAILURE() << "the read failure was not raised";
  } catch (const RunError& error) {
    EXPECT_EQ(error.reportText(),
              reportOf("6500", "READ", "data.txt", "read failed"));
  }
  closeUnit(12);
}

}  // namespace
}  // namespace korvelin::recordio
