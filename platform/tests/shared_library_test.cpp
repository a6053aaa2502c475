#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <utility>

namespace {

using platform::SharedLibrary;

// The small library built beside this test; nothing else in the process loads it.
const char* const fixture = SHARED_LIBRARY_FIXTURE;

bool isLoaded(const char* file) {
    void* handle = dlopen(file, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr)
        return false;
    dlclose(handle);
    return true;
}

using AnswerFunction = int (*)();

} // namespace

// Loads by path and by bare name (through the system's search), finds exported symbols only,
// and unloads when the last owner goes, also after moves.
TEST(SharedLibrary, LoadsFindsSymbolsAndUnloads) {
    ASSERT_FALSE(isLoaded(fixture));
    {
        SharedLibrary library(fixture);
        EXPECT_TRUE(isLoaded(fixture));
        auto answer = reinterpret_cast<AnswerFunction>(library.symbol("fixture_answer"));
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer(), 42);
        EXPECT_EQ(library.symbol("fixture_missing"), nullptr);
        EXPECT_EQ(library.symbol("fixture_hidden"), nullptr);

        SharedLibrary moved(std::move(library));
        EXPECT_EQ(library.symbol("fixture_answer"), nullptr);
        SharedLibrary math("libm.so.6");
        auto cosine = reinterpret_cast<double (*)(double)>(math.symbol("cos"));
        ASSERT_NE(cosine, nullptr);
        EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
        math = std::move(moved); // releases libm's reference, takes the fixture's
        EXPECT_NE(math.symbol("fixture_answer"), nullptr);
        EXPECT_EQ(math.symbol("cos"), nullptr);
        EXPECT_TRUE(isLoaded(fixture));
        math = SharedLibrary("libm.so.6");
        EXPECT_FALSE(isLoaded(fixture));
    }
    EXPECT_FALSE(isLoaded(fixture));
}

TEST(SharedLibrary, FailuresCarryTheLoadersMessage) {
    // A missing path, a missing bare name and a file that is not a library.
    for (const char* file :
         {"/nonexistent/libnothing.so", "libnothing-at-all.so", SHARED_LIBRARY_TEST_SOURCE}) {
        try {
            SharedLibrary library(file);
            ADD_FAILURE() << "loaded " << file;
        } catch (const platform::SharedLibraryError& error) {
            EXPECT_NE(std::string(error.what()).find(file), std::string::npos) << error.what();
        }
    }
}
