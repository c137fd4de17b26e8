// Printer and serial devices reach the system through the seam's openDevice;
// a fake system stands in for one that has a serial port, backed by a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <string_view>

#include "platform/os.h"
#include "recordio/units.h"

namespace korvelin::recordio {
namespace {

using platform::Access;
using platform::FileHandle;
using platform::OpenResult;
using platform::SysError;

// The host's files, except that device opens are answered from a table:
// a device name either opens a backing file or is refused with an error.
class DeviceOs final : public platform::Os {
 public:
  std::map<std::string, std::string, std::less<>> backing;
  std::map<std::string, SysError, std::less<>> refusals;
  std::vector<std::string> deviceOpens;
  int closes = 0;

  OpenResult openDevice(std::string_view name, Access access) override {
    deviceOpens.emplace_back(name);
    if (auto refused = refusals.find(name); refused != refusals.end()) {
      return {platform::kNoFile, refused->second};
    }
    auto file = backing.find(name);
    if (file == backing.end()) {
      return {platform::kNoFile, SysError::kBadName};
    }
    return host_.openExisting(file->second, access);
  }

  bool exists(std::string_view name) override { return host_.exists(name); }
  OpenResult createExclusive(std::string_view name, Access access) override {
    return host_.createExclusive(name, access);
  }
  OpenResult openExisting(std::string_view name, Access access) override {
    return host_.openExisting(name, access);
  }
  platform::TransferResult readAt(FileHandle file, std::uint64_t offset,
                                  std::span<char> buffer) override {
    return host_.readAt(file, offset, buffer);
  }
  platform::TransferResult writeAt(FileHandle file, std::uint64_t offset,
                                   std::span<const char> bytes) override {
    return host_.writeAt(file, offset, bytes);
  }
  std::optional<std::uint64_t> fileSize(FileHandle file) override {
    return host_.fileSize(file);
  }
  SysError setEnd(FileHandle file, std::uint64_t offset) override {
    return host_.setEnd(file, offset);
  }
  SysError close(FileHandle file) override {
    ++closes;
    return host_.close(file);
  }
  std::optional<platform::FileIdentity> identity(FileHandle file) override {
    return host_.identity(file);
  }
  std::optional<platform::FileIdentity> identityOf(
      std::string_view name) override {
    return host_.identityOf(name);
  }
  platform::TransferResult readStandardInput(std::span<char>) override {
    return {0, SysError::kNone};
  }
  platform::TransferResult writeStandard(platform::StandardStream,
                                         std::span<const char> bytes) override {
    return {bytes.size(), SysError::kNone};
  }
  bool standardInputIsCharacterDevice() override { return true; }
  const std::vector<std::string>& arguments() override { return arguments_; }
  std::optional<std::string> environment(std::string_view) override {
    return std::nullopt;
  }
  std::optional<int> runCommand(std::string_view) override {
    return std::nullopt;
  }
  [[noreturn]] void exitProcess(int status) override { throw status; }

 private:
  platform::Os& host_ = platform::hostOs(0, nullptr);
  std::vector<std::string> arguments_;
};

class DeviceUnitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::random_device entropy;
    folder_ = std::filesystem::temp_directory_path() /
              ("korvelin-device-" + std::to_string(entropy()));
    ASSERT_TRUE(std::filesystem::create_directory(folder_));
    std::filesystem::current_path(folder_);
    platform::installOs(os);
    resetUnitsForTesting();
  }

  void TearDown() override {
    resetUnitsForTesting();
    platform::installOs(platform::hostOs(0, nullptr));
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // The bytes a unit delivers up to its end, records as they come.
  static std::string bytesOf(UnitNumber number) {
    Unit* unit = findUnit(number, Direction::kRead);
    std::string bytes;
    for (int byte = nextByte(*unit); byte >= 0; byte = nextByte(*unit)) {
      bytes += static_cast<char>(byte);
    }
    return bytes;
  }

  DeviceOs os;

 private:
  std::filesystem::path previous_;
  std::filesystem::path folder_;
};

TEST_F(DeviceUnitTest, ASerialDeviceIsReadThroughItsHandle) {
  std::ofstream("port.bytes", std::ios::binary) << "1,2\r\n3";
  os.backing["COM1"] = "port.bytes";

  openUnit(12, "  com1.dat  ");
  ASSERT_EQ(os.deviceOpens, std::vector<std::string>{"COM1"});
  const Unit* unit = connectedUnit(12);
  ASSERT_NE(unit, nullptr);
  EXPECT_EQ(unit->kind, RecordKind::kDevice);
  EXPECT_EQ(unit->name(), "COM1");
  EXPECT_FALSE(unit->consoleBound);
  // A last line without its line end still ends as a record.
  EXPECT_EQ(bytesOf(12), "1,2\r\n3\n");

  closeUnit(12);
  EXPECT_EQ(connectedUnit(12), nullptr);
  EXPECT_EQ(os.closes, 1);
}

TEST_F(DeviceUnitTest, RefusedDeviceOpensEndTheRun) {
  struct Case {
    const char* name;
    SysError error;
    int code;
  };
  const Case kCases[] = {
      // No such device on this system: the name itself is refused.
      {"LPT2", SysError::kBadName, 6412},
      // A port another program holds.
      {"COM3", SysError::kAccessDenied, 6414},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    os.refusals[c.name] = c.error;
    os.deviceOpens.clear();
    try {
      openUnit(12, c.name);
      ADD_FAILURE() << "opened";
    } catch (const RunError& error) {
      EXPECT_EQ(error.code(), c.code);
    }
    // Read-write, then read-only, then write-only were all tried.
    EXPECT_EQ(os.deviceOpens.size(), 3u);
    EXPECT_EQ(connectedUnit(12), nullptr);
  }
}

}  // namespace
}  // namespace korvelin::recordio
