// How the thread that calls ZipComponent::Zip waits while the work runs elsewhere.
// A window program waits in its message loop (so that the window keeps painting and
// progress events arrive on its thread); a console program simply blocks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace zipcomp {

class WaitHost {
public:
    virtual ~WaitHost() = default;
    // Called on the Zip caller's thread: returns after wake() or the timeout, having
    // handled whatever the host handles meanwhile (window messages).
    virtual void wait(std::chrono::milliseconds timeout) = 0;
    // Called from any thread when there is progress to report or the work is over.
    virtual void wake() noexcept = 0;
    // Called on the caller's thread when Zip is about to return.
    virtual void finished() noexcept {}
};

class BlockingWaitHost final : public WaitHost {
public:
    void wait(std::chrono::milliseconds timeout) override;
    void wake() noexcept override;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

#ifdef _WIN32
// Waits in MsgWaitForMultipleObjectsEx and dispatches the calling thread's messages,
// so windows stay responsive while Zip runs.
std::shared_ptr<WaitHost> makeMessagePumpWaitHost();
#endif

}  // namespace zipcomp
