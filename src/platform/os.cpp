#include "platform/os.h"

#include <cstdlib>

namespace korvelin::platform {
namespace {
Os* installed = nullptr;
}  // namespace

Os& os() {
  if (installed == nullptr) {
    installed = &hostOs(0, nullptr);
  }
  return *installed;
}

void installOs(Os& services) { installed = &services; }

std::optional<FileStamp> Os::stamp(FileHandle) { return std::nullopt; }

bool Os::standardOutputIsTerminal() { return true; }

OpenResult Os::openDevice(std::string_view, Access) {
  return {kNoFile, SysError::kBadName};
}

}  // namespace korvelin::platform

namespace korvelin::platform {

void exitProcess(int status) {
  os().exitProcess(status);
  // An exitProcess that returns is a broken fake; never go on running.
  std::abort();
}

}  // namespace korvelin::platform
