#pragma once

#include <filesystem>
#include <stdexcept>

namespace platform {

// A shared library loaded into the process for as long as this object lives.
class SharedLibrary {
public:
    // Loads `file`, resolving all its symbols now. A name without a "/" goes through the
    // system's library search (the program's RUNPATH, LD_LIBRARY_PATH, the system paths);
    // anything else is taken as a path. Throws SharedLibraryError with the loader's message.
    explicit SharedLibrary(const std::filesystem::path& file);
    ~SharedLibrary();

    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported symbol, or nullptr when the library has none of that name
    // (or this object has been moved from).
    void* symbol(const char* name) const;

private:
    void* handle_ = nullptr;
};

class SharedLibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace platform
