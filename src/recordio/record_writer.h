#pragma once

#include <cstdint>
#include <string_view>

#include "recordio/units.h"

namespace korvelin::recordio {

/// Starts a write statement on a connected unit or on kConsoleUnit. An empty
/// format means free-form; otherwise a format such as "(2X,F11.3,$)".
/// Raises the unit's write errors (F6405, F6421, F6422).
void beginWrite(UnitNumber target, std::string_view format);

/// A character item: every byte of its declared length.
void writeCharacter(std::string_view value);

/// A single-precision real item.
void writeReal(float value);

/// A 32-bit integer item.
void writeInteger(std::int32_t value);

/// Completes the statement; ends the record unless "$" left it open.
void endWrite();

}  // namespace korvelin::recordio
