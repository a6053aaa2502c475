// FromStream: the owner's handlers read an MP3 held in memory.

#include "mpegplay/tests/player_fixture.h"

#include <algorithm>
#include <cstring>

using namespace testsupport;

namespace {

struct Memory {
    std::vector<unsigned char> bytes;
    std::size_t position = 0;
};

class StreamPlayerTest : public PlayerTest {
protected:
    // The player's last close calls a handler that uses this fixture's members.
    void TearDown() override { player_.reset(); }

    // Binds all six handlers to `memory_`; the context handed around is &memory_.
    void bindHandlers(bool nonseekable, const std::filesystem::path& file = shortInput().file) {
        memory_.bytes = readBytes(file);
        player_->setFromStream(true);
        player_->OnOpenStream = [this, nonseekable](bool& Nonseekable, void*& Context) {
            ++opens_;
            memory_.position = 0;
            Nonseekable = nonseekable;
            Context = &memory_;
        };
        player_->OnCloseStream = [this](void* Context) {
            closes_ += Context == &memory_ ? 1 : 100;
        };
        player_->OnReadStream = [](void* Context, void* read_buffer, int nNumberOfBytesToRead,
                                   int& nNumberOfBytesRead, bool& res) {
            auto& memory = *static_cast<Memory*>(Context);
            const std::size_t count = std::min(static_cast<std::size_t>(nNumberOfBytesToRead),
                                               memory.bytes.size() - memory.position);
            std::memcpy(read_buffer, memory.bytes.data() + memory.position, count);
            memory.position += count;
            nNumberOfBytesRead = static_cast<int>(count);
            res = true;
        };
        player_->OnSeekStream = [](void* Context, int numbytes, int MoveMethod, int& res) {
            auto& memory = *static_cast<Memory*>(Context);
            const long long base = MoveMethod == 0   ? 0
                                   : MoveMethod == 1 ? static_cast<long long>(memory.position)
                                                     : static_cast<long long>(memory.bytes.size());
            const long long target = base + numbytes;
            if (target < 0 || target > static_cast<long long>(memory.bytes.size())) {
                res = -1;
                return;
            }
            memory.position = static_cast<std::size_t>(target);
            res = static_cast<int>(target);
        };
        player_->OnGetStreamSize = [](void* Context, int& res) {
            res = static_cast<int>(static_cast<Memory*>(Context)->bytes.size());
        };
    }

    Memory memory_;
    int opens_ = 0;
    int closes_ = 0;
};

} // namespace

TEST_F(StreamPlayerTest, SeekableStreamFromMemory) {
    bindHandlers(false);
    player_->Play();
    EXPECT_EQ(opens_, 1);
    EXPECT_EQ(player_->StreamLength(), lengthMs(shortInput().reference));
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(pcmDifference(readWav(wav_), shortInput().reference), "");

    // Play again: the restart path; the library seeks back itself.
    player_->Play();
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(pcmDifference(readWav(wav_), shortInput().reference), "");
    player_->Close();
    EXPECT_EQ(closes_, 1);
}

TEST_F(StreamPlayerTest, NonSeekableStreamNeedsTheRestartHandler) {
    bindHandlers(true);
    player_->Play();
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(pcmDifference(readWav(wav_), shortInput().reference), "");

    expectError([this] { player_->Play(); }, "Input stream is non-seekable", 4);
    EXPECT_EQ(player_->PlayedXTimes(), 2);

    int restarts = 0;
    player_->OnRestartStream = [&restarts](void* Context, bool& res) {
        ++restarts;
        static_cast<Memory*>(Context)->position = 0;
        res = true;
    };
    player_->Play();
    EXPECT_EQ(player_->PlayedXTimes(), 3);
    ASSERT_TRUE(waitFor([this] { return player_->CheckPlayEnd(); }));
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(pcmDifference(readWav(wav_), shortInput().reference), "");
}

TEST_F(PlayerTest, StreamWithoutHandlersCannotBeRead) {
    // No handlers: a null context, and every read answers False, so nothing opens.
    player_->setFromStream(true);
    expectError([this] { player_->Open(); }, "Input stream error", 3);
    EXPECT_EQ(player_->PlayedXTimes(), 0);
    expectError([this] { player_->Play(); }, "Input stream error", 3);
}

TEST_F(StreamPlayerTest, HandlersThatThrowCountAsFailures) {
    bindHandlers(false);
    player_->OnReadStream = [](void*, void*, int, int&, bool&) {
        throw std::runtime_error("x");
    };
    expectError([this] { player_->Open(); }, "Input stream error", 3);
    EXPECT_EQ(closes_, 1); // the stream that opened was closed again
}

TEST_F(StreamPlayerTest, PositionsBeyondTheLengthReachOnPosUpdateAsZero) {
    // A non-seekable stream that understates its size: its length is estimated from the size,
    // and the playback runs past it.
    bindHandlers(true, longInput().file);
    player_->OnGetStreamSize = [this](void*, int& res) {
        res = static_cast<int>(memory_.bytes.size() / 2);
    };
    player_->setUseTimer(true);
    player_->setTimerFreq(2);
    player_->LoadDecoder(); // again, now with the timer running
    std::vector<std::pair<int, int>> updates;
    player_->OnPosUpdate = [&updates](int Pos, int Len) {
        updates.emplace_back(Pos, Len);
    };
    bool ended = false;
    player_->OnPlayEnd = [&ended](QObject*) {
        ended = true;
    };
    player_->Play();
    ASSERT_TRUE(waitFor([&ended] { return ended; }));
    const int length = player_->StreamLength();
    EXPECT_NEAR(length, lengthMs(longInput().reference) / 2, 100);
    bool sawPositive = false;
    for (const auto& [position, reportedLength] : updates) {
        EXPECT_EQ(reportedLength, length);
        EXPECT_LE(position, length);
        sawPositive = sawPositive || position > 0;
    }
    EXPECT_TRUE(sawPositive);
    EXPECT_EQ(updates.back().first, 0); // the end lies past the estimated length
    EXPECT_EQ(pcmDifference(readWav(wav_), longInput().reference), "");
}
