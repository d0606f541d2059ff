#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <new>

#include "commands.h"
#include "win32_text.h"
#include "zipcomp/interrupt_cleanup.h"

int wmain(int argc, wchar_t** argv) {
  // Reports are UTF-8 bytes; keep the C runtime from translating them.
  _setmode(_fileno(stdout), _O_BINARY);
  zipcomp::removeTemporariesOnInterrupt();
  int code = 0;
  // Whatever escapes a command ends the program with a message and a failure code.
  try {
    qelvaro::Args args;
    for (int i = 1; i < argc; ++i) args.push_back(qelvaro::narrow(argv[i]));
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
  // (A command that found out itself has said so and failed already.)
  std::cout.flush();
  if ((!std::cout || std::fflush(stdout) != 0) && code == 0) {
    std::cerr << "qelvaro: cannot write the output\n";
    return 1;
  }
  return code;
}
