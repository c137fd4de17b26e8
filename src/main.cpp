#include "platform/os.h"

int main(int argc, char** argv) {
  korvelin::platform::installOs(korvelin::platform::hostOs(argc, argv));
  return 0;
}
