#include "convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "variant_exports.h"

namespace prep {
namespace {

namespace fs = std::filesystem;
using variants::Variant;

std::vector<Analysis> analyseSet(Variant variant) {
  std::vector<Analysis> out;
  for (const auto& file : variants::makeExportSet(variant).files) {
    out.push_back(analyseExport(parseExport(file.name, file.content), {}));
  }
  return out;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    out.push_back(line);
  }
  return out;
}

// A fresh folder under the system's temporary one, removed afterwards.
class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() /
            ("korvelin-prep-" + std::string(info->name()) + "-" +
             std::to_string(std::hash<std::string>{}(fs::current_path().string())));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

TEST(EvenIndices, SpreadsOverTheWholeRange) {
  const std::vector<std::size_t> picked = evenIndices(401, 100);
  ASSERT_EQ(picked.size(), 100u);
  EXPECT_EQ(picked.front(), 0u);
  EXPECT_EQ(picked.back(), 400u);
  for (std::size_t i = 1; i < picked.size(); ++i) {
    const std::size_t gap = picked[i] - picked[i - 1];
    EXPECT_TRUE(gap == 4 || gap == 5) << i;
  }
  EXPECT_EQ(evenIndices(3, 100), (std::vector<std::size_t>{0, 1, 2}));
}

TEST(SelectBranch, TakesTheLongestRunOfTheSweepAndLeavesNegativeFieldsOut) {
  const auto points = [](std::initializer_list<double> fields) {
    std::vector<Point> out;
    for (double f : fields) {
      out.push_back({0, f, 300.0, 1.0});
    }
    return out;
  };
  using Indices = std::vector<std::size_t>;
  // Virgin curve 0 -> 2, down to -2, up to 2 (Oe x 10^4).
  const auto loop = points({3, 10000, 20000, 10000, 0, -10000, -20000, -10000,
                            -50, 10000, 20000});
  // Rising runs: 0-2 (3 points) and 6-10 (5 points, 3 at or above -100 Oe).
  EXPECT_EQ(selectBranch(loop, Sweep::kUp), (Indices{8, 9, 10}));
  // Falling run 2-6: the top first, down to zero field.
  EXPECT_EQ(selectBranch(loop, Sweep::kDown), (Indices{2, 3, 4}));
  EXPECT_TRUE(selectBranch(points({5, 5, 5}), Sweep::kUp).empty());
}

TEST(PlanConversion, SweptExportsBecomeHundredPointBranches) {
  const std::vector<Analysis> files = analyseSet(Variant::kSwept);
  const ConversionPlan plan = planConversion(files, {});
  ASSERT_EQ(plan.files.size(), 7u);
  EXPECT_EQ(plan.files.back().name, "KORVELIN.inp");
  for (std::size_t i = 0; i + 1 < plan.files.size(); ++i) {
    SCOPED_TRACE(plan.files[i].name);
    const std::vector<std::string> text = lines(plan.files[i].content);
    ASSERT_EQ(text.size(), 4u + 100u);
    // The header gives korvelin no number, and the file reads back clean.
    EXPECT_TRUE(replayHeader(plan.files[i].content, 5).numbers.empty());
    const Analysis back = analyseExport(
        parseExport(plan.files[i].name, plan.files[i].content), {});
    EXPECT_EQ(back.problemCount(), 0);
    EXPECT_EQ(back.clusters[0].rising, 100);
    EXPECT_NEAR(back.clusters[0].points.back().field, 50000.0, 1.0);
    // Only the rising half is written, so its mean moves a little.
    EXPECT_NEAR(back.clusters[0].mean, files[i].clusters[0].mean, 0.02);
  }
  ASSERT_EQ(plan.notes.size(), 6u);
  EXPECT_NE(plan.notes[0].find("thinned evenly from 401 to korvelin's 100"),
            std::string::npos);

  const std::vector<std::string> control = lines(plan.files.back().content);
  ASSERT_EQ(control.size(), 3u + 2u * 6u);
  EXPECT_EQ(control[0], "0.0123");
  EXPECT_EQ(control[1], "5 1");
  EXPECT_EQ(control[2], "1 2 3 4 5");
  char mean[32];
  std::snprintf(mean, sizeof mean, "%.3f", files[0].clusters[0].mean);
  EXPECT_EQ(control[3], mean);
  EXPECT_EQ(control[4], plan.files[0].name);
}

TEST(PlanConversion, ColumnsAreRewrittenInKorvelinsOrder) {
  for (Variant v : {Variant::kTemperatureFirst, Variant::kEmptyMoment,
                    Variant::kDrift, Variant::kHeaderNumbers}) {
    SCOPED_TRACE(variants::variantName(v));
    const std::vector<Analysis> files = analyseSet(v);
    const ConversionPlan plan = planConversion(files, {});
    // Checked against the temperatures the written control file asks for.
    AnalysisOptions control;
    control.wantedTemperatures = plan.temperatures;
    const Analysis back = analyseExport(
        parseExport(plan.files[0].name, plan.files[0].content), control);
    EXPECT_EQ(back.problemCount(), 0);
    ASSERT_EQ(back.clusters[0].points.size(), 56u);
    // The same measurement as in the export's rising branch.
    const Point& source = files[0].clusters[0].points[5];
    const Point& written = back.clusters[0].points[5];
    EXPECT_NEAR(written.field, source.field, 1e-4);
    EXPECT_NEAR(written.temperature, source.temperature, 1e-4);
    EXPECT_NEAR(written.moment, source.moment, 1e-6 * std::fabs(source.moment));
    EXPECT_NE(lines(plan.files[0].content)[4 + 5].find("," +
                                                   std::to_string(source.line) + ","),
              std::string::npos);
  }
}

TEST(PlanConversion, FallingSweepStartsAtTheTopAndKeepsTargetsBelowIt) {
  ConvertOptions options;
  options.sweep = Sweep::kDown;
  const ConversionPlan plan = planConversion(analyseSet(Variant::kClean), options);
  const std::vector<std::string> control = lines(plan.files.back().content);
  EXPECT_EQ(control[1], "4 -1");  // the second point is at 4.75 T
  EXPECT_EQ(control[2], "1 2 3 4");
  const std::vector<std::string> first = lines(plan.files[0].content);
  ASSERT_EQ(first.size(), 4u + 21u);
  EXPECT_NE(first[4].find(",5000"), std::string::npos);  // 50000 Oe first

  options.fields = {1.0, 5.0};
  const ConversionPlan asked = planConversion(analyseSet(Variant::kClean), options);
  ASSERT_EQ(asked.warnings.size(), 1u);
  EXPECT_NE(asked.warnings[0].find("target field 5 T"), std::string::npos);
}

TEST(PlanConversion, TheMassMustBeKnownAndAgree) {
  std::vector<Analysis> files = analyseSet(Variant::kClean);
  files[1].mass.found = false;  // a file without it does not matter
  EXPECT_EQ(planConversion(files, {}).massGrams, 0.0123);

  files[2].mass.grams = 0.0124;
  EXPECT_THROW(planConversion(files, {}), PrepError);
  ConvertOptions given;
  given.massGrams = 0.02;
  EXPECT_EQ(planConversion(files, given).massGrams, 0.02);

  for (Analysis& a : files) {
    a.mass.found = true;
    a.mass.value = 12.3;
    a.mass.grams.reset();  // a number without unit
  }
  EXPECT_THROW(planConversion(files, {}), PrepError);
  ConvertOptions milligrams;
  milligrams.massUnitGrams = 1e-3;
  EXPECT_DOUBLE_EQ(planConversion(files, milligrams).massGrams, 0.0123);

  for (Analysis& a : files) {
    a.mass.found = false;
  }
  EXPECT_THROW(planConversion(files, {}), PrepError);
}

TEST(PlanConversion, RefusesIsothermsTooCloseToDivideBy) {
  std::vector<Analysis> files = analyseSet(Variant::kClean);
  files.push_back(files[2]);  // the same isotherm given twice
  try {
    planConversion(files, {});
    FAIL() << "no error";
  } catch (const PrepError& e) {
    EXPECT_NE(std::string(e.what()).find("korvelin divides"), std::string::npos);
  }
}

TEST(PlanConversion, StrayPointsBetweenIsothermsAreLeftOut) {
  const std::string text =
      "[Data]\nTime,Field (Oe),Temperature (K),Moment (emu),Mass (mg)\n"
      "1,0,300,0,10\n2,10000,300,1,10\n3,20000,300,2,10\n"
      "4,20000,301.5,1.9,10\n"  // taken while warming
      "5,0,303,0,10\n6,10000,303,0.9,10\n7,20000,303,1.8,10\n";
  const std::vector<Analysis> files = {
      analyseExport(parseExport("two.dat", text), {})};
  ASSERT_EQ(files[0].clusters.size(), 3u);
  const ConversionPlan plan = planConversion(files, {});
  EXPECT_EQ(plan.temperatures, (std::vector<double>{300.0, 303.0}));
  EXPECT_EQ(plan.massGrams, 0.01);
  ASSERT_EQ(plan.warnings.size(), 1u);
  EXPECT_EQ(plan.warnings[0],
            "two.dat:6: 1 point at 301.50 K, no rising sweep; left out");
  ConvertOptions down;
  down.sweep = Sweep::kDown;
  EXPECT_THROW(planConversion(files, down), PrepError);
}

TEST(WriteConversion, RefusesFullFoldersAndNeverWritesOverAnExport) {
  TempDir dir;
  const fs::path out = dir.path() / "out";
  ConvertOptions options;
  options.outDir = out.string();
  const ConversionPlan plan = planConversion(analyseSet(Variant::kClean), options);

  writeConversion(plan, options, {});
  EXPECT_TRUE(fs::exists(out / "KORVELIN.inp"));
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator{}), 7);
  EXPECT_THROW(writeConversion(plan, options, {}), PrepError);

  options.force = true;
  writeConversion(plan, options, {});

  // An export that carries an output's name in the output folder: refused
  // even with --force, and left as it was.
  const fs::path input = out / plan.files[0].name;
  { std::ofstream(input) << "the user's export\n"; }
  EXPECT_THROW(writeConversion(plan, options, {input.string()}), PrepError);
  std::ifstream in(input);
  std::string kept;
  std::getline(in, kept);
  EXPECT_EQ(kept, "the user's export");

  const fs::path file = dir.path() / "plain-file";
  { std::ofstream(file) << "x"; }
  options.outDir = file.string();
  EXPECT_THROW(writeConversion(plan, options, {}), PrepError);
}

}  // namespace
}  // namespace prep
