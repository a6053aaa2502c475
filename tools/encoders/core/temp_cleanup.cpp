#include "tools/encoders/core/temp_cleanup.h"

#include "tools/encoders/core/encoder_error.h"

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <limits.h>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace encoders {

namespace {

constexpr std::size_t kSlots = 16;
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ};

// Plain buffers and lock-free flags: all that a signal handler may touch.
char paths[kSlots][PATH_MAX];
std::array<std::atomic<bool>, kSlots> inUse{};
std::mutex registration;

void removeAndDie(int signal) {
    for (std::size_t i = 0; i < kSlots; ++i) {
        if (inUse[i].load()) {
            ::unlink(paths[i]);
        }
    }
    // The handler was installed to run once: the raised signal takes the default action.
    ::raise(signal);
}

void installHandlers() {
    struct sigaction action {};
    action.sa_handler = removeAndDie;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        struct sigaction previous {};
        // A signal the caller chose to ignore stays ignored.
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
            ::sigaction(signal, &action, nullptr);
        }
    }
}

} // namespace

int registerTemporary(const std::filesystem::path& path) {
    static_assert(std::atomic<bool>::is_always_lock_free);
    const std::string& text = path.native();
    if (text.size() >= PATH_MAX) {
        throw EncoderError("the temporary file's path is too long: " + text);
    }
    std::lock_guard lock(registration);
    static const bool installed = (installHandlers(), true);
    (void)installed;
    for (std::size_t i = 0; i < kSlots; ++i) {
        if (!inUse[i].load()) {
            std::memcpy(paths[i], text.c_str(), text.size() + 1);
            inUse[i].store(true);
            return static_cast<int>(i);
        }
    }
    throw EncoderError("too many temporary files at once");
}

CleanupSignalsHeld::CleanupSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kSignals) {
        sigaddset(&held, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

CleanupSignalsHeld::~CleanupSignalsHeld() {
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void releaseTemporary(int slot) noexcept {
    if (slot >= 0 && static_cast<std::size_t>(slot) < kSlots) {
        inUse[static_cast<std::size_t>(slot)].store(false);
    }
}

} // namespace encoders
