#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/os.h"

extern char** environ;

namespace korvelin::platform {
namespace {

// Names handed to the system need a terminating NUL; they are at most a few
// hundred bytes, so a fixed buffer keeps opens free of allocation. A name
// with a NUL inside cannot be expressed at all.
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
  char text_[4096] = {};
  bool valid_ = false;
};

SysError fromErrno(int error) {
  switch (error) {
  case 0: return SysError::kNone;
  case ENOENT: return SysError::kNotFound;
  case ENOTDIR: return SysError::kPathNotFound;
  case EACCES:
  case EPERM:
  case EISDIR:
  case EROFS:
  case ETXTBSY:
  case EBADF: return SysError::kAccessDenied;
  case EEXIST: return SysError::kExists;
  case EMFILE:
  case ENFILE: return SysError::kTooManyOpenFiles;
  case ENAMETOOLONG:
  case EINVAL:
  case ELOOP:
  case EILSEQ: return SysError::kBadName;
  case ENOSPC:
  case EDQUOT:
  case EFBIG: return SysError::kDiskFull;
  case EINTR: return SysError::kInterrupted;
  default: return SysError::kOther;
  }
}

int openFlags(Access access) {
  switch (access) {
  case Access::kReadWrite: return O_RDWR;
  case Access::kReadOnly: return O_RDONLY;
  case Access::kWriteOnly: return O_WRONLY;
  }
  return O_RDWR;
}

// A missing file in an existing directory is created by the caller, so
// ENOENT from an open that did not create means a directory is missing.
SysError pathError(int error) {
  return error == ENOENT ? SysError::kPathNotFound : fromErrno(error);
}

class PosixOs final : public Os {
 public:
  PosixOs(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
      arguments_.emplace_back(argv[i]);
    }
  }

  bool exists(std::string_view name) override {
    CName path(name);
    struct stat info;
    return path.valid() && ::stat(path.c_str(), &info) == 0;
  }

  OpenResult createExclusive(std::string_view name, Access access) override {
    CName path(name);
    if (!path.valid()) {
      return {kNoFile, SysError::kBadName};
    }
    int fd;
    do {
      fd = ::open(path.c_str(), openFlags(access) | O_CREAT | O_EXCL | O_CLOEXEC,
                  0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      return {kNoFile, pathError(errno)};
    }
    return {fd, SysError::kNone};
  }

  OpenResult openExisting(std::string_view name, Access access) override {
    CName path(name);
    if (!path.valid()) {
      return {kNoFile, SysError::kBadName};
    }
    int fd;
    do {
      fd = ::open(path.c_str(), openFlags(access) | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      return {kNoFile, pathError(errno)};
    }
    // POSIX lets a directory be opened for reading; this program only ever
    // opens files, and the other systems refuse a directory outright.
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(fd);
      return {kNoFile, SysError::kAccessDenied};
    }
    return {fd, SysError::kNone};
  }

  // PRN, LPT1, COM1 and the like are no device names here: refused, rather
  // than an ordinary file named like a device being created or opened.
  OpenResult openDevice(std::string_view, Access) override {
    return {kNoFile, SysError::kBadName};
  }

  TransferResult readAt(FileHandle file, std::uint64_t offset,
                        std::span<char> buffer) override {
    for (;;) {
      ssize_t got = ::pread(static_cast<int>(file), buffer.data(),
                            buffer.size(), static_cast<off_t>(offset));
      if (got >= 0) {
        return {static_cast<std::size_t>(got), SysError::kNone};
      }
      if (errno != EINTR) {
        return {0, fromErrno(errno)};
      }
    }
  }

  TransferResult writeAt(FileHandle file, std::uint64_t offset,
                         std::span<const char> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t put = ::pwrite(static_cast<int>(file), bytes.data() + done,
                             bytes.size() - done,
                             static_cast<off_t>(offset + done));
      if (put < 0) {
        if (errno == EINTR) {
          continue;
        }
        return {done, fromErrno(errno)};
      }
      if (put == 0) {
        return {done, SysError::kDiskFull};
      }
      done += static_cast<std::size_t>(put);
    }
    return {done, SysError::kNone};
  }

  std::optional<std::uint64_t> fileSize(FileHandle file) override {
    struct stat info;
    if (::fstat(static_cast<int>(file), &info) != 0) {
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
  }

  SysError setEnd(FileHandle file, std::uint64_t offset) override {
    int result;
    do {
      result = ::ftruncate(static_cast<int>(file), static_cast<off_t>(offset));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
      // A descriptor open for reading only is refused with EINVAL or EBADF.
      return (errno == EINVAL || errno == EBADF) ? SysError::kAccessDenied
                                                  : fromErrno(errno);
    }
    return SysError::kNone;
  }

  SysError close(FileHandle file) override {
    // The descriptor is released even when close reports an error, so it
    // is never retried.
    return ::close(static_cast<int>(file)) == 0 || errno == EINTR
               ? SysError::kNone
               : fromErrno(errno);
  }

  std::optional<FileIdentity> identity(FileHandle file) override {
    struct stat info;
    if (::fstat(static_cast<int>(file), &info) != 0) {
      return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino)};
  }

  std::optional<FileStamp> stamp(FileHandle file) override {
    struct stat info;
    if (::fstat(static_cast<int>(file), &info) != 0 || !S_ISREG(info.st_mode)) {
      return std::nullopt;
    }
    auto nanoseconds = [](const struct timespec& t) {
      return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    };
    return FileStamp{static_cast<std::uint64_t>(info.st_size),
                     nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
  }

  std::optional<FileIdentity> identityOf(std::string_view name) override {
    CName path(name);
    struct stat info;
    if (!path.valid() || ::stat(path.c_str(), &info) != 0) {
      return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino)};
  }

  TransferResult readStandardInput(std::span<char> buffer) override {
    for (;;) {
      ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
      if (got >= 0) {
        return {static_cast<std::size_t>(got), SysError::kNone};
      }
      if (errno != EINTR) {
        // A closed standard input reads as its end, as on a console.
        return {0, errno == EBADF ? SysError::kNone : fromErrno(errno)};
      }
    }
  }

  TransferResult writeStandard(StandardStream stream,
                               std::span<const char> bytes) override {
    int fd = stream == StandardStream::kError ? STDERR_FILENO : STDOUT_FILENO;
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (put < 0) {
        if (errno == EINTR) {
          continue;
        }
        return {done, fromErrno(errno)};
      }
      done += static_cast<std::size_t>(put);
    }
    return {done, SysError::kNone};
  }

  bool standardOutputIsTerminal() override {
    return ::isatty(STDOUT_FILENO) == 1;
  }

  bool standardInputIsCharacterDevice() override {
    struct stat info;
    return ::fstat(STDIN_FILENO, &info) == 0 && S_ISCHR(info.st_mode);
  }

  const std::vector<std::string>& arguments() override { return arguments_; }

  std::optional<std::string> environment(std::string_view name) override {
    std::string key(name);
    const char* value = std::getenv(key.c_str());
    if (value == nullptr) {
      return std::nullopt;
    }
    return std::string(value);
  }

  // The reply is one command for the shell, exactly as typed: "sh -c text".
  // The child shares the standard streams and the environment.
  std::optional<int> runCommand(std::string_view commandText) override {
    std::string command(commandText);
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    char* argv[] = {shell, dashC, command.data(), nullptr};
    pid_t child;
    if (::posix_spawn(&child, shell, nullptr, nullptr, argv, environ) != 0) {
      return std::nullopt;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
      if (errno != EINTR) {
        return std::nullopt;
      }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  [[noreturn]] void exitProcess(int status) override { ::_exit(status); }

 private:
  std::vector<std::string> arguments_;
};

}  // namespace

Os& hostOs(int argc, char** argv) {
  static PosixOs host(argc, argv);
  return host;
}

}  // namespace korvelin::platform
