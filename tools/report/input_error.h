#pragma once

#include <stdexcept>
#include <string>

namespace korvelin::report {

/// A fault in an input file, located by 1-based line and column (bytes).
/// The reader that raises it does not know the file's name; the caller puts
/// it in front when it reports ("KORVELIN.dat:3:22: ...").
class InputError : public std::runtime_error {
 public:
  InputError(int line, int column, const std::string& message)
      : std::runtime_error(message), line_(line), column_(column) {}

  int line() const { return line_; }
  int column() const { return column_; }

 private:
  int line_;
  int column_;
};

/// Something worth telling the user about an input that is still usable,
/// located like an InputError.
struct InputNote {
  int line = 0;
  int column = 0;
  std::string message;
};

}  // namespace korvelin::report
