#pragma once

#include <QString>

// The freedesktop Trash (version 1.0): files moved there keep a note of where they came from
// and when, so that a file manager can put them back. Nothing is ever unlinked.
namespace platform {

// Moves a file, or a folder with all it holds, to the trash of its file system: the home trash
// ($XDG_DATA_HOME/Trash, else ~/.local/share/Trash) when it lies on the same file system,
// otherwise $topdir/.Trash-$uid at the top of the file system it lies on (made with mode 0700).
// A name that the trash holds already gets a number. Returns the path it now has in the trash's
// files/ folder; throws std::runtime_error saying why it could not be moved (it then stays).
QString moveToTrash(const QString& path);

} // namespace platform
