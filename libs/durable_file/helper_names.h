#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// Names for the hidden helper files a process keeps beside the files it writes (a temporary
// file on a file system without unnamed files, an older file kept aside under a second name).
// Each name carries its owner, the process id and its start time, so that a later run can tell
// the files of processes that have ended, and only those, from the files of running ones.
namespace durable {

// ".sbx<pid>.<start time>.<six random letters or digits><suffix>", e.g. suffix ".tmp".
std::string helperName(const std::string& suffix);

// A helper name for a second name of the file `name` in the same folder, kept aside while
// something may replace that file: ".sbx<pid>.<start time>.<six letters or digits>.<name>.keep",
// so that a later run can put it back. Empty when it would be longer than a file name may be.
std::string keptName(const std::string& name);

// The files in the folder kept aside under keptName() whose owner has ended, each with the name
// it was kept for.
struct LeftAside {
    std::string helper;
    std::string name;
};
std::vector<LeftAside> leftAsideByEndedOwners(const std::filesystem::path& folder) noexcept;

// Removes the helper files in the folder (".tmp" and ".keep") whose owner has ended: its
// process is gone or the process under that id started at another time. Files of running
// processes, files of unknown owners and any other file stay. Returns how many went; failures
// are not reported (the scan is a clean-up and never holds up the caller).
std::size_t removeStaleHelpers(const std::filesystem::path& folder) noexcept;

} // namespace durable
