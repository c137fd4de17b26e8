#include "korvelin_reading.h"

#include <gtest/gtest.h>

namespace prep {
namespace {

TEST(ReplayHeader, NumbersAtALineEndJoinTheNextDataRecord) {
  // Two failed reads on the words, then 300 1 2 3 4: field 2, temperature
  // 3, moment 4, and the 5 is passed over.
  const HeaderReplay r = replayHeader("INFO,Temperature,300\r\n1,2,3,4,5\r\n", 2);
  ASSERT_EQ(r.sets.size(), 1u);
  EXPECT_EQ(r.sets[0].firstLine, 1);
  EXPECT_EQ(r.sets[0].lastLine, 2);
  EXPECT_EQ(r.sets[0].field, 2.0);
  EXPECT_EQ(r.sets[0].temperature, 3.0);
  EXPECT_EQ(r.sets[0].moment, 4.0);
  ASSERT_EQ(r.numbers.size(), 1u);
  EXPECT_EQ(r.numbers[0].line, 1);
  EXPECT_EQ(r.numbers[0].text, "300");
}

TEST(ReplayHeader, AWordAfterANumberDropsTheUnfinishedRead) {
  const HeaderReplay r = replayHeader(
      "[Header]\nINFO,1.2,SAMPLE_MASS\nComment,Field (Oe)\n,1,2,3,4\n", 4);
  EXPECT_TRUE(r.sets.empty());
  ASSERT_EQ(r.numbers.size(), 1u);
  EXPECT_EQ(r.numbers[0].line, 2);
}

TEST(ReplayHeader, FiveNumbersInARowAreAMeasurement) {
  const HeaderReplay r =
      replayHeader("INFO,0,500,50000,290.0,1,WORD\nTitles\n,1,2,3,4\n", 3);
  ASSERT_EQ(r.sets.size(), 1u);
  EXPECT_EQ(r.sets[0].field, 50000.0);
  EXPECT_EQ(r.sets[0].temperature, 290.0);
  EXPECT_EQ(r.sets[0].moment, 1.0);
  EXPECT_EQ(r.numbers.size(), 5u);  // "1" after the fifth is passed over
}

TEST(ReplayHeader, ASlashEndsAReadWithTheRestStale) {
  const HeaderReplay r = replayHeader("DATE,2024/03/15\nTitles\n", 3);
  ASSERT_EQ(r.sets.size(), 1u);
  EXPECT_TRUE(r.sets[0].endedBySlash);
  EXPECT_EQ(r.sets[0].temperature, 0.0);  // never filled
}

TEST(ReplayHeader, NullsKeepSlotsAndQuotesOrParenthesesAreErrors) {
  // ",,5,6,7": two nulls, then field 5. The quoted and parenthesised values
  // are errors, so they add nothing.
  const HeaderReplay r = replayHeader(
      "\"12\",(3,4)\n,,5,6,7\nTitles\n,1,2,3,4\n", 4);
  ASSERT_EQ(r.sets.size(), 1u);
  EXPECT_EQ(r.sets[0].firstLine, 2);
  EXPECT_EQ(r.sets[0].field, 5.0);
  EXPECT_EQ(r.sets[0].moment, 7.0);
}

TEST(ReplayHeader, WordOnlyHeadersGiveNothing) {
  const HeaderReplay r = replayHeader(
      "[Header]\r\nTITLE,Gadolinium like sample\r\n[Data]\r\n"
      "Comment,Time Stamp (sec),Magnetic Field (Oe)\r\n,1,2,3,4\r\n",
      5);
  EXPECT_TRUE(r.sets.empty());
  EXPECT_TRUE(r.numbers.empty());
}

}  // namespace
}  // namespace prep
