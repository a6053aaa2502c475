// FromStream: the owner's handlers read an MP3 through a C stream of their own.

#include "mpegplay/tests/player_fixture.h"

#include <QTest>

#include <algorithm>
#include <cstdio>

using namespace testsupport;

namespace {

std::FILE* file(void* Context) {
    return static_cast<std::FILE*>(Context);
}

class StreamPlayerTest : public PlayerTest {
protected:
    // The player's last close calls a handler that uses this fixture's members.
    void TearDown() override { player_.reset(); }

    // Binds the handlers other than restart to a stream of `input`; its FILE* is the context.
    // A stream that understates its size gives a size divided by `sizeShare`.
    void bindHandlers(bool nonseekable, const std::filesystem::path& input = shortInput().file,
                      std::uintmax_t sizeShare = 1) {
        player_->setFromStream(true);
        player_->OnOpenStream = [this, nonseekable, input](bool& Nonseekable, void*& Context) {
            Nonseekable = nonseekable;
            Context = opened_ = std::fopen(input.c_str(), "rb");
        };
        player_->OnCloseStream = [this](void* Context) {
            ASSERT_EQ(Context, opened_);
            std::fclose(file(Context));
            ++closes_;
        };
        player_->OnReadStream = [](void* Context, void* buffer, int size, int& read, bool& res) {
            read =
                static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(size), file(Context)));
            res = true;
        };
        player_->OnSeekStream = [](void* Context, int numbytes, int MoveMethod, int& res) {
            const int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
            const bool moved = std::fseek(file(Context), numbytes, whence[MoveMethod]) == 0;
            res = moved ? static_cast<int>(std::ftell(file(Context))) : -1;
        };
        player_->OnGetStreamSize = [input, sizeShare](void*, int& res) {
            res = static_cast<int>(std::filesystem::file_size(input) / sizeShare);
        };
    }

    void* opened_ = nullptr;
    int closes_ = 0;
};

} // namespace

TEST_F(StreamPlayerTest, SeekableAndNonSeekableStreamsPlayAndRestart) {
    int restarts = 0;
    for (const bool nonseekable : {false, true}) {
        SCOPED_TRACE(nonseekable);
        bindHandlers(nonseekable);
        playToEnd();
        EXPECT_EQ(player_->StreamLength(), shortInput().lengthMs);
        EXPECT_EQ(wavDifference(wav_, shortInput().reference), "");

        // Play again: the restart path. The library seeks back itself in a seekable stream,
        // and needs the owner's restart handler otherwise.
        if (nonseekable) {
            expectError([this] { player_->Play(); }, "Input stream is non-seekable", 4);
            EXPECT_EQ(player_->PlayedXTimes(), 2);
            player_->OnRestartStream = [&restarts](void* Context, bool& res) {
                ++restarts;
                res = std::fseek(file(Context), 0, SEEK_SET) == 0;
            };
        }
        playToEnd();
        EXPECT_EQ(player_->PlayedXTimes(), 3);
        EXPECT_EQ(restarts, nonseekable ? 1 : 0);
        EXPECT_EQ(wavDifference(wav_, shortInput().reference), "");
        player_->Close();
    }
    EXPECT_EQ(closes_, 2);
}

TEST_F(StreamPlayerTest, AReadHandlerThatThrowsFailsTheOpen) {
    // A read handler that throws counts as a failed read.
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
    bindHandlers(true, longInput().file, 2);
    loadForWav(*player_, wav_, true, 2); // again, now with the timer running
    std::vector<int> positions;
    player_->OnPosUpdate = [&positions](int Pos, int) {
        positions.push_back(Pos);
    };
    player_->Play();
    ASSERT_TRUE(waitFor([this] { return player_->PlayerMode() == 2; }));
    QTest::qWait(30); // for the tick that sees the end
    EXPECT_NEAR(player_->StreamLength(), longInput().lengthMs / 2, 100);
    EXPECT_GT(*std::ranges::max_element(positions), 0);
    EXPECT_LE(*std::ranges::max_element(positions), player_->StreamLength());
    EXPECT_EQ(positions.back(), 0); // the end lies past the estimated length
    EXPECT_EQ(wavDifference(wav_, longInput().reference), "");
}
