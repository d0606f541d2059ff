// A fixed set of threads that run queued jobs in the order they were queued.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zipcomp {

class WorkerPool {
public:
    // 0 threads means one per core.
    explicit WorkerPool(unsigned threads);
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    // Runs whatever is still queued, then joins.
    ~WorkerPool();

    void submit(std::function<void()> job);
    unsigned size() const { return static_cast<unsigned>(threads_.size()); }

private:
    void run();
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace zipcomp
