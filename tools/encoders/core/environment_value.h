#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace encoders {

// The settings a batch (or a benchmark) hands the programs through their environment. A
// value that is set but does not read as asked is refused with an EncoderError that names
// the variable and what it takes: a run on a setting it misread could end in a worse file.

// A variable's value as a refusal quotes it: a long one cut short, so that the line stays a
// line.
std::string quotedValue(std::string_view value);

// A whole decimal number from `min` to `max`; nothing when the variable is not set.
std::optional<int> environmentNumber(const char* name, int min, int max);

// "0" or "1"; nothing when the variable is not set.
std::optional<bool> environmentSwitch(const char* name);

} // namespace encoders
