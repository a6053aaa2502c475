#pragma once

#include "tools/encoders/parallel/job_slots.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace encoders::parallel {

// A fixed set of threads that run jobs in the order they were given. Destroying the pool
// drops the jobs not yet started (their futures report a broken promise) and waits for the
// running ones. With job slots, each thread holds a slot while it runs a job.
class WorkerPool {
public:
    explicit WorkerPool(int threads, std::optional<JobSlots> slots = std::nullopt);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    template <class Job> auto submit(Job job) -> std::future<decltype(job())> {
        auto task = std::make_shared<std::packaged_task<decltype(job())()>>(std::move(job));
        auto future = task->get_future();
        push([task] { (*task)(); });
        return future;
    }

private:
    void push(std::function<void()> job);
    void run();
    void stop() noexcept;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    const std::optional<JobSlots> slots_;
    std::vector<std::thread> threads_;
};

} // namespace encoders::parallel
