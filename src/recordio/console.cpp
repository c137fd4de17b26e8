#include "recordio/console.h"

#include <algorithm>
#include <array>

#include "platform/os.h"
#include "recordio/units.h"

namespace korvelin::recordio {
namespace {

using platform::os;

constexpr char kControlZ = 26;

struct ConsoleInput {
  // One more than a block, for the LF added to a short final block.
  std::array<char, kDeviceLine + 1 + kInputPadding> data{};
  InputBuffer buffer{data.data(), 0, 0};
};

bool lineOpen = false;
ConsoleInput input;

// Console output bound for a file or a pipe is collected here and written
// in pieces, before anything that could let another writer or a reader of
// the console in between: a read of standard input (a pause, a prompt, data
// typed for CON), a command, a report on standard error, the end of the
// run. At a terminal every record goes out at once.
struct ConsoleOutput {
  bool decided = false;
  bool collect = false;
  std::array<char, 8192> bytes{};
  std::size_t fill = 0;
};

ConsoleOutput output;

bool collectingOutput() {
  if (!output.decided) {
    output.collect = !os().standardOutputIsTerminal();
    output.decided = true;
  }
  return output.collect;
}

int nextConsoleByte() {
  InputBuffer& in = input.buffer;
  if (in.next < in.fill) {
    return static_cast<unsigned char>(in.data[in.next++]);
  }
  return refillConsoleInput();
}

}  // namespace

InputBuffer& consoleInputBuffer() { return input.buffer; }

int refillConsoleInput() {
  flushConsole();
  InputBuffer& in = input.buffer;
  platform::TransferResult got =
      os().readStandardInput({input.data.data(), kDeviceLine});
  if (got.error != platform::SysError::kNone) {
    return kByteReadFailed;
  }
  std::size_t count = got.count;
  // A line holding control-Z alone ends console input; so does a read that
  // delivers nothing. The rest of such a block is not used. The end is not
  // kept: a later read asks standard input again, as a console does after
  // control-Z.
  if (count == 0 || (count >= 3 && input.data[count - 3] == kControlZ)) {
    input.data[0] = '\0';
    in.fill = 0;
    in.next = 0;
    return kNoMoreBytes;
  }
  // A final line without its line end is still a line.
  if (count < kDeviceLine && input.data[count - 1] != '\n') {
    input.data[count++] = '\n';
  }
  input.data[count] = '\0';
  in.fill = count;
  in.next = 0;
  return static_cast<unsigned char>(in.data[in.next++]);
}

bool consoleLineOpen() { return lineOpen; }

void setConsoleLineOpen(bool open) { lineOpen = open; }

void flushConsole() {
  if (output.fill > 0) {
    os().writeStandard(platform::StandardStream::kOutput,
                       {output.bytes.data(), output.fill});
    output.fill = 0;
  }
}

void writeConsole(std::string_view bytes) {
  if (!collectingOutput()) {
    os().writeStandard(platform::StandardStream::kOutput,
                       {bytes.data(), bytes.size()});
    return;
  }
  if (bytes.size() > output.bytes.size() - output.fill) {
    flushConsole();
    if (bytes.size() > output.bytes.size()) {
      os().writeStandard(platform::StandardStream::kOutput,
                         {bytes.data(), bytes.size()});
      return;
    }
  }
  std::copy(bytes.begin(), bytes.end(), output.bytes.begin() +
                                            static_cast<std::ptrdiff_t>(output.fill));
  output.fill += bytes.size();
}

void writeErrorStream(std::string_view bytes) {
  flushConsole();
  os().writeStandard(platform::StandardStream::kError,
                     {bytes.data(), bytes.size()});
}

ConsoleLine readConsoleLine(std::span<char> store) {
  ConsoleLine line;
  for (;;) {
    int byte = nextConsoleByte();
    if (byte == kNoMoreBytes || byte == kByteReadFailed) {
      line.status = byte == kNoMoreBytes ? ConsoleLine::Status::kEndOfFile
                                       : ConsoleLine::Status::kReadFailed;
      return line;
    }
    if (byte == '\n') {
      return line;
    }
    if (byte == '\r') {
      // Whatever follows a CR belongs to the line end.
      int after = nextConsoleByte();
      if (after == kByteReadFailed) {
        line.status = ConsoleLine::Status::kReadFailed;
      }
      return line;
    }
    if (line.length < store.size()) {
      store[line.length++] = static_cast<char>(byte);
    } else {
      line.cut = true;
    }
  }
}

ConsoleLine readConsoleReply(std::span<char> store) {
  flushConsole();
  ConsoleLine line;
  std::array<char, 128> block{};
  platform::TransferResult got = os().readStandardInput(block);
  if (got.error != platform::SysError::kNone) {
    line.status = ConsoleLine::Status::kReadFailed;
    return line;
  }
  std::size_t count = got.count;
  bool complete = count == 0 || block[count - 1] == '\n' || count < block.size();
  // A terminal delivers "text\n", a console of other systems "text\r\n".
  if (count > 0 && block[count - 1] == '\n') {
    --count;
    if (count > 0 && block[count - 1] == '\r') {
      --count;
    }
  }
  if (!complete) {
    // The line goes on past one request: pass over the rest of it so it
    // is not taken as the next reply.
    line.cut = true;
    for (;;) {
      std::array<char, 128> rest{};
      platform::TransferResult more = os().readStandardInput(rest);
      if (more.error != platform::SysError::kNone || more.count == 0 ||
          rest[more.count - 1] == '\n') {
        break;
      }
    }
  }
  // A control-Z typed as the reply continues the run like a blank line.
  if (count == 1 && block[0] == kControlZ) {
    count = 0;
  }
  std::size_t keep = count < store.size() ? count : store.size();
  if (count > store.size()) {
    line.cut = true;
  }
  for (std::size_t i = 0; i < keep; ++i) {
    store[i] = block[i];
  }
  line.length = keep;
  return line;
}

void resetConsoleForTesting() {
  lineOpen = false;
  output.decided = false;
  output.fill = 0;
  input.buffer = InputBuffer{input.data.data(), 0, 0};
}

}  // namespace korvelin::recordio
