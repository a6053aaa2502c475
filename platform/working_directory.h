#pragma once

#include <QString>

// The process's working directory, which the browsers keep at the directory they last showed.
namespace platform {

// The working directory as a full path, ending in a separator only when it is the root.
QString currentDirectory();

// Makes the directory the working directory; false when it does not exist or can't be entered.
bool setCurrentDirectory(const QString& directory);

} // namespace platform
