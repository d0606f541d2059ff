#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "commands.h"
#include "console_ui.h"
#include "base/win32/wide_string.h"
#include "zipcomp/interrupt_cleanup.h"

namespace {

// A console shows UTF-16 text whatever its code page (936 on a Chinese Windows), so
// text for one goes through WriteConsoleW; redirected output stays UTF-8 bytes.
std::unique_ptr<qelvaro::ConsoleTextBuf> consoleBufFor(DWORD which, std::ostream& stream) {
  const HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return nullptr;
  auto buf = std::make_unique<qelvaro::ConsoleTextBuf>([handle](std::string_view text) {
    const std::wstring wide = qelvaro::base::widen(text);
    for (std::size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      if (!WriteConsoleW(handle, wide.data() + done, want, &written, nullptr) || written == 0) return false;
      done += written;
    }
    return true;
  });
  stream.rdbuf(buf.get());
  return buf;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Reports are UTF-8 bytes; keep the C runtime from translating them.
  _setmode(_fileno(stdout), _O_BINARY);
  std::streambuf* const outBuf = std::cout.rdbuf();
  std::streambuf* const errBuf = std::cerr.rdbuf();
  const auto consoleOut = consoleBufFor(STD_OUTPUT_HANDLE, std::cout);
  const auto consoleErr = consoleBufFor(STD_ERROR_HANDLE, std::cerr);
  zipcomp::removeTemporariesOnInterrupt();
  qelvaro::Args args;
  for (int i = 1; i < argc; ++i) args.push_back(qelvaro::base::narrow(argv[i]));
  const int code = qelvaro::RunProgram(args);
  std::cout.flush();
  std::cerr.flush();
  std::cout.rdbuf(outBuf);
  std::cerr.rdbuf(errBuf);
  return code;
}
