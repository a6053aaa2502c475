#pragma once

#include <optional>
#include <string>
#include <string_view>

// Conversions between the text encodings tags use; UTF-8 is the one kept in memory.
namespace encoders {

bool isValidUtf8(std::string_view text);
std::string latin1ToUtf8(std::string_view text);
// Valid UTF-8 as it stands, anything else read as Latin-1.
std::string utf8OrLatin1(std::string_view text);
// UTF-16 code units, two bytes each in the given order; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian);
// The text in Latin-1, or nothing when it holds a character Latin-1 lacks.
std::optional<std::string> utf8ToLatin1(std::string_view text);

} // namespace encoders
