// The tags and cover of every kind of source beyond WAV, FLAC, Ogg and AIFF, in files made by
// ffmpeg's muxers and the wavpack tool (and DSF and DSDIFF containers around an ID3v2 tag that
// ffmpeg wrote, as no tool here writes DSF or DSDIFF; WM/Picture attributes put in by TagLib, as
// ffmpeg writes none), as the encoders read them for their ID3v2 tag.
#include "tools/encoders/core/source_tags.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>
#include <taglib/asffile.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace encoders::testing {
namespace {

using Args = std::vector<std::string>;

const Args kTone = {"-f", "lavfi", "-i", "sine=frequency=440:duration=0.2"};
const Args kTags = {"-metadata", "title=Tïtle", "-metadata", "artist=Ärtist",
                    "-metadata", "album=Album", "-metadata", "track=3",
                    "-metadata", "date=2011",   "-metadata", "genre=Pop"};

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void ffmpeg(const Args& args, const std::filesystem::path& output) {
    const ProcessResult made = run(Args{"ffmpeg", "-v", "error", "-y"} + args + Args{output});
    ASSERT_EQ(made.exitCode, 0) << made.err;
}

// The tone's audio with the cover as an attached picture stream, as the MP4 and ID3v2 muxers
// store it.
Args attachedPicture(const std::filesystem::path& cover) {
    return kTone + Args{"-i",   cover,  "-map",           "0",           "-map", "1",
                        "-c:v", "copy", "-disposition:v", "attached_pic"};
}

// A Matroska attachment, the way covers are kept there.
Args attachment(const std::filesystem::path& cover) {
    return {"-attach",           cover, "-metadata:s:t", "mimetype=image/jpeg", "-metadata:s:t",
            "filename=cover.jpg"};
}

std::string littleEndian64(std::uint64_t value) {
    return littleEndian(value, 8);
}

// A DSF file of 8192 bytes of DSD silence with `id3` (a whole ID3v2 tag) at its end, where the
// header's metadata pointer points.
void writeDsf(const std::filesystem::path& path, const std::string& id3) {
    const std::string samples(2 * 4096, '\x69');
    const std::uint64_t size = 28 + 52 + 12 + samples.size();
    std::string file =
        "DSD " + littleEndian64(28) + littleEndian64(size + id3.size()) + littleEndian64(size);
    file += "fmt " + littleEndian64(52) + littleEndian(1, 4) + littleEndian(0, 4) +
            littleEndian(2, 4) + littleEndian(2, 4) + littleEndian(2822400, 4) +
            littleEndian(1, 4) + littleEndian64(4096 * 8) + littleEndian(4096, 4) +
            littleEndian(0, 4);
    file += "data" + littleEndian64(12 + samples.size()) + samples + id3;
    std::ofstream(path, std::ios::binary) << file;
}

std::string bigEndian64(std::uint64_t value) {
    std::string bytes = littleEndian64(value);
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

// A DSDIFF chunk: id, big-endian 64-bit size, contents and the pad byte to an even size.
std::string dffChunk(const std::string& id, const std::string& contents) {
    return id + bigEndian64(contents.size()) + contents + std::string(contents.size() % 2, '\0');
}

// A DSDIFF file of 8192 bytes of DSD silence, its ID3v2 tag in an "ID3 " chunk after the audio
// as tagging tools put it there.
void writeDff(const std::filesystem::path& path, const std::string& id3) {
    const std::string rate = bigEndian64(2822400).substr(4); // Hz, 32 bits
    const std::string properties = "SND " + dffChunk("FS  ", rate) +
                                   dffChunk("CHNL", std::string("\0\2SLFTSRGT", 10)) +
                                   dffChunk("CMPR", "DSD \x0Enot compressed");
    const std::string form = "DSD " + dffChunk("FVER", std::string("\1\5\0\0", 4)) +
                             dffChunk("PROP", properties) +
                             dffChunk("DSD ", std::string(8192, '\x69')) + dffChunk("ID3 ", id3);
    std::ofstream(path, std::ios::binary) << "FRM8" + bigEndian64(form.size()) + form;
}

// The ID3v2 tag at the start of an MP3 that ffmpeg writes with the tags and cover.
std::string ffmpegId3(const TempDir& dir, const std::filesystem::path& cover) {
    const std::filesystem::path mp3 = dir / "tag.mp3";
    ffmpeg(attachedPicture(cover) + Args{"-metadata:s:v", "comment=Cover (front)"} + kTags, mp3);
    const std::string bytes = contents(mp3);
    std::size_t size = 0;
    for (int i = 6; i < 10; ++i) {
        size = size << 7 | (static_cast<unsigned char>(bytes.at(i)) & 0x7F);
    }
    return bytes.substr(0, 10 + size);
}

enum class Cover { None, Png, Jpeg };

struct Kind {
    std::string name; // the file's name, whose extension tells the muxer
    Cover cover;
    bool track = true; // whether the container keeps a track number
    Args codec = {};   // when not the muxer's default
};

class SourceTags : public ::testing::TestWithParam<Kind> {};

TEST_P(SourceTags, FieldsAndCoverComeAcross) {
    const Kind& kind = GetParam();
    TempDir dir;
    const std::filesystem::path png = dir / "cover.png";
    const std::filesystem::path jpeg = dir / "cover.jpg";
    const std::filesystem::path back = dir / "back.jpg";
    ffmpeg({"-f", "lavfi", "-i", "color=red:size=8x8", "-frames:v", "1"}, png);
    ffmpeg({"-f", "lavfi", "-i", "color=blue:size=8x8", "-frames:v", "1"}, jpeg);
    ffmpeg({"-f", "lavfi", "-i", "color=green:size=8x8", "-frames:v", "1"}, back);
    const std::filesystem::path cover = kind.cover == Cover::Png ? png : jpeg;
    const std::filesystem::path source = dir / kind.name;
    const std::string extension = source.extension().string();

    if (extension == ".dsf") {
        writeDsf(source, ffmpegId3(dir, cover));
    } else if (extension == ".dff") {
        writeDff(source, ffmpegId3(dir, cover));
    } else if (extension == ".wv") {
        const std::filesystem::path wav = dir / "tone.wav";
        ffmpeg(kTone, wav);
        // The back cover first: the front one is the cover all the same.
        const ProcessResult made = run({"wavpack",
                                        "-q",
                                        "-y",
                                        "-w",
                                        "Title=Tïtle",
                                        "-w",
                                        "Artist=Ärtist",
                                        "-w",
                                        "Album=Album",
                                        "-w",
                                        "Track=3",
                                        "-w",
                                        "Year=2011",
                                        "-w",
                                        "Genre=Pop",
                                        "--write-binary-tag",
                                        "Cover Art (Back)=@" + back.string(),
                                        "--write-binary-tag",
                                        "Cover Art (Front)=@" + cover.string(),
                                        wav.string(),
                                        "-o",
                                        source.string()});
        ASSERT_EQ(made.exitCode, 0) << made.err;
    } else if (extension == ".mka" || extension == ".mkv") {
        const Args video = {"-f",   "lavfi", "-i",   "testsrc=duration=0.2:size=32x32",
                            "-map", "1",     "-map", "0",
                            "-c:v", "mpeg4"};
        ffmpeg(kTone + (extension == ".mkv" ? video : Args{}) + attachment(cover) + kind.codec +
                   kTags,
               source);
    } else if (kind.cover != Cover::None) {
        ffmpeg(attachedPicture(cover) + kind.codec + kTags, source);
    } else {
        ffmpeg(kTone + kind.codec + kTags, source);
    }

    std::vector<std::string> warnings;
    const Tags tags = readSourceTags(
        source, [](int) { return std::string(); }, warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(tags.title, "Tïtle");
    EXPECT_EQ(tags.artist, "Ärtist");
    EXPECT_EQ(tags.album, "Album");
    EXPECT_EQ(tags.track, kind.track ? "3" : "");
    EXPECT_EQ(tags.year, "2011");
    EXPECT_EQ(tags.genre, "Pop");
    if (kind.cover == Cover::None) {
        EXPECT_TRUE(tags.cover.data.empty());
        return;
    }
    EXPECT_EQ(tags.cover.data, contents(cover));
    EXPECT_EQ(tags.cover.mime, kind.cover == Cover::Png ? "image/png" : "image/jpeg");
    EXPECT_EQ(tags.cover.type, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SourceTags,
    ::testing::Values(Kind{"aac.m4a", Cover::Png},
                      Kind{"alac.m4a", Cover::Jpeg, true, {"-c:a", "alac"}},
                      Kind{"audio.mp4", Cover::Jpeg}, Kind{"video.mov", Cover::None, false},
                      Kind{"audio.mka", Cover::Jpeg, true, {"-c:a", "flac"}},
                      Kind{"video.mkv", Cover::Jpeg}, Kind{"audio.webm", Cover::None},
                      Kind{"audio.wma", Cover::None}, Kind{"audio.wv", Cover::Jpeg},
                      Kind{"audio.tta", Cover::None}, Kind{"audio.dsf", Cover::Png},
                      Kind{"audio.dff", Cover::Jpeg}),
    [](const ::testing::TestParamInfo<Kind>& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

// ffmpeg writes no WM/Picture, so TagLib puts the pictures into a WMA file that ffmpeg made.
TEST(SourceTags, AsfPictureBecomesTheCover) {
    TempDir dir;
    const std::filesystem::path source = dir / "pictures.wma";
    ffmpeg(kTone + kTags, source);
    const auto picture = [](TagLib::ASF::Picture::Type type, const std::string& description,
                            const std::string& data) {
        TagLib::ASF::Picture made;
        made.setType(type);
        made.setMimeType("image/png");
        made.setDescription(TagLib::String(description, TagLib::String::UTF8));
        made.setPicture(TagLib::ByteVector(data.data(), static_cast<unsigned>(data.size())));
        return TagLib::ASF::Attribute(made);
    };
    {
        TagLib::ASF::File file(source.c_str());
        ASSERT_TRUE(file.isValid());
        file.tag()->addAttribute("WM/Picture",
                                 picture(TagLib::ASF::Picture::BackCover, "back", "\x89PNG back"));
        file.tag()->addAttribute("WM/Picture", picture(TagLib::ASF::Picture::FrontCover,
                                                       "Vorderseite", "\x89PNG front"));
        ASSERT_TRUE(file.save());
    }
    std::vector<std::string> warnings;
    const Tags tags = readSourceTags(
        source, [](int) { return std::string(); }, warnings);
    EXPECT_EQ(tags.title, "Tïtle");
    EXPECT_EQ(tags.cover, (Picture{"image/png", "Vorderseite", 3, "\x89PNG front"}));
}

} // namespace
} // namespace encoders::testing
