#pragma once

// Test harness for the record layer: an Os that keeps real files (in a
// fresh temporary folder per test) but captures the standard streams,
// serves standard input from a string, records commands instead of running
// them, turns the process exit into an exception and can be told to fail
// file reads, writes and opens on demand.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"
#include "recordio/console.h"
#include "recordio/units.h"

namespace korvelin::testsupport {

/// Thrown by RecordingOs::exitProcess: the run ended with this status.
struct ProcessExit {
  int status = 0;
};

class RecordingOs final : public platform::Os {
 public:
  using SysError = platform::SysError;

  RecordingOs() : host_(platform::hostOs(0, nullptr)) {}

  // What the run wrote to the standard streams, byte for byte.
  std::string standardOutput;
  std::string standardError;
  /// Commands handed to the interpreter, in order; none is run.
  std::vector<std::string> commands;
  /// Status runCommand reports (nullopt: no interpreter could be started).
  std::optional<int> commandStatus = 0;
  std::vector<std::string> commandLineArguments;
  std::map<std::string, std::string, std::less<>> environmentVariables;

  /// Standard input is these bytes. As a file (the default) every request
  /// gets as many bytes as it asks for; as a character device every request
  /// gets at most one line, as a terminal delivers it.
  void setStandardInput(std::string bytes, bool characterDevice = false) {
    input_ = std::move(bytes);
    inputNext_ = 0;
    characterDevice_ = characterDevice;
  }

  /// The n-th writeAt from now (1 = the next one) puts only the first
  /// `accepted` bytes into the file and then reports `error`.
  void failWriteAt(int n, SysError error, std::size_t accepted = 0) {
    writeFault_ = Fault{writeAtCalls_ + n, error, accepted};
  }

  /// The n-th readAt from now (1 = the next one) delivers nothing and
  /// reports `error`.
  void failReadAt(int n, SysError error) {
    readFault_ = Fault{readAtCalls_ + n, error, 0};
  }

  /// Every open of `name` (as the layer passes it) for `access` is refused
  /// with `error`, as by permission bits that a test running as root could
  /// not rely on.
  void refuseOpen(std::string name, platform::Access access, SysError error) {
    refusals_.push_back(Refusal{std::move(name), access, error});
  }

  int writeAtCalls() const { return writeAtCalls_; }
  int readAtCalls() const { return readAtCalls_; }
  int standardInputReads() const { return standardInputReads_; }

  bool exists(std::string_view name) override { return host_.exists(name); }

  platform::OpenResult createExclusive(std::string_view name,
                                       platform::Access access) override {
    if (std::optional<SysError> refused = refusal(name, access)) {
      return {platform::kNoFile, *refused};
    }
    return host_.createExclusive(name, access);
  }

  platform::OpenResult openExisting(std::string_view name,
                                    platform::Access access) override {
    if (std::optional<SysError> refused = refusal(name, access)) {
      return {platform::kNoFile, *refused};
    }
    return host_.openExisting(name, access);
  }

  platform::TransferResult readAt(platform::FileHandle file,
                                  std::uint64_t offset,
                                  std::span<char> buffer) override {
    ++readAtCalls_;
    if (readFault_ && readFault_->call == readAtCalls_) {
      SysError error = readFault_->error;
      readFault_.reset();
      return {0, error};
    }
    return host_.readAt(file, offset, buffer);
  }

  platform::TransferResult writeAt(platform::FileHandle file,
                                   std::uint64_t offset,
                                   std::span<const char> bytes) override {
    ++writeAtCalls_;
    if (writeFault_ && writeFault_->call == writeAtCalls_) {
      Fault fault = *writeFault_;
      writeFault_.reset();
      std::size_t accepted = std::min(fault.accepted, bytes.size());
      platform::TransferResult put =
          host_.writeAt(file, offset, bytes.first(accepted));
      return {put.count, fault.error};
    }
    return host_.writeAt(file, offset, bytes);
  }

  std::optional<std::uint64_t> fileSize(platform::FileHandle file) override {
    return host_.fileSize(file);
  }

  SysError setEnd(platform::FileHandle file, std::uint64_t offset) override {
    return host_.setEnd(file, offset);
  }

  SysError close(platform::FileHandle file) override {
    return host_.close(file);
  }

  std::optional<platform::FileIdentity> identity(
      platform::FileHandle file) override {
    return host_.identity(file);
  }

  std::optional<platform::FileIdentity> identityOf(
      std::string_view name) override {
    return host_.identityOf(name);
  }

  std::optional<platform::FileStamp> stamp(platform::FileHandle file) override {
    return host_.stamp(file);
  }

  platform::TransferResult readStandardInput(std::span<char> buffer) override {
    ++standardInputReads_;
    std::size_t left = input_.size() - inputNext_;
    std::size_t count = std::min(left, buffer.size());
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
    return commandStatus;
  }

  [[noreturn]] void exitProcess(int status) override {
    throw ProcessExit{status};
  }

 private:
  struct Fault {
    int call = 0;
    SysError error = SysError::kNone;
    std::size_t accepted = 0;
  };
  struct Refusal {
    std::string name;
    platform::Access access;
    SysError error;
  };

  std::optional<SysError> refusal(std::string_view name,
                                  platform::Access access) const {
    for (const Refusal& r : refusals_) {
      if (r.name == name && r.access == access) {
        return r.error;
      }
    }
    return std::nullopt;
  }

  platform::Os& host_;
  std::string input_;
  std::size_t inputNext_ = 0;
  bool characterDevice_ = false;
  int writeAtCalls_ = 0;
  int readAtCalls_ = 0;
  int standardInputReads_ = 0;
  std::optional<Fault> writeFault_;
  std::optional<Fault> readFault_;
  std::vector<Refusal> refusals_;
};

/// Each test runs in a fresh temporary folder (the working directory while
/// it runs) with a RecordingOs installed and the layer's units and console
/// state forgotten before and after.
class RecordIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::random_device entropy;
    folder_ = std::filesystem::temp_directory_path() /
              ("korvelin-test-" + std::to_string(entropy()));
    ASSERT_TRUE(std::filesystem::create_directory(folder_))
        << "cannot make " << folder_;
    std::filesystem::current_path(folder_);
    platform::installOs(os);
    recordio::resetUnitsForTesting();
    recordio::resetConsoleForTesting();
  }

  void TearDown() override {
    recordio::resetUnitsForTesting();
    recordio::resetConsoleForTesting();
    platform::installOs(platform::hostOs(0, nullptr));
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  static void writeFile(const std::string& name, std::string_view bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << name;
  }

  static std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in),
            std::istreambuf_iterator<char>()};
  }

  static bool fileExists(const std::string& name) {
    return std::filesystem::exists(name);
  }

  /// Runs `body`, which must end the process; returns the exit status.
  template <typename Body>
  static std::optional<int> exitStatusOf(Body&& body) {
    try {
      body();
    } catch (const ProcessExit& exit) {
      return exit.status;
    }
    return std::nullopt;
  }

  RecordingOs os;

 private:
  std::filesystem::path previous_;
  std::filesystem::path folder_;
};

}  // namespace korvelin::testsupport
