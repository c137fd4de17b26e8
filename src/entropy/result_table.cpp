#include "entropy/result_table.h"

#include "entropy/integration.h"
#include "recordio/record_writer.h"
#include "runtime/fp_policy.h"

namespace korvelin::entropy {
namespace {

using recordio::beginWrite;
using recordio::endWrite;

}  // namespace

// " T/B             1.00         2.00"
// " 301.000         .500        1.250"
// Every line is 8 + 13 * fieldCount characters; owed blanks of a trailing
// 4X are paid only when another field follows.
void writeResultTable(recordio::UnitNumber unit,
                      const Computation& computation) {
  const RunParameters& p = computation.parameters;
  beginWrite(unit, "(A8,4X,$)");
  recordio::writeCharacter(" T/B    ");
  endWrite();
  for (int j = 0; j < p.fieldCount; ++j) {
    beginWrite(unit, "(4X,F5.2,4X,$)");
    recordio::writeReal(p.targetFields[static_cast<std::size_t>(j)]);
    endWrite();
  }
  beginWrite(unit, "()");
  endWrite();

  for (int i = 0; i + 1 < p.temperatureCount; ++i) {
    const auto row = static_cast<std::size_t>(i);
    const float mean =
        fp::store(fp::divide(static_cast<double>(p.temperatures[row]) +
                                 static_cast<double>(p.temperatures[row + 1]),
                             2.0));
    beginWrite(unit, "(F8.3,$)");
    recordio::writeReal(mean);
    endWrite();
    for (int j = 0; j < p.fieldCount; ++j) {
      const float cell = entropyChange(computation, i, j);
      beginWrite(unit, "(2X,F11.3,$)");
      recordio::writeReal(cell);
      endWrite();
    }
    beginWrite(unit, "()");
    endWrite();
  }
}

}  // namespace korvelin::entropy
