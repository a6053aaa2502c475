#pragma once

#include "libs/durable_file/file_descriptor.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A claim of this process on one output file name, seen by every other process of the user: two
// batches that would write the same name at once find out, and only the one holding the claim
// writes it.
//
// The claim is an exclusive flock() on a lock file in the user's runtime folder (/run/user/UID,
// else a private folder in /tmp), named after the output folder's identity
// (device and inode, so every spelling of the folder meets the same lock) and the name in it.
// Nothing appears in the user's output folder, and a lock held through flock ends with its
// process: a batch that is killed never blocks a later one. The lock file is removed while
// still locked when the claim ends; whoever opened it just before then finds, once it has the
// lock, that the name now leads to another file (or none) and starts over.
class OutputClaim {
public:
    enum class State {
        Held,
        InUse,      // another process holds the name
        Unavailable // no lock folder can be made: nothing can be claimed, nothing is locked
    };

    explicit OutputClaim(const QString& output);
    ~OutputClaim();
    OutputClaim(const OutputClaim&) = delete;
    OutputClaim& operator=(const OutputClaim&) = delete;

    State state() const { return state_; }

private:
    std::string lockFile_;
    durable::FileDescriptor fd_;
    State state_ = State::Unavailable;
};

// The claims of one batch, by the queue position of the file that holds them.
class OutputClaims {
public:
    // Claims every one of `outputs` for file `index`, or none of them: empty when the file holds
    // them all (now, or from an earlier call), else the one that another process holds. Where no
    // claim can be made at all, the file goes on as if it held them.
    QString claim(int index, const QStringList& outputs);
    // Ends the claims of the files before `index`.
    void releaseBefore(int index);

private:
    std::map<int, std::vector<std::unique_ptr<OutputClaim>>> held_;
};

} // namespace platform
