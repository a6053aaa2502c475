#pragma once

#include "selection/engine/queued_file.h"

#include <vector>

namespace app {

// The audio seconds of each queued file, WAV or MPEG, for the batch's time estimate; 0 for a
// file that can't be read.
std::vector<double> audioDurations(const std::vector<selection::QueuedFile>& files);

} // namespace app
