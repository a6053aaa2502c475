// The job slots that encoder programs running at once share: never more holders than slots,
// a slot of a killed holder free at once, and workers that wait for one can still be stopped.
#include "tools/encoders/parallel/job_slots.h"
#include "tools/encoders/parallel/worker_pool.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

namespace encoders::parallel {
namespace {

using testing::TempDir;

JobSlots slotsIn(const TempDir& dir, int count) {
    std::ofstream(dir / "slots").flush();
    return JobSlots(dir / "slots", count);
}

// Counts the jobs running at once and the most there ever were.
struct Occupancy {
    std::atomic<int> now{0};
    std::atomic<int> most{0};
    void during(std::chrono::milliseconds length) {
        const int running = ++now;
        for (int seen = most; running > seen && !most.compare_exchange_weak(seen, running);) {
        }
        std::this_thread::sleep_for(length);
        --now;
    }
};

TEST(JobSlots, ReadsPathAndCountFromTheLastColon) {
    TempDir dir;
    std::filesystem::create_directory(dir / "a:b");
    struct Row {
        const char* text; // after the folder's path, but for ":3"
        const char* file; // nullptr: refused
        int count;
    };
    for (const Row& row :
         {Row{"/slots:4", "slots", 4}, Row{"/a:b/slots:2", "a:b/slots", 2},
          Row{"/slots:0", nullptr, 0}, Row{"/slots:-1", nullptr, 0}, Row{"/slots:2x", nullptr, 0},
          Row{"/slots:", nullptr, 0}, Row{"/slots", nullptr, 0}, Row{":3", nullptr, 0}}) {
        const std::string text = row.text[0] == ':' ? row.text : dir.path().string() + row.text;
        const auto slots = JobSlots::parse(text);
        ASSERT_EQ(slots.has_value(), row.file != nullptr) << text;
        if (slots) {
            // Exactly `count` slots of that file can be held at once.
            std::ofstream(dir / row.file).flush();
            std::vector<JobSlots::Slot> held;
            for (int i = 0; i < row.count; ++i) {
                held.push_back(slots->tryTake());
                EXPECT_TRUE(held.back().held()) << text;
            }
            EXPECT_FALSE(slots->tryTake().held()) << text;
        }
    }
}

TEST(JobSlots, ThreadsNeverHoldMoreThanTheSlots) {
    TempDir dir;
    const JobSlots slots = slotsIn(dir, 2);
    Occupancy occupancy;
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                const auto slot = slots.take();
                ASSERT_TRUE(slot.held());
                occupancy.during(std::chrono::milliseconds(2));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(occupancy.most, 2);
}

TEST(JobSlots, AKilledHolderGivesItsSlotsBack) {
    TempDir dir;
    const JobSlots slots = slotsIn(dir, 2);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const auto first = slots.tryTake();
        const auto second = slots.tryTake();
        const char held = first.held() && second.held() ? 'y' : 'n';
        (void)!::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    EXPECT_FALSE(slots.tryTake().held());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(slots.tryTake().held());
}

TEST(JobSlots, AWaitEndsWhenAbandonedOrWhenTheFileIsUnusable) {
    TempDir dir;
    const JobSlots slots = slotsIn(dir, 1);
    const auto taken = slots.tryTake();
    int asked = 0;
    EXPECT_FALSE(slots.take([&] { return ++asked == 3; }).held());
    EXPECT_EQ(asked, 3);
    // Without a usable file the coding goes on unshared instead of waiting forever.
    EXPECT_FALSE(JobSlots(dir / "missing", 1).take().held());
}

TEST(WorkerPool, StopsWhileItsWorkersWaitForSlots) {
    TempDir dir;
    const JobSlots slots = slotsIn(dir, 1);
    const auto taken = slots.tryTake();
    std::atomic<bool> ran{false};
    std::future<void> job;
    {
        WorkerPool pool(2, slots);
        job = pool.submit([&] { ran = true; });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(ran);
    EXPECT_THROW(job.get(), std::future_error);
}

} // namespace
} // namespace encoders::parallel
