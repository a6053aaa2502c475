#include "tools/encoders/core/source_tags_ffmpeg.h"

#include "tools/encoders/core/image_mime.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include <array>
#include <chrono>
#include <memory>
#include <string_view>
#include <utility>

namespace encoders {

namespace {

// The demuxers whose tags TagLib does not read (or not wholly): MOV/MP4, ASF, Matroska/WebM,
// DSF, DSDIFF (the IFF demuxer), APE, WavPack and TTA.
constexpr const char* kDemuxers = "mov,asf,matroska,dsf,iff,ape,wv,tta";

// Reading a file's header for this long means a damaged file keeps a demuxer going, or the
// file answers too slowly: the run goes on without FFmpeg's tags rather than waiting.
constexpr auto kPatience = std::chrono::seconds(2);

struct Deadline {
    std::chrono::steady_clock::time_point end = std::chrono::steady_clock::now() + kPatience;
};

int pastDeadline(void* opaque) {
    return std::chrono::steady_clock::now() > static_cast<Deadline*>(opaque)->end ? 1 : 0;
}

struct Options {
    AVDictionary* entries = nullptr;
    Options() = default;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    ~Options() { av_dict_free(&entries); }
};

struct InputClose {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using Input = std::unique_ptr<AVFormatContext, InputClose>;

// ID3v2's picture types as FFmpeg names them in a picture stream's "comment".
constexpr std::array<std::string_view, 21> kPictureTypes = {
    "Other",
    "32x32 pixels 'file icon'",
    "Other file icon",
    "Cover (front)",
    "Cover (back)",
    "Leaflet page",
    "Media (e.g. label side of CD)",
    "Lead artist/lead performer/soloist",
    "Artist/performer",
    "Conductor",
    "Band/Orchestra",
    "Composer",
    "Lyricist/text writer",
    "Recording Location",
    "During recording",
    "During performance",
    "Movie/video screen capture",
    "A bright coloured fish",
    "Illustration",
    "Band/artist logotype",
    "Publisher/Studio logotype",
};

std::string value(const AVDictionary* dictionary, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0);
    return entry == nullptr || entry->value == nullptr ? std::string() : std::string(entry->value);
}

const char* mimeOf(AVCodecID codec) {
    switch (codec) {
    case AV_CODEC_ID_PNG:
        return "image/png";
    case AV_CODEC_ID_GIF:
        return "image/gif";
    case AV_CODEC_ID_BMP:
        return "image/bmp";
    case AV_CODEC_ID_WEBP:
        return "image/webp";
    case AV_CODEC_ID_TIFF:
        return "image/tiff";
    case AV_CODEC_ID_MJPEG:
        return "image/jpeg";
    default:
        return nullptr;
    }
}

// A picture stream's picture; its type from the ID3v2 name FFmpeg gives it, a front cover
// where the container names none (an MP4 `covr`, a Matroska attachment).
Picture pictureOf(const AVStream& stream) {
    const AVPacket& packet = stream.attached_pic;
    std::string data(reinterpret_cast<const char*>(packet.data),
                     static_cast<std::size_t>(packet.size));
    Picture picture;
    const char* mime = mimeOf(stream.codecpar->codec_id);
    picture.mime = mime != nullptr ? mime : imageMime(data);
    picture.description = value(stream.metadata, "title");
    const std::string type = value(stream.metadata, "comment");
    picture.type = 3;
    for (std::size_t i = 0; i < kPictureTypes.size(); ++i) {
        if (type == kPictureTypes[i]) {
            picture.type = static_cast<int>(i);
        }
    }
    picture.data = std::move(data);
    return picture;
}

} // namespace

Tags readFfmpegTags(const std::filesystem::path& path) {
    // FFmpeg's own log lines about a damaged or odd file would reach the programs' error output
    // beside their one-line notes; such a tag is simply left out.
    av_log_set_level(AV_LOG_QUIET);
    Deadline deadline;
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) {
        return {};
    }
    context->interrupt_callback = {pastDeadline, &deadline};
    Options options;
    av_dict_set(&options.entries, "format_whitelist", kDemuxers, 0);
    av_dict_set(&options.entries, "protocol_whitelist", "file", 0);
    // On failure FFmpeg frees the context itself.
    if (avformat_open_input(&context, path.c_str(), nullptr, &options.entries) < 0) {
        return {};
    }
    const Input input(context);

    const int audio = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    const AVDictionary* const dictionaries[] = {
        context->metadata, audio >= 0 ? context->streams[audio]->metadata : nullptr};
    Tags tags;
    const std::pair<std::array<const char*, 2>, std::string Tags::*> fields[] = {
        {{"title", nullptr}, &Tags::title},
        {{"artist", "author"}, &Tags::artist},
        {{"album", nullptr}, &Tags::album},
        {{"track", nullptr}, &Tags::track},
        {{"date", "year"}, &Tags::year},
        {{"genre", nullptr}, &Tags::genre},
        {{"comment", "description"}, &Tags::comment},
        {{"album_artist", "albumartist"}, &Tags::albumArtist},
        {{"disc", "discnumber"}, &Tags::disc},
    };
    for (const auto& [keys, field] : fields) {
        for (const AVDictionary* dictionary : dictionaries) {
            for (const char* key : keys) {
                if (key != nullptr && (tags.*field).empty()) {
                    tags.*field = value(dictionary, key);
                }
            }
        }
    }
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream& stream = *context->streams[i];
        if ((stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 ||
            stream.attached_pic.size <= 0) {
            continue;
        }
        Picture picture = pictureOf(stream);
        if (tags.cover.data.empty() || (picture.type == 3 && tags.cover.type != 3)) {
            tags.cover = std::move(picture);
        }
    }
    return tags;
}

} // namespace encoders
