#include "platform/sync_files.h"

#include "libs/durable_file/durable_moves.h"
#include "libs/durable_file/new_file.h"
#include "libs/durable_file/system_calls.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

} // namespace

std::optional<FileFacts> regularFileFacts(const QString& path) {
    struct stat info {};
    if (::stat(toFsPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileFacts{.size = info.st_size,
                     .modifiedNs =
                         std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

QString realPath(const QString& path) {
    std::error_code error;
    const auto given = toFsPath(path);
    const auto real = std::filesystem::canonical(given, error);
    return fromFsPath(error ? std::filesystem::absolute(given).lexically_normal() : real);
}

bool isWritableFolder(const QString& folder) {
    struct stat info {};
    const auto path = toFsPath(folder);
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool isMissing(const QString& path) {
    struct stat info {};
    return ::lstat(toFsPath(path).c_str(), &info) != 0 && errno == ENOENT;
}

std::optional<QByteArray> readWholeFile(const QString& path) {
    const durable::FileDescriptor file(::open(toFsPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return std::nullopt;
    QByteArray bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(buffer, got);
    }
}

void replaceFileDurably(const QString& path, const QByteArray& bytes) {
    const auto target = toFsPath(path);
    durable::NewFile next(folderOf(target));
    next.write(bytes.constData(), std::size_t(bytes.size()));
    next.commit(target, durable::Placement::Replace, durable::FolderSync::Now);
}

void copyFileDurably(const QString& from, const QString& to) {
    const auto source = toFsPath(from);
    const durable::FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (in.get() < 0 || ::fstat(in.get(), &info) != 0)
        durable::fail("cannot read '" + source.string() + "'");
    const auto target = toFsPath(to);
    durable::NewFile next(folderOf(target));
    next.setMode(info.st_mode & 07777);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            durable::fail("cannot read '" + source.string() + "'");
        if (got == 0)
            break;
        next.write(buffer, std::size_t(got));
    }
    next.commit(target, durable::Placement::Replace, durable::FolderSync::ByCaller);
}

FolderLock::FolderLock(const QString& lockFile) {
    durable::FileDescriptor file(
        ::open(toFsPath(lockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (file.get() < 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            error_ = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    file_ = std::move(file);
}

AppendedFile::AppendedFile(const QString& path) {
    const auto file = toFsPath(path);
    const bool existed = ::access(file.c_str(), F_OK) == 0;
    file_ = durable::FileDescriptor(
        ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (file_.get() < 0)
        durable::fail("cannot open '" + file.string() + "'");
    if (!existed)
        durable::syncFolder(folderOf(file));
}

void AppendedFile::append(const QByteArray& line) {
    write(line);
    sync();
}

void AppendedFile::appendSoon(const QByteArray& line) {
    write(line);
    if (std::chrono::steady_clock::now() - synced_ >= std::chrono::seconds(1))
        sync();
}

void AppendedFile::write(const QByteArray& line) {
    if (!durable::writeAll(file_.get(), line.constData(), std::size_t(line.size())))
        durable::fail("cannot add to the sync record");
}

void AppendedFile::sync() {
    if (::fdatasync(file_.get()) != 0)
        durable::fail("cannot add to the sync record");
    synced_ = std::chrono::steady_clock::now();
}

} // namespace platform

namespace platform {

bool isEmptyFolder(const QString& folder) {
    std::error_code error;
    return std::filesystem::is_directory(toFsPath(folder), error) &&
           std::filesystem::is_empty(toFsPath(folder), error) && !error;
}

} // namespace platform
