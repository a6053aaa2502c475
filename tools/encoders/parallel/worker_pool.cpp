#include "tools/encoders/parallel/worker_pool.h"

namespace encoders::parallel {

WorkerPool::WorkerPool(int threads, std::optional<JobSlots> slots) : slots_(std::move(slots)) {
    threads_.reserve(static_cast<std::size_t>(threads));
    try {
        for (int i = 0; i < threads; ++i) {
            threads_.emplace_back([this] { run(); });
        }
    } catch (...) {
        stop();
        throw;
    }
}

WorkerPool::~WorkerPool() {
    stop();
}

void WorkerPool::stop() noexcept {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    for (auto& thread : threads_) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    threads_.clear();
}

void WorkerPool::push(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void WorkerPool::run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        JobSlots::Slot slot;
        if (slots_) {
            // A pool being stopped drops the job rather than wait for a slot for it.
            slot = slots_->take([this] {
                std::lock_guard lock(mutex_);
                return stopping_;
            });
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
        }
        job();
    }
}

} // namespace encoders::parallel
