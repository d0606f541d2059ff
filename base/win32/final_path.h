#pragma once
// The path an opened file or folder really is, and whether an opened entry is the one
// its folder holds under a name. Wine shows a Unix link to a file as a plain file and
// opens its target even when asked for the entry itself: only the final path tells
// such a link apart. Written without the C++ library: the self-extractor stub uses it.

#include <windows.h>

namespace qelvaro::base {

// The path `h` really is, in the DOS form ("\\?\C:\x\y"), in a buffer from malloc that
// the caller frees, with its length in `length`; null when the system cannot tell.
wchar_t* FinalPathOf(HANDLE h, DWORD& length);

// True when the opened `h` is the entry `name` of the folder whose final path is
// `folderFinal` (`folderLength` characters; a drive's root ends with "\"), names
// compared as Windows compares them.
bool IsEntryItself(HANDLE h, const wchar_t* folderFinal, DWORD folderLength, const wchar_t* name);

}  // namespace qelvaro::base
