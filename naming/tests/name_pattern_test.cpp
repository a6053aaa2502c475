// Output names from patterns and tags: fields, padding, fallbacks from the source's path, names
// made fit for a folder, and refused patterns.
#include "naming/engine/name_pattern.h"
#include "naming/engine/tag_names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>

using namespace naming;

namespace {

const NameFields kFields{.albumArtist = "Various",
                         .artist = "Ärtist",
                         .album = "Album",
                         .disc = "2/3",
                         .track = "3/12",
                         .title = "Title",
                         .year = "2001",
                         .genre = "Jazz"};

using Tag = std::pair<std::string encoders::Tags::*, const char*>;

encoders::Tags tagsOf(std::initializer_list<Tag> given) {
    encoders::Tags tags;
    for (const auto& [field, text] : given)
        tags.*field = text;
    return tags;
}

} // namespace

TEST(NamePattern, FieldsPaddingAndFolders) {
    const struct {
        const char* pattern;
        const char* name;
    } cases[] = {
        {"{artist}/{album}/{track:02} {title}", "Ärtist/Album/03 Title.mp3"},
        {"{albumartist}/{year} - {album}/{disc}-{track:03}", "Various/2001 - Album/2-003.mp3"},
        {"{genre}/{track}", "Jazz/3.mp3"},
        {"{{{title}}}", "{Title}.mp3"},
        {"{title:04}", "Title.mp3"}, // not a number: no padding
    };
    for (const auto& c : cases)
        EXPECT_EQ(NamePattern::parse(c.pattern).name(kFields, ".mp3"), c.name) << c.pattern;
}

TEST(NamePattern, MalformedPatternsAreRefusedSayingWhy) {
    const struct {
        const char* pattern;
        const char* says;
    } cases[] = {
        {"{artst}/{title}", "unknown field {artst}; the fields are {albumartist}"},
        {"{title", "a \"{\" without its \"}\""},
        {"title}", "a \"}\" without its \"{\""},
        {"{}", "unknown field {}"},
        {"{track:2}", "the padding of {track:2} is not a zero and a width"},
        {"{track:00}", "the padding of {track:00}"},
        {"{track:012}", "the padding of {track:012}"},
        {"{artist}//{title}", "an empty folder name"},
        {"/{title}", "an empty folder name"},
        {"{album}/", "an empty folder name"},
    };
    for (const auto& c : cases) {
        try {
            NamePattern::parse(c.pattern);
            ADD_FAILURE() << c.pattern << " was taken";
        } catch (const PatternError& error) {
            EXPECT_EQ(std::string(error.what()).find(c.says), 0u) << error.what();
        }
    }
}

TEST(NamePattern, ValuesAreMadeFitToStandAsNames) {
    const auto named = [](const std::string& title) {
        NameFields fields = kFields;
        fields.title = title;
        return NamePattern::parse("{album}/{title}").name(fields, ".mp3");
    };
    const struct {
        std::string title;
        std::string name;
    } cases[] = {
        {"AC/DC", "Album/AC_DC.mp3"},
        {std::string("nul\0byte", 8), "Album/nul_byte.mp3"},
        {"line\nbreak", "Album/line_break.mp3"},
        {"..", "Album/__.mp3"},
        {".hidden", "Album/_hidden.mp3"},
        {"trailing. ", "Album/trailing__.mp3"},
        {"", "Album/_.mp3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(named(c.title), c.name);
    // A folder is made fit the same way: the album ".." stays inside the output folder.
    NameFields up = kFields;
    up.album = "..";
    EXPECT_EQ(NamePattern::parse("{album}/{title}").name(up, ".mp3"), "__/Title.mp3");
}

TEST(NamePattern, LongNamesAreShortenedBetweenCharacters) {
    // 250 bytes, then "é" (two bytes) across byte 251: the file name keeps its extension and
    // drops the whole character; a folder name is cut at 255 bytes the same way.
    const std::string title = std::string(250, 'a') + "\xC3\xA9" + "bcdef";
    const std::string file = fitName(title, ".mp3");
    EXPECT_EQ(file, std::string(250, 'a') + ".mp3");
    const std::string folder = fitName(std::string(254, 'b') + "\xE2\x82\xAC", "");
    EXPECT_EQ(folder, std::string(254, 'b'));
    EXPECT_EQ(fitName(std::string(253, 'c') + "\xC3\xA9", ""), std::string(253, 'c') + "\xC3\xA9");
    // A cut that leaves a trailing blank makes it fit too.
    EXPECT_EQ(fitName(std::string(250, 'd') + " xyz", ".mp3"), std::string(250, 'd') + "_.mp3");
}

TEST(TagNames, MissingTagsComeFromTheSourcesPath) {
    const struct {
        std::initializer_list<Tag> tags;
        const char* source;
        const char* name;
    } cases[] = {
        {{}, "/lib/Band/Record/03 - Song.flac", "Band/Band/Record/03 Song.mp3"},
        {{}, "/lib/Band/Record/Song.v2.flac", "Band/Band/Record/ Song.v2.mp3"},
        {{}, "/lib/Band/Record/07.wav", "Band/Band/Record/07 07.mp3"},
        {{{&encoders::Tags::title, "T"}, {&encoders::Tags::artist, "A"}},
         "/lib/Band/Record/3 x.wav",
         "A/A/Record/03 T.mp3"},
        {{{&encoders::Tags::album, "L"},
          {&encoders::Tags::track, "9"},
          {&encoders::Tags::albumArtist, "V"}},
         "/x/y/1 z.ogg",
         "V/x/L/09 z.mp3"},
        {{{&encoders::Tags::year, "1999-12-31"}}, "/a.wav", "1999/_/_/ a.mp3"},
    };
    const auto pattern = NamePattern::parse("{albumartist}/{artist}/{album}/{track:02} {title}");
    const auto withYear = NamePattern::parse("{year}/{artist}/{album}/{track:02} {title}");
    for (const auto& c : cases) {
        const encoders::Tags tags = tagsOf(c.tags);
        const auto& used = tags.year.empty() ? pattern : withYear;
        EXPECT_EQ(used.name(fieldsOf(tags, c.source), ".mp3"), c.name) << c.source;
    }
}

// The tags come from the file itself, as the encoders read them: a WAV's INFO chunk here.
TEST(TagNames, TagsAreReadFromTheSource) {
    const auto dir = std::filesystem::temp_directory_path() / "sonabox-tag-names-test";
    std::filesystem::create_directories(dir / "Folder");
    const auto wav = dir / "Folder" / "05 raw.wav";
    const std::string command = "ffmpeg -v error -y -f lavfi -i anullsrc=r=8000:cl=mono -t 0.1 "
                                "-metadata title='Real Title' -metadata artist='Real Artist' "
                                "-metadata track=7 '" +
                                wav.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(nameFromTags(NamePattern::parse("{artist}/{album}/{track:02} {title}"), wav),
              "Real Artist/Folder/07 Real Title.mp3");
    std::filesystem::remove_all(dir);
}
