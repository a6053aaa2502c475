#include "mpegplay/decoder_library.h"

#include "mpegplay/mpeg_error.h"
#include "platform/paths.h"

namespace {

platform::SharedLibrary load(const QString& path) {
    try {
        return platform::SharedLibrary(platform::toFsPath(path));
    } catch (const platform::SharedLibraryError&) {
        throw TMPEGError("Can't load MPEG library", 0);
    }
}

} // namespace

QString decoderLibraryPath(const QString& pathToDll) {
    const QString name = QString::fromLatin1(decoderLibraryName);
    return pathToDll.isEmpty() ? name : platform::joinPath(pathToDll, name);
}

DecoderLibrary::DecoderLibrary(const QString& path) : library_(load(path)) {
    // Looked up in this order; the first one missing fails the load (and library_ unloads).
    const auto bind = [this](auto& entry, const char* name) {
        void* address = library_.symbol(name);
        if (address == nullptr)
            throw TMPEGError("MPEG library not loaded", 0);
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(address);
    };
    bind(entry_.init, "init");
    bind(entry_.deinit, "deinit");
    bind(entry_.Open, "Open");
    bind(entry_.Pause, "Pause");
    bind(entry_.Restart, "Restart");
    bind(entry_.Stop, "Stop");
    bind(entry_.SetPriority, "SetPriority");
    bind(entry_.SetOutputDevice, "SetOutputDevice");
    bind(entry_.Play, "Play");
    bind(entry_.Close, "Close");
    bind(entry_.GetFrequency, "GetFrequency");
    bind(entry_.GetBitrate, "GetBitrate");
    bind(entry_.GetStereoMode, "GetStereoMode");
    bind(entry_.GetLayer, "GetLayer");
    bind(entry_.GetPlayerMode, "GetPlayerMode");
    bind(entry_.GetCurrentPos, "GetCurrentPos");
    bind(entry_.GetLength, "GetLength");
    bind(entry_.ResetPlayerMode, "ResetPlayerMode");
    bind(entry_.Seek, "Seek");
    bind(entry_.SetSndDevice, "SetSndDevice");
    bind(entry_.LastError, "LastError");
}
