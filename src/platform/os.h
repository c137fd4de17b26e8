#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvelin::platform {

/// Why the operating system refused a file operation, in the terms the record
/// layer reports. Each platform maps its own error numbers onto these.
enum class SysError {
  kNone,
  kNotFound,          ///< no entry under the name
  kPathNotFound,      ///< a directory of the path does not exist
  kAccessDenied,      ///< permissions, a directory, a read-only location
  kExists,            ///< exclusive creation found an entry
  kTooManyOpenFiles,  ///< the process or the system has too many files open
  kBadName,           ///< the name is malformed for this file system
  kDiskFull,          ///< no space left
  kInterrupted,       ///< the call was interrupted before it did anything
  kOther,             ///< any other failure
};

/// What an open asks for.
enum class Access { kReadWrite, kReadOnly, kWriteOnly };

/// An open file of the operating system; -1 when none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

/// Identity of an underlying file: the same pair means the same file,
/// whichever name or link it was opened under.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

/// What changes whenever a file's content changes: its size and the times
/// of its last content and status changes, in nanoseconds.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  std::int64_t changed = 0;
  bool operator==(const FileStamp&) const = default;
};

struct OpenResult {
  FileHandle handle = kNoFile;
  SysError error = SysError::kNone;
};

struct TransferResult {
  std::size_t count = 0;  ///< bytes transferred
  SysError error = SysError::kNone;
};

enum class StandardStream { kInput, kOutput, kError };

/// Every operating-system service the program uses, in one place. The
/// record layer and the runtime call nothing else; tests replace it with a
/// fake that records or fails what they need.
class Os {
 public:
  virtual ~Os() = default;

  // Files. Names are passed as given: relative to the working directory
  // unless they hold a path. A name holding a NUL byte is kBadName.

  /// Whether the file system reports an entry under the name.
  virtual bool exists(std::string_view name) = 0;
  /// Creates the file, failing with kExists if it is already there.
  virtual OpenResult createExclusive(std::string_view name, Access access) = 0;
  /// Opens an existing file without truncating or locking it. A directory
  /// is refused with kAccessDenied in every access mode.
  virtual OpenResult openExisting(std::string_view name, Access access) = 0;
  /// Opens a printer or serial device under its reserved name (PRN, LPT1,
  /// COM1, AUX, LINE, ...) without locks; the unit reads through the handle.
  /// A system without such devices refuses every name with kBadName, which
  /// is also what this base answers for a fake that does not care.
  virtual OpenResult openDevice(std::string_view name, Access access);
  /// Reads at most buffer.size() bytes at the offset; count 0 at the end.
  virtual TransferResult readAt(FileHandle file, std::uint64_t offset,
                                std::span<char> buffer) = 0;
  /// Writes bytes at the offset; a short count with an error when the
  /// system stops early.
  virtual TransferResult writeAt(FileHandle file, std::uint64_t offset,
                                 std::span<const char> bytes) = 0;
  /// The file's current size in bytes.
  virtual std::optional<std::uint64_t> fileSize(FileHandle file) = 0;
  /// Cuts the file at the offset.
  virtual SysError setEnd(FileHandle file, std::uint64_t offset) = 0;
  virtual SysError close(FileHandle file) = 0;
  virtual std::optional<FileIdentity> identity(FileHandle file) = 0;
  /// Identity of the file a name designates, following links.
  virtual std::optional<FileIdentity> identityOf(std::string_view name) = 0;
  /// The file's stamp, or nullopt when the system cannot tell (then nothing
  /// read from the file is reused across opens).
  virtual std::optional<FileStamp> stamp(FileHandle file);

  // Standard streams, byte for byte, without any translation.

  /// One read request of at most buffer.size() bytes from standard input.
  virtual TransferResult readStandardInput(std::span<char> buffer) = 0;
  /// Writes every byte, retrying after partial writes.
  virtual TransferResult writeStandard(StandardStream stream,
                                       std::span<const char> bytes) = 0;
  /// Whether standard input is a character device (a terminal or the null
  /// device) rather than a file or a pipe.
  virtual bool standardInputIsCharacterDevice() = 0;
  /// Whether standard output is a terminal a person may be watching.
  /// Unless it is, console output may be collected and written in larger
  /// pieces. The base answers yes: every byte goes out as it is written.
  virtual bool standardOutputIsTerminal();

  // Process.

  /// The arguments after the program name.
  virtual const std::vector<std::string>& arguments() = 0;
  virtual std::optional<std::string> environment(std::string_view name) = 0;
  /// Hands the text to the command interpreter as one command, waits until
  /// it has ended and returns its status; nullopt when no interpreter could
  /// be started.
  virtual std::optional<int> runCommand(std::string_view commandText) = 0;
  /// Ends the process at once with the status.
  [[noreturn]] virtual void exitProcess(int status) = 0;
};

/// The operating system of this build; arguments are those given to main.
Os& hostOs(int argc, char** argv);

/// The services in use: the host's unless a test installed another.
Os& os();

/// Installs the services to use from now on (a test fake, or the host).
void installOs(Os& services);

}  // namespace korvelin::platform

namespace korvelin::platform {

/// Ends the process through the services in use.
[[noreturn]] void exitProcess(int status);

}  // namespace korvelin::platform
