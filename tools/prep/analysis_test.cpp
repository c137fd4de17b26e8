#include "analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "variant_exports.h"

namespace prep {
namespace {

using variants::Variant;

Analysis analyseText(const std::string& content,
                     const AnalysisOptions& options = {}) {
  return analyseExport(parseExport("x.dat", content), options);
}

std::set<std::string> problemCodes(const Analysis& a) {
  std::set<std::string> codes;
  for (const Finding& f : a.findings) {
    if (f.severity == Severity::kProblem) {
      codes.insert(f.code);
    }
  }
  return codes;
}

bool hasFinding(const Analysis& a, const std::string& code) {
  return std::any_of(a.findings.begin(), a.findings.end(),
                     [&](const Finding& f) { return f.code == code; });
}

// Every file of every variant: the check names that variant's problem and
// no other.
TEST(AnalyseVariants, EachVariantShowsItsOwnProblem) {
  struct Case {
    Variant variant;
    std::set<std::string> problems;
  };
  const Case kCases[] = {
      {Variant::kClean, {}},
      {Variant::kTemperatureFirst, {"column-order"}},
      // The moment sits in value 7, and value 5 is empty.
      {Variant::kEmptyMoment, {"column-order", "empty-column"}},
      {Variant::kDrift, {"temperature-window"}},
      {Variant::kSwept, {"capacity"}},
      {Variant::kHeaderNumbers, {"header-measurement"}},
  };
  for (const Case& c : kCases) {
    for (const auto& file : variants::makeExportSet(c.variant).files) {
      SCOPED_TRACE(file.name);
      const Analysis a = analyseExport(parseExport(file.name, file.content), {});
      EXPECT_TRUE(a.usable());
      EXPECT_EQ(problemCodes(a), c.problems);
      ASSERT_EQ(a.clusters.size(), 1u);
      EXPECT_TRUE(a.mass.grams.has_value());
      EXPECT_NEAR(a.mass.grams.value_or(0.0), 0.0123, 1e-12);
    }
  }
}

TEST(AnalyseVariants, FindsTheColumnsWhereverTheyStand) {
  const auto first = [](Variant v) {
    const auto file = variants::makeExportSet(v).files.front();
    return analyseExport(parseExport(file.name, file.content), {});
  };
  const Analysis swapped = first(Variant::kTemperatureFirst);
  EXPECT_EQ(swapped.columns[0].index, 3);
  EXPECT_EQ(swapped.columns[1].index, 2);
  EXPECT_EQ(swapped.columns[2].index, 4);
  // The clusters come from the real columns: 287.5 K, not 3 Oe.
  EXPECT_NEAR(swapped.clusters[0].mean, 287.5, 0.05);

  const Analysis dc = first(Variant::kEmptyMoment);
  EXPECT_EQ(dc.columns[2].title, "DC Moment Free Ctr (emu)");
  EXPECT_GT(dc.clusters[0].points[10].moment, 0.1);
}

TEST(AnalyseVariants, DriftKeepsTheMeanWindowFullAndTheRoundOneNot) {
  const auto set = variants::makeExportSet(Variant::kDrift);
  for (std::size_t i = 0; i < set.files.size(); ++i) {
    SCOPED_TRACE(set.files[i].name);
    const Analysis a =
        analyseExport(parseExport(set.files[i].name, set.files[i].content), {});
    const Cluster& c = a.clusters[0];
    EXPECT_EQ(c.insideMean, 76);
    EXPECT_LT(c.insideRound, 76);
    EXPECT_GT(std::fabs(c.mean - set.nominalTemperatures[i]), 0.2);
  }
}

TEST(AnalyseVariants, SweptBranchesAreCountedAgainstTheCapacity) {
  const auto file = variants::makeExportSet(Variant::kSwept).files.front();
  const Analysis a = analyseExport(parseExport(file.name, file.content), {});
  const Cluster& c = a.clusters[0];
  EXPECT_EQ(c.points.size(), 801u);
  EXPECT_EQ(c.rising, 401);
  EXPECT_EQ(c.falling, 401);  // 400 falling steps and the first point
  EXPECT_EQ(c.risingRead, 100);
  EXPECT_EQ(c.fallingRead, 0);
  EXPECT_NEAR(c.risingTopRead, 99 * 125.0, 1.0);
}

TEST(AnalyseVariants, HeaderNumbersAndTheMassInMilligrams) {
  const auto file =
      variants::makeExportSet(Variant::kHeaderNumbers).files.front();
  const Analysis a = analyseExport(parseExport(file.name, file.content), {});
  EXPECT_EQ(a.mass.value, 12.3);
  EXPECT_EQ(a.mass.unit, "mg");
  EXPECT_EQ(a.mass.line, 5);
  ASSERT_EQ(a.header.sets.size(), 1u);
  EXPECT_EQ(a.header.sets[0].firstLine, 7);
  EXPECT_EQ(a.header.sets[0].field, 50000.0);
  EXPECT_EQ(a.header.sets[0].temperature, 287.5);
  // "INFO,12.3,SAMPLE_MASS" is read and dropped: a warning on its line.
  const auto warning =
      std::find_if(a.findings.begin(), a.findings.end(), [](const Finding& f) {
        return f.code == "header-numbers";
      });
  ASSERT_NE(warning, a.findings.end());
  EXPECT_EQ(warning->line, 5);
  EXPECT_EQ(warning->severity, Severity::kWarning);
}

TEST(AnalyseColumns, UnitsAreConvertedToKorvelinsUnits) {
  const Analysis a = analyseText(
      "[Data]\n"
      "Time (s),Sample Temp (\xC2\xB0" "C),Field (T),Magnetic Moment (A\xC2\xB7m\xC2\xB2)\n"
      "1,26.85,0.5,0.002\n2,26.85,1.0,0.003\n");
  EXPECT_EQ(a.columns[0].scale, 1.0e4);
  EXPECT_EQ(a.columns[1].offset, 273.15);
  EXPECT_EQ(a.columns[2].scale, 1.0e3);
  ASSERT_EQ(a.clusters.size(), 1u);
  EXPECT_NEAR(a.clusters[0].points[1].field, 10000.0, 1e-9);
  EXPECT_NEAR(a.clusters[0].points[1].temperature, 300.0, 1e-9);
  EXPECT_NEAR(a.clusters[0].points[1].moment, 3.0, 1e-12);
  const std::set<std::string> codes = problemCodes(a);
  EXPECT_TRUE(codes.count("unit") == 1);
  EXPECT_TRUE(codes.count("column-order") == 1);
}

TEST(AnalyseColumns, TwoFilledMomentColumnsNeedTheUsersChoice) {
  const std::string text =
      "[Data]\n"
      "Comment,Time,Field (Oe),Temperature (K),DC Moment Fixed Ctr (emu),"
      "DC Moment Free Ctr (emu),Temp. Status (code)\n"
      ",1,1000,300,0.1,0.11,1\n,2,2000,300,0.2,0.21,1\n";
  const Analysis automatic = analyseText(text);
  EXPECT_FALSE(automatic.usable());
  EXPECT_EQ(automatic.columns[2].ambiguous, (std::vector<int>{4, 5}));
  EXPECT_TRUE(hasFinding(automatic, "column-ambiguous"));

  for (const char* name : {"6", "DC Moment Free Ctr (emu)", "dc moment free ctr"}) {
    SCOPED_TRACE(name);
    AnalysisOptions options;
    options.columnNames[2] = name;
    const Analysis chosen = analyseText(text, options);
    EXPECT_EQ(chosen.columns[2].index, 5);
    EXPECT_EQ(chosen.clusters[0].points[1].moment, 0.21);
  }
  AnalysisOptions wrong;
  wrong.columnNames[2] = "AC Moment";
  EXPECT_THROW(analyseText(text, wrong), PrepError);
  wrong.columnNames[2] = "8";
  EXPECT_THROW(analyseText(text, wrong), PrepError);
}

TEST(AnalyseClusters, OneFileWithSeveralTemperatures) {
  std::string text = "[Data]\nComment,Time,Field (Oe),Temperature (K),Moment (emu)\n";
  // 10 K then 20 K, rising and falling at each; one row of 20 K drifts by
  // 0.4 K.
  const char* rows[] = {",1,0,10.0,0",    ",2,5000,10.1,1", ",3,10000,9.9,2",
                        ",4,5000,10.0,1", ",5,0,20.0,0",    ",6,5000,20.4,1",
                        ",7,10000,20.0,2"};
  for (const char* row : rows) {
    text += std::string(row) + "\n";
  }
  const Analysis a = analyseText(text);
  ASSERT_EQ(a.clusters.size(), 2u);
  EXPECT_EQ(a.clusters[0].points.size(), 4u);
  EXPECT_EQ(a.clusters[0].rising, 3);
  EXPECT_EQ(a.clusters[0].falling, 2);
  EXPECT_NEAR(a.clusters[1].mean, 20.4 / 3 + 40.0 / 3, 1e-9);
  EXPECT_EQ(a.clusters[1].insideRound, 2);
  EXPECT_TRUE(hasFinding(a, "several-temperatures"));
  EXPECT_TRUE(hasFinding(a, "temperature-window"));
  EXPECT_TRUE(hasFinding(a, "temperature-spread"));
}

TEST(AnalyseColumns, ConstantMomentsAreAProblemWhereverTheyStand) {
  const std::string titles =
      "[Data]\nComment,Time,Field (Oe),Temperature (K),Moment (emu)\n";
  const Analysis inPlace =
      analyseText(titles + ",1,0,300,0\n,2,1000,300,0\n,3,2000,300,0\n");
  EXPECT_EQ(problemCodes(inPlace), std::set<std::string>{"constant-column"});
  const Analysis elsewhere = analyseText(
      "[Data]\nTime,Field (Oe),Temperature (K),Moment (emu)\n"
      "1,0,300,0\n2,1000,300,0\n3,2000,300,0\n");
  EXPECT_TRUE(problemCodes(elsewhere).count("constant-column") == 1);
}

TEST(AnalyseRows, WordsSlashesAndEmptyCellsInKorvelinsValues) {
  const Analysis a = analyseText(
      "[Data]\nComment,Time,Field (Oe),Temperature (K),Moment (emu)\n"
      "started,1,1000,300,0.1\n,2024/01/02,2000,300,0.2\n,3,,300,0.3\n");
  EXPECT_TRUE(hasFinding(a, "row-words"));
  EXPECT_TRUE(hasFinding(a, "row-slash"));
  EXPECT_TRUE(hasFinding(a, "incomplete-rows"));
  EXPECT_EQ(a.skippedRows, 1);
}

TEST(KorvelinBranch, FollowsTheSweepSignFromTheFirstPoint) {
  const auto points = [](std::initializer_list<double> fields) {
    std::vector<Point> out;
    for (double f : fields) {
      out.push_back({0, f, 300.0, 1.0});
    }
    return out;
  };
  using Indices = std::vector<std::size_t>;
  // A cycle 0 -> 2 T -> 0.
  const auto cycle = points({0, 5000, 10000, 20000, 10000, 0});
  EXPECT_EQ(korvelinBranch(cycle, 1), (Indices{0, 1, 2, 3}));
  EXPECT_EQ(korvelinBranch(cycle, -1), (Indices{0, 4, 5}));
  // Fields below 100 Oe are zero: 40 -> -60 is no step.
  EXPECT_TRUE(korvelinBranch(points({40, -60}), -1).empty());
  // A backward step drops the point it reaches.
  EXPECT_EQ(korvelinBranch(points({0, 5000, 4000, 6000}), 1), (Indices{0, 1, 3}));
}

}  // namespace
}  // namespace prep
