#pragma once

#include <QString>

#include <vector>

// The files of a whole folder tree that a queue takes: what a folder given on the command line
// or dropped on a queue brings.
namespace platform {

struct TreeFile {
    QString path;           // the full path
    QString relativeFolder; // its folder below the tree's top ("Artist/Album"); "" at the top
};

struct UnreadableFolder {
    QString path;
    QString reason; // the system's words ("Permission denied")
};

struct FolderTree {
    std::vector<TreeFile> files;
    std::vector<UnreadableFolder> unreadable; // each left out with all below it
};

// True when the path is a folder, readable or not (a symbolic link to one counts).
bool isFolder(const QString& path);

// The regular, readable files that the mask (as filesMatching reads it) matches in the folder
// and in every folder below it: the files of each folder in name order, then its sub-folders in
// name order, depth first. Names that begin with a dot are left out. Symbolic links are followed,
// but each folder is visited once (by device and inode), so a loop of links ends. A folder that
// cannot be listed is noted and the walk goes on.
FolderTree filesInTree(const QString& top, const QString& mask);

} // namespace platform
