#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "recordio/units.h"

namespace korvelin::recordio {

struct DeviceName {
  DeviceKind kind = DeviceKind::kNone;
  std::string_view tableName;  ///< "CON", "NUL", ... (no extension)
};

/// Whether a prepared name designates a device: the part before its last
/// "." is a reserved name in any case ("con.txt" is the console), except
/// that ERR, LINE and USER with an extension are ordinary files.
DeviceName classifyDeviceName(std::string_view name);

/// A name for a blank file name: the next command-line argument, trimmed,
/// or else a name asked for on the console ("File name missing or blank -
/// please enter file name", "UNIT n? "). Raises F6501 when console input
/// ends first. The name is stored in `store`.
std::string_view obtainBlankName(UnitNumber unit,
                                 std::array<char, kMaxNameLength>& store);

/// Starts the argument cursor afresh, for tests.
void resetArgumentCursorForTesting();

}  // namespace korvelin::recordio
