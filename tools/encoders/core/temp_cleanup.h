#pragma once

#include <filesystem>
#include <signal.h>

namespace encoders {

// Temporary files that must not outlive the process. A registered file is removed when the
// process is ended by SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE (its reader went) or SIGXFSZ
// (the file size limit); the signal then takes its default course. SIGKILL cannot be caught:
// unnamed temporary files (durable::NewFile) leave nothing then, and a named one is removed by
// the next batch into its folder.
// The first registration installs the handlers. Throws EncoderError when every slot is in use.
int registerTemporary(const std::filesystem::path& path);
// Forgets the file in the slot (after it was renamed or removed).
void releaseTemporary(int slot) noexcept;

// Holds those signals back in the calling thread while it lives, so that creating a file and
// registering it is one step: a signal that comes in between is handled after it.
class CleanupSignalsHeld {
public:
    CleanupSignalsHeld();
    ~CleanupSignalsHeld();
    CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
    CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

private:
    sigset_t previous_;
};

} // namespace encoders
