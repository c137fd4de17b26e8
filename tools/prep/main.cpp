#include <iostream>
#include <string>
#include <vector>

#include "cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = prep::runPrep(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
