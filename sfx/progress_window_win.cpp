#include "sfx/progress_window_win.h"

#include "sfx/sfx_texts.h"
#include "sfx/wide_buffer_win.h"

namespace qsfx {

void Progress::advance(std::uint64_t bytes) {
    done_ += bytes;
    if (!show_) return;
    const DWORD now = GetTickCount();
    if (!dialog_) {
        if (now - start_ < kShowAfterMs) return;
        open();
        if (!dialog_) return;
    } else if (now - shown_ < kRefreshMs) {
        return;
    }
    shown_ = now;
    const int percent = static_cast<int>(done_ >= total_ ? 100 : done_ * 100 / total_);
    WStr text;
    text.addUtf8(texts::kUnpacking);
    wchar_t number[16];
    wsprintfW(number, L" %d%%", percent);
    text.add(number);
    SetDlgItemTextW(dialog_, kTextId, text.c());
    HWND bar = GetDlgItem(dialog_, kBarId);
    SetWindowLongPtrW(bar, GWLP_USERDATA, percent);
    InvalidateRect(bar, nullptr, FALSE);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageW(dialog_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

INT_PTR CALLBACK Progress::dialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The bar paints itself with the system's colours: user32 only, no common controls.
LRESULT CALLBACK Progress::barProc(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    if (message != WM_PAINT) return DefWindowProcW(w, message, wp, lp);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    RECT r;
    GetClientRect(w, &r);
    DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    const LONG_PTR percent = GetWindowLongPtrW(w, GWLP_USERDATA);
    RECT filled = r;
    filled.right = r.left + static_cast<LONG>((r.right - r.left) * percent / 100);
    RECT rest = r;
    rest.left = filled.right;
    FillRect(dc, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
    FillRect(dc, &rest, GetSysColorBrush(COLOR_WINDOW));
    EndPaint(w, &ps);
    return 0;
}

void Progress::open() {
    HINSTANCE self = GetModuleHandleW(nullptr);
    WNDCLASSW bar{};
    bar.lpfnWndProc = barProc;
    bar.hInstance = self;
    bar.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    bar.lpszClassName = L"QelvaroSfxBar";
    RegisterClassW(&bar);
    dialog_ = CreateDialogParamW(self, MAKEINTRESOURCEW(1), nullptr, dialogProc, 0);
    show_ = dialog_ != nullptr;
    if (!dialog_) return;
    SetWindowTextW(dialog_, title_);
    ShowWindow(dialog_, SW_SHOWNORMAL);
}

}  // namespace qsfx
