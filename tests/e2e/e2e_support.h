#pragma once
// Helpers for whole-program tests under Wine: start a program, find and drive its
// windows through messages, take screenshots, and hand the result to the harness.

#include <windows.h>

#include <string>
#include <vector>

namespace qelvaro::e2e {

std::wstring dosPath(const std::string& unixPath);

// Waits up to `timeoutMs` for a top-level window with this caption (any process).
HWND waitForWindow(const std::wstring& caption, DWORD timeoutMs, const wchar_t* className = nullptr);

// Window text and class of a window.
std::wstring windowText(HWND hwnd);
std::wstring className(HWND hwnd);

// A child's rectangle in its parent's client coordinates.
RECT childRect(HWND child);

// Saves the whole screen (the Wine virtual desktop) as a bitmap in the screenshot
// folder ($QELVARO_SCREENSHOT_DIR); the harness turns it into PNG. False without one.
bool screenshot(const std::string& name);

// Starts a program with a command line, in a folder; returns its process handle.
HANDLE startProgram(const std::wstring& exe, const std::wstring& args, const std::wstring& folder);

// Imports a .reg file into this prefix's registry with the platform's own editor.
bool importRegFile(const std::string& unixPath);

// Copies a file, creating the folder.
bool copyInto(const std::wstring& from, const std::wstring& folder, const std::wstring& name);

// For a main() of a test driver run inside a Wine virtual desktop: the exit code goes
// to the file the harness names, since the desktop does not pass it on.
int reportExitCode(int code);

}  // namespace qelvaro::e2e
