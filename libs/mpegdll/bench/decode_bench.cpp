// Decodes one MPEG audio file into a WAV file through libmpegdll, the way the player
// component drives it, and prints the wall-clock time it took.
//   mpegdll_decode_bench INPUT.mp3 OUTPUT.wav

#include "libs/mpegdll/include/mpegdll.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s INPUT OUTPUT.wav\n", argv[0]);
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    if (!init()) {
        std::fprintf(stderr, "init failed: %d\n", LastError());
        return 1;
    }
    alignas(std::atomic_ref<unsigned char>::required_alignment) unsigned char ended = 0;
    SetOutputDevice(MPEGDLL_OUTPUT_PCMFILE, argv[2]);
    if (Open(argv[1], MPEGDLL_INPUT_FILE, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
             nullptr) != 0 ||
        Play(0, 0, &ended) != 0) {
        std::fprintf(stderr, "decoding failed: %d\n", LastError());
        deinit();
        return 1;
    }
    while (std::atomic_ref<unsigned char>(ended).load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The end's confirmation tells whether the decode succeeded.
    const bool confirmed = ResetPlayerMode() != 0;
    const int failure = LastError();
    Close();
    deinit();
    if (!confirmed || failure != 0) {
        std::fprintf(stderr, "decoding failed: %d\n", failure);
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::printf("%.3f\n", took.count());
    return 0;
}
