// What a run leaves on the disk when it is killed, and the order in which it puts its output in
// place (watched with strace), with unnamed temporary files and as on a file system without
// them (a preloaded library makes O_TMPFILE fail).
#include "libs/durable_file/helper_names.h"
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <regex>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace encoders::testing {
namespace {

// Starts the program, waits until it has begun to encode (its first progress line) and sends
// the signal; returns the signal that ended it.
int killWhileEncoding(const std::vector<std::string>& argv, int signal, bool unnamed) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (!unnamed)
            ::setenv("LD_PRELOAD", SONABOX_NO_UNNAMED_FILES, 1);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(out[1]);
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') {
    }
    ::kill(child, signal);
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

TEST(KilledRuns, LeaveTheOldOutputAndNoTemporaryFile) {
    TempDir work;
    writeWav(work / "long.wav", {.channels = 2, .sampleRate = 48000, .seconds = 30.0});
    struct Case {
        int signal;
        bool unnamed;
        bool helperLeft; // only a named file survives a signal that cannot be caught
    };
    const Case cases[] = {
        {SIGKILL, true, false},  {SIGTERM, true, false},  {SIGTERM, false, false},
        {SIGPIPE, false, false}, {SIGXFSZ, false, false}, {SIGQUIT, false, false},
        {SIGINT, false, false},  {SIGKILL, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.unnamed ? ", unnamed" : ", named"));
        std::ofstream(work / "long.mp3") << "old";
        const std::vector<std::string> argv = {
            kPlugger, (work / "long.wav").string(), (work / "long.mp3").string(), "-b", "320",
            "-z"};
        EXPECT_EQ(killWhileEncoding(argv, c.signal, c.unnamed), c.signal);
        EXPECT_EQ(work.entries().size(), c.helperLeft ? 3u : 2u);
        // The next batch into the folder removes what the killed run left.
        EXPECT_EQ(durable::removeStaleHelpers(work.path()), c.helperLeft ? 1u : 0u);
        EXPECT_EQ(work.entries(), (std::vector<std::string>{"long.mp3", "long.wav"}));
        EXPECT_EQ(std::filesystem::file_size(work / "long.mp3"), 3u);
    }
}

// The system calls of a run as strace shows them, file descriptors with their paths.
std::vector<std::string> tracedCalls(const TempDir& work, std::vector<std::string> argv,
                                     bool unnamed) {
    const auto log = work / "trace.log";
    argv.insert(argv.begin(),
                {"strace", "-f", "-y", "-qq", "-o", log.string(), "-e",
                 "trace=openat,write,pwrite64,fdatasync,fsync,link,linkat,rename,renameat,"
                 "renameat2,unlink,unlinkat"});
    if (!unnamed)
        argv.insert(argv.begin(), {"env", "LD_PRELOAD=" SONABOX_NO_UNNAMED_FILES});
    EXPECT_EQ(run(argv).exitCode, 0);
    std::ifstream in(log);
    std::vector<std::string> calls;
    for (std::string line; std::getline(in, line);)
        calls.push_back(std::regex_replace(line, std::regex("^\\d+ +"), "")); // less the thread id
    std::filesystem::remove(log);
    return calls;
}

// Index of the first call from `from` on that matches.
std::size_t find(const std::vector<std::string>& calls, const std::regex& pattern,
                 std::size_t from = 0) {
    for (std::size_t i = from; i < calls.size(); ++i) {
        if (std::regex_search(calls[i], pattern))
            return i;
    }
    return calls.size();
}

TEST(OutputOrder, DataSyncedBeforeTheNameAndTheFolderAfterIt) {
    TempDir work;
    writeWav(work / "song.wav", {.channels = 2, .sampleRate = 44100, .seconds = 1.0});
    const std::string folder = work.path().string();
    for (bool unnamed : {true, false}) {
        for (bool replacing : {false, true}) {
            SCOPED_TRACE(std::string(unnamed ? "unnamed" : "named") +
                         (replacing ? ", replacing" : ", new"));
            if (!replacing)
                std::filesystem::remove(work / "song.mp3");
            const auto calls = tracedCalls(
                work, {kPlugger, folder + "/song.wav", folder + "/song.mp3", "-b", "128"}, unnamed);
            // The temporary file: its descriptor and path as strace prints them.
            const std::size_t open = find(
                calls, std::regex(unnamed ? "O_TMPFILE.*= (\\d+)<" : "\\.sbx.*\\.tmp.*= (\\d+)<"));
            ASSERT_LT(open, calls.size());
            std::smatch fd;
            std::regex_search(calls[open], fd, std::regex("= (\\d+<[^>]*>)"));
            const std::string file = std::regex_replace(fd[1].str(), std::regex("[.()#]"), "\\$&");
            const std::size_t written = find(calls, std::regex("^p?write(64)?\\(" + file), open);
            const std::size_t synced = find(calls, std::regex("^fdatasync\\(" + file), open);
            const std::size_t named = find(calls, std::regex("^(rename|link).*song\\.mp3\""), open);
            const std::size_t folderSynced =
                find(calls, std::regex("^fsync\\(\\d+<" + folder + ">"), open);
            EXPECT_LT(written, synced);
            EXPECT_EQ(find(calls, std::regex("^p?write(64)?\\(" + file), synced), calls.size());
            EXPECT_LT(synced, named);
            EXPECT_LT(named, folderSynced);
            EXPECT_LT(folderSynced, calls.size());
            EXPECT_EQ(work.entries(), (std::vector<std::string>{"song.mp3", "song.wav"}));
        }
    }
}

} // namespace
} // namespace encoders::testing
