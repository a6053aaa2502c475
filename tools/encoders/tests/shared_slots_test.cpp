// Encoder programs that share job slots, as a batch runs them several at once: what they write
// depends on their input and options only, not on the thread count nor on how many run at
// once, and a program codes only while it holds a slot.
#include "tools/encoders/parallel/job_slots.h"
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace encoders::testing {
namespace {

struct Case {
    const char* name;
    std::string program; // the house encoder when empty
    std::vector<std::string> options;
    const char* chunkFrames; // small: several chunks; nullptr: one chunk, coded on one thread
};

// Runs the program on its own copy of the WAV in folder `name`; returns the MP3's path.
class Runs {
public:
    Runs(const TempDir& dir, const Case& c) : dir_(dir), c_(c), codec_(codecIn(dir)) {
        writeWav(dir / "in.wav", {.channels = 2, .sampleRate = 44100, .seconds = 2.3});
    }

    std::vector<std::string> argv(const std::string& name) const {
        const auto folder = dir_ / name;
        std::filesystem::create_directory(folder);
        std::filesystem::copy_file(dir_ / "in.wav", folder / "in.wav");
        std::vector<std::string> args;
        if (c_.program == kBladeenc) {
            args = {kBladeenc, (folder / "in.wav").string()};
        } else {
            args = {c_.program.empty() ? codec_ : c_.program, (folder / "in.wav").string(),
                    (folder / "out.mp3").string()};
        }
        args.insert(args.end(), c_.options.begin(), c_.options.end());
        return args;
    }
    std::filesystem::path output(const std::string& name) const {
        return dir_ / name / (c_.program == kBladeenc ? "in.MP3" : "out.mp3");
    }

private:
    const TempDir& dir_;
    const Case& c_;
    std::string codec_;
};

class Environment {
public:
    explicit Environment(const Case& c) {
        set("SONABOX_ENCODER_THREADS", "2");
        if (c.chunkFrames != nullptr) {
            set("SONABOX_ENCODER_CHUNK_FRAMES", c.chunkFrames);
        }
    }
    ~Environment() {
        for (const char* name : set_) {
            ::unsetenv(name);
        }
    }
    void set(const char* name, const std::string& value) {
        ::setenv(name, value.c_str(), 1);
        set_.push_back(name);
    }

private:
    std::vector<const char*> set_;
};

void expectSameBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
    const ProcessResult same = run({"cmp", a.string(), b.string()});
    EXPECT_EQ(same.exitCode, 0) << same.out << same.err;
}

class SharedSlots : public ::testing::TestWithParam<Case> {};

TEST_P(SharedSlots, OutputIsTheSameHoweverManyRunAtOnceAndWaitsForASlot) {
    const Case& c = GetParam();
    TempDir dir;
    Runs runs(dir, c);
    Environment environment(c);
    ASSERT_EQ(run(runs.argv("alone")).exitCode, 0);
    environment.set("SONABOX_ENCODER_THREADS", "3");
    ASSERT_EQ(run(runs.argv("three")).exitCode, 0);
    expectSameBytes(runs.output("alone"), runs.output("three"));

    // Three programs on one slot, then one that waits while the test holds every slot.
    std::ofstream(dir / "slots").flush();
    const parallel::JobSlots slots(dir / "slots", 2);
    environment.set("SONABOX_JOB_SLOTS", (dir / "slots").string() + ":1");
    const std::vector<std::string> together = {"a", "b", "c"};
    std::vector<std::vector<std::string>> args;
    for (const auto& name : together) {
        args.push_back(runs.argv(name));
    }
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (const auto& argv : args) {
        threads.emplace_back([&failures, &argv] { failures += run(argv).exitCode != 0; });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    for (const auto& name : together) {
        expectSameBytes(runs.output("alone"), runs.output(name));
    }

    environment.set("SONABOX_JOB_SLOTS", (dir / "slots").string() + ":2");
    auto first = slots.tryTake();
    auto second = slots.tryTake();
    ASSERT_TRUE(first.held() && second.held());
    const auto waiting = runs.argv("waiting");
    std::atomic<bool> ended{false};
    int exitCode = -1;
    std::thread program([&] {
        exitCode = run(waiting).exitCode;
        ended = true;
    });
    // Alone the program takes a fraction of this; without a slot it codes nothing at all.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_FALSE(ended);
    EXPECT_FALSE(std::filesystem::exists(runs.output("waiting")));
    second = {};
    program.join();
    EXPECT_EQ(exitCode, 0);
    expectSameBytes(runs.output("alone"), runs.output("waiting"));
}

INSTANTIATE_TEST_SUITE_P(
    Programs, SharedSlots,
    ::testing::Values(Case{"house_L3_chunks", "", {"-M1", "-B64"}, "24"},
                      Case{"house_L3_one_chunk", "", {"-M0", "-B64"}, nullptr},
                      Case{"house_L2_chunks", "", {"-M0", "-B96", "-L2"}, "12"},
                      Case{"house_L1_one_chunk", "", {"-M3", "-B32", "-L1"}, nullptr},
                      Case{"bladeenc_chunks", kBladeenc, {"-128", "-QUIT"}, "24"},
                      Case{"plugger_one_chunk", kPlugger, {"-b", "128"}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace encoders::testing
