// The stream's ID3 tags carried into the WAV file's LIST/INFO chunk, as ffprobe reads them.

#include "libs/mpegdll/tests/library_fixture.h"

#include <fstream>
#include <iterator>
#include <map>

using namespace testsupport;

namespace {

using Tags = std::map<std::string, std::string>;

struct TagCase {
    const char* name;
    const char* lameOptions;
    bool malformed; // a broken ID3v2 tag before the audio
    Tags expected;
};

// clang-format off
// The album sorts first, so a row can leave it out.
const Tags full = {{"album", "Ünïcödé 漢字"}, {"artist", "坂本 龍一"}, {"comment", "naïve 注释"},
                   {"date", "1999"}, {"genre", "Ambient"}, {"title", "Café à la crème"},
                   {"track", "7"}};

const TagCase tagCases[] = {
    {"no tag", "", false, {}},
    {"ID3v2 in UTF-16", "--id3v2-only --id3v2-utf16", false, full},
    {"an empty album", "--id3v2-only --id3v2-utf16", false, {std::next(full.begin()), full.end()}},
    {"ID3v1 only", "--id3v1-only", false,
     {{"album", "Record"}, {"artist", "Someone"}, {"comment", "Note"}, {"date", "2001"},
      {"genre", "Rock"}, {"title", "Plain"}, {"track", "3"}}},
    {"a malformed tag", "", true, {}},
};
// clang-format on

std::string lameTagOptions(const Tags& tags) {
    static const std::map<std::string, std::string> flags = {
        {"title", "--tt"}, {"artist", "--ta"}, {"album", "--tl"},  {"track", "--tn"},
        {"date", "--ty"},  {"genre", "--tg"},  {"comment", "--tc"}};
    std::string options;
    for (const auto& [key, value] : tags)
        options += " " + flags.at(key) + " " + testsupport::quoted(value);
    return options;
}

Tags probeTags(const std::filesystem::path& wav) {
    const std::filesystem::path listing = wav.string() + ".tags";
    run("ffprobe -v error -show_entries format_tags -of default=noprint_wrappers=1 " + quoted(wav) +
        " >" + testsupport::quoted(listing));
    Tags tags;
    std::ifstream in(listing);
    for (std::string line; std::getline(in, line);)
        if (const auto equals = line.find('='); line.rfind("TAG:", 0) == 0 && equals != line.npos)
            tags[line.substr(4, equals - 4)] = line.substr(equals + 1);
    return tags;
}

} // namespace

TEST_F(LibraryTest, TagsGoIntoTheWavFile) {
    const auto wav = out_ / "tagged.wav";
    writeTestWav(wav, 44100, 2, 1.0);
    Pcm reference; // mpg123's decode of the first row, which has no tag
    const ScopedEnvironment locale("LC_ALL", "C.UTF-8"); // lame reads text in the locale's encoding
    for (const TagCase& row : tagCases) {
        SCOPED_TRACE(row.name);
        const auto mp3 = out_ / "tagged.mp3";
        lame(wav, mp3, row.lameOptions + lameTagOptions(row.expected));
        if (row.malformed) {
            // Its one frame claims 2 GB; the tag itself is 32 bytes of text.
            const std::string tag = std::string("ID3\3\0\0\0\0\0\x20", 10) + "TIT2" +
                                    std::string("\x7f\xff\xff\xff\0\0", 6) + std::string(22, 'x');
            auto bytes = readBytes(mp3);
            bytes.insert(bytes.begin(), tag.begin(), tag.end());
            writeBytes(mp3, bytes);
        }
        if (reference.samples.empty())
            reference = mpg123Decode(mp3, out_ / "reference.wav");
        EXPECT_TRUE(samePcm(decode(mp3), reference));
        EXPECT_EQ(probeTags(out_ / "tagged.out.wav"), row.expected);
        Close();
    }
}

namespace {

// An ID3v2.3 tag whose title frame holds `units` as UTF-16 with a byte order mark (sizes
// below 128 bytes, which every size field writes alike).
std::vector<unsigned char> utf16TitleTag(std::initializer_list<char16_t> units) {
    const auto size = static_cast<unsigned char>(3 + 2 * units.size());
    std::vector<unsigned char> tag = {
        'I', 'D',  '3', 3,   0, 0, 0, 0,    0, static_cast<unsigned char>(10 + size),
        'T', 'I',  'T', '2', 0, 0, 0, size, 0, 0,
        1,   0xff, 0xfe};
    for (const char16_t unit : units)
        tag.insert(tag.end(), {static_cast<unsigned char>(unit & 0xff),
                               static_cast<unsigned char>(unit >> 8)});
    return tag;
}

// The title in the WAV file's LIST/INFO chunk as Python's strict UTF-8 decoder reads it (ffprobe
// would mend invalid bytes on its way out); throws when the bytes are not valid UTF-8.
std::string strictUtf8Title(const std::filesystem::path& wav) {
    const std::filesystem::path text = wav.string() + ".title";
    run("python3 -c \"import sys; d = open(sys.argv[1], 'rb').read(); i = d.index(b'INAM'); "
        "n = int.from_bytes(d[i + 4:i + 8], 'little'); "
        "sys.stdout.buffer.write(d[i + 8:i + 8 + n].rstrip(b'\\0').decode('utf-8').encode())\" " +
        quoted(wav) + " >" + quoted(text));
    std::ifstream in(text);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

// UTF-16 that does not encode characters (a surrogate without its partner) becomes U+FFFD in
// the WAV file: its text is valid UTF-8 however broken the tag.
TEST_F(LibraryTest, BrokenUtf16InTagsBecomesReplacementCharacters) {
    const struct {
        const char* name;
        std::initializer_list<char16_t> units;
        const char* title;
    } rows[] = {
        {"a pair", {u'A', 0xd83d, 0xde00}, "A\U0001F600"},
        {"a low surrogate alone", {u'A', 0xdc00, u'B'}, "A\uFFFDB"},
        {"two low surrogates first", {0xdfff, 0xdc00, u'€'}, "\uFFFD\uFFFD€"},
        {"a low surrogate last", {u'x', 0xde00}, "x\uFFFD"},
    };
    const auto wav = out_ / "plain.wav";
    writeTestWav(wav, 44100, 1, 0.5);
    lame(wav, out_ / "plain.mp3", "");
    const auto audio = readBytes(out_ / "plain.mp3");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto bytes = utf16TitleTag(row.units);
        bytes.insert(bytes.end(), audio.begin(), audio.end());
        writeBytes(out_ / "tagged.mp3", bytes);
        decode(out_ / "tagged.mp3");
        EXPECT_EQ(strictUtf8Title(out_ / "tagged.out.wav"), row.title);
        Close();
    }
}
