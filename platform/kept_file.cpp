#include "platform/kept_file.h"

#include "libs/durable_file/helper_names.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace platform {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

KeptFile::KeptFile(const QString& path) : path_(QFile::encodeName(path).toStdString()) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        // Named after this process, so that a later batch removes it once the process is gone.
        const std::string candidate = folderOf(path_) + durable::helperName(".keep");
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

} // namespace platform
