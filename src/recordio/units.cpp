#include "recordio/units.h"

#include <algorithm>
#include <cstring>

#include "recordio/console.h"
#include "recordio/file_names.h"

namespace korvelin::recordio {
namespace {

using platform::Access;
using platform::os;
using platform::SysError;

// The buffers of a slot, apart from its state so that connecting a unit
// does not have to clear them.
struct SlotBuffers {
  std::array<char, kDiskReadBlock + kInputPadding> read;
  std::array<char, kDiskWriteBlock> write;
};

struct UnitTable {
  std::array<Unit, kUnitSlots> slots;
  std::array<bool, kUnitSlots> used{};
  std::array<SlotBuffers, kUnitSlots> buffers;
};

UnitTable table;
StatementKind lastKind = StatementKind::kWrite;

// The two console entries outside the table: they exist for the whole run
// and are never closed.
Unit makeConsoleEntry(UnitNumber number) {
  Unit unit;
  unit.number = number;
  std::copy_n("CON", 3, unit.nameChars.begin());
  unit.nameLength = 3;
  unit.kind = RecordKind::kDevice;
  unit.device = DeviceKind::kConsole;
  unit.consoleBound = true;
  unit.writing = true;
  unit.in = &consoleInputBuffer();
  return unit;
}

Unit consoleInput = makeConsoleEntry(5);
Unit consoleOutput = makeConsoleEntry(6);

IoCondition openCondition(SysError error) {
  switch (error) {
  case SysError::kNotFound:
  case SysError::kPathNotFound: return IoCondition::kPathNotFound;
  case SysError::kAccessDenied: return IoCondition::kAccessDenied;
  case SysError::kExists: return IoCondition::kFileExists;
  case SysError::kTooManyOpenFiles: return IoCondition::kTooManyOpenFiles;
  // A full disk while creating the entry is reported as a full disk.
  case SysError::kDiskFull: return IoCondition::kDiskFull;
  case SysError::kNone:
  case SysError::kBadName:
  case SysError::kInterrupted:
  case SysError::kOther: return IoCondition::kBadFileName;
  }
  return IoCondition::kBadFileName;
}

// A write the system does not complete is never passed over silently: the
// table would be wrong on disk while the run reports success.
IoCondition writeCondition(SysError error) {
  switch (error) {
  case SysError::kDiskFull: return IoCondition::kDiskFull;
  case SysError::kAccessDenied: return IoCondition::kWriteRefused;
  case SysError::kNone:
  case SysError::kNotFound:
  case SysError::kPathNotFound:
  case SysError::kExists:
  case SysError::kTooManyOpenFiles:
  case SysError::kBadName:
  case SysError::kInterrupted:
  case SysError::kOther: return IoCondition::kWriteFailed;
  }
  return IoCondition::kWriteFailed;
}

// "  data/iso 300.dat  " -> "data/iso 300.dat": only the first 259
// characters count, and only the space character is trimmed.
std::string_view prepareName(std::string_view name) {
  name = name.substr(0, std::min(name.size(), kMaxNameLength));
  std::size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return {};
  }
  std::size_t last = name.find_last_not_of(' ');
  return name.substr(first, last - first + 1);
}

// Where the last search found its unit: an isotherm file is read with one
// statement per record, all on the same unit.
int lastFoundSlot = 0;

int slotOf(UnitNumber number) {
  auto cached = static_cast<std::size_t>(lastFoundSlot);
  if (table.used[cached] && table.slots[cached].number == number) {
    return lastFoundSlot;
  }
  for (int i = 0; i < kUnitSlots; ++i) {
    if (table.used[static_cast<std::size_t>(i)] &&
        table.slots[static_cast<std::size_t>(i)].number == number) {
      lastFoundSlot = i;
      return i;
    }
  }
  return -1;
}

int firstFreeSlot() {
  for (int i = 0; i < kUnitSlots; ++i) {
    if (!table.used[static_cast<std::size_t>(i)]) {
      return i;
    }
  }
  return -1;
}

enum class OpenWay { kCreate, kExisting, kDevice };

// Tries read-write, then read-only, then write-only, and reports the cause
// of the last refusal. Nothing takes a lock.
platform::OpenResult openWithFallback(std::string_view name, OpenWay way,
                                      Access& obtained) {
  platform::OpenResult result;
  for (Access access :
       {Access::kReadWrite, Access::kReadOnly, Access::kWriteOnly}) {
    switch (way) {
    case OpenWay::kCreate: result = os().createExclusive(name, access); break;
    case OpenWay::kExisting: result = os().openExisting(name, access); break;
    case OpenWay::kDevice: result = os().openDevice(name, access); break;
    }
    if (result.error == SysError::kNone) {
      obtained = access;
      return result;
    }
  }
  return result;
}

// A fresh unit state in the slot, with the slot's buffers.
Unit& freshUnit(int slot) {
  auto index = static_cast<std::size_t>(slot);
  Unit& unit = table.slots[index];
  unit = Unit{};
  unit.readBlock = table.buffers[index].read.data();
  unit.writeBlock = table.buffers[index].write.data();
  return unit;
}

void resetInput(Unit& unit) {
  unit.input = InputBuffer{unit.readBlock, 0, 0};
  unit.readBlock[0] = '\0';
  unit.in = &unit.input;
  unit.blockOffset = 0;
  unit.finalLineFeedSupplied = false;
  unit.lastByteWasLineFeed = true;
}


void releaseSlot(int slot) {
  Unit& unit = table.slots[static_cast<std::size_t>(slot)];
  if (unit.handle != platform::kNoFile) {
    os().close(unit.handle);
    unit.handle = platform::kNoFile;
  }
  table.used[static_cast<std::size_t>(slot)] = false;
}

}  // namespace

namespace {

// A device unit: no file behind it, opened under its table name.
void connectDevice(int slot, UnitNumber number, DeviceName device) {
  Unit& unit = freshUnit(slot);
  unit.number = number;
  std::copy(device.tableName.begin(), device.tableName.end(),
            unit.nameChars.begin());
  unit.nameLength = device.tableName.size();
  unit.kind = RecordKind::kDevice;
  unit.device = device.kind;
  unit.consoleBound = device.kind == DeviceKind::kConsole;
  resetInput(unit);
  if (unit.consoleBound) {
    unit.in = &consoleInputBuffer();
  }
  table.used[static_cast<std::size_t>(slot)] = true;
}

// Rule of the same file on two units: by identity for files, by name for
// devices; the null device may be shared freely.
void refuseConnectedElsewhere(UnitNumber number, std::string_view name,
                              const DeviceName& device) {
  std::optional<platform::FileIdentity> id;
  if (device.kind == DeviceKind::kNone) {
    id = os().identityOf(name);
    if (!id) {
      return;
    }
  } else if (device.kind == DeviceKind::kNull) {
    return;
  }
  for (int i = 0; i < kUnitSlots; ++i) {
    const Unit& other = table.slots[static_cast<std::size_t>(i)];
    if (!table.used[static_cast<std::size_t>(i)] || other.number == number) {
      continue;
    }
    bool same = device.kind == DeviceKind::kNone
                    ? other.hasIdentity && other.identity == *id
                    : other.device == device.kind && other.name() == name;
    if (same) {
      raiseIo(IoCondition::kConnectedElsewhere, StatementKind::kOpen, name);
    }
  }
}

}  // namespace

void openUnit(UnitNumber number, std::string_view rawName) {
  noteStatement(StatementKind::kOpen);
  std::string_view name = prepareName(rawName);

  std::array<char, kMaxNameLength> obtained{};
  if (name.empty()) {
    name = obtainBlankName(number, obtained);
    noteStatement(StatementKind::kOpen);
  }
  DeviceName device = classifyDeviceName(name);
  if (device.kind != DeviceKind::kNone) {
    name = device.tableName;
  }

  refuseConnectedElsewhere(number, name, device);

  // The same unit already connected: to the same file it stays as it is,
  // to another file it is closed first.
  if (int slot = slotOf(number); slot >= 0) {
    Unit& current = table.slots[static_cast<std::size_t>(slot)];
    bool same = current.name() == name;
    if (!same && device.kind == DeviceKind::kNone && current.hasIdentity) {
      std::optional<platform::FileIdentity> id = os().identityOf(name);
      same = id && *id == current.identity;
    }
    if (same) {
      return;
    }
    closeUnit(number);
    noteStatement(StatementKind::kOpen);
  }

  // The slot is taken before the file system is touched, so a full table
  // never leaves a newly created file behind.
  int slot = firstFreeSlot();
  if (slot < 0) {
    raiseIo(IoCondition::kUnitTableFull, StatementKind::kOpen, name);
  }

  switch (device.kind) {
  case DeviceKind::kConsole:
  case DeviceKind::kError:
  case DeviceKind::kNull: connectDevice(slot, number, device); return;
  case DeviceKind::kPrinter:
  case DeviceKind::kSerial: {
    // Opened under the device name where the system has such devices; a
    // system without them refuses the name (F6412) rather than have an
    // ordinary file named like one hide the mistake.
    Access access = Access::kReadWrite;
    platform::OpenResult opened =
        openWithFallback(name, OpenWay::kDevice, access);
    if (opened.error != SysError::kNone) {
      raiseIo(openCondition(opened.error), StatementKind::kOpen, name);
    }
    connectDevice(slot, number, device);
    Unit& unit = table.slots[static_cast<std::size_t>(slot)];
    unit.handle = opened.handle;
    unit.access = access;
    return;
  }
  case DeviceKind::kNone: break;
  }

  bool create = !os().exists(name);
  Access access = Access::kReadWrite;
  platform::OpenResult opened = openWithFallback(
      name, create ? OpenWay::kCreate : OpenWay::kExisting, access);
  if (opened.error != SysError::kNone) {
    raiseIo(openCondition(opened.error), StatementKind::kOpen, name);
  }

  Unit& unit = freshUnit(slot);
  unit.number = number;
  std::copy(name.begin(), name.end(), unit.nameChars.begin());
  unit.nameLength = name.size();
  unit.handle = opened.handle;
  if (std::optional<platform::FileIdentity> id = os().identity(opened.handle)) {
    unit.identity = *id;
    unit.hasIdentity = true;
  }
  unit.kind = RecordKind::kDiskFile;
  unit.access = access;
  // An empty new file has nothing to cut.
  unit.writing = create;
  resetInput(unit);
  table.used[static_cast<std::size_t>(slot)] = true;
}

void closeUnit(UnitNumber number) {
  noteStatement(StatementKind::kClose);
  int slot = slotOf(number);
  if (slot < 0) {
    return;
  }
  Unit& unit = table.slots[static_cast<std::size_t>(slot)];
  if (unit.kind == RecordKind::kDevice) {
    endDeviceLine(unit);
  } else if (unit.writing && unit.writeFill > 0) {
    try {
      flushUnit(unit, StatementKind::kClose);
    } catch (const RunError&) {
      // The unit is gone either way; closing it again at the end of the
      // run would only repeat the same failure.
      releaseSlot(slot);
      throw;
    }
  }
  releaseSlot(slot);
}

void endDeviceLine(Unit& unit) {
  switch (unit.device) {
  case DeviceKind::kConsole:
    if (unit.deviceLineOpen && consoleLineOpen()) {
      writeConsole("\r\n");
      setConsoleLineOpen(false);
    }
    break;
  case DeviceKind::kError:
    if (unit.deviceLineOpen) {
      writeErrorStream("\r\n");
    }
    break;
  case DeviceKind::kNone:
  case DeviceKind::kNull:
  case DeviceKind::kPrinter:
  case DeviceKind::kSerial: break;
  }
  unit.deviceLineOpen = false;
}

void shutdownUnits() {
  for (int i = 0; i < kUnitSlots; ++i) {
    if (table.used[static_cast<std::size_t>(i)]) {
      closeUnit(table.slots[static_cast<std::size_t>(i)].number);
    }
  }
}

Unit* connectedUnit(UnitNumber number) {
  int slot = slotOf(number);
  return slot < 0 ? nullptr : &table.slots[static_cast<std::size_t>(slot)];
}

Unit* findUnit(UnitNumber number, Direction direction) {
  if (number != kConsoleUnit) {
    if (Unit* unit = connectedUnit(number)) {
      return unit;
    }
    // Numbers that reach the console while nothing is connected to them.
    bool consoleNumber = direction == Direction::kRead
                             ? number == 5
                             : (number == 6 || number == 0);
    if (!consoleNumber) {
      return nullptr;
    }
  }
  return direction == Direction::kRead ? &consoleInput : &consoleOutput;
}

// The supplied final LF is not in the file.
std::uint64_t readPosition(const Unit& unit) {
  if (unit.finalLineFeedSupplied) {
    return unit.blockOffset;
  }
  return unit.blockOffset + unit.input.next;
}

std::optional<platform::FileStamp> unitStamp(const Unit& unit) {
  if (unit.kind != RecordKind::kDiskFile) {
    return std::nullopt;
  }
  return os().stamp(unit.handle);
}

// The next refill reads from the position. Positions handed back here lie
// before the end of the file, so that refill delivers bytes of the file
// and sets what the end-of-file rule needs to know.
void resumeReadingAt(Unit& unit, std::uint64_t position) {
  unit.input.next = 0;
  unit.input.fill = 0;
  unit.readBlock[0] = '\0';
  unit.blockOffset = position;
  unit.finalLineFeedSupplied = false;
  unit.lastByteWasLineFeed = true;
  unit.atEnd = false;
}

int refillInput(Unit& unit) {
  if (unit.atEnd) {
    return kNoMoreBytes;
  }
  // A printer or serial device has a handle and is read through it like a
  // file (a device ignores the offset).
  if (unit.kind == RecordKind::kDevice && unit.handle == platform::kNoFile) {
    // NUL (and ERR, which has nothing to read) are at their end at once.
    int byte = unit.consoleBound ? refillConsoleInput() : kNoMoreBytes;
    if (byte == kNoMoreBytes) {
      unit.atEnd = true;
    }
    return byte;
  }
  InputBuffer& in = unit.input;
  if (unit.finalLineFeedSupplied) {
    unit.atEnd = true;
    return kNoMoreBytes;
  }
  std::uint64_t offset = unit.blockOffset + in.fill;
  platform::TransferResult got =
      os().readAt(unit.handle, offset, {unit.readBlock, kDiskReadBlock});
  if (got.error != SysError::kNone) {
    // Nothing is used up: the next statement tries the same block again.
    return kByteReadFailed;
  }
  unit.blockOffset = offset;
  in.data = unit.readBlock;
  in.next = 0;
  if (got.count == 0) {
    // A final line without its LF is still a record: supply the LF once.
    if (unit.lastByteWasLineFeed) {
      in.fill = 0;
      unit.atEnd = true;
      return kNoMoreBytes;
    }
    unit.readBlock[0] = '\n';
    unit.readBlock[1] = '\0';
    in.fill = 1;
    unit.finalLineFeedSupplied = true;
  } else {
    in.fill = got.count;
    unit.readBlock[got.count] = '\0';
    unit.lastByteWasLineFeed = unit.readBlock[got.count - 1] == '\n';
  }
  return static_cast<unsigned char>(in.data[in.next++]);
}

int endReadRecord(Unit& unit) {
  for (;;) {
    InputBuffer& in = *unit.in;
    if (in.next < in.fill) {
      const char* start = in.data + in.next;
      const void* lf = std::memchr(start, '\n', in.fill - in.next);
      if (lf != nullptr) {
        in.next += static_cast<std::size_t>(static_cast<const char*>(lf) -
                                            start) + 1;
        return 0;
      }
      in.next = in.fill;
    }
    int byte = refillInput(unit);
    if (byte < 0) {
      return byte;
    }
    if (byte == '\n') {
      return 0;
    }
  }
}

void startOutput(Unit& unit) {
  if (unit.atEnd) {
    raiseIo(IoCondition::kReadAfterEnd, StatementKind::kWrite, unit.name());
  }
  if (unit.writing || unit.kind == RecordKind::kDevice) {
    return;
  }
  // The old content goes with the first write statement, not with the
  // open: a run that writes nothing leaves the file as it was.
  std::uint64_t position = readPosition(unit);
  std::optional<std::uint64_t> size = os().fileSize(unit.handle);
  if (!size || *size > position) {
    SysError error = os().setEnd(unit.handle, position);
    if (error != SysError::kNone) {
      raiseIo(writeCondition(error), StatementKind::kWrite, unit.name());
    }
  }
  unit.writing = true;
  unit.writeOffset = position;
  unit.writeFill = 0;
}

void flushUnit(Unit& unit, StatementKind statement) {
  if (unit.writeFill == 0) {
    return;
  }
  platform::TransferResult put = os().writeAt(
      unit.handle, unit.writeOffset, {unit.writeBlock, unit.writeFill});
  unit.writeOffset += put.count;
  if (put.error != SysError::kNone || put.count < unit.writeFill) {
    unit.writeFill = 0;
    raiseIo(put.error == SysError::kNone ? IoCondition::kDiskFull
                                          : writeCondition(put.error),
            statement, unit.name());
  }
  unit.writeFill = 0;
}

void putBytes(Unit& unit, std::string_view bytes) {
  while (!bytes.empty()) {
    std::size_t room = kDiskWriteBlock - unit.writeFill;
    std::size_t take = std::min(room, bytes.size());
    std::memcpy(unit.writeBlock + unit.writeFill, bytes.data(), take);
    unit.writeFill += take;
    bytes.remove_prefix(take);
    if (unit.writeFill == kDiskWriteBlock) {
      flushUnit(unit, StatementKind::kWrite);
    }
  }
}

void putBlanks(Unit& unit, std::int32_t n) {
  static constexpr std::string_view kBlanks = "                ";
  while (n > 0) {
    std::size_t take = std::min<std::size_t>(kBlanks.size(),
                                             static_cast<std::size_t>(n));
    putBytes(unit, kBlanks.substr(0, take));
    n -= static_cast<std::int32_t>(take);
  }
}

void endOutputRecord(Unit& unit) { putBytes(unit, "\r\n"); }

StatementKind lastStatement() { return lastKind; }

void noteStatement(StatementKind kind) { lastKind = kind; }

void resetUnitsForTesting() {
  for (int i = 0; i < kUnitSlots; ++i) {
    if (table.used[static_cast<std::size_t>(i)]) {
      releaseSlot(i);
    }
  }
  lastKind = StatementKind::kWrite;
  consoleInput = makeConsoleEntry(5);
  consoleOutput = makeConsoleEntry(6);
  resetArgumentCursorForTesting();
}

}  // namespace korvelin::recordio
