#include <windows.h>

#include <cstring>
#include <limits>

#include "platform/command_line.h"
#include "platform/os.h"

namespace korvelin::platform {
namespace {

// Names handed to the system need a terminating NUL. The record layer never
// passes more than 259 characters, the classic limit of a Windows path; a
// name with a NUL inside cannot be expressed at all.
class CName {
 public:
  explicit CName(std::string_view name) {
    if (name.size() >= sizeof(text_) ||
        name.find('\0') != std::string_view::npos) {
      return;
    }
    std::memcpy(text_, name.data(), name.size());
    text_[name.size()] = '\0';
    valid_ = true;
  }
  bool valid() const { return valid_; }
  const char* c_str() const { return text_; }

 private:
  char text_[MAX_PATH + 1] = {};
  bool valid_ = false;
};

HANDLE toHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle fromHandle(HANDLE handle) {
  return reinterpret_cast<FileHandle>(handle);
}

SysError fromWin32(DWORD error) {
  switch (error) {
  case ERROR_SUCCESS: return SysError::kNone;
  case ERROR_FILE_NOT_FOUND: return SysError::kNotFound;
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_DRIVE:
  case ERROR_BAD_NETPATH:
  case ERROR_BAD_NET_NAME: return SysError::kPathNotFound;
  case ERROR_ACCESS_DENIED:
  case ERROR_SHARING_VIOLATION:
  case ERROR_LOCK_VIOLATION:
  case ERROR_WRITE_PROTECT:
  case ERROR_INVALID_HANDLE: return SysError::kAccessDenied;
  case ERROR_FILE_EXISTS:
  case ERROR_ALREADY_EXISTS: return SysError::kExists;
  case ERROR_TOO_MANY_OPEN_FILES: return SysError::kTooManyOpenFiles;
  case ERROR_INVALID_NAME:
  case ERROR_BAD_PATHNAME:
  case ERROR_FILENAME_EXCED_RANGE: return SysError::kBadName;
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL: return SysError::kDiskFull;
  case ERROR_OPERATION_ABORTED: return SysError::kInterrupted;
  default: return SysError::kOther;
  }
}

// A missing file in an existing folder is created by the caller, so "file
// not found" from an open that did not create means a folder is missing.
SysError pathError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND ? SysError::kPathNotFound
                                       : fromWin32(error);
}

DWORD desiredAccess(Access access) {
  switch (access) {
  case Access::kReadWrite: return GENERIC_READ | GENERIC_WRITE;
  case Access::kReadOnly: return GENERIC_READ;
  case Access::kWriteOnly: return GENERIC_WRITE;
  }
  return GENERIC_READ | GENERIC_WRITE;
}

// Other programs may read and write the file while it is open: no access
// is denied to them. Handles are not inherited by the pause's command.
OpenResult openFile(std::string_view name, Access access, DWORD disposition) {
  CName path(name);
  if (!path.valid()) {
    return {kNoFile, SysError::kBadName};
  }
  HANDLE handle = ::CreateFileA(path.c_str(), desiredAccess(access),
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return {kNoFile, pathError(::GetLastError())};
  }
  return {fromHandle(handle), SysError::kNone};
}

OVERLAPPED at(std::uint64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset & 0xffffffffu);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

// ReadFile and WriteFile take at most a DWORD of bytes per call.
DWORD chunk(std::size_t size) {
  constexpr std::size_t kLargest = std::numeric_limits<DWORD>::max();
  return static_cast<DWORD>(size < kLargest ? size : kLargest);
}

std::optional<FileIdentity> identityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) {
    return std::nullopt;
  }
  return FileIdentity{
      info.dwVolumeSerialNumber,
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
          info.nFileIndexLow};
}

bool isFile(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

class Win32Os final : public Os {
 public:
  Win32Os() {
    // The arguments as the C runtime would give them to main, but split
    // here from the command line itself so that every build splits alike.
    arguments_ = splitCommandLine(::GetCommandLineA());
  }

  bool exists(std::string_view name) override {
    CName path(name);
    if (!path.valid()) {
      return false;
    }
    if (::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return true;
    }
    // Only an answer of "not found" (or of a name that cannot name
    // anything) means there is no entry. An entry whose attributes cannot
    // be read is still there, and opening it tells what is wrong with it:
    // under Wine, a link to a Unix device node answers "invalid parameter".
    switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: return false;
    default: return true;
    }
  }

  OpenResult createExclusive(std::string_view name, Access access) override {
    return openFile(name, access, CREATE_NEW);
  }

  OpenResult openExisting(std::string_view name, Access access) override {
    // Windows refuses a directory opened without backup semantics with
    // "access denied" already; the test below keeps that true whatever a
    // file system or an emulation layer does.
    OpenResult opened = openFile(name, access, OPEN_EXISTING);
    if (opened.error != SysError::kNone) {
      return opened;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileInformationByHandle(toHandle(opened.handle), &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      ::CloseHandle(toHandle(opened.handle));
      return {kNoFile, SysError::kAccessDenied};
    }
    return opened;
  }

  // Printer and serial ports: the plain name reaches the device from any
  // folder ("LPT1" is never a file here). LINE is no Windows name; it means
  // the first serial port, as AUX does. A port this machine does not have
  // is "not found"; that is the answer of a system without such devices,
  // not a missing folder. A serial driver may insist on exclusive use; then
  // the open is refused like a locked file.
  OpenResult openDevice(std::string_view name, Access access) override {
    OpenResult opened =
        openFile(name == "LINE" ? "COM1" : name, access, OPEN_EXISTING);
    if (opened.error == SysError::kPathNotFound) {
      opened.error = SysError::kBadName;
    }
    return opened;
  }

  TransferResult readAt(FileHandle file, std::uint64_t offset,
                        std::span<char> buffer) override {
    OVERLAPPED position = at(offset);
    DWORD got = 0;
    if (!::ReadFile(toHandle(file), buffer.data(), chunk(buffer.size()), &got,
                    &position)) {
      DWORD error = ::GetLastError();
      // A read that starts at or past the end fails with this on a
      // synchronous handle; it only means there is nothing more.
      if (error == ERROR_HANDLE_EOF) {
        return {0, SysError::kNone};
      }
      return {0, fromWin32(error)};
    }
    return {got, SysError::kNone};
  }

  TransferResult writeAt(FileHandle file, std::uint64_t offset,
                         std::span<const char> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      OVERLAPPED position = at(offset + done);
      DWORD put = 0;
      if (!::WriteFile(toHandle(file), bytes.data() + done,
                       chunk(bytes.size() - done), &put, &position)) {
        return {done, fromWin32(::GetLastError())};
      }
      if (put == 0) {
        return {done, SysError::kDiskFull};
      }
      done += put;
    }
    return {done, SysError::kNone};
  }

  std::optional<std::uint64_t> fileSize(FileHandle file) override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(toHandle(file), &size)) {
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  SysError setEnd(FileHandle file, std::uint64_t offset) override {
    // The file pointer is otherwise unused (every transfer names its
    // offset), so moving it here disturbs nothing.
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(toHandle(file), position, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(toHandle(file))) {
      DWORD error = ::GetLastError();
      // A handle open for reading only is refused with "access denied" by
      // Windows and with "invalid parameter" by Wine; the offset itself is
      // always valid here.
      return error == ERROR_INVALID_PARAMETER ? SysError::kAccessDenied
                                              : fromWin32(error);
    }
    return SysError::kNone;
  }

  SysError close(FileHandle file) override {
    return ::CloseHandle(toHandle(file)) ? SysError::kNone
                                         : fromWin32(::GetLastError());
  }

  std::optional<FileIdentity> identity(FileHandle file) override {
    return identityOfHandle(toHandle(file));
  }

  std::optional<FileStamp> stamp(FileHandle file) override {
    HANDLE handle = toHandle(file);
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
      return std::nullopt;
    }
    FILE_BASIC_INFO basic;
    LARGE_INTEGER size;
    if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic,
                                        sizeof basic) ||
        !::GetFileSizeEx(handle, &size)) {
      return std::nullopt;
    }
    // The times count 100-nanosecond intervals.
    return FileStamp{static_cast<std::uint64_t>(size.QuadPart),
                     basic.LastWriteTime.QuadPart * 100,
                     basic.ChangeTime.QuadPart * 100};
  }

  std::optional<FileIdentity> identityOf(std::string_view name) override {
    CName path(name);
    if (!path.valid()) {
      return std::nullopt;
    }
    // No access rights are needed to read the identity, and backup
    // semantics let a directory be looked at too; links are followed.
    HANDLE handle = ::CreateFileA(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      return std::nullopt;
    }
    std::optional<FileIdentity> id = identityOfHandle(handle);
    ::CloseHandle(handle);
    return id;
  }

  // The standard handles are used with ReadFile and WriteFile directly:
  // the C runtime's text mode would turn CR LF into LF and stop at
  // control-Z, and every byte here must pass as it is.
  TransferResult readStandardInput(std::span<char> buffer) override {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
      // No standard input reads as its end, as on a console.
      return {0, SysError::kNone};
    }
    DWORD got = 0;
    if (!::ReadFile(input, buffer.data(), chunk(buffer.size()), &got,
                    nullptr)) {
      DWORD error = ::GetLastError();
      // The writing end of a pipe has gone away: that is the end of input.
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
        return {0, SysError::kNone};
      }
      return {0, fromWin32(error)};
    }
    return {got, SysError::kNone};
  }

  TransferResult writeStandard(StandardStream stream,
                               std::span<const char> bytes) override {
    HANDLE output = ::GetStdHandle(stream == StandardStream::kError
                                       ? STD_ERROR_HANDLE
                                       : STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) {
      return {0, SysError::kAccessDenied};
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD put = 0;
      if (!::WriteFile(output, bytes.data() + done,
                       chunk(bytes.size() - done), &put, nullptr)) {
        return {done, fromWin32(::GetLastError())};
      }
      done += put;
    }
    return {done, SysError::kNone};
  }

  // A console and NUL are character devices; a file or a pipe is not.
  bool standardOutputIsTerminal() override {
    DWORD mode;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  }

  bool standardInputIsCharacterDevice() override {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    return input != nullptr && input != INVALID_HANDLE_VALUE &&
           ::GetFileType(input) == FILE_TYPE_CHAR;
  }

  const std::vector<std::string>& arguments() override { return arguments_; }

  std::optional<std::string> environment(std::string_view name) override {
    CName key(name);
    if (!key.valid()) {
      return std::nullopt;
    }
    std::string value(256, '\0');
    for (;;) {
      ::SetLastError(ERROR_SUCCESS);
      DWORD length = ::GetEnvironmentVariableA(
          key.c_str(), value.data(), static_cast<DWORD>(value.size()));
      if (length == 0) {
        // Zero is both "not set" and "set to nothing".
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
          return std::nullopt;
        }
        return std::string();
      }
      if (length < value.size()) {
        value.resize(length);
        return value;
      }
      // Too small: length is the size needed, terminator included.
      value.resize(length);
    }
  }

  // The reply goes to the command interpreter as "interpreter /c reply",
  // unquoted, as typed. COMSPEC names the interpreter; when it is unset or
  // names nothing that starts, cmd.exe is looked for in the working folder
  // and then along PATH.
  std::optional<int> runCommand(std::string_view commandText) override {
    if (std::optional<std::string> comspec = environment("COMSPEC")) {
      if (std::optional<int> status = runInterpreter(*comspec, commandText)) {
        return status;
      }
    }
    std::optional<std::string> interpreter = findCommandInterpreter();
    if (!interpreter) {
      return std::nullopt;
    }
    return runInterpreter(*interpreter, commandText);
  }

  [[noreturn]] void exitProcess(int status) override {
    ::ExitProcess(static_cast<UINT>(status));
  }

 private:
  std::optional<std::string> findCommandInterpreter() {
    static constexpr std::string_view kName = "cmd.exe";
    if (isFile(std::string(kName))) {
      return std::string(kName);
    }
    std::string path = environment("PATH").value_or("");
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t end = path.find(';', start);
      if (end == std::string::npos) {
        end = path.size();
      }
      std::string folder = path.substr(start, end - start);
      // A folder of PATH may be quoted because it holds a ';' or blanks.
      if (folder.size() >= 2 && folder.front() == '"' &&
          folder.back() == '"') {
        folder = folder.substr(1, folder.size() - 2);
      }
      if (!folder.empty()) {
        if (folder.back() != '\\' && folder.back() != '/') {
          folder += '\\';
        }
        std::string candidate = folder + std::string(kName);
        if (isFile(candidate)) {
          return candidate;
        }
      }
      start = end + 1;
    }
    return std::nullopt;
  }

  // Starts the interpreter in the same console, inheriting the standard
  // handles and the environment, waits for it and returns its status;
  // nullopt when it cannot be started.
  static std::optional<int> runInterpreter(const std::string& interpreter,
                                           std::string_view commandText) {
    if (interpreter.empty() ||
        interpreter.find('\0') != std::string::npos) {
      return std::nullopt;
    }
    std::string commandLine = interpreter + " /c ";
    commandLine.append(commandText);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    // The interpreter is named separately so that a COMSPEC holding blanks
    // ("C:\Program Files\...") is not split at them; the command line
    // still starts with its name, as the interpreter expects.
    if (!::CreateProcessA(interpreter.c_str(), commandLine.data(), nullptr,
                          nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &child)) {
      return std::nullopt;
    }
    ::WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 0;
    if (!::GetExitCodeProcess(child.hProcess, &status)) {
      status = 0;
    }
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
    return static_cast<int>(status);
  }

  std::vector<std::string> arguments_;
};

}  // namespace

// The arguments come from the command line of the process, so those given
// to main are not needed.
Os& hostOs(int, char**) {
  static Win32Os host;
  return host;
}

}  // namespace korvelin::platform
