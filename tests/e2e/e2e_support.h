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

// A dialog (class #32770) owned by `owner`, other than `except`; null when none shows
// within `timeoutMs`.
HWND waitForOwnedDialog(HWND owner, DWORD timeoutMs, HWND except = nullptr);

// The top-level windows of a process, one line each (class, caption, owner), for
// failure messages.
std::string describeWindows(DWORD processId);

// Ends the process when the scope ends unless it has exited (so that a failed test
// does not leave a window waiting for input), and closes its handle.
class ProcessGuard {
 public:
  explicit ProcessGuard(HANDLE process) : process_(process) {}
  ~ProcessGuard();
  ProcessGuard(const ProcessGuard&) = delete;
  ProcessGuard& operator=(const ProcessGuard&) = delete;

 private:
  HANDLE process_;
};

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

// Makes a Unix symbolic link `link` to `target` (both Windows paths) on the Linux side,
// as a user of Wine makes one (Wine 8's mklink and CreateSymbolicLinkW make nothing
// usable); waits until the link can be seen. False where this is not Wine.
bool unixLink(const std::wstring& target, const std::wstring& link);

// Imports a .reg file into this prefix's registry with the platform's own editor.
bool importRegFile(const std::string& unixPath);

// Copies a file, creating the folder.
bool copyInto(const std::wstring& from, const std::wstring& folder, const std::wstring& name);

// Clicks a button once it is enabled (a window busy scanning keeps its buttons off);
// false when it stays off for `timeoutMs`.
bool clickWhenEnabled(HWND button, DWORD timeoutMs);

// After the backup button was pressed: picks `folder` in Quorvak's folder browser
// (the path is written into its memory for BFFM_SETSELECTION, which the browser reads
// before SendMessage returns) and posts OK. The browser's window, or null when none
// came within 90 s.
HWND chooseFolder(HWND main, HANDLE process, const std::wstring& folder, const std::string& shot);

// Closes the message box `done` (a screenshot first) and returns its text.
std::wstring takeMessage(HWND done, const std::string& shot);

// chooseFolder, then the end message taken ("<...>" when a window never showed).
std::wstring pickFolderAndWait(HWND main, HANDLE process, const std::wstring& folder, const std::string& shot);

// For a main() of a test driver run inside a Wine virtual desktop: the exit code goes
// to the file the harness names, since the desktop does not pass it on.
int reportExitCode(int code);

}  // namespace qelvaro::e2e
