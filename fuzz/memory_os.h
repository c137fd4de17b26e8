#pragma once

// An operating system held in memory, for the fuzz targets and for the
// fault-injection tests: a scratch folder of files (name -> bytes) reached
// only through the seam, standard input from a buffer, standard output and
// error captured, commands recorded and never run, and the process exit
// turned into an exception. Faults can be planted at any read, write, cut,
// create or standard-input request. It touches no real file and allocates
// little, so a fuzz target can run a whole program many thousand times a
// second.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"

namespace korvelin::fuzzing {

/// Thrown by MemoryOs::exitProcess: the run ended with this status.
struct ProcessExit {
  int status = 0;
};

class MemoryOs final : public platform::Os {
 public:
  using Access = platform::Access;
  using SysError = platform::SysError;
  using FileHandle = platform::FileHandle;

  /// A file or folder of the scratch folder.
  struct Entry {
    std::string bytes;
    bool directory = false;
    bool readable = true;   ///< may be opened for reading
    bool writable = true;   ///< may be opened for writing
    /// The file cannot grow past this size: a write beyond it puts what
    /// fits and fails with kDiskFull.
    std::optional<std::uint64_t> capacity;
    std::uint64_t index = 0;  ///< identity within the folder
    bool modified = false;    ///< written or cut by the run
    bool created = false;     ///< created by the run
    /// Moves with every change of the content; never the same twice in a
    /// process, so no file looks unchanged to a later run of the program.
    std::uint64_t version = 0;
  };

  /// A planted fault: the `call`-th request of its kind (counted from 1
  /// since the last reset) fails; with `sticky` every later one as well.
  struct Fault {
    int call = 0;
    SysError error = SysError::kOther;
    std::size_t accepted = 0;  ///< writes: bytes still put before failing
    bool sticky = false;
  };

  // ---- Set-up ------------------------------------------------------------

  /// Forgets every file, stream, fault and record of calls.
  void reset() {
    entries_.clear();
    handles_.clear();
    nextIndex_ = 1;
    input_.clear();
    inputNext_ = 0;
    characterDevice_ = false;
    standardOutput.clear();
    standardError.clear();
    commands.clear();
    commandLineArguments.clear();
    environmentVariables.clear();
    outsideNames.clear();
    readFault.reset();
    writeFault.reset();
    setEndFault.reset();
    inputFault.reset();
    loseCreateRace = false;
    maxOpenFiles = 64;
    createdCapacity.reset();
    readChunk = 0;
    readCalls = writeCalls = setEndCalls = inputCalls = 0;
  }

  static std::uint64_t nextVersion() {
    static std::uint64_t last = 0;
    return ++last;
  }

  /// Puts a file into the folder (replacing one of the same name).
  Entry& addFile(std::string_view name, std::string_view bytes) {
    std::string key = normalise(name);
    if (!key.empty() && key.back() == '/') {
      key.pop_back();
    }
    Entry& entry = entries_[key];
    entry = Entry{};
    entry.bytes.assign(bytes.data(), bytes.size());
    entry.index = nextIndex_++;
    entry.version = nextVersion();
    return entry;
  }

  Entry& addDirectory(std::string_view name) {
    Entry& entry = addFile(name, "");
    entry.directory = true;
    return entry;
  }

  /// Standard input is these bytes. As a file or pipe every request gets as
  /// many bytes as it asks for; as a character device (a terminal) at most
  /// one line, and an empty request at the end, like the null device.
  void setStandardInput(std::string_view bytes, bool characterDevice) {
    input_.assign(bytes.data(), bytes.size());
    inputNext_ = 0;
    characterDevice_ = characterDevice;
  }

  // ---- What the run left -------------------------------------------------

  const Entry* find(std::string_view name) const {
    auto it = entries_.find(normalise(name));
    return it == entries_.end() ? nullptr : &it->second;
  }

  Entry* find(std::string_view name) {
    auto it = entries_.find(normalise(name));
    return it == entries_.end() ? nullptr : &it->second;
  }

  const std::map<std::string, Entry, std::less<>>& entries() const {
    return entries_;
  }

  /// Handles still open.
  std::size_t openHandles() const {
    return static_cast<std::size_t>(std::count_if(
        handles_.begin(), handles_.end(),
        [](const Handle& h) { return h.open; }));
  }

  std::size_t standardInputConsumed() const { return inputNext_; }

  std::string standardOutput;
  std::string standardError;
  std::vector<std::string> commands;  ///< handed to the interpreter, not run
  std::vector<std::string> commandLineArguments;
  std::map<std::string, std::string, std::less<>> environmentVariables;
  /// Names that would leave the folder (absolute, or through ".."): each is
  /// refused as if the folder were a sandbox, and listed here.
  std::vector<std::string> outsideNames;

  std::optional<Fault> readFault;    ///< readAt
  std::optional<Fault> writeFault;   ///< writeAt
  std::optional<Fault> setEndFault;  ///< setEnd
  std::optional<Fault> inputFault;   ///< readStandardInput
  /// Another program creates every missing file between the existence test
  /// and the exclusive create.
  bool loseCreateRace = false;
  /// Open handles allowed at once; one more is kTooManyOpenFiles.
  std::size_t maxOpenFiles = 64;
  /// The capacity every file the run creates gets: a disk that is full
  /// after that many bytes of the new file.
  std::optional<std::uint64_t> createdCapacity;
  /// At most this many bytes per read of a file or of standard input (0:
  /// as many as asked for), as a network file system or a pipe may
  /// deliver them. What a program reads must not depend on it (but for
  /// the console's own rules about short blocks).
  std::size_t readChunk = 0;

  int readCalls = 0;
  int writeCalls = 0;
  int setEndCalls = 0;
  int inputCalls = 0;

  // ---- The seam ----------------------------------------------------------

  bool exists(std::string_view name) override {
    Lookup found = lookup(name);
    return found.entry != nullptr;
  }

  platform::OpenResult createExclusive(std::string_view name,
                                       Access access) override {
    Lookup found = lookup(name);
    if (found.error != SysError::kNone) {
      return {platform::kNoFile, found.error};
    }
    if (found.entry != nullptr) {
      return {platform::kNoFile, SysError::kExists};
    }
    if (loseCreateRace) {
      addFile(found.key, "");
      return {platform::kNoFile, SysError::kExists};
    }
    if (openHandles() >= maxOpenFiles) {
      return {platform::kNoFile, SysError::kTooManyOpenFiles};
    }
    Entry& entry = addFile(found.key, "");
    entry.created = true;
    entry.capacity = createdCapacity;
    return {newHandle(found.key, access), SysError::kNone};
  }

  platform::OpenResult openExisting(std::string_view name,
                                    Access access) override {
    Lookup found = lookup(name);
    if (found.error != SysError::kNone) {
      return {platform::kNoFile, found.error};
    }
    if (found.entry == nullptr) {
      return {platform::kNoFile, SysError::kPathNotFound};
    }
    const Entry& entry = *found.entry;
    bool read = access != Access::kWriteOnly;
    bool write = access != Access::kReadOnly;
    if (entry.directory || (read && !entry.readable) ||
        (write && !entry.writable)) {
      return {platform::kNoFile, SysError::kAccessDenied};
    }
    if (openHandles() >= maxOpenFiles) {
      return {platform::kNoFile, SysError::kTooManyOpenFiles};
    }
    return {newHandle(found.key, access), SysError::kNone};
  }

  platform::TransferResult readAt(FileHandle file, std::uint64_t offset,
                                  std::span<char> buffer) override {
    ++readCalls;
    if (fires(readFault, readCalls)) {
      return {0, readFault->error};
    }
    Entry* entry = entryOf(file, true, false);
    if (entry == nullptr) {
      return {0, SysError::kAccessDenied};
    }
    if (offset >= entry->bytes.size()) {
      return {0, SysError::kNone};
    }
    std::size_t count = std::min<std::size_t>(
        buffer.size(), entry->bytes.size() - static_cast<std::size_t>(offset));
    if (readChunk > 0) {
      count = std::min(count, readChunk);
    }
    std::copy_n(entry->bytes.data() + offset, count, buffer.data());
    return {count, SysError::kNone};
  }

  platform::TransferResult writeAt(FileHandle file, std::uint64_t offset,
                                   std::span<const char> bytes) override {
    ++writeCalls;
    Entry* entry = entryOf(file, false, true);
    if (entry == nullptr) {
      return {0, SysError::kAccessDenied};
    }
    std::size_t count = bytes.size();
    SysError error = SysError::kNone;
    if (fires(writeFault, writeCalls)) {
      count = std::min(count, writeFault->accepted);
      error = writeFault->error;
    }
    if (entry->capacity) {
      std::uint64_t room = offset < *entry->capacity ? *entry->capacity - offset : 0;
      if (room < count) {
        count = static_cast<std::size_t>(room);
        error = SysError::kDiskFull;
      }
    }
    if (count > 0) {
      auto at = static_cast<std::size_t>(offset);
      if (entry->bytes.size() < at + count) {
        entry->bytes.resize(at + count, '\0');
      }
      std::copy_n(bytes.data(), count, entry->bytes.data() + at);
      entry->modified = true;
      entry->version = nextVersion();
    }
    return {count, error};
  }

  std::optional<platform::FileStamp> stamp(FileHandle file) override {
    Entry* entry = entryOf(file, false, false);
    if (entry == nullptr || entry->directory) {
      return std::nullopt;
    }
    return platform::FileStamp{entry->bytes.size(),
                               static_cast<std::int64_t>(entry->version), 0};
  }

  std::optional<std::uint64_t> fileSize(FileHandle file) override {
    Entry* entry = entryOf(file, false, false);
    if (entry == nullptr) {
      return std::nullopt;
    }
    return entry->bytes.size();
  }

  SysError setEnd(FileHandle file, std::uint64_t offset) override {
    ++setEndCalls;
    if (fires(setEndFault, setEndCalls)) {
      return setEndFault->error;
    }
    Entry* entry = entryOf(file, false, true);
    if (entry == nullptr) {
      return SysError::kAccessDenied;
    }
    entry->bytes.resize(static_cast<std::size_t>(offset), '\0');
    entry->modified = true;
    entry->version = nextVersion();
    return SysError::kNone;
  }

  SysError close(FileHandle file) override {
    Handle* handle = handleOf(file);
    if (handle == nullptr) {
      return SysError::kAccessDenied;
    }
    handle->open = false;
    return SysError::kNone;
  }

  std::optional<platform::FileIdentity> identity(FileHandle file) override {
    Entry* entry = entryOf(file, false, false);
    if (entry == nullptr) {
      return std::nullopt;
    }
    return platform::FileIdentity{1, entry->index};
  }

  std::optional<platform::FileIdentity> identityOf(
      std::string_view name) override {
    Lookup found = lookup(name);
    if (found.entry == nullptr) {
      return std::nullopt;
    }
    return platform::FileIdentity{1, found.entry->index};
  }

  platform::TransferResult readStandardInput(std::span<char> buffer) override {
    ++inputCalls;
    if (fires(inputFault, inputCalls)) {
      return {0, inputFault->error};
    }
    std::size_t count = std::min(input_.size() - inputNext_, buffer.size());
    if (readChunk > 0) {
      count = std::min(count, readChunk);
    }
    if (characterDevice_) {
      std::size_t lineFeed = input_.find('\n', inputNext_);
      if (lineFeed != std::string::npos) {
        count = std::min(count, lineFeed - inputNext_ + 1);
      }
    }
    std::copy_n(input_.data() + inputNext_, count, buffer.data());
    inputNext_ += count;
    return {count, SysError::kNone};
  }

  platform::TransferResult writeStandard(platform::StandardStream stream,
                                         std::span<const char> bytes) override {
    std::string& sink = stream == platform::StandardStream::kError
                            ? standardError
                            : standardOutput;
    sink.append(bytes.data(), bytes.size());
    return {bytes.size(), SysError::kNone};
  }

  bool standardInputIsCharacterDevice() override { return characterDevice_; }

  const std::vector<std::string>& arguments() override {
    return commandLineArguments;
  }

  std::optional<std::string> environment(std::string_view name) override {
    auto it = environmentVariables.find(name);
    if (it == environmentVariables.end()) {
      return std::nullopt;
    }
    return it->second;
  }

  std::optional<int> runCommand(std::string_view commandText) override {
    commands.emplace_back(commandText);
    return 0;
  }

  [[noreturn]] void exitProcess(int status) override {
    throw ProcessExit{status};
  }

  /// The folder's own form of a name: "./a//b" and "a/b" are the same file;
  /// a trailing "/" is kept, since only a folder may be named with one.
  static std::string normalise(std::string_view name) {
    std::string key;
    std::size_t i = 0;
    while (i < name.size()) {
      std::size_t slash = name.find('/', i);
      std::size_t end = slash == std::string_view::npos ? name.size() : slash;
      std::string_view part = name.substr(i, end - i);
      if (!part.empty() && part != ".") {
        if (!key.empty()) {
          key += '/';
        }
        key.append(part.data(), part.size());
      }
      i = end + 1;
    }
    if (!name.empty() && name.back() == '/') {
      key += '/';
    }
    return key;
  }

 private:
  struct Handle {
    Entry* entry = nullptr;  // entries are never removed while handles live
    Access access = Access::kReadWrite;
    bool open = false;
  };

  struct Lookup {
    std::string key;
    Entry* entry = nullptr;
    SysError error = SysError::kNone;
  };

  // A program that goes on reading a file (or standard input) that keeps
  // failing would never end: after this many failures in a row the fake
  // stops it, so that a test or a fuzz target reports it instead of
  // hanging.
  static constexpr int kRunawayFailures = 1000;

  static bool fires(const std::optional<Fault>& fault, int call) {
    if (!fault || call < fault->call || (call > fault->call && !fault->sticky)) {
      return false;
    }
    if (call - fault->call >= kRunawayFailures) {
      throw std::runtime_error("requests went on after a permanent failure");
    }
    return true;
  }

  // Finds the entry a name designates, as a file system would resolve it:
  // every folder on the way must exist; a name with a trailing "/" must be
  // a folder.
  Lookup lookup(std::string_view name) {
    Lookup found;
    if (name.empty() || name.find('\0') != std::string_view::npos) {
      found.error = SysError::kBadName;
      return found;
    }
    bool outside = name.front() == '/';
    for (std::size_t i = 0; i < name.size() && !outside;) {
      std::size_t slash = name.find('/', i);
      std::size_t end = slash == std::string_view::npos ? name.size() : slash;
      outside = name.substr(i, end - i) == "..";
      i = end + 1;
    }
    if (outside) {
      outsideNames.emplace_back(name);
      found.error = SysError::kAccessDenied;
      return found;
    }
    std::string key = normalise(name);
    bool folderOnly = !key.empty() && key.back() == '/';
    if (folderOnly) {
      key.pop_back();
    }
    if (key.empty()) {
      // "." or "./": the scratch folder itself.
      found.error = SysError::kAccessDenied;
      return found;
    }
    for (std::size_t slash = key.find('/'); slash != std::string::npos;
         slash = key.find('/', slash + 1)) {
      auto parent = entries_.find(std::string_view(key).substr(0, slash));
      if (parent == entries_.end() || !parent->second.directory) {
        found.error = SysError::kPathNotFound;
        return found;
      }
    }
    auto it = entries_.find(key);
    if (it != entries_.end()) {
      if (folderOnly && !it->second.directory) {
        found.error = SysError::kPathNotFound;
        return found;
      }
      found.entry = &it->second;
    } else if (folderOnly) {
      found.error = SysError::kPathNotFound;
      return found;
    }
    found.key = std::move(key);
    return found;
  }

  FileHandle newHandle(const std::string& key, Access access) {
    handles_.push_back(Handle{&entries_.find(key)->second, access, true});
    return static_cast<FileHandle>(handles_.size() + 2);
  }

  Handle* handleOf(FileHandle file) {
    if (file < 3 || static_cast<std::size_t>(file - 3) >= handles_.size()) {
      return nullptr;
    }
    Handle& handle = handles_[static_cast<std::size_t>(file - 3)];
    return handle.open ? &handle : nullptr;
  }

  // The entry behind an open handle, if the handle allows what is asked.
  Entry* entryOf(FileHandle file, bool read, bool write) {
    Handle* handle = handleOf(file);
    if (handle == nullptr || (read && handle->access == Access::kWriteOnly) ||
        (write && handle->access == Access::kReadOnly)) {
      return nullptr;
    }
    return handle->entry;
  }

  std::map<std::string, Entry, std::less<>> entries_;
  std::vector<Handle> handles_;
  std::uint64_t nextIndex_ = 1;
  std::string input_;
  std::size_t inputNext_ = 0;
  bool characterDevice_ = false;
};

}  // namespace korvelin::fuzzing
