#include "tools/encoders/sources/ffmpeg_reader.h"

#include "tools/encoders/core/encoder_error.h"

#include <dlfcn.h>

namespace encoders {
namespace {

// The loaded module, kept mapped until the process ends (RTLD_NODELETE): decoders it made may
// be destroyed by static destructors after this object's own.
class LoadedModule {
public:
    LoadedModule()
        : handle_(dlopen("libsonabox-ffmpeg.so", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
        if (handle_ == nullptr) {
            throw EncoderError(std::string("FFmpeg's libraries cannot be loaded: ") + dlerror());
        }
        using Entry = const FfmpegReader* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(handle_, kFfmpegReaderEntry));
        reader_ = entry != nullptr ? entry() : nullptr;
        if (reader_ == nullptr || reader_->version != kFfmpegReaderVersion) {
            dlclose(handle_);
            throw EncoderError("libsonabox-ffmpeg.so is not the FFmpeg reader of this build");
        }
    }
    ~LoadedModule() { dlclose(handle_); }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    const FfmpegReader& reader() const { return *reader_; }

private:
    void* handle_;
    const FfmpegReader* reader_ = nullptr;
};

} // namespace

const FfmpegReader& ffmpegReader() {
    // A failed load throws out of the initialisation, so the next call tries again.
    static const LoadedModule module;
    return module.reader();
}

} // namespace encoders
