#include "entropy/isotherm_reader.h"

#include <cmath>

#include "recordio/free_form_reader.h"
#include "runtime/fp_policy.h"

namespace korvelin::entropy {
namespace {

using recordio::OutcomePolicy;
using recordio::ReadOutcome;

constexpr ReadOutcome kReadFailureOutcome =
    6000 + static_cast<ReadOutcome>(IoCondition::kReadFailure);

ReadOutcome readSet(recordio::UnitNumber unit, MeasurementBuffer& buffer,
                    int j) {
  recordio::beginRead(unit, "", OutcomePolicy::kAll);
  ReadOutcome outcome = recordio::readReal(buffer.ignored);
  if (outcome == 0) {
    outcome = recordio::readReal(buffer.ignored);
  }
  if (outcome == 0) {
    outcome = recordio::readReal(buffer.field[static_cast<std::size_t>(j)]);
  }
  if (outcome == 0) {
    outcome = recordio::readReal(buffer.recordTemperature);
  }
  if (outcome == 0) {
    outcome = recordio::readReal(buffer.moment[static_cast<std::size_t>(j)]);
  }
  if (outcome == 0) {
    outcome = recordio::endRead();
  }
  return outcome;
}

}  // namespace

void readIsotherm(recordio::UnitNumber unit, float wantedTemperature,
                  MeasurementBuffer& buffer) {
  int j = 0;
  while (j < kMaxPoints) {
    ReadOutcome outcome = readSet(unit, buffer, j);
    if (outcome < 0) {
      break;
    }
    if (outcome > 0) {
      // A failed system read uses up nothing, so repeating the read would
      // never end: the run stops with the failure instead.
      if (outcome == kReadFailureOutcome) {
        recordio::Unit* u = recordio::connectedUnit(unit);
        raiseIo(IoCondition::kReadFailure, StatementKind::kRead,
                u != nullptr ? u->name() : std::string_view());
      }
      continue;
    }
    double offset = static_cast<double>(buffer.recordTemperature) -
                    static_cast<double>(wantedTemperature);
    if (std::fabs(offset) > static_cast<double>(kTemperatureTolerance)) {
      continue;
    }
    auto slot = static_cast<std::size_t>(j);
    // 99.9999977648... Oe: the tolerance as stored, times 10000 in double.
    if (std::fabs(static_cast<double>(buffer.field[slot])) <
        static_cast<double>(kFieldTolerance) * 10000.0) {
      buffer.moment[slot] = 0.0f;
      buffer.field[slot] = 0.0f;
    }
    buffer.field[slot] = fp::store(static_cast<double>(buffer.field[slot]) *
                                   static_cast<double>(kTeslaPerOersted));
    ++j;
  }
  buffer.pointCount = j;
}

}  // namespace korvelin::entropy
