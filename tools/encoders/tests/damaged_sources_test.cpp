// Sources with a damaged part that the audio around it does not need: a picture that cannot be
// read, samples that are not numbers. Every program encodes the audio whole, says once what it
// left out, and never crashes.
#include "tools/encoders/tests/program_paths.h"
#include "tools/encoders/tests/test_support.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

namespace encoders::testing {
namespace {

std::string bigEndian(std::uint64_t value, int bytes) {
    std::string text = littleEndian(value, bytes);
    return {text.rbegin(), text.rend()};
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// An ID3v2.3 frame: id, size, the two flag bytes, the body.
std::string id3Frame(const std::string& id, const std::string& body, char formatFlags = 0) {
    return id + bigEndian(body.size(), 4) + '\0' + formatFlags + body;
}

std::string id3Tag(const std::string& frames) {
    std::string size;
    for (int shift = 21; shift >= 0; shift -= 7) {
        size += static_cast<char>(frames.size() >> shift & 0x7F);
    }
    return std::string("ID3\x03\0\0", 6) + size + frames;
}

// Appends an "ID3 " chunk with the tag to an AIFF file and mends the FORM size.
void addId3Chunk(const std::filesystem::path& aiff, const std::string& tag) {
    std::string bytes = fileBytes(aiff);
    bytes += "ID3 " + bigEndian(tag.size(), 4) + tag + std::string(tag.size() % 2, '\0');
    bytes.replace(4, 4, bigEndian(bytes.size() - 8, 4));
    writeBytes(aiff, bytes);
}

// Overwrites the MIME length of the first PICTURE block of a FLAC file, as a damaged or
// hand-made file may hold it.
void damageFlacPicture(const std::filesystem::path& flac, std::uint32_t mimeLength) {
    std::string bytes = fileBytes(flac);
    for (std::size_t at = 4; at + 4 <= bytes.size();) {
        const auto flags = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = static_cast<unsigned char>(bytes[at + 1]) << 16 |
                                   static_cast<unsigned char>(bytes[at + 2]) << 8 |
                                   static_cast<unsigned char>(bytes[at + 3]);
        if ((flags & 0x7F) == 6) {
            bytes.replace(at + 8, 4, bigEndian(mimeLength, 4));
            writeBytes(flac, bytes);
            return;
        }
        ASSERT_EQ(flags & 0x80, 0) << "no picture block";
        at += 4 + length;
    }
    FAIL() << "no picture block";
}

bool hasAttachedPicture(const std::filesystem::path& file) {
    return run({"ffprobe", "-v", "error", "-show_entries", "stream_disposition=attached_pic", "-of",
                "compact", file.string()})
               .out.find("attached_pic=1") != std::string::npos;
}

// The three programs' command lines for a source and where each writes.
struct ProgramRun {
    std::vector<std::string> argv;
    std::filesystem::path output;
};
std::vector<ProgramRun> programRuns(const std::string& codec, const std::filesystem::path& source) {
    const auto out = source.parent_path() / "out.mp3";
    const auto beside = source.parent_path() / (source.stem().string() + ".MP3");
    return {
        {{codec, source.string(), out.string(), "-M1", "-B64"}, out},
        {{kBladeenc, source.string(), "-128", "-QUIT"}, beside},
        {{kPlugger, source.string(), out.string(), "-b", "128"}, out},
    };
}

class DamagedSources : public ::testing::Test {
protected:
    TempDir work;
    std::string codec = codecIn(work);

    std::filesystem::path tone(const std::string& name, const std::string& extension) {
        auto path = work / (name + "." + extension);
        EXPECT_EQ(run({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", path.string(), "synth",
                       "1", "sine", "440", "vol", "0.5"})
                      .exitCode,
                  0);
        return path;
    }
};

TEST_F(DamagedSources, APictureThatCannotBeReadIsLeftOutAndTheRestEncodes) {
    const auto cover = work / "cover.png";
    ASSERT_EQ(run({"convert", "-size", "8x8", "xc:red", cover.string()}).exitCode, 0);
    struct Case {
        std::string name;
        std::filesystem::path source;
        const char* warning; // nullptr: none
    };
    std::vector<Case> cases;
    // TagLib keeps an encrypted or compressed frame as a frame of its own type, whatever its id.
    for (const auto& [name, flags] : {std::pair{"encrypted", '\x40'}, {"compressed", '\x80'}}) {
        const auto aiff = tone(name, "aiff");
        addId3Chunk(aiff, id3Tag(id3Frame("TIT2", std::string("\0Kept", 5)) +
                                 id3Frame("APIC", "\x01\x7fgarbled picture bytes", flags)));
        cases.push_back({name, aiff, nullptr});
    }
    for (const auto& [name, mimeLength] :
         {std::pair{"mime_past_block", 0x7FFFFFFFu}, {"mime_to_block_end", 100u}}) {
        const auto wav = tone(name, "wav");
        const auto flac = work / (std::string(name) + ".flac");
        ASSERT_EQ(run({"flac", "-s", "-f", wav.string(), "-o", flac.string(),
                       "--picture=" + cover.string(), "--tag=TITLE=Kept"})
                      .exitCode,
                  0);
        damageFlacPicture(flac, mimeLength);
        std::filesystem::remove(wav);
        cases.push_back({name, flac, "a picture block is damaged; the picture is left out"});
    }
    for (const Case& c : cases) {
        for (const ProgramRun& program : programRuns(codec, c.source)) {
            SCOPED_TRACE(c.name + " " + program.argv[0]);
            const ProcessResult result = run(program.argv);
            ASSERT_EQ(result.exitCode, 0) << result.err;
            const auto warnings = lines(result.err);
            ASSERT_EQ(warnings.size(), c.warning != nullptr ? 1u : 0u) << result.err;
            if (c.warning != nullptr) {
                EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
            }
            EXPECT_EQ(mpg123Decode(program.output, work / "decoded.wav").frames(), 44100);
            EXPECT_EQ(probeTags(program.output)["title"], "Kept");
            EXPECT_FALSE(hasAttachedPicture(program.output));
            std::filesystem::remove(program.output);
        }
    }
}

// Samples that are not numbers are coded as silence, with one line about them; infinite ones
// are clipped to full scale; every other sample is coded as it is.
TEST_F(DamagedSources, NotANumberSamplesAreCodedAsSilence) {
    const auto wav = work / "nan.wav";
    const long frames =
        writeWav(wav, {.channels = 2, .seconds = 1.0, .format = SF_FORMAT_FLOAT, .amplitude = 0.5});
    // The left channel's first quarter second NaN, its second the tone's sign as infinities.
    std::string bytes = fileBytes(wav);
    const std::size_t data = bytes.find("data") + 8;
    for (long frame = 0; frame < frames / 2; ++frame) {
        char* sample = bytes.data() + data + 8 * static_cast<std::size_t>(frame);
        float value = 0;
        std::memcpy(&value, sample, 4);
        value = frame < frames / 4 ? std::numeric_limits<float>::quiet_NaN()
                                   : std::copysign(std::numeric_limits<float>::infinity(), value);
        std::memcpy(sample, &value, 4);
    }
    writeBytes(wav, bytes);
    for (const ProgramRun& program : programRuns(codec, wav)) {
        SCOPED_TRACE(program.argv[0]);
        const ProcessResult result = run(program.argv);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const auto warnings = lines(result.err);
        ASSERT_EQ(warnings.size(), 1u) << result.err;
        EXPECT_NE(warnings[0].find(std::to_string(frames / 4) + " samples are not numbers (NaN)"),
                  std::string::npos)
            << warnings[0];
        const Audio decoded = mpg123Decode(program.output, work / "decoded.wav");
        ASSERT_EQ(decoded.frames(), frames);
        const std::vector<float> left = decoded.channel(0);
        float nanPart = 0;
        float infinitePart = 0;
        for (long i = 2000; i < frames / 4 - 2000; ++i) {
            nanPart = std::max(nanPart, std::abs(left[static_cast<std::size_t>(i)]));
        }
        for (long i = frames / 4 + 2000; i < frames / 2 - 2000; ++i) {
            infinitePart = std::max(infinitePart, std::abs(left[static_cast<std::size_t>(i)]));
        }
        EXPECT_LT(nanPart, 0.01f);
        EXPECT_GT(infinitePart, 0.8f);
        EXPECT_GT(sineFitSnrDb(decoded.channel(1), 44100, 660.0), 20.0);
        std::filesystem::remove(program.output);
    }
}

} // namespace
} // namespace encoders::testing
