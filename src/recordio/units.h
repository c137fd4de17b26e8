#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "platform/os.h"
#include "runtime/run_error.h"

namespace korvelin::recordio {

/// A unit number as the program writes it, or kConsoleUnit.
using UnitNumber = std::int32_t;

/// The identity that always means the console; no number can take it.
inline constexpr UnitNumber kConsoleUnit = std::numeric_limits<std::int32_t>::min();

/// How many numbered units can be connected at once.
inline constexpr int kUnitSlots = 61;

/// Longest name an open looks at; the rest of a longer name is cut off.
inline constexpr std::size_t kMaxNameLength = 259;

/// Size of one physical read from a disk file. Records and outcomes do not
/// depend on it.
inline constexpr std::size_t kDiskReadBlock = 64 * 1024;

/// Every input buffer has this many bytes of room past its last valid
/// byte, the first of them a NUL: number scanning looks ahead in whole
/// words and stops at the NUL without testing the end at every byte.
inline constexpr std::size_t kInputPadding = 8;

/// Size of the output buffer of a disk file: bytes reach the file in blocks
/// of this size, and the rest when the unit is closed.
inline constexpr std::size_t kDiskWriteBlock = 1024;

/// Line buffer of the console and other devices.
inline constexpr std::size_t kDeviceLine = 132;

enum class RecordKind { kDiskFile, kDevice };

/// The devices a reserved name can designate.
enum class DeviceKind {
  kNone,     ///< an ordinary file
  kConsole,  ///< CON, USER: console input and output
  kError,    ///< ERR: standard error
  kNull,     ///< NUL: end of file at once, writes discarded
  kPrinter,  ///< PRN, LPT1..LPT4
  kSerial,   ///< COM1..COM4, AUX, LINE
};

/// What nextByte gives besides a byte value 0..255.
inline constexpr int kNoMoreBytes = -1;
inline constexpr int kByteReadFailed = -2;

/// Bytes of input already fetched and the read position inside them.
struct InputBuffer {
  /// fill bytes, then a NUL, within kInputPadding bytes of room.
  char* data = nullptr;
  std::size_t next = 0;  ///< index of the next byte to deliver
  std::size_t fill = 0;  ///< bytes valid in data
};

/// One connected unit (or one of the two console entries).
struct Unit {
  UnitNumber number = 0;
  std::array<char, kMaxNameLength> nameChars{};
  std::size_t nameLength = 0;
  platform::FileHandle handle = platform::kNoFile;
  platform::FileIdentity identity;
  bool hasIdentity = false;
  RecordKind kind = RecordKind::kDiskFile;
  DeviceKind device = DeviceKind::kNone;
  /// A device line written and not yet ended (ERR; the console keeps its
  /// own flag).
  bool deviceLineOpen = false;
  platform::Access access = platform::Access::kReadWrite;
  bool atEnd = false;
  bool writing = false;
  bool consoleBound = false;

  /// Where reads take their bytes: `input` for a disk file, the console's
  /// buffer for a unit connected to the console.
  InputBuffer* in = nullptr;
  // Reading a disk file: the block in `readBlock` (kDiskReadBlock bytes)
  // starts at `blockOffset`.
  InputBuffer input;
  std::uint64_t blockOffset = 0;
  bool finalLineFeedSupplied = false;  ///< the block is the supplied LF
  bool lastByteWasLineFeed = true;     ///< of the bytes read from the file
  char* readBlock = nullptr;

  // Writing: bytes not yet in the file (kDiskWriteBlock at most), and
  // where they go.
  char* writeBlock = nullptr;
  std::size_t writeFill = 0;
  std::uint64_t writeOffset = 0;
  /// Blanks owed to the open record before its next characters.
  std::int32_t pendingBlanks = 0;

  std::string_view name() const { return {nameChars.data(), nameLength}; }
};

/// Connects the unit to the named file, creating it empty when there is no
/// such entry, or raises the open's run-time error (F6412 to F6418).
void openUnit(UnitNumber number, std::string_view name);

/// Writes out buffered output and disconnects the unit; nothing for a
/// number that is not connected. Raises F6421/F6422 when the output cannot
/// be written.
void closeUnit(UnitNumber number);

/// Closes every connected unit in slot order, writing out buffered output.
/// A close that fails is raised, leaving the remaining units as they are.
void shutdownUnits();

enum class Direction { kRead, kWrite };

/// The unit that serves a statement, or nullptr for a number that is not
/// connected and is not one of the console numbers 5, 6 and 0.
Unit* findUnit(UnitNumber number, Direction direction);

/// The unit connected under the number, or nullptr.
Unit* connectedUnit(UnitNumber number);

// Reading (RecordReader).

/// Refills the input and returns the next byte; kNoMoreBytes (and sets atEnd)
/// or kByteReadFailed when there is none.
int refillInput(Unit& unit);

/// The next byte of the unit's input: 0..255, kNoMoreBytes or kByteReadFailed.
inline int nextByte(Unit& unit) {
  InputBuffer& in = *unit.in;
  if (in.next < in.fill) {
    return static_cast<unsigned char>(in.data[in.next++]);
  }
  return refillInput(unit);
}

/// Steps back over the byte nextByte just delivered.
inline void putBackByte(Unit& unit) { --unit.in->next; }

/// The offset in the file of the next byte a read of the unit delivers.
std::uint64_t readPosition(const Unit& unit);

/// The stamp of the disk file connected to the unit; nullopt for a device
/// or when the system cannot tell.
std::optional<platform::FileStamp> unitStamp(const Unit& unit);

/// Moves a disk unit that is reading back or forward to a position inside
/// its file that a read reached before, as if reading had stopped there.
void resumeReadingAt(Unit& unit, std::uint64_t position);

/// Passes over the rest of the current record through its LF. Returns 0,
/// kNoMoreBytes or kByteReadFailed.
int endReadRecord(Unit& unit);

// Writing (RecordWriter). Errors are raised against `statement`.

/// Starts a write statement: a unit that is not writing yet is cut at its
/// position first. Raises F6405 on a unit at its end.
void startOutput(Unit& unit);

/// Appends bytes to the record, writing the buffer out whenever it fills.
void putBytes(Unit& unit, std::string_view bytes);

/// Appends n blanks.
void putBlanks(Unit& unit, std::int32_t n);

/// Ends the record with CR LF.
void endOutputRecord(Unit& unit);

/// Writes the buffered bytes to the file.
void flushUnit(Unit& unit, StatementKind statement);

/// Ends a device unit's open output line with CR LF.
void endDeviceLine(Unit& unit);

/// The kind of the input/output statement executed last; the console
/// pause names it when standard input ends under it.
StatementKind lastStatement();
void noteStatement(StatementKind kind);

/// Forgets every connection without closing anything, for tests that run
/// the layer several times in one process.
void resetUnitsForTesting();

}  // namespace korvelin::recordio
