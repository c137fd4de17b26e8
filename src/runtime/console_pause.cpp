#include "runtime/console_pause.h"

#include <array>

#include "platform/os.h"
#include "recordio/console.h"
#include "recordio/units.h"

namespace korvelin {
namespace {

constexpr std::string_view kPrompt =
    "Pause - Please enter a blank line (to continue) or a DOS command.\r\n";

// A reply carries at most 127 characters.
constexpr std::size_t kReplyCapacity = 127;

}  // namespace

void consolePause() {
  using recordio::ConsoleLine;
  if (recordio::consoleLineOpen()) {
    recordio::writeConsole("\r\n");
  }
  recordio::writeConsole(kPrompt);

  std::array<char, kReplyCapacity> store{};
  bool interactive = platform::os().standardInputIsCharacterDevice();
  ConsoleLine reply = interactive ? recordio::readConsoleReply(store)
                                  : recordio::readConsoleLine(store);
  if (reply.status != ConsoleLine::Status::kLine) {
    // The pause is no statement of its own: the report names the one that
    // ran before it.
    raiseIo(reply.status == ConsoleLine::Status::kEndOfFile
                ? IoCondition::kEndOfFile
                : IoCondition::kReadFailure,
            recordio::lastStatement(), "CON");
  }
  // A reply longer than the store is never run in part: a cut command could
  // do something other than what was typed.
  if (reply.cut) {
    return;
  }
  std::string_view text(store.data(), reply.length);
  std::size_t end = text.find_last_not_of(" \t");
  text = end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
  if (text.size() <= 1) {
    return;
  }
  runCommandLine(text);
}

std::optional<int> runCommandLine(std::string_view reply) {
  // The command writes to the same console: what the run wrote goes first.
  recordio::flushConsole();
  return platform::os().runCommand(reply);
}

}  // namespace korvelin
