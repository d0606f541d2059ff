#include "sfx/folder_lock_win.h"

#include <cstdint>

namespace qsfx {

FolderLock::FolderLock(const wchar_t* folder) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const wchar_t* p = folder; *p; ++p) {
        wchar_t c = *p;
        CharUpperBuffW(&c, 1);
        hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
    }
    wchar_t name[64];
    wsprintfW(name, L"Local\\QelvaroSfx.%08lx%08lx", static_cast<unsigned long>(hash >> 32),
              static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    // Only the rights the lock needs: a copy run as administrator made its mutex
    // for administrators, and asking for more would be refused where this much is
    // not needed.
    mutex_ = CreateMutexExW(nullptr, name, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE);
    if (!mutex_) {
        // Refused (another copy runs elevated) or taken by something else: busy.
        // Only a system out of resources lets the package go on without a lock.
        const DWORD e = GetLastError();
        unlocked_ = e == ERROR_NOT_ENOUGH_MEMORY || e == ERROR_NO_SYSTEM_RESOURCES || e == ERROR_OUTOFMEMORY ||
                    e == ERROR_COMMITMENT_LIMIT;
        return;
    }
    const DWORD waited = WaitForSingleObject(mutex_, 0);
    owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

}  // namespace qsfx
