#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// The exception that the MPEG player raises for every failure: a message and a one-byte code.
class TMPEGError : public std::runtime_error {
public:
    TMPEGError(const std::string& message, std::uint8_t code);

    std::uint8_t ErrorCode;
};

// The error for a decoder library code: its text from the table of codes 0 to 5, and that
// code. Codes above 5 have no table text and say which code they are.
TMPEGError decoderError(int code);
