#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "commands.h"
#include "win32_text.h"
#include "zipcomp/interrupt_cleanup.h"

int wmain(int argc, wchar_t** argv) {
  // Reports are UTF-8 bytes; keep the C runtime from translating them.
  _setmode(_fileno(stdout), _O_BINARY);
  zipcomp::removeTemporariesOnInterrupt();
  qelvaro::Args args;
  for (int i = 1; i < argc; ++i) args.push_back(qelvaro::narrow(argv[i]));
  return qelvaro::RunProgram(args);
}
