#pragma once
// The program's start: put the zip component in place, then show the main window.

#include <windows.h>

#include <string>

namespace qelvaro {

inline constexpr char kZipResourceName[] = "QZIP.DLL";
inline constexpr char kZipResourceType[] = "CUSTOM";

// The folder of the running program, without a trailing separator (a drive root
// keeps its backslash, "C:\").
std::string ProgramFolder();

// Writes qzip.dll next to the program and registers it when the write succeeded
// (a program folder it cannot write to keeps what lies there, unregistered). Failures
// are not shown: the program does not need the component itself, and its window is
// shown in every case. Gives the DLL's full path when it was written and registered,
// and otherwise why not (`path` empty): the window then packs with the component
// linked into it, and its report says so.
struct ZipComponentPlace {
  std::string path;
  std::string why;
};
ZipComponentPlace PutZipComponentInPlace();

// Main: the start-up, the main window, and its message loop until it is closed.
int Main(HINSTANCE instance);

}  // namespace qelvaro
