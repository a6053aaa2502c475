// A death test's child process ends without running destructors: the folders its TempDirs made
// must still go when the test program ends.
#include "tests/plain/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <stdlib.h>
#include <unistd.h>

using testsupport::TempDir;

TEST(TempDir, WhatADeathTestLeftGoesWithTheRun) {
    if (std::getenv("SONABOX_TEMP_DIR_CHILD")) {
        // The run that the test below starts: a death test whose child makes a TempDir.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        EXPECT_EXIT(
            {
                const TempDir made;
                std::_Exit(3);
            },
            ::testing::ExitedWithCode(3), "");
        const TempDir own;
        return;
    }
    std::string temporary = (std::filesystem::temp_directory_path() / "tmpdir-XXXXXX").string();
    ASSERT_NE(::mkdtemp(temporary.data()), nullptr);
    const std::string run = "env -u SONABOX_TEST_RUN_FOLDER TMPDIR='" + temporary +
                            "' SONABOX_TEMP_DIR_CHILD=1 /proc/" + std::to_string(::getpid()) +
                            "/exe --gtest_filter=TempDir.WhatADeathTestLeftGoesWithTheRun "
                            ">/dev/null 2>&1";
    EXPECT_EQ(std::system(run.c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_empty(temporary));
    std::filesystem::remove_all(temporary);
}
