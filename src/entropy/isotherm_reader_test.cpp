#include "entropy/isotherm_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "support/recording_os.h"

namespace korvelin::entropy {
namespace {

using IsothermReaderTest = testsupport::RecordIoTest;

// One export holding several isotherms, the way labs often write them: a
// word header, rows with an empty first column, and now and then an empty
// moment or a word that the reader has to pass over.
std::string studyFile(float shift) {
  std::string bytes = "[Header]\r\nTITLE,Study of a sample\r\n[Data]\r\n";
  bytes += "Comment,Time,Field (Oe),Temperature (K),Moment (emu)\r\n";
  int row = 0;
  for (int t = 300; t <= 310; t += 2) {
    for (int step = 0; step <= 130; ++step) {
      const int field = step <= 65 ? step * 500 : (130 - step) * 500;
      std::string moment =
          std::to_string(0.001 * field / t + shift + 0.0001 * (row % 7));
      if (row % 37 == 5) {
        moment.clear();  // an empty cell keeps the previous moment
      }
      if (row % 53 == 7) {
        bytes += "note,";  // a word in front of the values
      }
      bytes += "," + std::to_string(row) + "," + std::to_string(field) + "," +
               std::to_string(t) + ".0" + std::to_string(row % 3) + "," +
               moment + ",1,2,3\r\n";
      ++row;
    }
  }
  return bytes;
}

struct Read {
  MeasurementBuffer buffer;
};

// Reads the file once for each temperature, as the program does, into one
// buffer that is never cleared.
std::vector<MeasurementBuffer> readEachTemperature(bool forgetBetween) {
  std::vector<MeasurementBuffer> results;
  MeasurementBuffer buffer;
  for (float t : {310.0f, 300.0f, 306.0f, 302.0f, 310.0f}) {
    if (forgetBetween) {
      forgetReadSetsForTesting();
    }
    recordio::openUnit(12, "study.dat");
    readIsotherm(12, t, buffer);
    recordio::closeUnit(12);
    results.push_back(buffer);
  }
  return results;
}

void expectSame(const std::vector<MeasurementBuffer>& a,
                const std::vector<MeasurementBuffer>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE("read " + std::to_string(i));
    EXPECT_EQ(a[i].pointCount, b[i].pointCount);
    for (std::size_t p = 0; p < a[i].field.size(); ++p) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(a[i].field[p]),
                std::bit_cast<std::uint32_t>(b[i].field[p]));
      EXPECT_EQ(std::bit_cast<std::uint32_t>(a[i].moment[p]),
                std::bit_cast<std::uint32_t>(b[i].moment[p]));
    }
    EXPECT_EQ(a[i].recordTemperature, b[i].recordTemperature);
    EXPECT_EQ(a[i].ignored, b[i].ignored);
  }
}

// Reading a file again takes what an earlier open of it read; the result
// must be exactly what reading it afresh gives.
TEST_F(IsothermReaderTest, ReadingAFileAgainGivesWhatReadingItAfreshGives) {
  writeFile("study.dat", studyFile(0.0f));
  const std::vector<MeasurementBuffer> fresh = readEachTemperature(true);
  const std::vector<MeasurementBuffer> reused = readEachTemperature(false);
  expectSame(fresh, reused);
  EXPECT_EQ(fresh[0].pointCount, 100);
  EXPECT_GT(fresh[2].pointCount, 50);
}

// Each open reads the bytes it needs from the disk once: the first open
// while it records, a later one only from where the recorded statements end.
TEST_F(IsothermReaderTest, NoOpenReadsTheSameBlockTwice) {
  forgetReadSetsForTesting();
  const std::string bytes = studyFile(0.0f);
  ASSERT_LT(bytes.size(), recordio::kDiskReadBlock);
  writeFile("study.dat", bytes);
  MeasurementBuffer buffer;

  int before = os.readAtCalls();
  recordio::openUnit(12, "study.dat");
  readIsotherm(12, 300.0f, buffer);  // the first isotherm: one block
  recordio::closeUnit(12);
  EXPECT_EQ(os.readAtCalls() - before, 1);

  before = os.readAtCalls();
  recordio::openUnit(12, "study.dat");
  readIsotherm(12, 310.0f, buffer);  // the last: one read, of the rest
  recordio::closeUnit(12);
  EXPECT_EQ(os.readAtCalls() - before, 1);
  EXPECT_EQ(buffer.pointCount, 100);
}

// A file that changed between two opens is read again, even when its size
// did not change.
TEST_F(IsothermReaderTest, AChangedFileIsReadAgain) {
  forgetReadSetsForTesting();
  writeFile("study.dat", studyFile(0.0f));
  MeasurementBuffer first;
  recordio::openUnit(12, "study.dat");
  readIsotherm(12, 304.0f, first);
  recordio::closeUnit(12);

  std::string changed = studyFile(0.5f);
  ASSERT_EQ(changed.size(), studyFile(0.0f).size());
  // The stamp must move even on a coarse clock.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  writeFile("study.dat", changed);
  MeasurementBuffer second;
  recordio::openUnit(12, "study.dat");
  readIsotherm(12, 304.0f, second);
  recordio::closeUnit(12);

  forgetReadSetsForTesting();
  MeasurementBuffer expected;
  recordio::openUnit(12, "study.dat");
  readIsotherm(12, 304.0f, expected);
  recordio::closeUnit(12);
  expectSame({second}, {expected});
  EXPECT_NE(first.moment[10], second.moment[10]);
}

}  // namespace
}  // namespace korvelin::entropy
