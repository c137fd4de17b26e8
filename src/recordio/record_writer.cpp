#include "recordio/record_writer.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "recordio/console.h"
#include "recordio/number_editing.h"

namespace korvelin::recordio {
namespace {

constexpr std::int32_t kFreeRealWidth = 15;
constexpr std::int32_t kFreeIntegerWidth = 11;
constexpr std::int32_t kLineBudget = 79;

enum class ItemKind { kCharacter, kBlanks, kFixed, kDollar };

struct FormatItem {
  ItemKind kind = ItemKind::kBlanks;
  std::int32_t width = 0;     ///< A: 0 for "the whole value"; X: the count
  std::int32_t decimals = 0;  ///< F only
};

constexpr std::size_t kMaxFormatItems = 32;

struct Format {
  std::array<FormatItem, kMaxFormatItems> items{};
  std::size_t count = 0;
};

std::int32_t parseCount(std::string_view text, std::size_t& i) {
  std::int32_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = std::min(value * 10 + (text[i] - '0'), 100000);
    ++i;
  }
  return value;
}

// "(4X,F5.2,4X,$)": the items between the opening parenthesis and its
// matching closing one; blanks and whatever follows are ignored.
Format parseFormat(std::string_view text) {
  std::array<char, 256> packed{};
  std::size_t length = 0;
  for (char c : text) {
    if (c != ' ' && length < packed.size()) {
      packed[length++] = c;
    }
  }
  std::string_view f(packed.data(), length);
  Format format;
  std::size_t i = f.find('(');
  if (i == std::string_view::npos) {
    return format;
  }
  ++i;
  while (i < f.size() && f[i] != ')' && format.count < kMaxFormatItems) {
    if (f[i] == ',') {
      ++i;
      continue;
    }
    FormatItem item;
    std::size_t before = i;
    std::int32_t repeat = parseCount(f, i);
    char letter = i < f.size() ? static_cast<char>(f[i] & ~0x20) : '\0';
    if (f[i] == '$') {
      item.kind = ItemKind::kDollar;
      ++i;
    } else if (letter == 'X') {
      item.kind = ItemKind::kBlanks;
      item.width = i == before ? 1 : repeat;
      ++i;
    } else if (letter == 'A') {
      ++i;
      item.kind = ItemKind::kCharacter;
      item.width = parseCount(f, i);
    } else if (letter == 'F') {
      ++i;
      item.kind = ItemKind::kFixed;
      item.width = std::clamp(parseCount(f, i), 1, kMaxFieldWidth);
      if (i < f.size() && f[i] == '.') {
        ++i;
        item.decimals = std::min(parseCount(f, i), kMaxFieldWidth);
      }
    } else {
      // Edit items this program never writes are passed over.
      ++i;
      continue;
    }
    format.items[format.count++] = item;
  }
  return format;
}

// The record being built for the console or another device: shown when it
// ends, without its first character (the leading blank stands for "new
// line").
struct DeviceRecord {
  std::array<char, 256> bytes{};
  std::size_t length = 0;
};

// Where a statement's record goes.
enum class Sink { kFile, kConsole, kErrorStream, kDiscard };

struct WriteStatement {
  bool active = false;
  Sink sink = Sink::kConsole;
  Unit* unit = nullptr;  ///< the numbered unit, or nullptr for the console
  bool freeForm = true;
  Format format;
  std::size_t itemIndex = 0;
  bool dollar = false;
  // Free-form record state.
  std::int32_t lineBudget = kLineBudget;
  bool afterNumber = false;
  // Blanks owed by the console record (file records keep theirs in the
  // unit, across statements).
  std::int32_t consolePending = 0;
  DeviceRecord record;
};

WriteStatement statement;

std::int32_t& pendingBlanks() {
  return statement.sink == Sink::kFile ? statement.unit->pendingBlanks
                                       : statement.consolePending;
}

// A device shows a record when it ends, without its first character: the
// line end of the previous record is written when the next one starts.
void showConsoleRecord() {
  DeviceRecord& record = statement.record;
  bool errorStream = statement.sink == Sink::kErrorStream;
  bool lineOpen = errorStream ? statement.unit->deviceLineOpen
                              : consoleLineOpen();
  std::array<char, 2 + sizeof(record.bytes)> line{};
  std::size_t length = 0;
  if (lineOpen) {
    line[length++] = '\r';
    line[length++] = '\n';
  }
  for (std::size_t i = 1; i < record.length; ++i) {
    line[length++] = record.bytes[i];
  }
  record.length = 0;
  if (statement.sink == Sink::kDiscard) {
    return;
  }
  if (errorStream) {
    writeErrorStream({line.data(), length});
  } else {
    writeConsole({line.data(), length});
    setConsoleLineOpen(true);
  }
  if (statement.unit != nullptr) {
    statement.unit->deviceLineOpen = true;
  }
}

void appendRaw(std::string_view bytes) {
  if (statement.sink == Sink::kFile) {
    putBytes(*statement.unit, bytes);
    return;
  }
  DeviceRecord& record = statement.record;
  for (char c : bytes) {
    if (record.length == record.bytes.size()) {
      // Longer than any line a device shows: hand on what is there and go
      // on, rather than lose it.
      showConsoleRecord();
    }
    record.bytes[record.length++] = c;
  }
}

void appendBlanks(std::int32_t n) {
  static constexpr std::string_view kBlanks = "                ";
  while (n > 0) {
    std::size_t take =
        std::min<std::size_t>(kBlanks.size(), static_cast<std::size_t>(n));
    appendRaw(kBlanks.substr(0, take));
    n -= static_cast<std::int32_t>(take);
  }
}

// Owed blanks are paid immediately before the next characters.
void put(std::string_view bytes) {
  std::int32_t& owed = pendingBlanks();
  std::int32_t n = owed;
  owed = 0;
  appendBlanks(n);
  appendRaw(bytes);
}

void endRecord() {
  pendingBlanks() = 0;
  if (statement.sink == Sink::kFile) {
    endOutputRecord(*statement.unit);
  } else {
    showConsoleRecord();
  }
}

// Carries out non-data items up to the next data item; returns it, or
// nullptr at the end of the format.
const FormatItem* advanceToDataItem(bool atEnd) {
  Format& format = statement.format;
  while (statement.itemIndex < format.count) {
    const FormatItem& item = format.items[statement.itemIndex];
    switch (item.kind) {
    case ItemKind::kBlanks: pendingBlanks() += item.width; break;
    case ItemKind::kDollar:
      if (atEnd) {
        statement.dollar = true;
      }
      break;
    case ItemKind::kCharacter:
    case ItemKind::kFixed: return &item;
    }
    ++statement.itemIndex;
  }
  return nullptr;
}

// Free form: an item fits when its width is less than the columns left.
void freeNumber(std::string_view text, std::int32_t fieldWidth) {
  if (statement.afterNumber) {
    ++fieldWidth;
  }
  std::int32_t justify = fieldWidth - static_cast<std::int32_t>(text.size());
  if (fieldWidth >= statement.lineBudget) {
    // A number never splits: it starts the next record, owed blanks first.
    endRecord();
    statement.lineBudget = kLineBudget;
  }
  pendingBlanks() += justify;
  put(text);
  statement.lineBudget -= fieldWidth;
  statement.afterNumber = true;
}

void requireActive() {
  if (!statement.active) {
    throw std::logic_error("write item outside a write statement");
  }
}

}  // namespace

void beginWrite(UnitNumber target, std::string_view format) {
  noteStatement(StatementKind::kWrite);
  Unit* unit = nullptr;
  Sink sink = Sink::kConsole;
  if (target != kConsoleUnit) {
    unit = findUnit(target, Direction::kWrite);
    if (unit == nullptr) {
      throw std::logic_error("write to a unit that is not connected");
    }
    startOutput(*unit);
    switch (unit->device) {
    case DeviceKind::kNone: sink = Sink::kFile; break;
    case DeviceKind::kConsole: sink = Sink::kConsole; break;
    case DeviceKind::kError: sink = Sink::kErrorStream; break;
    case DeviceKind::kNull:
    case DeviceKind::kPrinter:
    case DeviceKind::kSerial: sink = Sink::kDiscard; break;
    }
  }
  bool keepOwed = statement.unit == unit && sink == Sink::kFile;
  statement.active = true;
  statement.sink = sink;
  statement.unit = unit;
  statement.freeForm = format.empty();
  statement.itemIndex = 0;
  statement.dollar = false;
  statement.record.length = 0;
  if (!keepOwed) {
    statement.consolePending = 0;
  }
  if (statement.freeForm) {
    // Every free-form record starts with a blank.
    pendingBlanks() = 1;
    statement.lineBudget = kLineBudget;
    statement.afterNumber = false;
  } else {
    statement.format = parseFormat(format);
  }
}

void writeCharacter(std::string_view value) {
  requireActive();
  if (statement.freeForm) {
    auto length = static_cast<std::int32_t>(value.size());
    while (length >= statement.lineBudget) {
      // A text wider than the line fills it and goes on in a new record.
      std::size_t part = static_cast<std::size_t>(statement.lineBudget);
      put(value.substr(0, part));
      value.remove_prefix(part);
      length = static_cast<std::int32_t>(value.size());
      endRecord();
      pendingBlanks() = 1;
      statement.lineBudget = kLineBudget;
    }
    put(value);
    statement.lineBudget -= length;
    statement.afterNumber = false;
    return;
  }
  const FormatItem* item = advanceToDataItem(false);
  if (item == nullptr || item->kind != ItemKind::kCharacter) {
    return;
  }
  ++statement.itemIndex;
  auto width = static_cast<std::size_t>(item->width);
  if (width == 0 || value.size() >= width) {
    put(width == 0 ? value : value.substr(0, width));
  } else {
    pendingBlanks() += static_cast<std::int32_t>(width - value.size());
    put(value);
  }
}

void writeReal(float value) {
  requireActive();
  if (statement.freeForm) {
    FreeText text = editFreeReal(value);
    freeNumber(text.text(), kFreeRealWidth);
    return;
  }
  const FormatItem* item = advanceToDataItem(false);
  if (item == nullptr || item->kind != ItemKind::kFixed) {
    return;
  }
  ++statement.itemIndex;
  FixedField field = editFixed(value, item->width, item->decimals);
  pendingBlanks() += field.blanks;
  put(field.text());
}

void writeInteger(std::int32_t value) {
  requireActive();
  if (statement.freeForm) {
    FreeText text = editFreeInteger(value);
    freeNumber(text.text(), kFreeIntegerWidth);
  }
}

void endWrite() {
  requireActive();
  statement.active = false;
  if (statement.freeForm) {
    if (pendingBlanks() == 1 && statement.lineBudget == kLineBudget) {
      // An item-less record is its leading blank alone.
      put("");
    }
    endRecord();
    return;
  }
  advanceToDataItem(true);
  if (statement.dollar) {
    return;
  }
  endRecord();
}

}  // namespace korvelin::recordio
