#pragma once

#include <QString>

namespace selection {

// A queued file: the name the queue shows and its full path.
struct QueuedFile {
    QString name;
    QString path;
};

} // namespace selection
