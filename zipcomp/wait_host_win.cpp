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
        pump();
        DWORD ms = static_cast<DWORD>(timeout.count());
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

private:
    static void pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Leave the quit request for the program's own loop.
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    HANDLE event_;
};

}  // namespace

std::shared_ptr<WaitHost> makeMessagePumpWaitHost() {
    return std::make_shared<MessagePumpWaitHost>();
}

}  // namespace zipcomp
