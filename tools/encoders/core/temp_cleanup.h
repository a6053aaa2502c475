#pragma once

#include <filesystem>

namespace encoders {

// Temporary files that must not outlive the process. A registered file is removed when the
// process is ended by SIGTERM, SIGINT or SIGHUP; the signal then takes its default course.
// The first registration installs the handlers. Throws EncoderError when every slot is in use.
int registerTemporary(const std::filesystem::path& path);
// Forgets the file in the slot (after it was renamed or removed).
void releaseTemporary(int slot) noexcept;

} // namespace encoders
