#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace korvelin::report {

/// What the command line asks for.
struct Options {
  std::string table = "KORVELIN.dat";
  std::string control;    ///< empty: the control file is not read
  std::string csv;        ///< empty: no CSV
  std::string svg;        ///< empty: no curve plot
  std::string svgFields;  ///< empty: no field plot
  bool help = false;
  bool version = false;
};

/// A command line that cannot be carried out; the program exits with 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Parses the arguments after the program name. Options take their value as
/// the next argument or after "=" ("--csv out.csv", "--csv=out.csv"); "--"
/// ends the options. Throws UsageError for an unknown option, a missing or
/// empty value, a second table, and an output that would overwrite an input
/// or another output.
[[nodiscard]] Options parseCommandLine(const std::vector<std::string>& args);

/// The text of --help.
[[nodiscard]] std::string helpText();

}  // namespace korvelin::report
