#pragma once

namespace platform {

// True when the standard error stream goes to a terminal, where a line can be redrawn in place.
bool standardErrorIsTerminal();

} // namespace platform
