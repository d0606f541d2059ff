#include "zipcomp/interrupt_cleanup.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include <cwchar>

#include "base/utf8.h"
#else
#include <csignal>
#include <unistd.h>
#endif

namespace zipcomp {
namespace {

// A signal handler may not lock or allocate: fixed slots, each claimed and released
// through its own flag, the path copied in before the slot is marked ready.
constexpr int kSlots = 16;
constexpr std::size_t kPathMax = 4096;
enum : int { kFree = 0, kFilling = 1, kReady = 2 };
struct Slot {
    std::atomic<int> state{kFree};
    char path[kPathMax];
};
Slot g_slots[kSlots];

void removePath(const char* utf8) {
#ifdef _WIN32
    // Long paths need the extended form; the file is open with delete sharing, so the
    // delete takes effect when the process closes it on the way out.
    static thread_local wchar_t wide[kPathMax], full[kPathMax + 8];
    // The base layer's conversion into a fixed buffer allocates nothing; a slot's path
    // is shorter than kPathMax bytes, so it needs fewer units than that.
    const std::size_t n = qelvaro::base::utf8ToUtf16({utf8, strnlen(utf8, kPathMax - 1)},
                                                     reinterpret_cast<char16_t*>(wide));
    if (n == 0) return;
    wide[n] = 0;
    for (wchar_t* p = wide; *p; ++p)
        if (*p == L'/') *p = L'\\';
    std::wcscpy(full, L"\\\\?\\");
    DWORD len = GetFullPathNameW(wide, static_cast<DWORD>(kPathMax), full + 4, nullptr);
    if (len == 0 || len >= kPathMax || std::wcsncmp(wide, L"\\\\", 2) == 0) {
        DeleteFileW(wide);
        return;
    }
    DeleteFileW(full);
#else
    ::unlink(utf8);
#endif
}

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD) {
    removeRegisteredTemporaries();
    return FALSE;  // the default handler ends the process
}
#else
void onSignal(int sig) {
    int saved = errno;
    removeRegisteredTemporaries();
    std::signal(sig, SIG_DFL);
    errno = saved;
    ::raise(sig);
}
#endif

}  // namespace

void removeRegisteredTemporaries() {
    for (auto& slot : g_slots)
        if (slot.state.load() == kReady) removePath(slot.path);
}

void removeTemporariesOnInterrupt() {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true)) return;
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    // Every signal whose default action ends the process while it writes: SIGPIPE when
    // the reader of our output goes away, SIGXFSZ when the archive passes the file-size
    // limit, SIGQUIT and SIGUSR1 from outside.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGXFSZ}) {
        struct sigaction old {};
        // A signal the caller chose to ignore stays ignored.
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
#endif
}

TemporaryRegistration::TemporaryRegistration(const std::string& path) : slot_(-1) {
    if (path.size() >= kPathMax) return;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
            g_slots[i].state.store(kReady);
            slot_ = i;
            return;
        }
    }
}

TemporaryRegistration::~TemporaryRegistration() {
    if (slot_ >= 0) g_slots[slot_].state.store(kFree);
}

}  // namespace zipcomp
