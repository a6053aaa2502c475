#pragma once

#include "tools/encoders/core/encode_request.h"

#include <string>
#include <vector>

namespace encoders {

using ArgumentParser = EncodeRequest (*)(const std::vector<std::string>& args);

// The whole of an encoder program: parses the arguments after argv[0], runs the encode and
// turns any failure into one line "<name>: <message>" on standard error (for a command line
// it cannot use, with the usage and the input it accepts). Returns the exit
// code: 0 on success, 2 for a command line it cannot use, 1 for any other failure.
int runProgram(const char* name, const char* usage, ArgumentParser parse, int argc, char** argv);

} // namespace encoders
