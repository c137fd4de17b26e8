// The host's side of the seam, on whichever system the tests are built for:
// real files in a fresh folder and a real command interpreter.
#include "platform/os.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace korvelin::platform {
namespace {

class HostOsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::random_device entropy;
    folder_ = std::filesystem::temp_directory_path() /
              ("korvelin-os-" + std::to_string(entropy()));
    ASSERT_TRUE(std::filesystem::create_directory(folder_)) << folder_;
    std::filesystem::current_path(folder_);
  }

  void TearDown() override {
    for (FileHandle handle : open_) {
      host.close(handle);
    }
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // Opens and remembers the handle so that it is closed after the test.
  FileHandle expectOpen(OpenResult opened) {
    EXPECT_EQ(opened.error, SysError::kNone);
    EXPECT_NE(opened.handle, kNoFile);
    if (opened.handle != kNoFile) {
      open_.push_back(opened.handle);
    }
    return opened.handle;
  }

  static void writeFile(const std::string& name, std::string_view bytes) {
    std::ofstream out(name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  static std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in),
            std::istreambuf_iterator<char>()};
  }

  static std::string readAll(Os& os, FileHandle file) {
    std::string content;
    std::array<char, 4> block{};
    for (;;) {
      TransferResult got = os.readAt(file, content.size(), block);
      EXPECT_EQ(got.error, SysError::kNone);
      if (got.count == 0 || got.error != SysError::kNone) {
        return content;
      }
      content.append(block.data(), got.count);
    }
  }

  Os& host = hostOs(0, nullptr);

 private:
  std::filesystem::path previous_;
  std::filesystem::path folder_;
  std::vector<FileHandle> open_;
};

TEST_F(HostOsTest, PositionalTransfersAndCut) {
  FileHandle file = expectOpen(host.createExclusive("t.dat", Access::kReadWrite));
  ASSERT_NE(file, kNoFile);
  EXPECT_TRUE(host.exists("t.dat"));

  // Bytes pass untranslated, CR LF and control-Z included; a write past
  // the end extends the file.
  const std::string bytes = "ab\r\ncd\n\x1a\r\n";
  TransferResult put = host.writeAt(file, 0, {bytes.data(), bytes.size()});
  EXPECT_EQ(put.count, bytes.size());
  EXPECT_EQ(put.error, SysError::kNone);
  put = host.writeAt(file, bytes.size(), std::string_view("xyz"));
  EXPECT_EQ(put.count, 3u);
  EXPECT_EQ(host.fileSize(file), bytes.size() + 3);
  EXPECT_EQ(readAll(host, file), bytes + "xyz");

  // Reading at the end and past it gives nothing, not an error.
  std::array<char, 8> block{};
  for (std::uint64_t offset : {bytes.size() + 3, bytes.size() + 100}) {
    TransferResult got = host.readAt(file, offset, block);
    EXPECT_EQ(got.count, 0u);
    EXPECT_EQ(got.error, SysError::kNone);
  }

  EXPECT_EQ(host.setEnd(file, 3), SysError::kNone);
  EXPECT_EQ(host.fileSize(file), 3u);
  EXPECT_EQ(readAll(host, file), "ab\r");
}

TEST_F(HostOsTest, ExclusiveCreationRefusesAnExistingName) {
  writeFile("old.dat", "kept");
  OpenResult again = host.createExclusive("old.dat", Access::kReadWrite);
  EXPECT_EQ(again.error, SysError::kExists);
  EXPECT_EQ(again.handle, kNoFile);
  EXPECT_EQ(readFile("old.dat"), "kept");
}

TEST_F(HostOsTest, OpenRefusals) {
  std::filesystem::create_directory("folder");
  struct Case {
    const char* note;
    std::string name;
    SysError error;
  };
  const Case kCases[] = {
      {"a missing folder", "nodir/iso.dat", SysError::kPathNotFound},
      // The caller creates a missing file; an open of an existing name that
      // finds nothing can only have lost a folder on the way.
      {"a missing file", "nofile.dat", SysError::kPathNotFound},
      {"a folder", "folder", SysError::kAccessDenied},
      {"a NUL inside the name", std::string("a\0b", 3), SysError::kBadName},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.note);
    for (Access access :
         {Access::kReadWrite, Access::kReadOnly, Access::kWriteOnly}) {
      OpenResult opened = host.openExisting(c.name, access);
      EXPECT_EQ(opened.error, c.error);
      EXPECT_EQ(opened.handle, kNoFile);
    }
  }
  OpenResult created = host.createExclusive("nodir/new.dat", Access::kReadWrite);
  EXPECT_EQ(created.error, SysError::kPathNotFound);
}

TEST_F(HostOsTest, ReadOnlyHandleRefusesWritesAndTheCut) {
  writeFile("r.dat", "content");
  FileHandle file = expectOpen(host.openExisting("r.dat", Access::kReadOnly));
  ASSERT_NE(file, kNoFile);
  EXPECT_EQ(readAll(host, file), "content");
  EXPECT_EQ(host.setEnd(file, 0), SysError::kAccessDenied);
  TransferResult put = host.writeAt(file, 0, std::string_view("x"));
  EXPECT_EQ(put.count, 0u);
  EXPECT_EQ(put.error, SysError::kAccessDenied);
  EXPECT_EQ(readFile("r.dat"), "content");
}

TEST_F(HostOsTest, OpensTakeNoLocks) {
  writeFile("shared.dat", "1234");
  FileHandle first = expectOpen(host.openExisting("shared.dat", Access::kReadWrite));
  FileHandle second = expectOpen(host.openExisting("shared.dat", Access::kReadWrite));
  ASSERT_NE(first, kNoFile);
  ASSERT_NE(second, kNoFile);
  EXPECT_EQ(host.writeAt(first, 4, std::string_view("56")).error,
            SysError::kNone);
  EXPECT_EQ(readAll(host, second), "123456");
  // Another program may read the file while it is open here.
  EXPECT_EQ(readFile("shared.dat"), "123456");
}

TEST_F(HostOsTest, IdentityFollowsTheFileNotTheName) {
  std::filesystem::create_directory("sub");
  writeFile("a.dat", "a");
  writeFile("b.dat", "b");
  FileHandle a = expectOpen(host.openExisting("a.dat", Access::kReadOnly));
  ASSERT_NE(a, kNoFile);
  std::optional<FileIdentity> id = host.identity(a);
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(host.identityOf("a.dat"), id);
  EXPECT_EQ(host.identityOf("./a.dat"), id);
  EXPECT_EQ(host.identityOf("sub/../a.dat"), id);
  EXPECT_NE(host.identityOf("b.dat"), id);
  EXPECT_EQ(host.identityOf("missing.dat"), std::nullopt);

  std::error_code linkError;
  std::filesystem::create_hard_link("a.dat", "link.dat", linkError);
  if (!linkError) {
    EXPECT_EQ(host.identityOf("link.dat"), id);
  }
}

TEST_F(HostOsTest, Environment) {
  EXPECT_TRUE(host.environment("PATH").has_value());
  EXPECT_EQ(host.environment("KORVELIN_SURELY_NOT_SET"), std::nullopt);
}

// Sets or, with nullopt, removes a variable of this process.
void setVariable(const char* name, std::optional<std::string> value) {
#ifdef _WIN32
  ::_putenv_s(name, value ? value->c_str() : "");
#else
  if (value) {
    ::setenv(name, value->c_str(), 1);
  } else {
    ::unsetenv(name);
  }
#endif
}

// The command's status comes back; the interpreter runs in the working
// folder and handles redirection itself. An interpreter variable naming
// nothing that starts falls back to the system's own interpreter (on
// systems that use one).
TEST_F(HostOsTest, RunsCommandsThroughTheInterpreter) {
  EXPECT_EQ(host.runCommand("exit 3"), 3);
  EXPECT_EQ(host.runCommand("echo made>made.txt"), 0);
  EXPECT_EQ(readFile("made.txt").substr(0, 4), "made");

  std::optional<std::string> saved = host.environment("COMSPEC");
  setVariable("COMSPEC", "no-such-interpreter.exe");
  std::optional<int> status = host.runCommand("exit 5");
  setVariable("COMSPEC", saved);
  EXPECT_EQ(status, 5);
}

}  // namespace
}  // namespace korvelin::platform
