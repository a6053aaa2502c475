#include "platform/output_claim.h"

#include "libs/durable_file/file_identity.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The folder of the lock files, private to the user; empty when there is none to be had. It
// depends on the user only, not on the environment, so that a window of the desktop session and
// a command line without XDG_RUNTIME_DIR (su, cron) meet in the same one.
std::string lockFolder() {
    const std::string user = std::to_string(::getuid());
    const std::string runtime = "/run/user/" + user;
    struct stat runtimeStatus {};
    const bool hasRuntime = ::stat(runtime.c_str(), &runtimeStatus) == 0 &&
                            S_ISDIR(runtimeStatus.st_mode) && runtimeStatus.st_uid == ::getuid();
    std::string base = hasRuntime ? runtime + "/sonabox-claims" : "/tmp/sonabox-claims-" + user;
    if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    // Someone else's folder, or a link planted where ours would be, is not used.
    struct stat status {};
    if (::lstat(base.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != ::getuid() || (status.st_mode & 077) != 0)
        return {};
    return base;
}

std::uint64_t fnv1a(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const unsigned char byte : bytes)
        hash = (hash ^ byte) * 1099511628211ULL;
    return hash;
}

// The lock file's name for an output: its folder's identity, or where the folder is missing
// its spelled path, and the name in it.
std::string lockName(const std::filesystem::path& output) {
    const std::filesystem::path folder =
        output.has_parent_path() ? output.parent_path() : std::filesystem::path(".");
    struct stat status {};
    char name[80];
    if (::stat(folder.c_str(), &status) == 0) {
        std::snprintf(name, sizeof name, "%llx-%llx-%016llx.lock",
                      static_cast<unsigned long long>(status.st_dev),
                      static_cast<unsigned long long>(status.st_ino),
                      static_cast<unsigned long long>(fnv1a(output.filename().native())));
    } else {
        std::snprintf(name, sizeof name, "path-%016llx.lock",
                      static_cast<unsigned long long>(
                          fnv1a(std::filesystem::absolute(output).lexically_normal().native())));
    }
    return name;
}

bool sameFile(int fd, const std::string& path) {
    const auto open = durable::identityOf(fd);
    return open && open == durable::identityOf(std::filesystem::path(path));
}

} // namespace

OutputClaim::OutputClaim(const QString& output) {
    const std::string folder = lockFolder();
    if (folder.empty())
        return;
    lockFile_ = folder + "/" + lockName(toFsPath(output));
    // Each turn loses only to a holder that removed the file meanwhile: a few are plenty.
    for (int turn = 0; turn < 16; ++turn) {
        durable::FileDescriptor fd(
            ::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd.get() < 0)
            return;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            state_ = State::InUse;
            return;
        }
        if (sameFile(fd.get(), lockFile_)) {
            fd_ = std::move(fd);
            state_ = State::Held;
            return;
        }
    }
    state_ = State::InUse;
}

OutputClaim::~OutputClaim() {
    // Removed before the lock goes (fd_ closes after this body), so that nobody takes a lock on
    // a name about to vanish.
    if (fd_.get() >= 0)
        ::unlink(lockFile_.c_str());
}

QString OutputClaims::claim(int index, const QStringList& outputs) {
    if (held_.contains(index))
        return {};
    QStringList names = outputs;
    names.removeDuplicates();
    std::vector<std::unique_ptr<OutputClaim>> claims;
    for (const QString& output : names) {
        auto claim = std::make_unique<OutputClaim>(output);
        if (claim->state() == OutputClaim::State::InUse)
            return output; // the claims made so far end here
        claims.push_back(std::move(claim));
    }
    held_.emplace(index, std::move(claims));
    return {};
}

void OutputClaims::releaseBefore(int index) {
    held_.erase(held_.begin(), held_.lower_bound(index));
}

} // namespace platform
