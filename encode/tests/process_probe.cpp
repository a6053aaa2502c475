// A small program for the process tests: it reports what it was started with and then behaves
// as its environment tells it to.
//   PROBE_ARGS_FILE     receives the arguments after the program name, each ended by a NUL
//   PROBE_STATE_FILE    receives "pid sid" and, on the next line, the working directory
//   PROBE_STDOUT        is written to standard output, PROBE_STDERR to standard error
//   PROBE_SLEEP_MS      milliseconds to wait before ending
//   PROBE_DONE_FILE     is created just before the program ends
//   PROBE_EXIT          the exit code; PROBE_CRASH=1 ends by SIGABRT instead
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

const char* variable(const char* name) {
    return std::getenv(name);
}

} // namespace

int main(int argc, char** argv) {
    if (const char* path = variable("PROBE_ARGS_FILE")) {
        std::ofstream out(path, std::ios::binary);
        for (int i = 1; i < argc; ++i)
            out << argv[i] << '\0';
    }
    if (const char* path = variable("PROBE_STATE_FILE")) {
        std::ofstream out(path);
        out << getpid() << ' ' << getsid(0) << '\n'
            << std::filesystem::current_path().string() << '\n';
    }
    if (const char* text = variable("PROBE_STDOUT"))
        std::cout << text << std::flush;
    if (const char* text = variable("PROBE_STDERR"))
        std::cerr << text << std::flush;
    if (const char* ms = variable("PROBE_SLEEP_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(ms)));
    if (const char* path = variable("PROBE_DONE_FILE"))
        std::ofstream(path) << "done\n";
    if (const char* crash = variable("PROBE_CRASH"); crash && std::string(crash) == "1")
        std::abort();
    const char* code = variable("PROBE_EXIT");
    return code ? std::atoi(code) : 0;
}
