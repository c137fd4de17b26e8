#pragma once

#include "entropy/storage.h"

namespace korvelin::entropy {

/// Area under the branch's moment over field from its first point up to
/// `targetField` (trapezoids, the last interval cut at a linearly
/// interpolated moment). Raises M6103/M6101 when the cut interval has two
/// equal fields, M6104 when a partial sum overflows.
float branchArea(const IsothermBranch& branch, float targetField);

/// The cell for temperatures i and i + 1 (numbered from 0) at target field
/// j: -((S2 - S1) / (T[i+1] - T[i])) / mass, rounded once. Raises the
/// floating-point conditions of its divisions and of the store.
float entropyChange(const Computation& computation, int i, int j);

}  // namespace korvelin::entropy
