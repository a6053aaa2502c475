#include "platform/shared_library.h"

#include <dlfcn.h>

#include <utility>

namespace platform {

SharedLibrary::SharedLibrary(const std::filesystem::path& file)
    : handle_(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) {
        const char* message = dlerror();
        throw SharedLibraryError(message != nullptr ? message : "cannot load " + file.string());
    }
}

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr)
        dlclose(handle_);
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr)
            dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

void* SharedLibrary::symbol(const char* name) const {
    if (handle_ == nullptr)
        return nullptr;
    dlerror(); // a symbol's address may be null itself; only dlerror tells the cases apart
    void* address = dlsym(handle_, name);
    return dlerror() == nullptr ? address : nullptr;
}

} // namespace platform
