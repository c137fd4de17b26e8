#include "cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "variant_exports.h"

namespace prep {
namespace {

namespace fs = std::filesystem;
using variants::Variant;

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

CliRun run(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = runPrep(args, out, err);
  return {status, out.str(), err.str()};
}

// Writes one variant's exports into a fresh folder and removes it after.
class ExportFolder {
 public:
  explicit ExportFolder(Variant variant) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() /
            ("korvelin-prep-cli-" + std::string(info->name()) + "-" +
             variants::variantName(variant));
    fs::remove_all(path_);
    fs::create_directories(path_ / "in");
    for (const auto& file : variants::makeExportSet(variant).files) {
      std::ofstream(path_ / "in" / file.name, std::ios::binary) << file.content;
      files_.push_back((path_ / "in" / file.name).string());
    }
  }
  ~ExportFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const std::vector<std::string>& files() const { return files_; }
  std::string out() const { return (path_ / "out").string(); }

 private:
  fs::path path_;
  std::vector<std::string> files_;
};

std::vector<std::string> concat(std::vector<std::string> a,
                                const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Cli, UsageErrorsExitWithTwo) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case kCases[] = {
      {{}, "no command"},
      {{"inspect", "a.dat"}, "unknown command"},
      {{"check"}, "no export named"},
      {{"check", "--wide", "a.dat"}, "unknown option --wide"},
      {{"check", "--out", "d", "a.dat"}, "belong to convert"},
      {{"check", "--sweep", "up", "a.dat"}, "belong to convert"},
      {{"convert", "a.dat"}, "needs --out"},
      {{"convert", "--json", "--out", "d", "a.dat"}, "belong to check"},
      {{"convert", "--control", "K.inp", "--out", "d", "a.dat"}, "belong to check"},
      {{"convert", "--out", "d", "--sweep", "sideways", "a.dat"}, "up or down"},
      {{"convert", "--out", "d", "--fields", "1,,2", "a.dat"}, "--fields"},
      {{"convert", "--out", "d", "--mass=-1", "a.dat"}, "above zero"},
      {{"convert", "--out", "d", "--mass-unit", "lb", "a.dat"}, "g, mg or ug"},
      {{"check", "--json=yes", "a.dat"}, "takes no value"},
      {{"check", "a.dat", "--moment-column"}, "needs a value"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.message);
    const CliRun r = run(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("usage: korvelin-prep"), std::string::npos);
  }
}

TEST(Cli, HelpAndVersion) {
  const CliRun help = run({"check", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--sweep up|down"), std::string::npos);
  const CliRun version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("korvelin-prep ", 0), 0u);
}

TEST(Cli, CheckExitsWithOneOnAProblemAndNamesFileAndLine) {
  ExportFolder clean(Variant::kClean);
  const CliRun ok = run(concat({"check"}, clean.files()));
  EXPECT_EQ(ok.status, 0) << ok.out;
  EXPECT_NE(ok.out.find("6 files, 0 problems"), std::string::npos);

  ExportFolder drift(Variant::kDrift);
  const CliRun bad = run({"check", drift.files()[0]});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find(drift.files()[0] + ":8: problem: isotherm at 287.76 K"),
            std::string::npos)
      << bad.out;

  const CliRun missing = run({"check", "no-such-export.dat", clean.files()[0]});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "korvelin-prep: no-such-export.dat: error: cannot open the file\n");
  EXPECT_NE(missing.out.find("1 file, 0 problems"), std::string::npos);
}

TEST(Cli, CheckJsonCarriesTheFindings) {
  ExportFolder swept(Variant::kSwept);
  const CliRun r = run({"check", "--json", swept.files()[0]});
  EXPECT_EQ(r.status, 1);
  for (const char* key :
       {"\"code\":\"capacity\"", "\"risingBranch\":401", "\"risingBranchRead\":100",
        "\"moment\":{\"value\":5,\"title\":\"Moment (emu)\"", "\"grams\":0.0123",
        "\"problems\":1,\"warnings\":0}"}) {
    EXPECT_NE(r.out.find(key), std::string::npos) << key << "\n" << r.out;
  }
}

TEST(Cli, ConvertWritesOnceAndRefusesAFullFolder) {
  ExportFolder header(Variant::kHeaderNumbers);
  const std::vector<std::string> args =
      concat({"convert", "--out", header.out(), "--fields", "0.5,1,2"},
             header.files());
  const CliRun first = run(args);
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("mass 0.0123 g, 6 temperatures, fields 0.5 1 2 T"),
            std::string::npos)
      << first.out;
  const CliRun second = run(args);
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.err.find("already holds files"), std::string::npos);
  EXPECT_EQ(run(concat(args, {"--force"})).status, 0);

  // The checked result is clean.
  std::vector<std::string> converted;
  for (const auto& entry : fs::directory_iterator(header.out())) {
    if (entry.path().extension() == ".dat") {
      converted.push_back(entry.path().string());
    }
  }
  EXPECT_EQ(converted.size(), 6u);
  EXPECT_EQ(run(concat({"check"}, converted)).status, 0);
}

TEST(Cli, ConvertedDriftIsCleanAgainstItsOwnControlFile) {
  ExportFolder drift(Variant::kDrift);
  ASSERT_EQ(run(concat({"convert", "--out", drift.out()}, drift.files())).status,
            0);
  std::vector<std::string> converted;
  for (const auto& entry : fs::directory_iterator(drift.out())) {
    if (entry.path().extension() == ".dat") {
      converted.push_back(entry.path().string());
    }
  }
  // Measured means such as 289.78 K are no round values, but they are what
  // the written control file asks for.
  const CliRun plain = run(concat({"check"}, converted));
  EXPECT_EQ(plain.status, 1);
  EXPECT_NE(plain.out.find("[temperature-window]"), std::string::npos);
  const std::string control = drift.out() + "/KORVELIN.inp";
  const CliRun checked = run(concat({"check", "--control", control}, converted));
  EXPECT_EQ(checked.status, 0) << checked.out;
  EXPECT_NE(checked.out.find("control K"), std::string::npos);

  // The raw exports against their nominal control file: the same finding,
  // now naming the control file.
  const std::string raw = (fs::path(drift.files()[0]).parent_path() / "KORVELIN.inp").string();
  std::ofstream(raw) << variants::makeExportSet(Variant::kDrift).rawControlFile;
  const CliRun nominal = run({"check", "--control", raw, drift.files()[1]});
  EXPECT_EQ(nominal.status, 1);
  EXPECT_NE(nominal.out.find("of 290.00 K, the control file's temperature"),
            std::string::npos)
      << nominal.out;
  EXPECT_EQ(run({"check", "--control", "missing.inp", drift.files()[1]}).status, 1);
}

TEST(Cli, AmbiguousColumnsStopConvertUntilNamed) {
  const fs::path dir = fs::temp_directory_path() / "korvelin-prep-cli-ambiguous";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string file = (dir / "two.dat").string();
  std::ofstream(file) << "[Data]\nTime,Field (Oe),Temperature (K),"
                         "DC Moment Fixed Ctr (emu),DC Moment Free Ctr (emu)\n"
                         "1,0,300,0,0\n2,1000,300,0.1,0.11\n3,20000,300,0.2,0.21\n";
  const std::string out = (dir / "out").string();
  const CliRun refused = run({"convert", "--mass", "0.01", "--out", out, file});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find(file + ":2: error: more than one moment column"),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(fs::exists(out));
  const CliRun named = run({"convert", "--mass", "0.01", "--moment-column",
                         "DC Moment Free Ctr (emu)", "--out", out, file});
  EXPECT_EQ(named.status, 0) << named.err;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace prep
