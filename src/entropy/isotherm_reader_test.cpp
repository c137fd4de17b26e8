#include "entropy/isotherm_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/recording_os.h"

namespace korvelin::entropy {
namespace {

using IsothermReaderTest = testsupport::RecordIoTest;

// One export holding several isotherms, the way labs often write them: a
// word header, rows with an empty first column, and now and then an empty
// cell (which keeps the value the item held) or a word that the reader has
// to pass over.
std::string studyFile(float shift, int isotherms = 6) {
  std::string bytes = "[Header]\r\nTITLE,Study of a sample\r\n[Data]\r\n";
  bytes += "Comment,Time,Field (Oe),Temperature (K),Moment (emu)\r\n";
  int row = 0;
  for (int t = 300; t < 300 + 2 * isotherms; t += 2) {
    for (int step = 0; step <= 130; ++step) {
      const int field = step <= 65 ? step * 500 : (130 - step) * 500;
      std::string moment =
          std::to_string(0.001 * field / t + shift + 0.0001 * (row % 7));
      std::string temperature =
          std::to_string(t) + ".0" + std::to_string(row % 3);
      std::string fieldText = std::to_string(field);
      if (row % 37 == 5) {
        moment.clear();
      }
      if (row % 41 == 3 || step == 0) {
        temperature.clear();  // judged on the temperature held before
      }
      if (row % 43 == 9) {
        fieldText.clear();
      }
      if (row % 53 == 7) {
        bytes += "note,";  // a word in front of the values
      }
      bytes += "," + std::to_string(row) + "," + fieldText + "," +
               temperature + "," + moment + ",1,2,3\r\n";
      ++row;
    }
  }
  return bytes;
}

// Reads the file once for each temperature, as the program does, into one
// buffer that is never cleared, starting with nothing stored.
std::vector<MeasurementBuffer> readEachTemperature(
    const std::vector<float>& temperatures, bool forgetBetween) {
  std::vector<MeasurementBuffer> results;
  MeasurementBuffer buffer;
  forgetReadSetsForTesting();
  for (float t : temperatures) {
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
  // Also temperatures between the isotherms and at the tolerance's edge.
  const std::vector<float> temperatures = {310.0f, 300.0f, 306.0f,
                                           302.0f, 310.0f, 305.0f,
                                           304.77f, 303.75f, 300.0f};
  const std::vector<MeasurementBuffer> fresh =
      readEachTemperature(temperatures, true);
  const std::vector<MeasurementBuffer> reused =
      readEachTemperature(temperatures, false);
  expectSame(fresh, reused);
  EXPECT_EQ(fresh[0].pointCount, 100);
  EXPECT_GT(fresh[2].pointCount, 50);
}

// Random studies: clusters of sets at random temperatures, many empty
// cells (so that what a passed-over run of sets leaves in the items shows),
// words, and wanted temperatures at and around the clusters, just inside
// and just outside the tolerance. Every read must equal a fresh one.
TEST_F(IsothermReaderTest, RandomStudiesReadAgainAsFresh) {
  std::mt19937 random(20261211);
  for (int study = 0; study < 40; ++study) {
    SCOPED_TRACE("study " + std::to_string(study));
    std::string bytes = "[Data]\r\n";
    std::vector<float> clusters;
    const int clusterCount = 2 + static_cast<int>(random() % 7);
    const int emptyOneIn = 2 + static_cast<int>(random() % 6);
    auto cell = [&](const std::string& text) {
      return random() % static_cast<unsigned>(emptyOneIn) == 0 ? std::string()
                                                               : text;
    };
    for (int c = 0; c < clusterCount; ++c) {
      const float t = 280.0f + static_cast<float>(random() % 400) / 20.0f;
      clusters.push_back(t);
      const int rows = 20 + static_cast<int>(random() % 200);
      for (int r = 0; r < rows; ++r) {
        if (random() % 29 == 0) {
          bytes += "word,";
        }
        const float jitter = static_cast<float>(random() % 21) / 100.0f - 0.1f;
        bytes += "," + cell("1") + "," + cell(std::to_string(r * 250)) + "," +
                 cell(std::to_string(t + jitter)) + "," +
                 cell(std::to_string(0.5 + 0.01 * r + c)) + ",9\r\n";
      }
    }
    writeFile("study.dat", bytes);
    std::vector<float> wanted;
    for (int k = 0; k < 14; ++k) {
      const float t = clusters[random() % clusters.size()];
      static constexpr float kOffsets[] = {0.0f,  0.25f, -0.25f, 0.26f, -0.26f,
                                           0.33f, -0.4f, 1.0f,   0.1f};
      wanted.push_back(t + kOffsets[random() % std::size(kOffsets)]);
    }
    expectSame(readEachTemperature(wanted, true),
               readEachTemperature(wanted, false));
  }
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

// A later open of a long study reads from the file only around the
// isotherm it wants; the runs of sets before it are taken as summarised.
TEST_F(IsothermReaderTest, ALaterOpenReadsOnlyAroundItsIsotherm) {
  forgetReadSetsForTesting();
  const std::string bytes = studyFile(0.0f, 90);
  ASSERT_GT(bytes.size(), 5 * recordio::kDiskReadBlock);
  writeFile("study.dat", bytes);
  MeasurementBuffer buffer;
  int before = os.readAtCalls();
  recordio::openUnit(12, "study.dat");
  readIsotherm(12, 478.0f, buffer);  // the last isotherm
  recordio::closeUnit(12);
  EXPECT_GT(os.readAtCalls() - before, 5);

  for (float t : {476.0f, 300.0f, 390.0f}) {
    before = os.readAtCalls();
    recordio::openUnit(12, "study.dat");
    readIsotherm(12, t, buffer);
    recordio::closeUnit(12);
    EXPECT_LE(os.readAtCalls() - before, 2) << t;
    EXPECT_EQ(buffer.pointCount, 100) << t;
  }
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
