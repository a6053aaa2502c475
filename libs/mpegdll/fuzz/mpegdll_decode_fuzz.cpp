// Fuzzes the decoder library's Open and decode into a WAV file: each input is given once as a
// file and once through the stream callbacks (non-seekable when its first byte is odd).

#include "libs/mpegdll/include/mpegdll.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

// A decode that has not ended by then is stopped; a hang shows up as libFuzzer's timeout.
constexpr auto decodeBound = std::chrono::seconds(5);

struct Stream {
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    std::size_t position = 0;
    bool nonseekable = false;

    static void open(void* user, unsigned char* nonseekable, void** context) {
        auto* self = static_cast<Stream*>(user);
        self->position = 0;
        *nonseekable = self->nonseekable ? 1 : 0;
        *context = self;
    }
    static void close(void*, void*) {}
    static void restart(void* user, void*, unsigned char* res) {
        static_cast<Stream*>(user)->position = 0;
        *res = 1;
    }
    static void read(void* user, void*, void* buffer, int wanted, int* got, unsigned char* res) {
        auto* self = static_cast<Stream*>(user);
        const std::size_t count =
            std::min(static_cast<std::size_t>(std::max(wanted, 0)), self->length - self->position);
        std::memcpy(buffer, self->data + self->position, count);
        self->position += count;
        *got = static_cast<int>(count);
        *res = 1;
    }
    static void seek(void* user, void*, int numbytes, int moveMethod, int* res) {
        auto* self = static_cast<Stream*>(user);
        const long long base = moveMethod == 0   ? 0
                               : moveMethod == 1 ? static_cast<long long>(self->position)
                                                 : static_cast<long long>(self->length);
        const long long target = base + numbytes;
        if (target < 0 || target > static_cast<long long>(self->length)) {
            *res = -1;
            return;
        }
        self->position = static_cast<std::size_t>(target);
        *res = static_cast<int>(target);
    }
    static void size(void* user, void*, int* res) {
        *res = static_cast<int>(static_cast<Stream*>(user)->length);
    }
};

std::filesystem::path workDir;
alignas(std::atomic_ref<unsigned char>::required_alignment) unsigned char endFlag = 0;

// Decodes the open stream into a WAV file and asks what a caller would ask along the way.
void decodeOpenStream() {
    GetLength();
    GetFrequency();
    GetBitrate();
    GetLayer();
    SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, (workDir / "out.wav").c_str());
    if (Play(0, 0, &endFlag) != 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + decodeBound;
    while (std::atomic_ref<unsigned char>(endFlag).load() == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        GetCurrentPos();
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    if (std::atomic_ref<unsigned char>(endFlag).load() == 0)
        Stop();
    ResetPlayerMode();
    LastError();
    GetCurrentPos();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // Every decode syncs its WAV to the disk; in memory that costs next to nothing, so the
    // fuzzer spends its time decoding.
    char pattern[] = "/dev/shm/fuzz_mpegdll.XXXXXX";
    char fallback[] = "/tmp/fuzz_mpegdll.XXXXXX";
    const char* folder = mkdtemp(pattern);
    if (folder == nullptr)
        folder = mkdtemp(fallback);
    if (folder == nullptr || !init())
        std::abort();
    workDir = folder;
    std::atexit([] {
        deinit();
        std::error_code error;
        std::filesystem::remove_all(workDir, error);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = workDir / "in.mp3";
    std::ofstream(input, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (Open(input.c_str(), MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr,
             nullptr, nullptr) == 0)
        decodeOpenStream();
    Close();

    Stream stream{data, size, 0, size > 0 && (data[0] & 1) != 0};
    if (Open(nullptr, MPEGDLL_INPUT_STREAM, &Stream::open, &Stream::close, &Stream::restart,
             &Stream::read, &Stream::seek, &Stream::size, &stream) == 0)
        decodeOpenStream();
    Close();
    return 0;
}
