#pragma once

#include <stdexcept>
#include <string>

namespace encoders {

// A failure that ends an encoder run: the program prints the message as one line on standard
// error and exits with a non-zero code.
class EncoderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command line the program cannot make sense of.
class UsageError : public EncoderError {
public:
    using EncoderError::EncoderError;
};

} // namespace encoders
