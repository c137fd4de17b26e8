#include "command_line.h"

#include <gtest/gtest.h>

namespace korvelin::report {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineTest, AcceptsBothOptionFormsAndATable) {
  Options none = parseCommandLine({});
  EXPECT_EQ(none.table, "KORVELIN.dat");
  EXPECT_TRUE(none.csv.empty() && none.svg.empty() && none.control.empty());

  Options all = parseCommandLine({"--svg", "t.svg", "--csv=f.csv", "run/K.dat",
                                  "--svg-fields=b.svg", "--inp", "K.inp"});
  EXPECT_EQ(all.table, "run/K.dat");
  EXPECT_EQ(all.svg, "t.svg");
  EXPECT_EQ(all.csv, "f.csv");
  EXPECT_EQ(all.svgFields, "b.svg");
  EXPECT_EQ(all.control, "K.inp");

  EXPECT_EQ(parseCommandLine({"--", "--odd.dat"}).table, "--odd.dat");
  EXPECT_TRUE(parseCommandLine({"-h"}).help);
  EXPECT_TRUE(parseCommandLine({"-V"}).version);
}

TEST(CommandLineTest, RejectsWhatCannotBeCarriedOut) {
  struct Case {
    Args args;
    const char* message;
  };
  const Case cases[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-x"}, "unknown option '-x'"},
      {{"--csv"}, "option '--csv' needs a file name"},
      {{"--svg="}, "option '--svg' needs a file name"},
      {{"a.dat", "b.dat"}, "more than one table given ('a.dat' and 'b.dat')"},
      {{"--svg", "KORVELIN.dat"}, "would overwrite an input file"},
      {{"--inp", "K.inp", "--csv", "K.inp"}, "would overwrite an input file"},
      {{"--svg", "p.svg", "--svg-fields", "p.svg"},
       "--svg and --svg-fields name the same file 'p.svg'"},
      {{"--help=yes"}, "option '--help' takes no value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      (void)parseCommandLine(c.args);
      ADD_FAILURE() << "accepted";
    } catch (const UsageError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
}  // namespace korvelin::report
