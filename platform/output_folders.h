#pragma once

#include <QString>

#include <map>

// The folders below a batch's output folder that keep a source tree's places, made as the
// batch needs them.
namespace platform {

// The output folder of a file that lay `relativeFolder` below the folder it was queued from:
// the output directory text (which ends in a separator), then the relative folder and a
// separator; the output directory itself for "".
QString outputFolder(const QString& outputDirectory, const QString& relativeFolder);

// Makes the folder and the missing ones above it. Each new folder's entry is synced to the disk,
// so that a file later put in it durably is not lost with its folder in a power cut. Throws
// std::runtime_error saying which folder could not be made and why.
void makeFolders(const QString& folder);

// The output folders of one batch, each made once.
class OutputFolders {
public:
    explicit OutputFolders(QString outputDirectory) : top_(std::move(outputDirectory)) {}

    // The output folder for `relativeFolder`, made when missing. One that was there already
    // loses the helper files that ended runs left in it (see removeStaleHelperFiles); the top
    // is the batch's own to clean. Throws std::runtime_error with the reason when it cannot be
    // made, and again with the same reason for every later file of that folder.
    QString make(const QString& relativeFolder);

private:
    QString top_;
    std::map<QString, QString> failures_; // by relative folder; empty: made or found
};

} // namespace platform
