// The library's C entry points: each one takes the call lock, runs on the one Player and turns
// failures into the code that LastError reports.

#include "libs/mpegdll/include/mpegdll.h"

#include "libs/mpegdll/src/library_error.h"
#include "libs/mpegdll/src/player.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>

namespace {

using mpegdll::LibraryError;
using mpegdll::Player;

std::mutex callLock;
std::atomic<int> lastError{MPEGDLL_ERR_NONE};
int initCount = 0;
// Destroyed at unload, so a library unloaded without deinit still stops its thread first.
std::unique_ptr<Player> player;

Player& thePlayer() {
    if (!player)
        throw LibraryError(MPEGDLL_ERR_MODE);
    return *player;
}

int codeOf(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const LibraryError& error) {
        return error.code();
    } catch (...) {
        return MPEGDLL_ERR_INTERNAL; // out of memory, no thread, anything unforeseen
    }
}

// Runs one entry point under the call lock and records its error code. Gives the body's
// result on success and `failed` on failure.
template <typename Result, typename Body> Result guarded(Result failed, Body body) {
    std::lock_guard lock(callLock);
    try {
        Result result = body();
        lastError = MPEGDLL_ERR_NONE;
        return result;
    } catch (...) {
        lastError = codeOf(std::current_exception());
        return failed;
    }
}

// The same for entry points without a result; gives the error code.
template <typename Body> int guardedVoid(Body body) {
    std::lock_guard lock(callLock);
    int code = MPEGDLL_ERR_NONE;
    try {
        body();
    } catch (...) {
        code = codeOf(std::current_exception());
    }
    lastError = code;
    return code;
}

// The call that confirms an end also reports the failure that ended the playback.
template <typename Result, typename Body> Result guardedConfirm(Result failed, Body body) {
    std::lock_guard lock(callLock);
    try {
        Result result = body();
        lastError = thePlayer().endFailure();
        return result;
    } catch (...) {
        lastError = codeOf(std::current_exception());
        return failed;
    }
}

} // namespace

extern "C" {

MPEGDLL_API unsigned char init(void) {
    return guarded<unsigned char>(0, [] {
        if (!player)
            player = std::make_unique<Player>();
        ++initCount;
        return static_cast<unsigned char>(1);
    });
}

MPEGDLL_API void deinit(void) {
    guardedVoid([] {
        thePlayer();
        if (--initCount == 0)
            player.reset();
    });
}

MPEGDLL_API int Open(const char* file_name, int kind, mpegdll_open_stream_fn open_stream,
                     mpegdll_close_stream_fn close_stream, mpegdll_restart_stream_fn restart_stream,
                     mpegdll_read_stream_fn read_stream, mpegdll_seek_stream_fn seek_stream,
                     mpegdll_stream_size_fn stream_size, void* user) {
    // A file is opened and read through (its length scanned) before the call lock is taken, so
    // a slow disk holds up this call only, not every other entry point.
    std::unique_ptr<mpegdll::Decoder> file;
    std::exception_ptr fileFailure;
    if (kind == MPEGDLL_INPUT_FILE && file_name != nullptr) {
        try {
            file = mpegdll::Decoder::openFile(file_name);
        } catch (...) {
            fileFailure = std::current_exception();
        }
    }
    return guardedVoid([&] {
        Player& p = thePlayer();
        if (kind == MPEGDLL_INPUT_FILE) {
            if (file_name == nullptr)
                throw LibraryError(MPEGDLL_ERR_INPUT);
            if (fileFailure) {
                p.close(); // as when the file is opened under the lock: the old one is gone
                std::rethrow_exception(fileFailure);
            }
            p.openFile(file_name, std::move(file));
        } else if (kind == MPEGDLL_INPUT_STREAM) {
            const mpegdll::StreamCallbacks callbacks{open_stream, close_stream, restart_stream,
                                                     read_stream, seek_stream,  stream_size,
                                                     user};
            if (!open_stream || !close_stream || !restart_stream || !read_stream || !seek_stream ||
                !stream_size)
                throw LibraryError(MPEGDLL_ERR_MODE);
            p.openStream(callbacks);
        } else {
            throw LibraryError(MPEGDLL_ERR_MODE);
        }
    });
}

MPEGDLL_API void Pause(unsigned char resume) {
    guardedVoid([&] { thePlayer().pause(resume != 0); });
}

MPEGDLL_API void Restart(void) {
    guardedVoid([] { thePlayer().restart(); });
}

MPEGDLL_API void Stop(void) {
    guardedVoid([] { thePlayer().stop(); });
}

MPEGDLL_API void SetPriority(int priority) {
    guardedVoid([&] { thePlayer().setPriority(priority); });
}

MPEGDLL_API void SetOutputDevice(int device, const char* file_name) {
    guardedVoid([&] { thePlayer().setOutput(device, file_name); });
}

MPEGDLL_API int Play(int start_pos, int end_pos, unsigned char* end_flag) {
    return guardedVoid([&] { thePlayer().play(start_pos, end_pos, end_flag); });
}

MPEGDLL_API void Close(void) {
    guardedVoid([] { thePlayer().close(); });
}

MPEGDLL_API int GetFrequency(void) {
    return guarded(0, [] { return thePlayer().frequency(); });
}

MPEGDLL_API int GetBitrate(void) {
    return guarded(0, [] { return thePlayer().frameInfo().bitrate; });
}

MPEGDLL_API int GetStereoMode(void) {
    return guarded(-1, [] { return thePlayer().frameInfo().mode; });
}

MPEGDLL_API int GetLayer(void) {
    return guarded(0, [] { return thePlayer().frameInfo().layer; });
}

MPEGDLL_API int GetPlayerMode(void) {
    return guarded(MPEGDLL_MODE_CLOSED, [] { return thePlayer().mode(); });
}

MPEGDLL_API int GetCurrentPos(void) {
    return guarded(0, [] { return thePlayer().positionMs(); });
}

MPEGDLL_API int GetLength(void) {
    return guarded(0, [] { return thePlayer().lengthMs(); });
}

MPEGDLL_API unsigned char ResetPlayerMode(void) {
    return guardedConfirm<unsigned char>(
        0, [] { return static_cast<unsigned char>(thePlayer().confirmEnd() ? 1 : 0); });
}

MPEGDLL_API int Seek(int position) {
    return guarded(-1, [&] { return thePlayer().seek(position); });
}

MPEGDLL_API void SetSndDevice(int device) {
    guardedVoid([&] { thePlayer().setSoundDevice(device); });
}

MPEGDLL_API int LastError(void) {
    return lastError;
}

} // extern "C"
