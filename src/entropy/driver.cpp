#include "entropy/driver.h"

#include <string_view>

#include "entropy/branch.h"
#include "entropy/isotherm_reader.h"
#include "entropy/progress_log.h"
#include "entropy/result_table.h"
#include "recordio/free_form_reader.h"
#include "recordio/units.h"

namespace korvelin::entropy {
namespace {

using recordio::OutcomePolicy;

constexpr recordio::UnitNumber kControlUnit = 10;
constexpr recordio::UnitNumber kTableUnit = 11;
constexpr recordio::UnitNumber kIsothermUnit = 12;
constexpr std::string_view kControlFile = "KORVELIN.inp";
constexpr std::string_view kTableFile = "KORVELIN.dat";

void readHeader(RunParameters& p) {
  recordio::beginRead(kControlUnit, "", OutcomePolicy::kNone);
  recordio::readReal(p.mass);
  recordio::endRead();

  recordio::beginRead(kControlUnit, "", OutcomePolicy::kNone);
  recordio::readInteger(p.fieldCount);
  recordio::readInteger(p.sweepDirection);
  recordio::endRead();

  // The field list has room for 20 values; more would be written past it.
  if (p.fieldCount > kMaxFields) {
    raiseIo(IoCondition::kFieldCountTooLarge, StatementKind::kRead,
            kControlFile);
  }

  recordio::beginRead(kControlUnit, "", OutcomePolicy::kNone);
  for (int j = 0; j < p.fieldCount; ++j) {
    recordio::readReal(p.targetFields[static_cast<std::size_t>(j)]);
  }
  recordio::endRead();
}

// Reads the next temperature; false at the end of the list.
bool readTemperature(float& temperature) {
  recordio::beginRead(kControlUnit, "", OutcomePolicy::kEndOfFileOnly);
  recordio::ReadOutcome outcome = recordio::readReal(temperature);
  if (outcome == 0) {
    outcome = recordio::endRead();
  }
  return outcome == 0;
}

void readFileName(RunParameters& p) {
  recordio::beginRead(kControlUnit, "(A50)", OutcomePolicy::kNone);
  recordio::readText(p.fileName);
  recordio::endRead();
}

}  // namespace

void runEntropyProgram(Computation& computation) {
  RunParameters& p = computation.parameters;
  recordio::openUnit(kControlUnit, kControlFile);
  readHeader(p);

  int handled = 0;
  while (handled < kMaxTemperatures) {
    const auto i = static_cast<std::size_t>(handled);
    if (!readTemperature(p.temperatures[i])) {
      break;
    }
    readFileName(p);
    logFileAnnounced(p, p.temperatures[i]);
    recordio::openUnit(kIsothermUnit, {p.fileName.data(), p.fileName.size()});
    logFileOpened(p);
    readIsotherm(kIsothermUnit, p.temperatures[i], computation.measurements);
    recordio::closeUnit(kIsothermUnit);
    logPointsCounted(computation.measurements.pointCount);
    extractBranch(computation.measurements, p.sweepDirection, p.temperatures[i],
                  computation.isotherms[i]);
    ++handled;
  }
  recordio::closeUnit(kControlUnit);
  p.temperatureCount = handled;
  logListFinished(p.temperatureCount);

  recordio::openUnit(kTableUnit, kTableFile);
  writeResultTable(kTableUnit, computation);
  recordio::closeUnit(kTableUnit);
}

}  // namespace korvelin::entropy
