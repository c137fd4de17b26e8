#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvelin {

/// Conditions met by input/output statements. The number is the code shown
/// in the report after the class letter "F", less 6000.
enum class IoCondition : int {
  kIntegerOverflow = 100,       ///< an integer value that does not fit
  kBadIntegerDigit = 101,       ///< a character that is no digit of its base
  kRealBeyondDouble = 102,      ///< a real beyond the double-precision range
  kBadReal = 103,               ///< a real value not of the accepted form
  kRealBeyondSingle = 104,      ///< a real beyond the single-precision range
  kSecondBaseMark = 302,        ///< a second "#" in an integer value
  kBadBase = 303,               ///< a number base outside 2 to 36
  kReadAfterEnd = 405,          ///< a statement on a unit already at its end
  kBadFileName = 412,           ///< the name is refused, or an open fails
  kConnectedElsewhere = 413,    ///< the file is connected to another unit
  kAccessDenied = 414,          ///< permissions, a directory, a lock
  kFileExists = 415,            ///< exclusive creation found the file there
  kPathNotFound = 416,          ///< a directory of the path does not exist
  kTooManyOpenFiles = 417,      ///< the process has too many files open
  kUnitTableFull = 418,         ///< every unit slot is taken
  kWriteRefused = 421,          ///< the system refused a write
  kDiskFull = 422,              ///< no space left for a write
  kWriteFailed = 423,           ///< a write failed for another cause
  kFieldCountTooLarge = 430,    ///< more target fields than the table holds
  kReadFailure = 500,           ///< the system failed a read
  kEndOfFile = 501,             ///< end of file where none is handled
  kBadRepeatCount = 502,        ///< a repeat count that is invalid or zero
  kSecondRepeatCount = 503,     ///< "*" while a repeat count is pending
  kDelimitedNumber = 504,       ///< a parenthesised or quoted numeric value
};

/// Floating-point conditions that end the run. Numbers as above, class "M".
enum class MathCondition : int {
  kInvalid = 101,       ///< e.g. zero divided by zero
  kDivideByZero = 103,  ///< a non-zero value divided by zero
  kOverflow = 104,      ///< a value beyond the largest float when stored
};

/// The kind of statement that met a condition, as the report names it.
enum class StatementKind { kOpen, kClose, kRead, kWrite, kMath };

/// One short line naming an input/output condition.
std::string_view messageFor(IoCondition condition);

/// The word naming a floating-point condition ("invalid", ...).
std::string_view wordFor(MathCondition condition);

/// The statement text of the report: ": OPEN(", ": READ(", ..., ": MATH".
std::string_view statementText(StatementKind kind);

/// An unhandled condition. Thrown by the raising helpers below and caught
/// once, at the top of the run, which reports it and ends the run.
class RunError {
 public:
  RunError(char classLetter, int code, StatementKind statement,
           std::string unitName, std::string message);

  char classLetter() const { return classLetter_; }
  int code() const { return code_; }  ///< four digits, e.g. 6501
  StatementKind statement() const { return statement_; }
  const std::string& unitName() const { return unitName_; }
  const std::string& message() const { return message_; }

  /// The exact bytes of the report written to standard error.
  std::string reportText() const;

 private:
  char classLetter_;
  int code_;
  StatementKind statement_;
  std::string unitName_;
  std::string message_;
};

/// Raises an input/output condition met by a statement on the named unit.
[[noreturn]] void raiseIo(IoCondition condition, StatementKind statement,
                          std::string_view unitName);

/// Raises a trapped floating-point condition.
[[noreturn]] void raiseMath(MathCondition condition);

}  // namespace korvelin
