#include "libs/durable_file/helper_names.h"

#include "libs/durable_file/system_calls.h"

#include <charconv>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace durable {

namespace {

constexpr std::string_view kPrefix = ".sbx";
constexpr std::string_view kSuffixes[] = {".tmp", ".keep"};
constexpr std::size_t kRandomLength = 6;

// The start time of a process in clock ticks after boot (field 22 of /proc/<pid>/stat);
// nothing when there is no such process.
std::optional<unsigned long long> startTime(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text))
        return std::nullopt;
    // The command name in parentheses may hold blanks and parentheses: count from the last one.
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    // Fields 3 to 21 come before it.
    for (int i = 3; i <= 21 && fields >> field; ++i) {
    }
    unsigned long long start = 0;
    if (!(fields >> start))
        return std::nullopt;
    return start;
}

struct Owner {
    long pid = 0;
    unsigned long long start = 0;
    std::string keptFor; // the name a kept file (keptName) was kept for
};

bool readNumber(std::string_view& text, auto& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data())
        return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

// The owner that a helper file's name records; nothing for any other name.
std::optional<Owner> ownerOf(std::string_view name) {
    if (!name.starts_with(kPrefix))
        return std::nullopt;
    std::string_view rest = name.substr(kPrefix.size());
    bool suffixFound = false;
    bool kept = false;
    for (std::string_view suffix : kSuffixes) {
        if (rest.ends_with(suffix)) {
            rest.remove_suffix(suffix.size());
            suffixFound = true;
            kept = suffix == ".keep";
            break;
        }
    }
    Owner owner;
    if (!suffixFound || !readNumber(rest, owner.pid) || !rest.starts_with('.'))
        return std::nullopt;
    rest.remove_prefix(1);
    if (!readNumber(rest, owner.start) || !rest.starts_with('.'))
        return std::nullopt;
    rest.remove_prefix(1);
    // The random part, then the kept file's name where the name records it.
    if (kept && rest.size() > kRandomLength + 1 && rest[kRandomLength] == '.') {
        owner.keptFor = std::string(rest.substr(kRandomLength + 1));
        rest = rest.substr(0, kRandomLength);
    }
    if (rest.size() != kRandomLength || owner.pid <= 0)
        return std::nullopt;
    return owner;
}

bool ended(const Owner& owner) {
    const auto start = startTime(owner.pid);
    // A start time of 0 was not known to its owner: then only the process id counts.
    if (start)
        return owner.start != 0 && *start != owner.start;
    // No such process, unless /proc cannot tell at all.
    return access("/proc/self/stat", R_OK) == 0;
}

} // namespace

std::string helperName(const std::string& suffix) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    // A process's start time never changes; a forked child has a pid of its own and reads its own.
    thread_local long knownPid = 0;
    thread_local unsigned long long knownStart = 0;
    if (const long pid = ::getpid(); pid != knownPid) {
        knownStart = startTime(pid).value_or(0);
        knownPid = pid;
    }
    std::string name =
        std::string(kPrefix) + std::to_string(knownPid) + "." + std::to_string(knownStart) + ".";
    for (std::size_t i = 0; i < kRandomLength; ++i)
        name += kLetters[pick(random)];
    return name + suffix;
}

std::string keptName(const std::string& name) {
    std::string kept = helperName("." + name + ".keep");
    return kept.size() <= NAME_MAX ? kept : std::string();
}

std::vector<LeftAside> leftAsideByEndedOwners(const std::filesystem::path& folder) noexcept {
    std::vector<LeftAside> found;
    try {
        FileDescriptor listing = openFolder(folder);
        DIR* entries = ::fdopendir(listing.release());
        if (entries == nullptr)
            return found;
        while (const dirent* entry = ::readdir(entries)) {
            const auto owner = ownerOf(entry->d_name);
            if (owner && !owner->keptFor.empty() && ended(*owner))
                found.push_back({entry->d_name, owner->keptFor});
        }
        ::closedir(entries);
    } catch (...) {
    }
    return found;
}

std::size_t removeStaleHelpers(const std::filesystem::path& folder) noexcept {
    std::size_t removed = 0;
    try {
        FileDescriptor listing = openFolder(folder);
        const int fd = listing.get();
        DIR* entries = ::fdopendir(listing.release());
        if (entries == nullptr)
            return 0;
        while (const dirent* entry = ::readdir(entries)) {
            const auto owner = ownerOf(entry->d_name);
            struct stat info {};
            if (!owner || !ended(*owner) ||
                ::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISREG(info.st_mode))
                continue;
            if (::unlinkat(fd, entry->d_name, 0) == 0)
                ++removed;
        }
        ::closedir(entries);
    } catch (...) {
    }
    return removed;
}

} // namespace durable
