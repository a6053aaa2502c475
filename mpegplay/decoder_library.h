#pragma once

#include "libs/mpegdll/include/mpegdll.h"
#include "platform/shared_library.h"

#include <QString>

// The decoder library's file name.
inline constexpr const char* decoderLibraryName = "libmpegdll.so";

// Where the player loads the decoder library from: the bare file name for the system's
// library search when `pathToDll` is empty, else that folder (with a separator added unless it
// ends in one) and the file name.
QString decoderLibraryPath(const QString& pathToDll);

// The decoder library's 21 entry points.
struct DecoderEntryPoints {
    mpegdll_init_fn init = nullptr;
    mpegdll_deinit_fn deinit = nullptr;
    mpegdll_Open_fn Open = nullptr;
    mpegdll_Pause_fn Pause = nullptr;
    mpegdll_Restart_fn Restart = nullptr;
    mpegdll_Stop_fn Stop = nullptr;
    mpegdll_SetPriority_fn SetPriority = nullptr;
    mpegdll_SetOutputDevice_fn SetOutputDevice = nullptr;
    mpegdll_Play_fn Play = nullptr;
    mpegdll_Close_fn Close = nullptr;
    mpegdll_GetFrequency_fn GetFrequency = nullptr;
    mpegdll_GetBitrate_fn GetBitrate = nullptr;
    mpegdll_GetStereoMode_fn GetStereoMode = nullptr;
    mpegdll_GetLayer_fn GetLayer = nullptr;
    mpegdll_GetPlayerMode_fn GetPlayerMode = nullptr;
    mpegdll_GetCurrentPos_fn GetCurrentPos = nullptr;
    mpegdll_GetLength_fn GetLength = nullptr;
    mpegdll_ResetPlayerMode_fn ResetPlayerMode = nullptr;
    mpegdll_Seek_fn Seek = nullptr;
    mpegdll_SetSndDevice_fn SetSndDevice = nullptr;
    mpegdll_LastError_fn LastError = nullptr;
};

// The loaded decoder library with its entry points bound. Not yet initialised (init).
class DecoderLibrary {
public:
    // Throws TMPEGError "Can't load MPEG library" (code 0) when the file does not load, and
    // "MPEG library not loaded" (code 0) when an entry point is missing; the library is
    // unloaded again in that case.
    explicit DecoderLibrary(const QString& path);

    const DecoderEntryPoints& entry() const { return entry_; }

private:
    platform::SharedLibrary library_;
    DecoderEntryPoints entry_;
};
