#pragma once
// One copy of a package at a time per unpack folder.

#include <windows.h>

namespace qsfx {

// Held by the one copy of a package that unpacks into, and runs from, a folder: a
// mutex of this session named after the folder's path (upper-cased, hashed). Windows
// releases it when the process ends, however it ends.
class FolderLock {
public:
    explicit FolderLock(const wchar_t* folder);
    ~FolderLock() {
        if (owned_) ReleaseMutex(mutex_);
        if (mutex_) CloseHandle(mutex_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool owned() const { return owned_ || unlocked_; }

private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
    bool unlocked_ = false;
};

}  // namespace qsfx
