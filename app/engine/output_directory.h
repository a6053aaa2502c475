#pragma once

#include <QString>

// The output directories of the Configure page: where they start, and how a stored one reads.
namespace app {

// The user's home directory with a trailing separator: the output directory of a first start.
QString initialOutputDirectory();

// A stored output directory as the program applies it. The old default "c:\" (any letter case)
// means nothing on this system, and an empty one (a missing key, a file of garbage) would put
// the files in the working directory: both read as the initial directory. Anything else stays
// as it is.
QString storedOutputDirectory(const QString& stored);

} // namespace app
