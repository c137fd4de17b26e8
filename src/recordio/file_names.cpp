#include "recordio/file_names.h"

#include <algorithm>
#include <string>

#include "platform/os.h"
#include "recordio/console.h"

namespace korvelin::recordio {
namespace {

// The next command-line argument not yet used as a file name (0 is the
// first argument after the program name).
std::size_t argumentCursor = 0;

struct Reserved {
  std::string_view name;
  DeviceKind kind;
  bool extensionMakesFile;
};

constexpr std::array<Reserved, 15> kReserved = {{
    {"CON", DeviceKind::kConsole, false},
    {"USER", DeviceKind::kConsole, true},
    {"ERR", DeviceKind::kError, true},
    {"NUL", DeviceKind::kNull, false},
    {"PRN", DeviceKind::kPrinter, false},
    {"LPT1", DeviceKind::kPrinter, false},
    {"LPT2", DeviceKind::kPrinter, false},
    {"LPT3", DeviceKind::kPrinter, false},
    {"LPT4", DeviceKind::kPrinter, false},
    {"COM1", DeviceKind::kSerial, false},
    {"COM2", DeviceKind::kSerial, false},
    {"COM3", DeviceKind::kSerial, false},
    {"COM4", DeviceKind::kSerial, false},
    {"AUX", DeviceKind::kSerial, false},
    {"LINE", DeviceKind::kSerial, true},
}};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto upper = [](char c) {
             return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
           };
           return upper(x) == upper(y);
         });
}

std::string_view trimBlanks(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view keep(std::string_view name,
                      std::array<char, kMaxNameLength>& store) {
  std::size_t length = std::min(name.size(), store.size());
  std::copy_n(name.begin(), length, store.begin());
  return {store.data(), length};
}

}  // namespace

DeviceName classifyDeviceName(std::string_view name) {
  std::size_t dot = name.rfind('.');
  std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
  bool hasExtension = dot != std::string_view::npos && dot + 1 < name.size();
  for (const Reserved& reserved : kReserved) {
    if (!equalsIgnoringCase(base, reserved.name)) {
      continue;
    }
    if (hasExtension && reserved.extensionMakesFile) {
      return {};
    }
    // USER is the console under the name CON.
    return {reserved.kind,
            reserved.kind == DeviceKind::kConsole ? "CON" : reserved.name};
  }
  return {};
}

std::string_view obtainBlankName(UnitNumber unit,
                                 std::array<char, kMaxNameLength>& store) {
  const auto& arguments = platform::os().arguments();
  bool argumentsLeft = argumentCursor < arguments.size();
  if (argumentsLeft) {
    std::string_view argument = arguments[argumentCursor++];
    argument = argument.substr(0, std::min(argument.size(), kMaxNameLength));
    std::string_view name = trimBlanks(argument);
    if (!name.empty()) {
      return keep(name, store);
    }
  }
  if (!argumentsLeft && consoleLineOpen()) {
    writeConsole("\r\n");
  }
  std::string prompt =
      "File name missing or blank - please enter file name\r\nUNIT " +
      std::to_string(unit) + "? ";
  for (;;) {
    writeConsole(prompt);
    ConsoleLine line = readConsoleLine(store);
    if (line.status != ConsoleLine::Status::kLine) {
      raiseIo(line.status == ConsoleLine::Status::kEndOfFile
                  ? IoCondition::kEndOfFile
                  : IoCondition::kReadFailure,
              StatementKind::kOpen, "");
    }
    std::string_view name = trimBlanks({store.data(), line.length});
    if (!name.empty()) {
      // Move the trimmed name to the front of the store.
      std::copy(name.begin(), name.end(), store.begin());
      return {store.data(), name.size()};
    }
  }
}

void resetArgumentCursorForTesting() { argumentCursor = 0; }

}  // namespace korvelin::recordio
