#include "platform/kept_file.h"

#include "libs/durable_file/helper_names.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace platform {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

KeptFile::KeptFile(const QString& path) : path_(QFile::encodeName(path).toStdString()) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        // Named after this process and the file, so that a later batch puts it back once the
        // process is gone (a name too long for that is only removed then).
        std::string name = durable::keptName(nameOf(path_));
        if (name.empty())
            name = durable::helperName(".keep");
        const std::string candidate = folderOf(path_) + name;
        if (::link(path_.c_str(), candidate.c_str()) == 0) {
            link_ = candidate;
            return;
        }
        if (errno != EEXIST)
            return;
    }
}

KeptFile::~KeptFile() {
    if (!link_.empty())
        ::unlink(link_.c_str());
}

bool KeptFile::restore() {
    if (link_.empty() || std::rename(link_.c_str(), path_.c_str()) != 0)
        return false;
    // Where the file was never replaced both names are one file, and the rename does nothing.
    ::unlink(link_.c_str());
    link_.clear();
    return true;
}

std::size_t restoreLeftAside(const QString& folder) {
    const std::filesystem::path where(QFile::encodeName(folder).toStdString());
    std::size_t restored = 0;
    for (const durable::LeftAside& kept : durable::leftAsideByEndedOwners(where)) {
        const std::string helper = (where / kept.helper).string();
        if (std::rename(helper.c_str(), (where / kept.name).string().c_str()) != 0)
            continue;
        // Where the file was never replaced both names are one file, and the rename does nothing.
        ::unlink(helper.c_str());
        ++restored;
    }
    return restored;
}

} // namespace platform
