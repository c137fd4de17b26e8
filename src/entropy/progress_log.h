#pragma once

#include "entropy/storage.h"

namespace korvelin::entropy {

// The console dialogue of a run. Each record is one free-form write to the
// console; the texts are the program's own and must stay as they are.

/// "Leyendo fichero: " and the name; "Temperatura: " and the temperature.
void logFileAnnounced(const RunParameters& parameters, float temperature);

/// An empty record, the name, a line of equals signs; then the pause.
void logFileOpened(const RunParameters& parameters);

/// "No puntos totales: " and the number of accepted sets.
void logPointsCounted(std::int32_t pointCount);

/// The branch as selected, point by point with its temperature, then its
/// count.
void logBranchKept(const IsothermBranch& branch, float temperature);

/// The branch after it was turned round.
void logBranchReversed(const IsothermBranch& branch);

/// " No temperaturas " and the count; then the pause.
void logListFinished(std::int32_t temperatureCount);

}  // namespace korvelin::entropy
