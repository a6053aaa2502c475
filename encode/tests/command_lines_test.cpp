// The encoders' command lines and output names, byte for byte.
#include "encode/enc_form.h"
#include "encode/engine/command_lines.h"
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <map>

using namespace encode;

namespace {

const QString kProgramDir = "/opt/sona box/";
const QString kInput = "/wav/song.wav";

std::string line(Encoder encoder, const QString& mode, const QString& layer, bool show = false,
                 const QString& bitrate = "128 Kbit/s", TEncoderJob* job = nullptr) {
    TEncoderJob fresh;
    TEncoderJob& target = job ? *job : fresh;
    fillJob(target, encoder, encoderProgramPath(encoder, kProgramDir), kInput,
            {mode, bitrate, layer, "/mp3/", show});
    return target.commandLine().toStdString();
}

} // namespace

TEST(CommandLines, TheSixWorkedExamples) {
    EXPECT_EQ(line(Encoder::House, "Joint Stereo", "Layer II"),
              R"(/opt/sona box/codec "/wav/song.wav" "/mp3/song.mp3" -M1 -B64 -L2)");
    EXPECT_EQ(line(Encoder::House, "Stereo", "Layer III"),
              R"(/opt/sona box/codec "/wav/song.wav" "/mp3/song.mp3" -M0 -B64)");
    EXPECT_EQ(
        line(Encoder::BladeEnc, "Stereo", "Layer III"),
        R"(/opt/sona box/bladeenc/bladeenc "/wav/song.wav"  -128 -QUIT  -PRIO=HIGHEST  -PRIO=HIGHEST)");
    EXPECT_EQ(line(Encoder::BladeEnc, "Mono", "Layer III"),
              R"(/opt/sona box/bladeenc/bladeenc "/wav/song.wav" -MONO -128 -QUIT -PRIO=HIGHEST)");
    EXPECT_EQ(line(Encoder::Plugger, "Mono", "Layer III", true),
              R"(/opt/sona box/encoder/plugger "/wav/song.wav" "/mp3/song.mp3" -b 128 -z -dm)");
    EXPECT_EQ(line(Encoder::Plugger, "Stereo", "Layer III"),
              R"(/opt/sona box/encoder/plugger "/wav/song.wav" "/mp3/song.mp3" -b 128 -z)");
}

TEST(CommandLines, ShowValuesAndTwoDigitBitrates) {
    TEncoderJob job;
    line(Encoder::House, "Mono", "Layer I", true, "  64 Kbit/s", &job);
    EXPECT_EQ(job.CmdPiece4, " -M3");
    EXPECT_EQ(job.CmdPiece5, " -B32");
    EXPECT_EQ(job.CmdPiece6, " -L1");
    EXPECT_EQ(job.CmdShow, "0");
    line(Encoder::House, "Dual Mono", "Layer I", false, "  48 Kbit/s", &job);
    EXPECT_EQ(job.CmdPiece4, " -M2");
    EXPECT_EQ(job.CmdPiece5, " -B24");
    EXPECT_EQ(
        line(Encoder::BladeEnc, "Joint Stereo", "", false, "  64 Kbit/s", &job),
        R"(/opt/sona box/bladeenc/bladeenc "/wav/song.wav"  -64 -QUIT  -PRIO=HIGHEST  -PRIO=HIGHEST)");
    EXPECT_EQ(job.CmdShow, "0");
    line(Encoder::Plugger, "Stereo", "", true, "64 Kbit/s", &job);
    EXPECT_EQ(job.CmdPiece4, " -b 64");
    EXPECT_EQ(job.CmdShow, "1");
    line(Encoder::House, "Stereo", "Layer III", true, "320 Kbit/s", &job);
    EXPECT_EQ(job.CmdPiece5, " -B160");
}

TEST(CommandLines, PiecesThatTheNextFileDoesNotSetKeepTheirValue) {
    TEncoderJob job;
    line(Encoder::House, "Joint Stereo", "Layer II", false, "128 Kbit/s", &job);
    EXPECT_EQ(job.CmdPiece6, " -L2");
    // "Layer III" empties the layer switch; texts the encoder doesn't know leave pieces alone.
    line(Encoder::House, "Joint Stereo", "Layer III", false, "128 Kbit/s", &job);
    EXPECT_EQ(job.CmdPiece6, "");
    line(Encoder::House, "Joint Stereo", "Layer II", false, "128 Kbit/s", &job);
    EXPECT_EQ(line(Encoder::House, "Surround", "Layer 9", false, "128 Kbit/s", &job),
              R"(/opt/sona box/codec "/wav/song.wav" "/mp3/song.mp3" -M1 -B64 -L2)");
}

TEST(CommandLines, BitratesWithoutANumberAreRefusedBeforeAnythingChanges) {
    TEncoderJob job;
    line(Encoder::House, "Stereo", "Layer III", false, "128 Kbit/s", &job);
    const QString before = job.commandLine();
    try {
        line(Encoder::House, "Stereo", "Layer III", false, "fast", &job);
        FAIL() << "no conversion error";
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'fast' is not a valid integer value");
    }
    EXPECT_EQ(job.commandLine(), before);
    EXPECT_THROW(bitrateNumber("Output bitrate"), ConversionError);
    EXPECT_EQ(bitrateNumber("  32 Kbit/s"), 32);
    EXPECT_EQ(bitrateNumber("48 Kbit/s"), 48);
}

TEST(CommandLines, OutputNamesAndTheOutputDirectoryTest) {
    EXPECT_EQ(OutputFileName("/wav/song.wav", "/mp3/"), "/mp3/song.mp3");
    EXPECT_EQ(OutputFileName("/wav/clip.wave", "/mp3/"), "/mp3/clip.wmp3");
    EXPECT_EQ(OutputFileName("song.wav", "/mp3/"), "/mp3/song.mp3");
    EXPECT_EQ(OutputFileName("/wav/song.wav", ""), "song.mp3");
    EXPECT_EQ(OutputFileName("/wav/ab", "/mp3/"), "/mp3/mp3");
    EXPECT_EQ(bladeEncOutput("/wav/song.wav"), "/wav/song.MP3");
    // Other source kinds lose their whole extension, whatever its length or case.
    EXPECT_EQ(OutputFileName("/in/song.flac", "/mp3/"), "/mp3/song.mp3");
    EXPECT_EQ(OutputFileName("/in/song.AIFC", "/mp3/"), "/mp3/song.mp3");
    EXPECT_EQ(OutputFileName("/in/song.oga", "/mp3/"), "/mp3/song.mp3");
    EXPECT_EQ(OutputFileName("/in/song.WAV", "/mp3/"), "/mp3/song.mp3");
    EXPECT_EQ(bladeEncOutput("/in/song.opus"), "/in/song.MP3");

    EXPECT_TRUE(InOutputDirectory("/mp3/song.wav", "/mp3/"));
    EXPECT_FALSE(InOutputDirectory("/MP3/song.wav", "/mp3/"));
    EXPECT_FALSE(InOutputDirectory("/mp3/sub/song.wav", "/mp3/"));
    EXPECT_TRUE(InOutputDirectory("song.wav", ""));
    EXPECT_FALSE(InOutputDirectory("song.wav", "/mp3/"));
}

// Hostile file names (legal on Linux) compose into lines that split back into exactly the
// paths and switches, for every encoder.
TEST(CommandLines, EveryFileNameSplitsBackExactly) {
    const QStringList inputs = {
        "/wav/say \"hi\".wav",  "/wav/\"",    "/wav/a\\\"b\\\\\"c.wav", "/wav/odd\\",
        "/wav/two  blanks\\\\", "-first.wav", "/wav/-M3.wav",           "/wav/tab\tand\nline.wav",
        "/wav/\" -L1 \"x"};
    for (const QString& input : inputs) {
        for (const QString outputDirectory : {"/mp3/", "/my \"mp3\"\\/", ""}) {
            const QString output = OutputFileName(input, outputDirectory);
            const std::map<Encoder, QStringList> expected = {
                {Encoder::House, {input, output, "-M3", "-B64", "-L2"}},
                {Encoder::Plugger, {input, output, "-b", "128", "-z", "-dm"}},
                {Encoder::BladeEnc, {input, "-MONO", "-128", "-QUIT", "-PRIO=HIGHEST"}}};
            for (const auto& [encoder, arguments] : expected) {
                const QString program = encoderProgramPath(encoder, kProgramDir);
                TEncoderJob job;
                fillJob(job, encoder, program, input,
                        {"Mono", "128 Kbit/s", "Layer II", outputDirectory, false});
                EXPECT_EQ(platform::argumentsAfterProgram(program, job.commandLine()), arguments)
                    << job.commandLine().toStdString();
            }
        }
    }
}

TEST(CommandLines, EncodersAreRecognisedByTheirPathBelowTheProgramDirectory) {
    EXPECT_EQ(recogniseEncoder("/opt/sona box/codec", kProgramDir), Encoder::House);
    EXPECT_EQ(recogniseEncoder("/opt/sona box/bladeenc/bladeenc", kProgramDir), Encoder::BladeEnc);
    EXPECT_EQ(recogniseEncoder("/opt/sona box/encoder/plugger", kProgramDir), Encoder::Plugger);
    EXPECT_EQ(recogniseEncoder("/opt/sona box/CODEC", kProgramDir), std::nullopt);
    EXPECT_EQ(recogniseEncoder("/usr/bin/lame", kProgramDir), std::nullopt);
}

// What the Configure page lists is stored in the settings file as its text and read back with
// its blanks trimmed: every entry of every encoder must come back as the value it was made of.
TEST(OptionValues, EveryEntryOfEveryEncoderReadsBackAsItsValue) {
    for (const EncoderDescription& encoder : encoders()) {
        SCOPED_TRACE(encoder.commandWord.toStdString());
        const Rate first = encoder.rates.front();
        for (const Offer<ChannelMode>& mode : encoder.modes)
            EXPECT_EQ(parseChoices({textOf(mode.value), textOf(first), "", "", false}).mode,
                      mode.value);
        for (const Offer<MpegLayer>& layer : encoder.layers)
            EXPECT_EQ(parseChoices({"", textOf(first), textOf(layer.value), "", false}).layer,
                      layer.value);
        for (Rate rate : encoder.rates) {
            EXPECT_EQ(rateOfText(textOf(rate)), rate);
            EXPECT_EQ(rateOfText(textOf(rate).trimmed()), rate);
            EXPECT_EQ(rateOfWord(QString::number(rate.kbps)), rate);
        }
    }
}

TEST(ProgressWindow, IsCentredWithEachHalfTruncatedOnItsOwn) {
    EXPECT_EQ(centredOver(QRect(100, 50, 505, 300), QSize(231, 120)), QPoint(237, 140));
    EXPECT_EQ(centredOver(QRect(100, 50, 504, 301), QSize(231, 121)), QPoint(237, 140));
    // Near the edge of the screen the formula may put the window partly off it.
    EXPECT_EQ(centredOver(QRect(-400, -300, 505, 300), QSize(231, 120)), QPoint(-263, -210));
}
