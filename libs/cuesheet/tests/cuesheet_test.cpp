#include "libs/cuesheet/cue_album.h"
#include "tests/plain/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace cuesheet {
namespace {

constexpr char kAlbum[] = "REM GENRE \"Ambient Pop\"\n"
                          "REM DATE 1999\n"
                          "PERFORMER \"The Band\"\n"
                          "TITLE \"First Album\"\n"
                          "FILE \"album.wav\" WAVE\n"
                          "  TRACK 01 AUDIO\n"
                          "    TITLE \"Opening\"\n"
                          "    INDEX 01 00:00:10\n"
                          "  TRACK 02 AUDIO\n"
                          "    TITLE \"Middle\"\n"
                          "    PERFORMER \"Guest\"\n"
                          "    INDEX 00 00:01:00\n"
                          "    INDEX 01 00:02:00\n"
                          "  track 03 audio\r\n"
                          "    title Last  Song\r\n"
                          "    INDEX 01 00:04:37\r\n";

TEST(CueSheet, ReadsAlbumAndTrackFields) {
    const Sheet sheet = parseCueSheet(kAlbum);
    EXPECT_EQ(sheet.title, "First Album");
    EXPECT_EQ(sheet.performer, "The Band");
    EXPECT_EQ(sheet.date, "1999");
    EXPECT_EQ(sheet.genre, "Ambient Pop");
    EXPECT_EQ(sheet.files, std::vector<std::string>{"album.wav"});
    ASSERT_EQ(sheet.tracks.size(), 3u);
    EXPECT_EQ(sheet.tracks[1].title, "Middle");
    EXPECT_EQ(sheet.tracks[1].performer, "Guest");
    EXPECT_EQ(sheet.tracks[2].title, "Last Song");
    EXPECT_EQ(sheet.tracks[2].number, 3);
    EXPECT_EQ(sheet.tracks[1].indexes[0].position, 75);
    EXPECT_EQ(sheet.tracks[2].start()->position, 4 * 75 + 37);
}

// Track 1 starts at the file's first sample whatever its INDEX 01 says; a pregap goes with the
// track before; the last track ends with the file.
TEST(CueSheet, CutsAtEachIndexOne) {
    const Sheet sheet = parseCueSheet(kAlbum);
    struct Case {
        int rate;
        std::int64_t frames;
        std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    };
    for (const Case& c : std::vector<Case>{
             {44100, 300000, {{0, 88200}, {88200, 176400 + 37 * 588}, {198156, 300000}}},
             {48000, 250000, {{0, 96000}, {96000, 215680}, {215680, 250000}}},
             {22050, 100000, {{0, 44100}, {44100, 99078}, {99078, 100000}}},
         }) {
        const auto cuts = cutFile(sheet, 0, c.rate, c.frames, "album.wav");
        ASSERT_EQ(cuts.size(), c.ranges.size()) << c.rate;
        for (std::size_t i = 0; i < cuts.size(); ++i) {
            EXPECT_EQ(cuts[i].first, c.ranges[i].first) << c.rate << " track " << i + 1;
            EXPECT_EQ(cuts[i].end, c.ranges[i].second) << c.rate << " track " << i + 1;
        }
        EXPECT_EQ(cuts[1].performer, "Guest");
        EXPECT_EQ(cuts[2].performer, "The Band");
    }
}

TEST(CueSheet, DecodesEveryEncoding) {
    const std::string utf8 = "TITLE \"Caf\xC3\xA9 \xE2\x82\xAC\"";
    const std::string wide = "TITLE \"Caf\xC3\xA9 \xF0\x9D\x84\x9E\"";
    struct Case {
        std::string bytes;
        std::string text;
    };
    for (const Case& c : std::vector<Case>{
             {utf8, utf8},
             {"\xEF\xBB\xBF" + utf8, utf8},
             {std::string("TITLE \"Caf\xE9 \xA4\""), "TITLE \"Caf\xC3\xA9 \xC2\xA4\""},
             {std::string("\xFF\xFET\0I\0\"\0\xE9\0\x34\xD8\x1E\xDD", 14),
              "TI\"\xC3\xA9\xF0\x9D\x84\x9E"},
             {std::string("\xFE\xFF\0T\0\xE9\xD8\x34\xDD\x1E", 10), "T\xC3\xA9\xF0\x9D\x84\x9E"},
             // An overlong form is no UTF-8: the bytes are Latin-1.
             {"\xC0\xAF", "\xC3\x80\xC2\xAF"},
         }) {
        EXPECT_EQ(decodeCueText(c.bytes), c.text);
    }
    EXPECT_EQ(parseCueSheet(decodeCueText("\xEF\xBB\xBF" + wide)).title,
              "Caf\xC3\xA9 \xF0\x9D\x84\x9E");
}

TEST(CueSheet, RefusesWhatItCannotUse) {
    const std::string head = "FILE \"a.wav\" WAVE\n";
    struct Case {
        std::string text;
        std::int64_t frames;
        std::string reason;
    };
    for (const Case& c : std::vector<Case>{
             {"TRACK 01 AUDIO\nINDEX 01 00:00:00\n", 1000, "track 1 comes before any FILE line"},
             {head + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n",
              100000, "the times are out of order: track 2 INDEX 01 at 00:00:00"},
             {head + "TRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:03:00\n",
              44100 * 2, "track 2 INDEX 01 at 00:03:00 lies beyond the end of 'a.wav'"},
             {head + "TRACK 01 AUDIO\nINDEX 00 00:00:00\n", 1000, "track 1 has no INDEX 01"},
             {head, 1000, "the cue sheet has no tracks"},
             {head + "TRACK 01 AUDIO\nINDEX 01 00:60:00\n", 1000,
              "line 3 of the cue sheet: '00:60:00' is no time mm:ss:ff"},
             {head + "TRACK 01 MODE1/2352\n", 1000, "track 1 is not an AUDIO track"},
             {head + "TRACK 02 AUDIO\nINDEX 01 00:00:00\nTRACK 01 AUDIO\n", 1000,
              "track 1 follows track 2"},
             {"INDEX 01 00:00:00\n", 1000, "INDEX outside a track"},
         }) {
        try {
            cutFile(parseCueSheet(c.text), 0, 44100, c.frames, "a.wav");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const CueError& error) {
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos)
                << error.what() << " <> " << c.reason;
        }
    }
}

void write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Each file of a sheet with a FILE per track is its own tracks; one named but not there makes
// the sheet unusable.
TEST(CueSheet, FindsTheSheetBesideItsFiles) {
    testsupport::TempDir dir;
    write(dir / "01.wav", "x");
    write(dir / "02.wav", "x");
    write(dir / "other.flac", "x");
    write(dir / "disc.cue", "FILE \"01.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                            "TRACK 02 AUDIO\nINDEX 00 00:10:00\n"
                            "FILE \"02.wav\" WAVE\nINDEX 01 00:00:00\n");
    const auto second = findAlbum(dir / "02.wav");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->file, 1u);
    const auto cuts = cutFile(second->sheet, second->file, 44100, 50000, "02.wav");
    ASSERT_EQ(cuts.size(), 1u);
    EXPECT_EQ(cuts[0].number, 2);
    EXPECT_EQ(cuts[0].first, 0);
    EXPECT_EQ(cutFile(second->sheet, 0, 44100, 500000, "01.wav").at(0).end, 500000);
    EXPECT_FALSE(findAlbum(dir / "other.flac"));

    // A sheet made for the WAV that became a FLAC still names it by its stem.
    write(dir / "live.flac", "x");
    write(dir / "concert.cue", "FILE \"live.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    EXPECT_EQ(findAlbum(dir / "live.flac")->sheetPath, dir / "concert.cue");

    write(dir / "other.cue", "FILE \"gone.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    try {
        findAlbum(dir / "other.flac");
        ADD_FAILURE() << "a sheet naming a missing file was taken";
    } catch (const CueError& error) {
        EXPECT_STREQ(error.what(),
                     "the cue sheet 'other.cue' names 'gone.wav', which is not there");
    }
}

// The sheet `flac --cuesheet` embeds as a CUESHEET block counts in samples.
TEST(CueSheet, ReadsTheBlockFlacEmbeds) {
    testsupport::TempDir dir;
    write(dir / "a.cue", "TITLE \"Lost\"\nFILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                         "TRACK 02 AUDIO\nINDEX 00 00:01:00\nINDEX 01 00:01:30\n");
    const std::string make = "cd '" + dir.path().string() +
                             "' && sox -n -r 44100 -c 2 -b 16 a.wav synth 3 sine 440 && "
                             "flac -s --cuesheet=a.cue -o a.flac a.wav && metaflac "
                             "--set-tag=ALBUM=Kept --set-tag=ARTIST=Who a.flac && rm a.cue a.wav";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    const auto album = findAlbum(dir / "a.flac");
    ASSERT_TRUE(album);
    EXPECT_EQ(album->sheetPath, dir / "a.flac");
    EXPECT_EQ(album->sheet.title, "Kept");
    EXPECT_EQ(album->sheet.performer, "Who");
    const auto cuts = cutFile(album->sheet, 0, 44100, 3 * 44100, "a.flac");
    ASSERT_EQ(cuts.size(), 2u);
    EXPECT_EQ(cuts[0].end, 44100 + 30 * 588);
    EXPECT_EQ(cuts[1].end, 3 * 44100);
}

} // namespace
} // namespace cuesheet
