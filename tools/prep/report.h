// The check's two outputs: an aligned text report for people and JSON for
// programs. Both list the same facts.
#pragma once

#include <ostream>
#include <vector>

#include "analysis.h"

namespace prep {

/// One section per file, then a summary line.
void writeTextReport(std::ostream& out, const std::vector<Analysis>& files);

/// {"files": [...], "problems": N, "warnings": N}; numbers in oersted,
/// kelvin and emu, line numbers 1-based, column numbers as korvelin counts
/// values (1-based).
void writeJsonReport(std::ostream& out, const std::vector<Analysis>& files);

}  // namespace prep
