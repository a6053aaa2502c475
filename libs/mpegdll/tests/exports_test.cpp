// The library exports its 21 entry points and nothing else.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

TEST(LibraryExports, ExactlyTheEntryPoints) {
    const std::string command = "nm -D --defined-only '" MPEGDLL_LIBRARY_PATH "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (type == "T")
            exported.insert(name);
        else
            ADD_FAILURE() << "unexpected export: " << line;
    }
    const std::set<std::string> expected{"init",          "deinit",          "Open",
                                         "Pause",         "Restart",         "Stop",
                                         "SetPriority",   "SetOutputDevice", "Play",
                                         "Close",         "GetFrequency",    "GetBitrate",
                                         "GetStereoMode", "GetLayer",        "GetPlayerMode",
                                         "GetCurrentPos", "GetLength",       "ResetPlayerMode",
                                         "Seek",          "SetSndDevice",    "LastError"};
    EXPECT_EQ(exported, expected);
}
