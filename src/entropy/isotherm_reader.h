#pragma once

#include "entropy/storage.h"
#include "recordio/units.h"

namespace korvelin::entropy {

/// Reads the isotherm file connected to `unit` as sets of five values
/// (ignored, ignored, field in oersted, temperature, moment), keeping the
/// sets within the tolerance of `wantedTemperature`, until end of file or
/// 100 points. Unreadable values are passed over one at a time. Raises
/// F6500 when the system fails a read.
void readIsotherm(recordio::UnitNumber unit, float wantedTemperature,
                  MeasurementBuffer& buffer);

}  // namespace korvelin::entropy

namespace korvelin::entropy {

/// Drops what earlier opens of a file left for later ones, for tests.
void forgetReadSetsForTesting();

/// Turns off (and on again) what earlier opens leave for later ones, so
/// that a test can compare with reading every open afresh.
void useReadSetStoreForTesting(bool inUse);

/// Whether an open took anything from the store since the last forget.
bool readSetStoreConsultedForTesting();

}  // namespace korvelin::entropy
