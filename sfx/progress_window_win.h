#pragma once
// The unpacking's progress window (user32 only: no common controls in the stub).

#include <windows.h>

#include <cstdint>

namespace qsfx {

// The unpacking's progress, in a small window of its own once the unpacking has taken
// longer than a blink (never in a quiet run). The window has no close button: the
// package cannot be stopped halfway, which would leave a folder with half a driver set.
class Progress {
public:
    Progress(bool show, const wchar_t* title, std::uint64_t total)
        : show_(show), title_(title), total_(total ? total : 1), start_(GetTickCount()) {}
    ~Progress() {
        if (dialog_) DestroyWindow(dialog_);
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Counts `bytes` more as done, and shows or refreshes the window when it is time.
    void advance(std::uint64_t bytes);

    // The controls of the dialog template in sfx.rc.
    static constexpr int kTextId = 100;
    static constexpr int kBarId = 101;

private:
    static constexpr DWORD kShowAfterMs = 300;
    static constexpr DWORD kRefreshMs = 50;

    static INT_PTR CALLBACK dialogProc(HWND, UINT message, WPARAM, LPARAM);
    static LRESULT CALLBACK barProc(HWND w, UINT message, WPARAM wp, LPARAM lp);
    void open();

    bool show_;
    const wchar_t* title_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    DWORD start_;
    DWORD shown_ = 0;
    HWND dialog_ = nullptr;
};

}  // namespace qsfx
