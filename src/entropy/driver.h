#pragma once

#include "entropy/storage.h"

namespace korvelin::entropy {

/// The whole program: reads KORVELIN.inp, each isotherm file in turn, and
/// writes KORVELIN.dat, talking to the user on the console. Raises the
/// run-time error of any condition it has no branch for.
void runEntropyProgram(Computation& computation);

}  // namespace korvelin::entropy
