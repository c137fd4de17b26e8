#include "runtime/run_lifecycle.h"

#include <cfenv>

#include "platform/os.h"
#include "recordio/console.h"
#include "recordio/units.h"

namespace korvelin {

void startRun() {
  // Arithmetic is done in double on every platform this builds for; the
  // conditions that end the run are checked where they can arise (see
  // fp_policy.h), so no hardware trap is armed and the record layer's own
  // conversions are never caught by it.
  std::fesetround(FE_TONEAREST);
  std::feclearexcept(FE_ALL_EXCEPT);
}

void endRun(int status) {
  try {
    recordio::shutdownUnits();
  } catch (const RunError& error) {
    // Output that could not be written makes the run a failure, whatever
    // it was ending with.
    recordio::writeErrorStream(error.reportText());
    platform::exitProcess(1);
  }
  if (recordio::consoleLineOpen()) {
    recordio::writeConsole("\r\n");
  }
  recordio::flushConsole();
  platform::exitProcess(status);
}

void reportRunError(const RunError& error) {
  recordio::writeErrorStream(error.reportText());
  endRun(1);
}

}  // namespace korvelin
