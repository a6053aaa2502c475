// Claims on output names: one holder at a time however the folder is spelled, and a claim
// ended is free again. (Two batches as two processes, and a killed one: cli/tests.)
#include "platform/output_claim.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using State = platform::OutputClaim::State;

TEST(OutputClaim, OneHolderPerNameHoweverTheFolderIsSpelled) {
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkdir("out"));
    ASSERT_TRUE(QFile::link(root.filePath("out"), root.filePath("link")));
    {
        const platform::OutputClaim first(root.filePath("out/song.mp3"));
        ASSERT_EQ(first.state(), State::Held);
        // Another holder (flock counts each open of the lock file as one, as another process).
        EXPECT_EQ(platform::OutputClaim(root.filePath("link/song.mp3")).state(), State::InUse);
        EXPECT_EQ(platform::OutputClaim(root.filePath("out/other.mp3")).state(), State::Held);
    }
    EXPECT_EQ(platform::OutputClaim(root.filePath("link/song.mp3")).state(), State::Held);
}

TEST(OutputClaims, AFileHoldsAllItsNamesOrNone) {
    QTemporaryDir root;
    const QString mp3 = root.filePath("a.mp3");
    const QString beside = root.filePath("A.MP3");
    platform::OutputClaims batch;
    platform::OutputClaims other;
    EXPECT_EQ(batch.claim(0, {mp3, mp3}), QString());
    EXPECT_EQ(batch.claim(0, {mp3}), QString()); // held from before
    EXPECT_EQ(other.claim(0, {beside, mp3}), mp3);
    // The claim on `beside` went with the refusal.
    EXPECT_EQ(batch.claim(1, {beside}), QString());
    batch.releaseBefore(1);
    EXPECT_EQ(other.claim(0, {mp3}), QString());
    EXPECT_EQ(other.claim(1, {beside}), beside);
}

} // namespace
