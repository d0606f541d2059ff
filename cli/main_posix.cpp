#include <cstdio>
#include <exception>
#include <iostream>
#include <new>

#include "commands.h"
#include "zipcomp/interrupt_cleanup.h"

int main(int argc, char** argv) {
  zipcomp::removeTemporariesOnInterrupt();
  int code = 0;
  // Whatever escapes a command ends the program with a message and a failure code,
  // never with an abort that prints nothing.
  try {
    qelvaro::Args args(argv + 1, argv + argc);
    code = qelvaro::RunCommandLine(args, std::cout, std::cerr);
  } catch (const std::bad_alloc&) {
    std::cerr << "qelvaro: out of memory\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "qelvaro: " << e.what() << "\n";
    return 1;
  } catch (...) {
    std::cerr << "qelvaro: unexpected failure\n";
    return 1;
  }
  // Output that never reached its reader (a full disk, a closed pipe) is a failure.
  // (A command that found out itself has said so and failed already.)
  std::cout.flush();
  if ((!std::cout || std::fflush(stdout) != 0) && code == 0) {
    std::cerr << "qelvaro: cannot write the output\n";
    return 1;
  }
  return code;
}
