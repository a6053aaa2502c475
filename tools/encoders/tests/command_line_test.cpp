#include "tools/encoders/core/command_line.h"
#include "tools/encoders/core/encoder_error.h"

#include <gtest/gtest.h>

namespace encoders {
namespace {

using Args = std::vector<std::string>;

TEST(HouseArguments, TheProgramsCommandLines) {
    EncodeRequest a =
        parseHouseArguments({"/music/wav/song.wav", "/music/mp3/song.mp3", "-M1", "-B64", "-L2"});
    EXPECT_EQ(a.input, "/music/wav/song.wav");
    EXPECT_EQ(a.output, "/music/mp3/song.mp3");
    EXPECT_EQ(a.mode, ChannelMode::JointStereo);
    EXPECT_EQ(a.kbps, 128);
    EXPECT_EQ(a.layer, Layer::II);

    EncodeRequest b = parseHouseArguments({"in.wav", "out.mp3", "-M0", "-B64"});
    EXPECT_EQ(b.mode, ChannelMode::Stereo);
    EXPECT_EQ(b.layer, Layer::III);

    EncodeRequest c = parseHouseArguments({"in.wav", "out.mp3", "-M3", "-B24", "-L1"});
    EXPECT_EQ(c.mode, ChannelMode::Mono);
    EXPECT_EQ(c.kbps, 48);
    EXPECT_EQ(c.layer, Layer::I);

    EXPECT_EQ(parseHouseArguments({"i", "o", "-M2", "-B160"}).mode, ChannelMode::DualChannel);
    EXPECT_EQ(parseHouseArguments({"i", "o", "-M2", "-B160"}).kbps, 320);
}

TEST(HouseArguments, DefaultsRepeatsAndUnknownSwitches) {
    // No -M: stereo. A later switch wins. Unknown switches are ignored.
    EncodeRequest r = parseHouseArguments({"i", "o", "-B64", "-L2", "-L3", "-X", "-PRIO=HIGHEST"});
    EXPECT_EQ(r.mode, ChannelMode::Stereo);
    EXPECT_EQ(r.layer, Layer::III);
    EXPECT_EQ(r.kbps, 128);
}

TEST(HouseArguments, RefusedLines) {
    EXPECT_THROW(parseHouseArguments({}), UsageError);
    EXPECT_THROW(parseHouseArguments({"in.wav"}), UsageError);
    EXPECT_THROW(parseHouseArguments({"in.wav", "out.mp3", "-M0"}), UsageError); // no -B
    EXPECT_THROW(parseHouseArguments({"in.wav", "out.mp3", "-M4", "-B64"}), UsageError);
    EXPECT_THROW(parseHouseArguments({"in.wav", "out.mp3", "-Mx", "-B64"}), UsageError);
    EXPECT_THROW(parseHouseArguments({"in.wav", "out.mp3", "-B", "64"}), UsageError);
    EXPECT_THROW(parseHouseArguments({"in.wav", "out.mp3", "-B-4"}), UsageError);
    EXPECT_THROW(parseHouseArguments({"in.wav", "out.mp3", "-B64k"}), UsageError);
    EXPECT_THROW(parseHouseArguments({"in.wav", "out.mp3", "-B99999999999"}), UsageError);
    EXPECT_THROW(parseHouseArguments({"in.wav", "out.mp3", "-B64", "-L4"}), UsageError);
    EXPECT_THROW(parseHouseArguments({"in.wav", "out.mp3", "-B64", "more.wav"}), UsageError);
    EXPECT_THROW(parseHouseArguments({"", "out.mp3", "-B64"}), UsageError);
}

TEST(BladeencArguments, TheProgramsCommandLines) {
    // "in.wav"  -128 -QUIT  -PRIO=HIGHEST  -PRIO=HIGHEST, as the C runtime splits it.
    EncodeRequest stereo = parseBladeencArguments(
        {"/music/wav/song.wav", "-128", "-QUIT", "-PRIO=HIGHEST", "-PRIO=HIGHEST"});
    EXPECT_EQ(stereo.input, "/music/wav/song.wav");
    EXPECT_EQ(stereo.output, "/music/wav/song.MP3");
    EXPECT_EQ(stereo.mode, ChannelMode::Stereo);
    EXPECT_EQ(stereo.kbps, 128);
    EXPECT_EQ(stereo.layer, Layer::III);

    EncodeRequest mono =
        parseBladeencArguments({"/music/wav/song.wav", "-MONO", "-64", "-QUIT", "-PRIO=HIGHEST"});
    EXPECT_EQ(mono.mode, ChannelMode::Mono);
    EXPECT_EQ(mono.kbps, 64);
}

TEST(BladeencArguments, DefaultsAndRefusals) {
    EXPECT_EQ(parseBladeencArguments({"a.wav"}).kbps, 128);
    EXPECT_EQ(parseBladeencArguments({"a.wav", "-", "-QUIT"}).kbps, 128);
    EXPECT_EQ(parseBladeencArguments({"a.wav", "-mono"}).mode, ChannelMode::Mono);
    EXPECT_THROW(parseBladeencArguments({}), UsageError);
    EXPECT_THROW(parseBladeencArguments({"a.wav", "b.wav"}), UsageError);
    EXPECT_THROW(parseBladeencArguments({"a.w"}), UsageError);
}

TEST(BladeencArguments, OutputNameReplacesTheLastThreeCharacters) {
    EXPECT_EQ(bladeencOutputPath("/d/song.wav"), "/d/song.MP3");
    EXPECT_EQ(bladeencOutputPath("/d/song.WAVE"), "/d/song.WMP3");
    EXPECT_EQ(bladeencOutputPath("a.wav"), "a.MP3");
    EXPECT_EQ(bladeencOutputPath("/d/odd name.wav"), "/d/odd name.MP3");
    EXPECT_THROW(bladeencOutputPath("wav"), UsageError);
    // Other source kinds lose their whole extension, whatever its length or case.
    EXPECT_EQ(bladeencOutputPath("/d/song.flac"), "/d/song.MP3");
    EXPECT_EQ(bladeencOutputPath("/d/Song.OPUS"), "/d/Song.MP3");
    EXPECT_EQ(bladeencOutputPath("/d/a.b.aif"), "/d/a.b.MP3");
    EXPECT_EQ(bladeencOutputPath("/d.flac/song.wav"), "/d.flac/song.MP3");
    EXPECT_EQ(bladeencOutputPath("x.ogg"), "x.MP3");
}

TEST(PluggerArguments, TheProgramsCommandLines) {
    EncodeRequest mono = parsePluggerArguments(
        {"/music/wav/song.wav", "/music/mp3/song.mp3", "-b", "128", "-z", "-dm"});
    EXPECT_EQ(mono.input, "/music/wav/song.wav");
    EXPECT_EQ(mono.output, "/music/mp3/song.mp3");
    EXPECT_EQ(mono.kbps, 128);
    EXPECT_EQ(mono.mode, ChannelMode::Mono);
    EXPECT_EQ(mono.lameQuality, kLameBestQuality);
    EXPECT_EQ(mono.layer, Layer::III);

    EncodeRequest stereo = parsePluggerArguments({"in.wav", "out.mp3", "-b", "64", "-z"});
    EXPECT_EQ(stereo.kbps, 64);
    EXPECT_EQ(stereo.mode, ChannelMode::Stereo);

    EXPECT_EQ(parsePluggerArguments({"in.wav", "out.mp3", "-b", "64"}).lameQuality,
              kLameStandardQuality);
    EXPECT_EQ(parsePluggerArguments({"in.wav", "out.mp3", "-b96"}).kbps, 96);
}

TEST(PluggerArguments, RefusedLines) {
    EXPECT_THROW(parsePluggerArguments({"in.wav"}), UsageError);
    // A bitrate text without digits leaves "-b" followed by the next switch.
    EXPECT_THROW(parsePluggerArguments({"in.wav", "out.mp3", "-b", "-z"}), UsageError);
    EXPECT_THROW(parsePluggerArguments({"in.wav", "out.mp3", "-b"}), UsageError);
    EXPECT_THROW(parsePluggerArguments({"in.wav", "out.mp3", "x.wav"}), UsageError);
}

} // namespace
} // namespace encoders
