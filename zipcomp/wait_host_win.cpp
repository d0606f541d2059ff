#include "zipcomp/wait_host.h"

#include <windows.h>

namespace zipcomp {
namespace {

class MessagePumpWaitHost final : public WaitHost {
public:
    MessagePumpWaitHost() : event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    MessagePumpWaitHost(const MessagePumpWaitHost&) = delete;
    MessagePumpWaitHost& operator=(const MessagePumpWaitHost&) = delete;
    ~MessagePumpWaitHost() override {
        if (event_) CloseHandle(event_);
    }

    void wait(std::chrono::milliseconds timeout) override {
        DWORD ms = static_cast<DWORD>(timeout.count());
        if (quit_) {
            // The program is closing: no more dispatching, just wait for the work.
            if (event_) WaitForSingleObject(event_, ms);
            return;
        }
        pump();
        if (quit_) return;
        if (event_) {
            MsgWaitForMultipleObjectsEx(1, &event_, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        } else {
            MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        }
        pump();
    }

    void wake() noexcept override {
        if (event_) SetEvent(event_);
    }

    // The quit request belongs to the program's own loop, which runs again after Zip.
    void finished() noexcept override {
        if (quit_) PostQuitMessage(quitCode_);
        quit_ = false;
    }

private:
    void pump() {
        MSG msg;
        while (!quit_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit_ = true;
                quitCode_ = static_cast<int>(msg.wParam);
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    HANDLE event_;
    bool quit_ = false;
    int quitCode_ = 0;
};

}  // namespace

std::shared_ptr<WaitHost> makeMessagePumpWaitHost() {
    return std::make_shared<MessagePumpWaitHost>();
}

}  // namespace zipcomp
