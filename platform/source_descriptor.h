#pragma once

#include <QString>

namespace platform {

// Opens a source for reading the way the encoder programs do: a regular file only, and never
// waiting on it (a FIFO or a device is refused rather than waited on). The descriptor, closed
// on exec, for the caller to own; -1 when the path is no readable regular file.
int openSourceDescriptor(const QString& path);

} // namespace platform
