#include "entropy/driver.h"
#include "platform/os.h"
#include "runtime/run_lifecycle.h"

namespace {

// The working storage lives for the whole run and is allocated once.
korvelin::entropy::Computation computation;

}  // namespace

int main(int argc, char** argv) {
  korvelin::platform::installOs(korvelin::platform::hostOs(argc, argv));
  korvelin::runProgram(
      [] { korvelin::entropy::runEntropyProgram(computation); });
}
