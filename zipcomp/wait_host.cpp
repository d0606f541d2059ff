#include "zipcomp/wait_host.h"

namespace zipcomp {

void BlockingWaitHost::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, timeout, [this] { return signalled_; });
    signalled_ = false;
}

void BlockingWaitHost::wake() noexcept {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

}  // namespace zipcomp
