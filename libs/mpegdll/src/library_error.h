#pragma once

#include "libs/mpegdll/include/mpegdll.h"

#include <exception>

namespace mpegdll {

// A failure of an entry point, carrying the code that LastError then reports.
class LibraryError : public std::exception {
public:
    explicit LibraryError(int code) : code_(code) {}
    int code() const noexcept { return code_; }
    const char* what() const noexcept override { return "mpegdll error"; }

private:
    int code_;
};

} // namespace mpegdll
