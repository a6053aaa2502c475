// The internal timer: OnPosUpdate and OnPlayEnd, and DoTimer reached through the vtable.

#include "mpegplay/tests/player_fixture.h"

#include <QTest>

TEST_F(PlayerTest, TimerTicksReportPositionsAndTheEnd) {
    std::vector<int> positions;
    std::vector<QObject*> senders;
    for (const auto& [useTimer, bindPlayEnd] :
         {std::pair{true, true}, std::pair{true, false}, std::pair{false, true}}) {
        SCOPED_TRACE(testing::Message() << useTimer << bindPlayEnd);
        loadForWav(*player_, wav_, useTimer, 5);
        player_->setUseTimer(true); // too late: the interval was fixed by LoadDecoder
        player_->setStreamName(qpath(longInput().file));
        positions.clear();
        senders.clear();
        player_->OnPosUpdate = [&](int Pos, int Len) {
            EXPECT_EQ(Len, player_->StreamLength());
            EXPECT_LE(Pos, Len);
            EXPECT_GE(Pos, positions.empty() ? 0 : positions.back());
            positions.push_back(Pos);
        };
        player_->OnPlayEnd =
            bindPlayEnd ? TNotifyEvent([&](QObject* s) { senders.push_back(s); }) : nullptr;
        player_->DoTimer(nullptr); // nothing open: no event, no error
        player_->Open();
        player_->DoTimer(nullptr); // open, not playing
        EXPECT_TRUE(positions.empty());

        player_->ticks = 0;
        player_->Play();
        EXPECT_EQ(player_->ticks, useTimer ? 1 : 0); // one tick at once
        ASSERT_TRUE(waitFor([this] { return player_->PlayerMode() == 2; }));
        QTest::qWait(50); // time for ticks that would see the end
        const int ticks = player_->ticks;
        EXPECT_EQ(ticks > 1, useTimer);
        // The last position is the end; without a timer there is none.
        EXPECT_EQ(positions.empty() ? -1 : positions.back(),
                  useTimer ? player_->StreamLength() : -1);
        // OnPlayEnd takes the end and clears the flag; else it stays for CheckPlayEnd.
        const bool taken = bindPlayEnd && useTimer;
        EXPECT_EQ(senders, taken ? std::vector<QObject*>{player_.get()} : std::vector<QObject*>{});
        EXPECT_EQ(player_->CheckPlayEnd(), !taken);
        QTest::qWait(30);
        EXPECT_EQ(player_->ticks, ticks); // the timer has stopped
    }
}

// With the internal timer off, the player still says when a playback has ended, once for each
// playback, and leaves the end for CheckPlayEnd; a stopped playback says nothing.
TEST_F(PlayerTest, PlaybackEndedIsSignalledOnceAndLeavesTheEndToCheckPlayEnd) {
    int signalled = 0;
    QObject::connect(player_.get(), &TMPEGPlayer::playbackEnded, [&] { ++signalled; });
    player_->setStreamName(qpath(shortInput().file));
    for (int playback = 1; playback <= 2; ++playback) {
        player_->Play(); // the second one restarts
        ASSERT_TRUE(waitFor([&] { return signalled == playback; }));
        EXPECT_EQ(player_->PlayerMode(), 2);
        EXPECT_TRUE(player_->CheckPlayEnd());
    }
    player_->setStreamName(qpath(longInput().file));
    player_->Play();
    player_->Stop();
    QTest::qWait(30);
    EXPECT_EQ(signalled, 2);
    EXPECT_EQ(player_->ticks, 0);
}
