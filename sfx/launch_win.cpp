#include "sfx/launch_win.h"

#include <shellapi.h>

#include <cstdlib>
#include <cstring>

#include "base/win32/system_dll.h"
#include "sfx/sfx_texts.h"

namespace qsfx {

// Expands the placeholders of a setting into wide text.
WStr expand(const char* text, const char* temp, const char* dir, bool quote) {
    const std::size_t need = expandPlaceholders(text, temp, dir, quote, nullptr, 0);
    char* buf = static_cast<char*>(std::malloc(need + 1));
    if (!buf) std::abort();
    expandPlaceholders(text, temp, dir, quote, buf, need + 1);
    WStr out;
    out.addUtf8(buf);
    std::free(buf);
    return out;
}


namespace {

constexpr DWORD kElevationRequired = 740;  // ERROR_ELEVATION_REQUIRED

// A restore program that asks for administrator rights cannot be started by
// CreateProcess from a standard user's process (ERROR_ELEVATION_REQUIRED): the shell
// starts it with the elevation prompt instead. shell32 is loaded from System32, never
// searched for.
bool startThroughShell(const wchar_t* file, const wchar_t* params, const wchar_t* dir, HANDLE* process) {
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    const auto run = qelvaro::base::DllEntry<ShellExecuteExFn>(qelvaro::base::LoadSystemDll(L"shell32.dll"), "ShellExecuteExW");
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpVerb = L"runas";
    info.lpFile = file;
    info.lpParameters = params;
    info.lpDirectory = dir;
    info.nShow = SW_SHOWNORMAL;
    const bool started = run && run(&info) && info.hProcess;
    if (started) *process = info.hProcess;
    return started;
}


}  // namespace

Outcome runProgram(const Settings& settings, const char* temp, const WStr& folder) {
    Outcome r;
    const char* bar = std::strchr(settings.run, '|');
    const std::size_t progLen = bar ? static_cast<std::size_t>(bar - settings.run) : std::strlen(settings.run);
    char* progText = static_cast<char*>(std::malloc(progLen + 1));
    if (!progText) std::abort();
    std::memcpy(progText, settings.run, progLen);
    progText[progLen] = 0;
    char* dir = toUtf8(folder.c());
    WStr prog = expand(progText, temp, dir, false);
    WStr params = expand(bar ? bar + 1 : "", temp, dir, true);
    std::free(progText);
    std::free(dir);
    if (prog.size() == 0) return r;
    // Never searched for: a relative name means the unpack folder.
    WStr full;
    if (isAbsolute(prog.c())) full.add(prog.c());
    else full.add(folder.c()).add(L"\\").add(prog.c());

    WStr commandLine;
    commandLine.add(L"\"").add(full.c()).add(L"\"");
    if (params.size()) commandLine.add(L" ").add(params.c());
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const DWORD attrs = GetFileAttributesW(full.c());
    bool started = attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY) &&
                   CreateProcessW(full.c(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c(), &si, &pi);
    if (started) CloseHandle(pi.hThread);
    else if (GetLastError() == kElevationRequired)
        started = startThroughShell(full.c(), params.size() ? params.c() : nullptr, folder.c(), &pi.hProcess);
    if (!started) {
        r.code = kExitRunFailed;
        r.text = texts::kRunFailed;
        r.detail.add(full.c());
        return r;
    }
    if (settings.install) {
        // Install mode: the package ends when the restore program ends, with its code.
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        r.code = static_cast<int>(code);
    }
    CloseHandle(pi.hProcess);
    return r;
}

}  // namespace qsfx
