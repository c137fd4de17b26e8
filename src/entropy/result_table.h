#pragma once

#include "entropy/storage.h"
#include "recordio/units.h"

namespace korvelin::entropy {

/// Writes the heading and one row per neighbouring temperature pair to the
/// connected unit; each cell is computed just before it is written, so a
/// faulting cell leaves the table written up to it.
void writeResultTable(recordio::UnitNumber unit, const Computation& computation);

}  // namespace korvelin::entropy
