// The time left of a batch and its clock texts.
#include "selection/engine/batch_estimate.h"

#include <gtest/gtest.h>

namespace {

TEST(DurationText, MinutesAndSecondsHoursWhenThereAreAnyRoundedUp) {
    const std::pair<double, QString> cases[] = {
        {0, "0:00"},  {-3, "0:00"},    {0.2, "0:01"},     {7, "0:07"},       {59.01, "1:00"},
        {83, "1:23"}, {3599, "59:59"}, {3600, "1:00:00"}, {3723, "1:02:03"}, {36000, "10:00:00"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(selection::durationText(seconds), text) << seconds;
}

TEST(BatchCaption, SaysTheTimeLeftOnceItIsKnown) {
    EXPECT_EQ(selection::batchCaption("Encoding", 2, 12, std::nullopt), "Encoding... (2 of 12)");
    EXPECT_EQ(selection::batchCaption("Decoding", 3, 4, 83.0), "Decoding... (3 of 4, 1:23 left)");
}

TEST(BatchEstimate, NothingUntilEnoughIsDone) {
    selection::BatchEstimate estimate({10, 20});
    EXPECT_FALSE(estimate.secondsLeft());
    estimate.update(0, 0.0, 5); // no audio done yet
    EXPECT_FALSE(estimate.speed());
    estimate.update(0, 0.5, 0.1); // too early to trust the speed
    EXPECT_FALSE(estimate.secondsLeft());
}

TEST(BatchEstimate, TheRestAtTheSpeedSoFar) {
    // 10 s, 20 s and 30 s of audio.
    selection::BatchEstimate estimate({10, 20, 30});
    struct Case {
        int index;
        double fraction, elapsed, speed, left;
    };
    const Case cases[] = {
        {0, 0.5, 2.5, 2.0, 27.5}, // 5 of 60 s in 2.5 s
        {1, 0.5, 10, 2.0, 20},    // the first file counts whole: 20 of 60 s
        {2, 1.0, 30, 2.0, 0},     // all done
        {5, 0.0, 30, 2.0, 0},     // past the end: all done
        {-1, 0.5, 1, 5.0, 11},    // before the first file: its fraction
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        estimate.update(c.index, c.fraction, c.elapsed);
        ASSERT_TRUE(estimate.speed());
        EXPECT_DOUBLE_EQ(*estimate.speed(), c.speed);
        EXPECT_DOUBLE_EQ(*estimate.secondsLeft(), c.left);
    }
    EXPECT_EQ(estimate.fileSeconds(1), 20);
    EXPECT_EQ(estimate.fileSeconds(3), 0);
    EXPECT_EQ(estimate.fileSeconds(-1), 0);
}

TEST(BatchEstimate, UnknownDurationsCountAsNothing) {
    selection::BatchEstimate estimate({0, 40});
    estimate.update(1, 0.25, 5);
    EXPECT_DOUBLE_EQ(*estimate.speed(), 2.0);
    EXPECT_DOUBLE_EQ(*estimate.secondsLeft(), 15);
}

} // namespace
