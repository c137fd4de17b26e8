#include "runtime/run_error.h"

#include <utility>

namespace korvelin {

std::string_view messageFor(IoCondition condition) {
  switch (condition) {
  case IoCondition::kIntegerOverflow: return "integer value out of range";
  case IoCondition::kBadIntegerDigit: return "invalid digit in integer value";
  case IoCondition::kRealBeyondDouble: return "real value out of range";
  case IoCondition::kBadReal: return "invalid real value";
  case IoCondition::kRealBeyondSingle:
    return "real value out of single-precision range";
  case IoCondition::kSecondBaseMark: return "second # in integer value";
  case IoCondition::kBadBase: return "number base not between 2 and 36";
  case IoCondition::kReadAfterEnd: return "statement after end of file";
  case IoCondition::kBadFileName: return "file name or open refused";
  case IoCondition::kConnectedElsewhere:
    return "file already connected to another unit";
  case IoCondition::kAccessDenied: return "access denied";
  case IoCondition::kFileExists: return "file already exists";
  case IoCondition::kPathNotFound: return "path not found";
  case IoCondition::kTooManyOpenFiles: return "too many open files";
  case IoCondition::kUnitTableFull: return "too many units connected";
  case IoCondition::kWriteRefused: return "write refused";
  case IoCondition::kDiskFull: return "disk full";
  case IoCondition::kWriteFailed: return "write failed";
  case IoCondition::kFieldCountTooLarge:
    return "more than 20 target fields";
  case IoCondition::kReadFailure: return "read failed";
  case IoCondition::kEndOfFile: return "end of file encountered";
  case IoCondition::kBadRepeatCount: return "invalid repeat count";
  case IoCondition::kSecondRepeatCount: return "second repeat count in value";
  case IoCondition::kDelimitedNumber:
    return "quoted or parenthesised numeric value";
  }
  return "";
}

std::string_view wordFor(MathCondition condition) {
  switch (condition) {
  case MathCondition::kInvalid: return "invalid";
  case MathCondition::kDivideByZero: return "divide by zero";
  case MathCondition::kOverflow: return "overflow";
  }
  return "";
}

std::string_view statementText(StatementKind kind) {
  switch (kind) {
  case StatementKind::kOpen: return ": OPEN(";
  case StatementKind::kClose: return ": CLOSE(";
  case StatementKind::kRead: return ": READ(";
  case StatementKind::kWrite: return ": WRITE(";
  case StatementKind::kMath: return ": MATH";
  }
  return "";
}

RunError::RunError(char classLetter, int code, StatementKind statement,
                   std::string unitName, std::string message)
    : classLetter_(classLetter),
      code_(code),
      statement_(statement),
      unitName_(std::move(unitName)),
      message_(std::move(message)) {}

// "\r\nrun-time error F6501: READ(KORVELIN.inp)\r\n- end of file ...\r\n"
// "\r\nrun-time error M6103: MATH\r\n- floating-point error: divide by zero\r\n"
std::string RunError::reportText() const {
  std::string text = "\r\nrun-time error ";
  text += classLetter_;
  text += std::to_string(code_);
  text += statementText(statement_);
  if (statement_ == StatementKind::kMath) {
    text += "\r\n- ";
  } else {
    text += unitName_;
    text += message_.empty() ? ")\r\n" : ")\r\n- ";
  }
  text += message_;
  text += "\r\n";
  return text;
}

void raiseIo(IoCondition condition, StatementKind statement,
             std::string_view unitName) {
  throw RunError('F', 6000 + static_cast<int>(condition), statement,
                 std::string(unitName), std::string(messageFor(condition)));
}

void raiseMath(MathCondition condition) {
  std::string message = "floating-point error: ";
  message += wordFor(condition);
  throw RunError('M', 6000 + static_cast<int>(condition), StatementKind::kMath,
                 std::string(), std::move(message));
}

}  // namespace korvelin
