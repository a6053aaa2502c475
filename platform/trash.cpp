#include "platform/trash.h"

#include "libs/durable_file/durable_moves.h"
#include "libs/durable_file/file_descriptor.h"
#include "libs/durable_file/system_calls.h"
#include "platform/paths.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void refuse(const fs::path& path, const std::string& why) {
    throw std::runtime_error("cannot move '" + path.string() + "' to the Trash: " + why);
}

std::string systemReason() {
    return std::strerror(errno);
}

// The device of the path, or of the nearest folder above it that exists.
dev_t deviceOf(fs::path path) {
    struct stat info {};
    while (::stat(path.c_str(), &info) != 0) {
        if (!path.has_relative_path())
            return 0;
        path = path.parent_path();
    }
    return info.st_dev;
}

// The top of the file system that `path` (which exists) lies on.
fs::path mountTop(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return "/";
    fs::path top = path;
    while (top.has_relative_path()) {
        struct stat above {};
        if (::stat(top.parent_path().c_str(), &above) != 0 || above.st_dev != info.st_dev)
            break;
        top = top.parent_path();
    }
    return top;
}

fs::path homeTrash() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/')
        return fs::path(data) / "Trash";
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return {};
    return fs::path(home) / ".local/share/Trash";
}

// Makes the folder and those above it that are missing, each new one with `mode`.
void makeFolder(const fs::path& folder, mode_t mode) {
    if (::mkdir(folder.c_str(), mode) == 0 || errno == EEXIST)
        return;
    if (errno != ENOENT || !folder.has_relative_path())
        refuse(folder, systemReason());
    makeFolder(folder.parent_path(), 0700);
    if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST)
        refuse(folder, systemReason());
}

// The trash for a file on device `device`: its files/ and info/ folders are there afterwards.
fs::path trashFor(const fs::path& path, dev_t device) {
    fs::path trash = homeTrash();
    if (trash.empty() || deviceOf(trash) != device) {
        const fs::path top = mountTop(path.parent_path());
        trash = top / (".Trash-" + std::to_string(::getuid()));
        if (::mkdir(trash.c_str(), 0700) != 0 && errno != EEXIST)
            refuse(path, "cannot make " + trash.string() + ": " + systemReason());
        struct stat info {};
        // A trash that someone else made, or a link put in its place, is not this user's.
        if (::lstat(trash.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::getuid())
            refuse(path, trash.string() + " is not a folder of this user's");
    }
    makeFolder(trash / "files", 0700);
    makeFolder(trash / "info", 0700);
    return trash;
}

// A path as the Path= key holds it: every byte but the unreserved ones and '/' percent-encoded.
std::string escapedPath(const std::string& path) {
    std::string out;
    for (const unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-_.~", c)) {
            out += char(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::string localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// Claims a name in info/ by making its .trashinfo file without replacing one: the claim keeps
// two processes that trash the same name apart. Returns the name.
std::string claimInfo(const fs::path& trash, const fs::path& original) {
    const std::string stem = original.filename().string();
    const std::string info = "[Trash Info]\nPath=" + escapedPath(original.string()) +
                             "\nDeletionDate=" + localTimeNow() + "\n";
    for (int number = 1;; ++number) {
        std::string name = number == 1 ? stem : stem + "." + std::to_string(number);
        const fs::path infoPath = trash / "info" / (name + ".trashinfo");
        const durable::FileDescriptor file(
            ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (file.get() < 0 && errno == EEXIST)
            continue;
        // A file of that name in files/ without its info is left alone too.
        if (file.get() >= 0 && ::access((trash / "files" / name).c_str(), F_OK) == 0) {
            ::unlink(infoPath.c_str());
            continue;
        }
        if (file.get() < 0 || !durable::writeAll(file.get(), info.data(), info.size()) ||
            ::fsync(file.get()) != 0) {
            const std::string why = systemReason();
            ::unlink(infoPath.c_str());
            refuse(original, why);
        }
        return name;
    }
}

} // namespace

QString moveToTrash(const QString& pathText) {
    const fs::path path = fs::absolute(toFsPath(pathText)).lexically_normal();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        refuse(path, systemReason());
    const fs::path trash = trashFor(path, info.st_dev);
    const std::string name = claimInfo(trash, path);
    const fs::path infoPath = trash / "info" / (name + ".trashinfo");
    const fs::path target = trash / "files" / name;
    // The note is on the disk before the file goes, so a file in the trash always has one.
    durable::syncFolder(trash / "info");
    // Never over a file that came into files/ meanwhile.
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        const std::string why = systemReason();
        ::unlink(infoPath.c_str());
        refuse(path, why);
    }
    durable::syncFolder(trash / "files");
    durable::syncFolder(path.parent_path());
    return fromFsPath(target);
}

} // namespace platform
