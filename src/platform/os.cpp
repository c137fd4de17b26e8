#include "platform/os.h"

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

}  // namespace korvelin::platform
