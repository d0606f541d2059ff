#include "commands.h"
#include "zipcomp/interrupt_cleanup.h"

int main(int argc, char** argv) {
  zipcomp::removeTemporariesOnInterrupt();
  return qelvaro::RunProgram(qelvaro::Args(argv + 1, argv + argc));
}
