#include "sync/engine/mp3_refresh.h"

#include "encode/engine/album_gain.h"
#include "libs/durable_file/new_file.h"
#include "platform/paths.h"
#include "tools/encoders/core/audio_source.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/id3_writer.h"
#include "tools/encoders/core/loudness.h"
#include "tools/encoders/core/source_tags.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace mirror {

namespace {

using encoders::Bytes;

Bytes readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes bytes(std::filesystem::file_size(path));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
        throw std::runtime_error("cannot read '" + path.string() + "'");
    return bytes;
}

std::size_t syncsafe(const unsigned char* b) {
    return std::size_t(b[0] & 0x7f) << 21 | std::size_t(b[1] & 0x7f) << 14 |
           std::size_t(b[2] & 0x7f) << 7 | std::size_t(b[3] & 0x7f);
}

// The ReplayGain texts (TXXX frames) of an ID3v2.4 tag as the encoders write it.
std::vector<encoders::UserText> replayGainFrames(std::span<const unsigned char> tag) {
    std::vector<encoders::UserText> texts;
    for (std::size_t at = 10; at + 10 <= tag.size() && tag[at] != 0;) {
        const std::size_t size = syncsafe(&tag[at + 4]);
        const auto body = tag.subspan(std::min(tag.size(), at + 10),
                                      std::min(size, tag.size() - std::min(tag.size(), at + 10)));
        if (std::memcmp(&tag[at], "TXXX", 4) == 0 && !body.empty()) {
            const std::string text(body.begin() + 1, body.end());
            const std::size_t end = text.find('\0');
            const std::string description = text.substr(0, end);
            if (end != std::string::npos && description.starts_with("REPLAYGAIN_"))
                texts.push_back(
                    {description, text.substr(end + 1, text.find('\0', end + 1) - end - 1)});
        }
        at += 10 + size;
    }
    return texts;
}

void replaceDurably(const std::filesystem::path& file, const Bytes& bytes) {
    const auto permissions = std::filesystem::status(file).permissions();
    durable::NewFile next(file.parent_path());
    next.setMode(static_cast<unsigned>(permissions) & 07777);
    next.write(bytes.data(), bytes.size());
    next.commit(file, durable::Placement::Replace, durable::FolderSync::Now);
}

} // namespace

void refreshTags(const QString& source, const QString& mp3) {
    const auto sourcePath = platform::toFsPath(source);
    const auto mp3Path = platform::toFsPath(mp3);
    const Bytes bytes = readAll(mp3Path);
    const std::size_t size = std::min(encoders::tagSize(bytes), bytes.size());
    const bool v1 =
        bytes.size() >= size + 128 && std::memcmp(&bytes[bytes.size() - 128], "TAG", 3) == 0;
    const std::vector<encoders::UserText> gains = replayGainFrames(std::span(bytes).first(size));

    const encoders::AudioSource audio(sourcePath);
    std::vector<std::string> warnings;
    const encoders::Tags tags = encoders::readSourceTags(
        sourcePath, [&audio](int which) { return audio.text(which); }, warnings);
    Bytes head;
    try {
        // In the room of the old tag, so that nothing after it moves.
        head = encoders::id3v2Tag(tags, gains, size);
    } catch (const encoders::EncoderError&) {
        head = encoders::id3v2Tag(tags, gains,
                                  std::max<std::size_t>(encoders::id3v2Tag(tags).size(), 10) +
                                      encoders::kReplayGainRoom);
    }
    head.insert(head.end(), bytes.begin() + std::ptrdiff_t(size), bytes.end() - (v1 ? 128 : 0));
    const Bytes tail = encoders::id3v1Tag(tags);
    head.insert(head.end(), tail.begin(), tail.end());
    replaceDurably(mp3Path, head);
}

void refreshAlbumGain(const std::vector<std::pair<QString, QString>>& tracks) {
    std::vector<encoders::TrackLoudness> measured;
    for (const auto& [source, mp3] : tracks) {
        encoders::AudioSource audio(platform::toFsPath(source));
        encoders::LoudnessMeter meter(audio.channels(), audio.sampleRate());
        std::vector<float> block(4096 * std::size_t(audio.channels()));
        for (;;) {
            const std::size_t frames = audio.read(block);
            meter.add(std::span<const float>(block).first(frames * std::size_t(audio.channels())));
            if (frames == 0)
                break;
        }
        measured.push_back(meter.measured());
    }
    std::vector<const encoders::TrackLoudness*> all;
    all.reserve(measured.size());
    for (const auto& track : measured)
        all.push_back(&track);
    const auto gain = encoders::replayGain(all);
    if (!gain)
        return; // silence: no gain to give
    for (const auto& [source, mp3] : tracks)
        encode::writeAlbumGain(platform::toFsPath(mp3), *gain);
}

} // namespace mirror
