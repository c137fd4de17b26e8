#pragma once

#include "entropy/storage.h"

namespace korvelin::entropy {

/// Keeps the points of the buffer reached by a field step of the sweep
/// direction's sign, anchored at the first accepted point with moment 0, in
/// `branch` (written once, from zero). Logs it, and when it runs from high
/// to low field magnitude reverses it and logs it again.
void extractBranch(const MeasurementBuffer& buffer, std::int32_t sweepDirection,
                   float temperature, IsothermBranch& branch);

}  // namespace korvelin::entropy
