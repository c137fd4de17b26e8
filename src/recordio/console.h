#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "recordio/units.h"

namespace korvelin::recordio {

/// Whether the last line shown on the console still lacks its line end.
bool consoleLineOpen();
void setConsoleLineOpen(bool open);

/// Writes bytes to console output as they are. When standard output is not
/// a terminal they may be held back until flushConsole.
void writeConsole(std::string_view bytes);

/// Writes out console output held back so far.
void flushConsole();

/// Writes bytes to standard error as they are, after the console output
/// held back so far.
void writeErrorStream(std::string_view bytes);

/// Result of reading one line of console input.
struct ConsoleLine {
  enum class Status { kLine, kEndOfFile, kReadFailed };
  Status status = Status::kLine;
  std::size_t length = 0;  ///< characters stored, at most the store's size
  bool cut = false;        ///< the line held more than the store takes
};

/// Reads the next line of console input through the console's 132-byte
/// line buffer, as from a file or a pipe: a line ends at LF, CR LF or CR;
/// input ends when a read delivers nothing or a block's third-last byte is
/// control-Z. Characters beyond the store are passed over.
ConsoleLine readConsoleLine(std::span<char> store);

/// Reads one reply from an interactive console (or the null device): one
/// read request, the line end removed. A line longer than the store is
/// drained and reported cut.
ConsoleLine readConsoleReply(std::span<char> store);

/// Console input as a unit reads it: the buffer shared by the pause, the
/// file-name prompt and a unit connected to CON.
InputBuffer& consoleInputBuffer();

/// Reads the next block of console input into that buffer and returns its
/// first byte, or kNoMoreBytes / kByteReadFailed.
int refillConsoleInput();

/// Forgets console state, for tests that run the layer several times.
void resetConsoleForTesting();

}  // namespace korvelin::recordio
