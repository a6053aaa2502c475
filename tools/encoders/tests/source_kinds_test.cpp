// FLAC, Ogg Vorbis, Opus and AIFF sources, made by their own tools, through every program and
// layer: exact length, tags and cover in the MP3, and a track gain that an independent meter
// (ffmpeg's ebur128) confirms.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace encoders::testing {
namespace {

using Tags = std::map<std::string, std::string>;

const Tags kVorbisTags = {{"title", "Hafið"}, {"artist", "Sóley"},   {"album", "Krómantík"},
                          {"track", "3"},     {"date", "2011"},      {"genre", "Pop"},
                          {"comment", "one"}, {"album_artist", "S"}, {"disc", "2"}};

struct Kind {
    std::string extension;
    int sampleRate;
    bool cover;
    Tags tags; // as ffprobe reads them back from the MP3
};

// Makes the source from a WAV with the kind's own tool, with tags and, where it can, a cover.
void makeSource(const Kind& kind, const std::filesystem::path& wav,
                const std::filesystem::path& source, const std::filesystem::path& cover) {
    auto t = [](const char* name) {
        return kVorbisTags.at(name);
    };
    ProcessResult made;
    if (kind.extension == "flac") {
        made = run({"flac", "-s", "-f", wav.string(), "-o", source.string(),
                    "--picture=" + cover.string(), "--tag=TITLE=" + t("title"),
                    "--tag=ARTIST=" + t("artist"), "--tag=ALBUM=" + t("album"),
                    "--tag=TRACKNUMBER=" + t("track"), "--tag=DATE=" + t("date"),
                    "--tag=GENRE=" + t("genre"), "--tag=COMMENT=" + t("comment"),
                    "--tag=ALBUMARTIST=" + t("album_artist"), "--tag=DISCNUMBER=" + t("disc")});
    } else if (kind.extension == "ogg") {
        made = run({"oggenc",
                    "-Q",
                    wav.string(),
                    "-o",
                    source.string(),
                    "-t",
                    t("title"),
                    "-a",
                    t("artist"),
                    "-l",
                    t("album"),
                    "-N",
                    t("track"),
                    "-d",
                    t("date"),
                    "-G",
                    t("genre"),
                    "-c",
                    "COMMENT=" + t("comment"),
                    "-c",
                    "ALBUMARTIST=" + t("album_artist"),
                    "-c",
                    "DISCNUMBER=" + t("disc")});
    } else if (kind.extension == "opus") {
        made = run({"opusenc",       "--quiet",
                    "--picture",     cover.string(),
                    "--title",       t("title"),
                    "--artist",      t("artist"),
                    "--album",       t("album"),
                    "--tracknumber", t("track"),
                    "--date",        t("date"),
                    "--genre",       t("genre"),
                    "--comment",     "COMMENT=" + t("comment"),
                    "--comment",     "ALBUMARTIST=" + t("album_artist"),
                    "--comment",     "DISCNUMBER=" + t("disc"),
                    wav.string(),    source.string()});
    } else {
        // sox writes the audio; ffmpeg adds AIFF's own NAME, AUTH and ANNO text chunks.
        const auto plain = source.parent_path() / "plain.aiff";
        ASSERT_EQ(run({"sox", wav.string(), plain.string()}).exitCode, 0);
        made = run({"ffmpeg", "-v", "error", "-y", "-i", plain.string(), "-c", "copy", "-metadata",
                    "title=" + t("title"), "-metadata", "author=" + t("artist"), "-metadata",
                    "comment=" + t("comment"), source.string()});
    }
    ASSERT_EQ(made.exitCode, 0) << made.err;
}

bool hasAttachedPicture(const std::filesystem::path& file) {
    const auto result =
        run({"ffprobe", "-v", "error", "-show_entries",
             "stream=codec_type:stream_disposition=attached_pic", "-of", "compact", file.string()});
    return result.out.find("codec_type=video|disposition:attached_pic=1") != std::string::npos;
}

TEST(SourceKinds, EveryKindEncodesWholeWithTagsCoverAndTrackGain) {
    const TempDir work;
    const std::vector<Kind> kinds = {
        {"flac", 44100, true, kVorbisTags},
        {"ogg", 44100, false, kVorbisTags},
        {"opus", 48000, true, kVorbisTags},
        {"aiff", 44100, false, {{"title", "Hafið"}, {"artist", "Sóley"}, {"comment", "one"}}},
    };
    const auto cover = work / "cover.png";
    ASSERT_EQ(run({"convert", "-size", "8x8", "xc:red", cover.string()}).exitCode, 0);
    const std::string codec = codecIn(work);
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.extension);
        const auto wav = work / "made.wav";
        // Pink noise at a level of its own per kind, 2.5 s at the kind's rate.
        const std::string volume = std::to_string(0.1 + 0.15 * (&kind - kinds.data()));
        ASSERT_EQ(run({"sox", "-n", "-r", std::to_string(kind.sampleRate), "-c", "2", "-b", "16",
                       wav.string(), "synth", "2.5", "pinknoise", "vol", volume})
                      .exitCode,
                  0);
        const auto source = work / ("song." + kind.extension);
        makeSource(kind, wav, source, cover);
        const Audio audio = readAudio(source);
        const long sourceFrames = readAudio(wav).frames();
        EXPECT_EQ(audio.frames(), sourceFrames);
        float peak = 0;
        for (float sample : audio.samples) {
            peak = std::max(peak, std::abs(sample));
        }
        const double expectedGain = -18.0 - ffmpegLoudness({source});

        const std::vector<std::pair<std::string, std::vector<std::string>>> programs = {
            {"mp1", {codec, source.string(), (work / "song.mp3").string(), "-M1", "-B128", "-L1"}},
            {"mp2", {codec, source.string(), (work / "song.mp3").string(), "-M1", "-B96", "-L2"}},
            {"mp3", {codec, source.string(), (work / "song.mp3").string(), "-M1", "-B64", "-L3"}},
            {"mp3", {kBladeenc, source.string(), "-128", "-QUIT"}},
            {"mp3", {kPlugger, source.string(), (work / "song.mp3").string(), "-b", "128"}},
        };
        for (const auto& [codecName, argv] : programs) {
            SCOPED_TRACE(argv[0] + " " + argv.back());
            // BladeEnc names its output after the source, the whole extension replaced.
            const auto out = work / (argv[0] == kBladeenc ? "song.MP3" : "song.mp3");
            // Plugger codes by small chunks on several threads: the joined stream's own Info
            // frame carries the radio gain there.
            if (argv[0] == kPlugger) {
                ::setenv("SONABOX_ENCODER_CHUNK_FRAMES", "20", 1);
            }
            const ProcessResult result = run(argv);
            ::unsetenv("SONABOX_ENCODER_CHUNK_FRAMES");
            ASSERT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(probe(out)["codec_name"], codecName);
            const long decoded = mpg123Decode(out, work / "decoded.wav").frames();
            if (codecName == "mp3") {
                EXPECT_EQ(decoded, sourceFrames); // gapless: the Info frame trims it exactly
            } else {
                EXPECT_NEAR(decoded, sourceFrames, codecName == "mp1" ? 384 : 1152);
            }
            Tags tags = probeTags(out);
            const double gain = std::stod(tags["REPLAYGAIN_TRACK_GAIN"]);
            EXPECT_NEAR(gain, expectedGain, 0.1);
            if (codecName == "mp3") { // the LAME tag's radio gain, as mpg123 reads it
                const std::string said = run({"mpg123", "-t", "-vvv", out.string()}).err;
                const auto at = said.find("Radio Gain = ");
                ASSERT_NE(at, std::string::npos) << said;
                EXPECT_NEAR(std::stod(said.substr(at + 13)), expectedGain, 0.1);
            }
            EXPECT_NEAR(std::stod(tags["REPLAYGAIN_TRACK_PEAK"]), peak, 1e-5);
            tags.erase("REPLAYGAIN_TRACK_GAIN");
            tags.erase("REPLAYGAIN_TRACK_PEAK");
            tags.erase("encoder");
            EXPECT_EQ(tags, kind.tags);
            EXPECT_EQ(hasAttachedPicture(out), kind.cover);
            std::filesystem::remove(out);
        }
    }
}

} // namespace
} // namespace encoders::testing
