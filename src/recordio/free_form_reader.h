#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "recordio/units.h"

namespace korvelin::recordio {

/// Outcome of a read statement: 0 success, -1 end of file, positive for an
/// error (the condition's four-digit code, e.g. 6103). Callers test the sign.
using ReadOutcome = std::int32_t;

/// Which outcomes a statement takes back instead of ending the run: bit 1
/// end of file, bit 4 errors.
enum class OutcomePolicy : std::int32_t {
  kNone = 0,
  kEndOfFileOnly = 1,
  kAll = -1,
};

/// Starts a read statement on a connected unit. An empty format means
/// free-form; "(A50)" reads one fixed-width character field. Reads nothing.
ReadOutcome beginRead(UnitNumber unit, std::string_view format,
                      OutcomePolicy policy);

/// Reads the next free-form value into a float. A null value leaves the item
/// as it was. Raises the run-time error of a condition the policy does not
/// take back.
ReadOutcome readReal(float& item);

/// Reads the next free-form value into a 32-bit integer; as readReal.
ReadOutcome readInteger(std::int32_t& item);

/// Reads the fixed-width character field: the record's first bytes up to
/// its line end, blank-padded to the item's length.
ReadOutcome readText(std::span<char> item);

/// Whether the last readReal or readInteger call stored a value in its
/// item (false for a null value, an item after a slash, or a failure).
bool lastItemAssigned();

/// Finishes the statement: passes over the rest of the record.
ReadOutcome endRead();

}  // namespace korvelin::recordio
