// Whole runs of the program through an operating system that fails on
// purpose: reads that fail, a disk that fills up at every byte of the
// result table, writes refused part-way, an exclusive create that loses
// the race, a unit table with every slot taken. The files live in memory
// (fuzz/memory_os.h), so a fault can be planted at any request.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "../fuzz/memory_os.h"
#include "entropy/driver.h"
#include "entropy/storage.h"
#include "platform/os.h"
#include "recordio/console.h"
#include "recordio/free_form_reader.h"
#include "recordio/units.h"
#include "runtime/run_lifecycle.h"

namespace korvelin {
namespace {

using fuzzing::MemoryOs;
using platform::SysError;

std::string report(std::string_view code, std::string_view statement,
                   std::string_view name, std::string_view message) {
  return "\r\nrun-time error F" + std::string(code) + ": " +
         std::string(statement) + "(" + std::string(name) + ")\r\n- " +
         std::string(message) + "\r\n";
}

// "\r\n" and ",,H,T,M\r\n" records: an isotherm at temperature t whose
// moment falls as the temperature rises, so every cell is non-zero.
std::string isothermAt(int t) {
  std::string bytes;
  for (int k = 0; k <= 5; ++k) {
    bytes += ",," + std::to_string(k * 10000) + "," + std::to_string(t) + "," +
             std::to_string(k * (400 - t)) + ".5\r\n";
  }
  return bytes;
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::installOs(os);
    fresh();
  }

  void TearDown() override {
    recordio::resetUnitsForTesting();
    recordio::resetConsoleForTesting();
    platform::installOs(platform::hostOs(0, nullptr));
  }

  // Forgets the folder, the faults and every unit, as for a new process.
  void fresh() {
    recordio::resetUnitsForTesting();
    recordio::resetConsoleForTesting();
    os.reset();
    os.setStandardInput("", true);  // the null device: every pause passes
  }

  // A control file of `fields` target fields and `temperatures`
  // isotherms 300, 301, ..., each in its own file.
  void writeRun(int fields, int temperatures, std::string_view mass = "1.5") {
    std::string control = std::string(mass) + "\r\n" + std::to_string(fields) +
                          " 1\r\n";
    for (int j = 1; j <= fields; ++j) {
      control += std::to_string(j) + ".0 ";
    }
    control += "\r\n";
    for (int i = 0; i < temperatures; ++i) {
      const int t = 300 + i;
      control += std::to_string(t) + "\r\niso" + std::to_string(t) + ".dat\r\n";
      os.addFile("iso" + std::to_string(t) + ".dat", isothermAt(t));
    }
    os.addFile("KORVELIN.inp", control);
  }

  // Runs the program to its end; returns the exit status.
  int run() {
    computation = entropy::Computation{};
    try {
      runProgram([this] { entropy::runEntropyProgram(computation); });
    } catch (const fuzzing::ProcessExit& exit) {
      return exit.status;
    }
    ADD_FAILURE() << "the run did not end through the process exit";
    return -1;
  }

  std::string table() const {
    const MemoryOs::Entry* entry = os.find("KORVELIN.dat");
    return entry == nullptr ? "(none)" : entry->bytes;
  }

  MemoryOs os;
  entropy::Computation computation;
};

// A read the system fails ends the run at once with F6500: the isotherm
// reader repeats its statement after an error, and a failed read uses up
// nothing, so going on would never end.
TEST_F(FaultInjectionTest, ReadFailuresEndTheRunInsteadOfLooping) {
  struct Case {
    std::string note;
    bool sticky;          // every read from the failing one on fails
    int failingRead;      // file reads, counted from 1 (control file first)
    int failingInput;     // standard-input reads; 0 for none
    std::string isotherm; // the first isotherm's file name
    bool terminal;        // standard input is a terminal
    std::string stdinBytes;
    std::string report;
  };
  const Case kCases[] = {
      {"the isotherm file's first read", true, 2, 0, "iso300.dat", true, "",
       report("6500", "READ", "iso300.dat", "read failed")},
      {"once, in the isotherm file's second block", false, 3, 0, "big.dat",
       true, "", report("6500", "READ", "big.dat", "read failed")},
      {"the control file", true, 1, 0, "iso300.dat", true, "",
       report("6500", "READ", "KORVELIN.inp", "read failed")},
      // The pause takes the empty line, the isotherm the record after it.
      {"an isotherm read from the console", false, 0, 2, "CON", false,
       "\r\n,,0,300,0\r\n", report("6500", "READ", "CON", "read failed")},
      {"standard input at a pause", false, 0, 1, "iso300.dat", true, "",
       report("6500", "WRITE", "CON", "read failed")},
      {"standard input at the file-name prompt", false, 0, 1, " ", false, "",
       report("6500", "OPEN", "", "read failed")},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    fresh();
    // Three read blocks of records at another temperature, which the
    // reader passes over to the end.
    std::string big;
    while (big.size() < 2 * recordio::kDiskReadBlock + 100) {
      big += ",,1000,350.0,0.5,extra,columns\r\n";
    }
    os.addFile("iso300.dat", isothermAt(300));
    os.addFile("big.dat", big);
    os.addFile("KORVELIN.inp", "1.0\r\n1 1\r\n2.0\r\n300\r\n" + c.isotherm +
                                   "\r\n301\r\niso300.dat\r\n");
    os.setStandardInput(c.stdinBytes, c.terminal);
    if (c.failingRead > 0) {
      os.readFault = MemoryOs::Fault{c.failingRead, SysError::kOther, 0, c.sticky};
    }
    if (c.failingInput > 0) {
      os.inputFault = MemoryOs::Fault{c.failingInput, SysError::kOther, 0, false};
    }
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(os.standardError, c.report);
    EXPECT_EQ(os.find("KORVELIN.dat"), nullptr) << "a table was written";
    // The failing read is the last one: nothing is read after it.
    if (c.failingRead > 0) {
      EXPECT_EQ(os.readCalls, c.failingRead);
    } else {
      EXPECT_EQ(os.inputCalls, c.failingInput);
    }
  }
}

// Five target fields make table lines of 8 + 13 * 5 characters and CR LF;
// enough temperatures for the table to fill two output buffers and a part
// of a third, so that the buffers go out both while writing and at the
// close.
constexpr std::size_t kLine = 8 + 13 * 5 + 2;
constexpr int kTemperatures =
    static_cast<int>(2 * recordio::kDiskWriteBlock / kLine) + 2;
static_assert(kTemperatures <= entropy::kMaxTemperatures);

// The disk fills up after k bytes of the result table, for every k: the
// run ends with F6422, on the write statement whose full buffer could not
// go out or on the close that writes the last part, and the file holds the
// table's first k bytes.
TEST_F(FaultInjectionTest, DiskFullAtEveryByteOfTheResultTable) {
  writeRun(5, kTemperatures);
  ASSERT_EQ(run(), 0);
  const std::string whole = table();
  ASSERT_EQ(whole.size(), std::size_t{kTemperatures} * kLine);
  ASSERT_GT(whole.size(), 2 * recordio::kDiskWriteBlock)
      << "the table should fill two buffers and a part of a third";
  const std::string console = os.standardOutput;

  for (std::size_t k = 0; k < whole.size(); ++k) {
    SCOPED_TRACE("disk full after " + std::to_string(k) + " bytes");
    fresh();
    writeRun(5, kTemperatures);
    os.createdCapacity = k;
    ASSERT_EQ(run(), 1);
    // The buffer holding byte k goes out when it is full (a write
    // statement) or, for the last part, when the unit is closed.
    const std::size_t blockEnd = (k / recordio::kDiskWriteBlock + 1) *
                                 recordio::kDiskWriteBlock;
    const char* statement = blockEnd <= whole.size() ? "WRITE" : "CLOSE";
    ASSERT_EQ(os.standardError,
              report("6422", statement, "KORVELIN.dat", "disk full"));
    ASSERT_EQ(table(), whole.substr(0, k));
    // The console is as in a full run: the table is written after the
    // last pause, and the end of the run still ends the console line.
    ASSERT_EQ(os.standardOutput, console);
  }
}

// Other ways a write can fail part-way, each where a buffer goes out:
// refused (F6421), a short count with no error (taken as a full disk), any
// other failure (F6423); the cut of an old table refused (F6421). The
// bytes before the fault are in the file.
TEST_F(FaultInjectionTest, WritesThatFailPartWay) {
  writeRun(5, kTemperatures);
  ASSERT_EQ(run(), 0);
  const std::string whole = table();

  struct Case {
    SysError error;
    std::string code;
    std::string message;
  };
  const Case kCases[] = {
      {SysError::kAccessDenied, "6421", "write refused"},
      {SysError::kNone, "6422", "disk full"},
      {SysError::kOther, "6423", "write failed"},
  };
  for (const Case& c : kCases) {
    for (int call = 1; call <= 3; ++call) {
      for (std::size_t accepted : {std::size_t{0}, std::size_t{1},
                                   recordio::kDiskWriteBlock / 2,
                                   recordio::kDiskWriteBlock - 1}) {
        const std::size_t before =
            std::size_t(call - 1) * recordio::kDiskWriteBlock + accepted;
        if (before >= whole.size()) {
          continue;
        }
        SCOPED_TRACE("write " + std::to_string(call) + " stops after " +
                     std::to_string(accepted) + " bytes with " + c.code);
        fresh();
        writeRun(5, kTemperatures);
        os.writeFault = MemoryOs::Fault{call, c.error, accepted, false};
        ASSERT_EQ(run(), 1);
        const bool full = std::size_t(call) * recordio::kDiskWriteBlock <= whole.size();
        const char* statement = full ? "WRITE" : "CLOSE";
        EXPECT_EQ(os.standardError,
                  report(c.code, statement, "KORVELIN.dat", c.message));
        EXPECT_EQ(table(), whole.substr(0, before));
      }
    }
  }

  // An old table that may not be cut stays as it was.
  fresh();
  writeRun(5, kTemperatures);
  os.addFile("KORVELIN.dat", "an old, longer table\r\n");
  os.setEndFault = MemoryOs::Fault{1, SysError::kAccessDenied, 0, false};
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(os.standardError,
            report("6421", "WRITE", "KORVELIN.dat", "write refused"));
  EXPECT_EQ(table(), "an old, longer table\r\n");
}

// A division by zero in the first cell ends the run; closing the table at
// the end then meets a full disk as well: both are reported, in that order,
// and the status stays 1.
TEST_F(FaultInjectionTest, FullDiskWhileClosingAfterARunTimeError) {
  writeRun(2, 3, "0.0");
  os.createdCapacity = 30;
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(os.standardError,
            "\r\nrun-time error M6103: MATH\r\n- floating-point error: "
            "divide by zero\r\n" +
                report("6422", "CLOSE", "KORVELIN.dat", "disk full"));
  // Buffered were the heading and the row's mean temperature; the first 30
  // bytes of them fitted.
  const std::string heading = " T/B    " + std::string(8, ' ') + " 1.00" +
                              std::string(8, ' ') + " 2.00\r\n";
  EXPECT_EQ(table(), heading.substr(0, 30));
}

// Another program creates the file between the existence test and the
// exclusive create: the open fails with F6415 and the run ends there.
TEST_F(FaultInjectionTest, ExclusiveCreateThatLosesTheRace) {
  for (std::string missing : {"KORVELIN.inp", "iso301.dat", "KORVELIN.dat"}) {
    SCOPED_TRACE(missing);
    fresh();
    if (missing != "KORVELIN.inp") {
      writeRun(1, 1);
      os.addFile("KORVELIN.inp", "1.0\r\n1 1\r\n1.0\r\n300\r\niso300.dat\r\n"
                                 "301\r\n" + std::string(missing == "iso301.dat"
                                                             ? "iso301.dat"
                                                             : "iso300.dat") +
                                     "\r\n");
    }
    os.loseCreateRace = true;
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(os.standardError,
              report("6415", "OPEN", missing, "file already exists"));
    // The file is the other program's, and the run wrote nothing to it.
    const MemoryOs::Entry* made = os.find(missing);
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->bytes.empty());
    EXPECT_FALSE(made->modified);
    EXPECT_FALSE(made->created);
  }
}

// The run needs two units at once (the control file and an isotherm file).
// With 59 of the 61 slots taken it goes through; with 60 the open of the
// isotherm file fails with F6418, and that file is not created.
TEST_F(FaultInjectionTest, UnitTableWithEverySlotTaken) {
  for (int taken : {59, 60}) {
    SCOPED_TRACE(std::to_string(taken) + " slots taken");
    fresh();
    writeRun(1, 1);
    os.addFile("KORVELIN.inp",
               "1.0\r\n1 1\r\n1.0\r\n300\r\nnew.dat\r\n301\r\niso300.dat\r\n");
    for (int k = 0; k < taken; ++k) {
      const std::string name = "held" + std::to_string(k);
      os.addFile(name, "");
      recordio::openUnit(100 + k, name);
    }
    if (taken == 59) {
      EXPECT_EQ(run(), 0);
      EXPECT_EQ(os.standardError, "");
      EXPECT_NE(os.find("new.dat"), nullptr);
    } else {
      EXPECT_EQ(run(), 1);
      EXPECT_EQ(os.standardError,
                report("6418", "OPEN", "new.dat", "too many units connected"));
      EXPECT_EQ(os.find("new.dat"), nullptr) << "a file made for no unit";
    }
    // The end of the run closed every unit, the held ones included.
    EXPECT_EQ(os.openHandles(), 0u);
  }
}

// A fixed-form field whose bytes cross a block boundary, with the read of
// the second block failing: the statement ends with the error outcome and
// the field keeps what it held, not the bytes read before the failure.
TEST_F(FaultInjectionTest, FixedFormFieldKeepsItsValueWhenAReadFails) {
  // The second record starts 23 bytes before the end of the first block.
  os.addFile("names.txt", std::string(recordio::kDiskReadBlock - 25, 'a') +
                              "\r\n" + std::string(60, 'b') + "\r\n");
  recordio::openUnit(10, "names.txt");
  std::array<char, 50> field{};
  field.fill('#');
  using recordio::OutcomePolicy;
  ASSERT_EQ(recordio::beginRead(10, "(A50)", OutcomePolicy::kAll), 0);
  ASSERT_EQ(recordio::readText(field), 0);
  ASSERT_EQ(recordio::endRead(), 0);
  ASSERT_EQ(std::string(field.data(), 50), std::string(50, 'a'));

  // The second block cannot be read.
  os.readFault = MemoryOs::Fault{2, SysError::kOther, 0, false};
  ASSERT_EQ(recordio::beginRead(10, "(A50)", OutcomePolicy::kAll), 0);
  EXPECT_EQ(recordio::readText(field), 6500);
  EXPECT_EQ(std::string(field.data(), 50), std::string(50, 'a'));
  recordio::closeUnit(10);
}

}  // namespace
}  // namespace korvelin
