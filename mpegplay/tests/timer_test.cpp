// The internal timer: OnPosUpdate and OnPlayEnd, and DoTimer reached through the vtable.

#include "mpegplay/tests/player_fixture.h"

#include <QTest>

#include <vector>

namespace {

class TimerTest : public PlayerTest {
protected:
    void load(bool useTimer) {
        loadForWav(*player_, wav_, useTimer, 5);
        player_->setStreamName(qpath(longInput().file));
        player_->OnPosUpdate = [this](int Pos, int Len) {
            positions_.push_back(Pos);
            lengths_.push_back(Len);
        };
    }

    std::vector<int> positions_;
    std::vector<int> lengths_;
};

} // namespace

TEST_F(TimerTest, TicksReportPositionsAndTheEnd) {
    load(true);
    std::vector<QObject*> senders;
    player_->OnPlayEnd = [&senders](QObject* Sender) {
        senders.push_back(Sender);
    };
    player_->Play();
    EXPECT_EQ(player_->ticks, 1); // one tick at once
    ASSERT_TRUE(waitFor([&senders] { return !senders.empty(); }));
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0], player_.get());
    EXPECT_GT(player_->ticks, 1);
    for (std::size_t i = 0; i < positions_.size(); ++i) {
        EXPECT_EQ(lengths_[i], player_->StreamLength());
        EXPECT_LE(positions_[i], player_->StreamLength());
        if (i > 0) {
            EXPECT_GE(positions_[i], positions_[i - 1]);
        }
    }
    EXPECT_EQ(positions_.back(), player_->StreamLength());
    // OnPlayEnd took the end: the flag is cleared and the timer has stopped.
    EXPECT_FALSE(player_->CheckPlayEnd());
    const int ticks = player_->ticks;
    QTest::qWait(50);
    EXPECT_EQ(player_->ticks, ticks);
}

TEST_F(TimerTest, WithoutOnPlayEndTheEndStaysForCheckPlayEnd) {
    load(true);
    player_->Play();
    // The tick that sees the end stops the timer and clears the playing flag, so the next
    // Play takes the restart path; the ended flag is left for CheckPlayEnd.
    ASSERT_TRUE(waitFor(
        [this] { return !positions_.empty() && positions_.back() == player_->StreamLength(); }));
    QTest::qWait(30);
    EXPECT_TRUE(player_->CheckPlayEnd());
    EXPECT_TRUE(player_->CheckPlayEnd());
}

TEST_F(TimerTest, ATimerMadeWithoutUseTimerNeverTicks) {
    load(false);
    player_->setUseTimer(true); // too late: the interval was fixed when the library was loaded
    bool endFired = false;
    player_->OnPlayEnd = [&endFired](QObject*) {
        endFired = true;
    };
    player_->Play();
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    QTest::qWait(30);
    EXPECT_EQ(player_->ticks, 0);
    EXPECT_TRUE(positions_.empty());
    EXPECT_FALSE(endFired);
}

TEST_F(TimerTest, DoTimerStopsWhenNothingPlays) {
    load(true);
    player_->DoTimer(nullptr); // nothing open: no event, no error
    player_->Open();
    player_->DoTimer(nullptr); // open, not playing
    EXPECT_TRUE(positions_.empty());
}
