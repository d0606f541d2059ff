#include <iostream>

#include "commands.h"

int main(int argc, char** argv) {
  qelvaro::Args args(argv + 1, argv + argc);
  return qelvaro::RunCommandLine(args, std::cout, std::cerr);
}
