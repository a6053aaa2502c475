#include "platform/shared_use.h"

#include "libs/durable_file/file_identity.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr off_t kTurn = 0;  // held alone while a user begins or ends
constexpr off_t kUsers = 1; // held shared by every user, alone by the only one
constexpr int kNoteSize = 64;

bool lock(int fd, off_t byte, short type, bool wait) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = byte;
    range.l_len = 1;
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// Holds the turn while it lives.
class Turn {
public:
    explicit Turn(int fd) : fd_(fd), held_(lock(fd, kTurn, F_WRLCK, true)) {}
    ~Turn() {
        if (held_)
            lock(fd_, kTurn, F_UNLCK, false);
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    bool held() const { return held_; }

private:
    int fd_;
    bool held_;
};

} // namespace

SharedUse::SharedUse(const QString& lockFile) : path_(QFile::encodeName(lockFile).toStdString()) {
    open();
}

void SharedUse::open() {
    fd_ = durable::FileDescriptor(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
}

bool SharedUse::current() const {
    const auto opened = durable::identityOf(fd_.get());
    return opened && opened == durable::identityOf(std::filesystem::path(path_));
}

void SharedUse::begin(const std::function<void()>& first) {
    while (fd_.get() >= 0 && !using_) {
        const Turn turn(fd_.get());
        if (!turn.held())
            break;
        if (!current()) {
            // The last user removed this lock file meanwhile: begin again on the one there now.
            fd_.reset();
            open();
            continue;
        }
        // Alone on the users' byte: nobody else uses the thing now. Making it shared afterwards
        // leaves no moment in which another could find itself alone.
        if (lock(fd_.get(), kUsers, F_WRLCK, false)) {
            first();
            lock(fd_.get(), kUsers, F_RDLCK, false);
        } else {
            // The others hold it shared only (holding it alone needs the turn).
            lock(fd_.get(), kUsers, F_RDLCK, true);
        }
        using_ = true;
    }
    if (!using_)
        fd_.reset();
}

void SharedUse::end(const std::function<void()>& last) {
    if (fd_.get() < 0 || !using_)
        return;
    using_ = false;
    const Turn turn(fd_.get());
    if (turn.held() && lock(fd_.get(), kUsers, F_WRLCK, false)) {
        last();
        // Nobody uses the thing: the lock file goes too, and the next user makes a new one.
        ::unlink(path_.c_str());
    }
    lock(fd_.get(), kUsers, F_UNLCK, false);
}

QByteArray SharedUse::note() const {
    if (fd_.get() < 0)
        return {};
    char text[kNoteSize];
    const ssize_t size = ::pread(fd_.get(), text, sizeof text, 0);
    return size > 0 ? QByteArray(text, qsizetype(size)) : QByteArray();
}

void SharedUse::setNote(const QByteArray& note) {
    if (fd_.get() < 0)
        return;
    const QByteArray text = note.left(kNoteSize);
    if (::ftruncate(fd_.get(), 0) != 0 || text.isEmpty())
        return;
    // A note cut short reads as none: the copy then stays, as an installed program would.
    [[maybe_unused]] const ssize_t written =
        ::pwrite(fd_.get(), text.constData(), std::size_t(text.size()), 0);
}

} // namespace platform
