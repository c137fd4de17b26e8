#pragma once

#include "runtime/run_error.h"

namespace korvelin {

/// Puts the run in place before the program's first statement: the
/// floating-point environment and the console; nothing is read or written.
void startRun();

/// Ends the run: closes every connected unit (writing out buffered output),
/// ends an open console line, and exits with the status. A close that fails
/// is reported and ends the process at once.
[[noreturn]] void endRun(int status);

/// Writes the report of an unhandled condition to standard error and ends
/// the run with status 1.
[[noreturn]] void reportRunError(const RunError& error);

/// Runs the program's statements, turning a raised condition into its
/// report; returns only through endRun.
template <typename Program>
[[noreturn]] void runProgram(Program&& program) {
  try {
    startRun();
    program();
  } catch (const RunError& error) {
    reportRunError(error);
  }
  endRun(0);
}

}  // namespace korvelin
