#pragma once

#include "libs/durable_file/file_descriptor.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <string>

namespace platform {

// The users of one thing that several batches, in this process or in others, may use at once
// (a program file they all run), counted through a lock file beside it: each user holds its
// byte 1 shared while it uses the thing, and byte 0 alone while it begins or ends, so that one
// user at a time looks whether it is the first or the last. The locks belong to the open file
// (open-file-description locks): two users in one process count as two, and the kernel drops a
// user's locks when its process ends, however it ends. The last user to end removes the lock
// file; one left by a process that was killed keeps its note for the next user.
class SharedUse {
public:
    // Opens the lock file, making it where it is missing; no use begins yet.
    explicit SharedUse(const QString& lockFile);
    SharedUse(const SharedUse&) = delete;
    SharedUse& operator=(const SharedUse&) = delete;

    // False when the lock file cannot be opened or locked (a folder this user cannot write).
    bool usable() const { return fd_.get() >= 0; }

    // Begins this user's use. When no other user is there, `first` runs before (it makes the
    // thing); otherwise the thing is there as the first user made it. Waits while another user
    // begins or ends.
    void begin(const std::function<void()>& first);
    // Ends this user's use. When no other user is left, `last` runs (it takes the thing away).
    void end(const std::function<void()>& last);

    // A short note that the users keep in the lock file (what the first one did); to be read
    // and written in `first` and `last` only.
    QByteArray note() const;
    void setNote(const QByteArray& note);

private:
    void open();
    // The open lock file is the one at the path still.
    bool current() const;

    std::string path_;
    durable::FileDescriptor fd_; // its closing drops every lock of this user
    bool using_ = false;
};

} // namespace platform
