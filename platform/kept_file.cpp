#include "platform/kept_file.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <random>
#include <unistd.h>

namespace platform {

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

KeptFile::KeptFile(const QString& path) : path_(QFile::encodeName(path).toStdString()) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".sbx%08x.keep", unsigned(random()));
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
    link_.clear();
    return true;
}

} // namespace platform
