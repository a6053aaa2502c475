#include "tools/encoders/sources/ffmpeg_reader.h"

#include "tools/encoders/core/encoder_error.h"

#include <dlfcn.h>

#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace encoders {
namespace {

constexpr const char* kModuleFile = "libsonabox-ffmpeg.so";

// The folders the dynamic loader searches for this program's libraries (its RUNPATH with
// $ORIGIN expanded, LD_LIBRARY_PATH, the system's), as the loader itself lists them. The module
// is looked for there by its full path: dlopen by name would search the caller's RUNPATH, and
// under a sanitizer the caller is the sanitizer's own interceptor.
std::vector<std::filesystem::path> searchFolders() {
    const std::unique_ptr<void, int (*)(void*)> program(dlopen(nullptr, RTLD_NOW), &dlclose);
    Dl_serinfo size{};
    if (!program || dlinfo(program.get(), RTLD_DI_SERINFOSIZE, &size) != 0) {
        return {};
    }
    const std::unique_ptr<void, void (*)(void*)> buffer(::operator new(size.dls_size),
                                                        [](void* p) { ::operator delete(p); });
    auto* info = static_cast<Dl_serinfo*>(buffer.get());
    *info = size;
    std::vector<std::filesystem::path> folders;
    if (dlinfo(program.get(), RTLD_DI_SERINFO, info) == 0) {
        for (unsigned i = 0; i < info->dls_cnt; ++i) {
            folders.emplace_back(info->dls_serpath[i].dls_name);
        }
    }
    return folders;
}

// The module beside the program, or one folder up for the programs in subfolders; else in the
// first search folder that holds it (test programs elsewhere in the build); its bare name when
// none does (the loader then says why it cannot be found). The encoder programs carry no RUNPATH:
// with one, the loader tries each of its hardware-capability subfolders for every library at
// every start, which a batch of short files pays once a file.
std::string modulePath() {
    std::error_code error;
    std::vector<std::filesystem::path> folders;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        folders.push_back(program.parent_path());
        folders.push_back(program.parent_path().parent_path());
    }
    for (auto& folder : searchFolders()) {
        folders.push_back(std::move(folder));
    }
    for (const auto& folder : folders) {
        const auto file = folder / kModuleFile;
        if (std::filesystem::is_regular_file(file, error)) {
            return file.string();
        }
    }
    return kModuleFile;
}

// The loaded module, kept mapped until the process ends (RTLD_NODELETE): decoders it made may
// be destroyed by static destructors after this object's own.
class LoadedModule {
public:
    LoadedModule() : handle_(dlopen(modulePath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
        if (handle_ == nullptr) {
            throw EncoderError(std::string("FFmpeg's libraries cannot be loaded: ") + dlerror());
        }
        using Entry = const FfmpegReader* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(handle_, kFfmpegReaderEntry));
        reader_ = entry != nullptr ? entry() : nullptr;
        if (reader_ == nullptr || reader_->version != kFfmpegReaderVersion) {
            dlclose(handle_);
            throw EncoderError(std::string(kModuleFile) +
                               " is not the FFmpeg reader of this build");
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
