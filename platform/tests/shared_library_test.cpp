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
    }
    EXPECT_FALSE(isLoaded(fixture));
}

TEST(SharedLibrary, BareNamesGoThroughTheSystemSearch) {
    SharedLibrary math("libm.so.6");
    auto cosine = reinterpret_cast<double (*)(double)>(math.symbol("cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
}

TEST(SharedLibrary, FailuresCarryTheLoadersMessage) {
    try {
        SharedLibrary missing("/nonexistent/libnothing.so");
        FAIL() << "loaded a missing library";
    } catch (const platform::SharedLibraryError& error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent/libnothing.so"), std::string::npos)
            << error.what();
    }
    EXPECT_THROW(SharedLibrary("libnothing-at-all.so"), platform::SharedLibraryError);
    // A file that is not a library.
    EXPECT_THROW(SharedLibrary(SHARED_LIBRARY_TEST_SOURCE), platform::SharedLibraryError);
}

TEST(SharedLibrary, MovingHandsOverTheLibrary) {
    SharedLibrary first(fixture);
    SharedLibrary second(std::move(first));
    EXPECT_EQ(first.symbol("fixture_answer"), nullptr);
    EXPECT_NE(second.symbol("fixture_answer"), nullptr);

    SharedLibrary third("libm.so.6");
    third = std::move(second); // releases libm's reference, takes the fixture's
    EXPECT_NE(third.symbol("fixture_answer"), nullptr);
    EXPECT_EQ(third.symbol("cos"), nullptr);
    EXPECT_TRUE(isLoaded(fixture));
    third = SharedLibrary("libm.so.6");
    EXPECT_FALSE(isLoaded(fixture));
}
