#include "encode/engine/output_check.h"

#include "platform/paths.h"
#include "platform/source_descriptor.h"
#include "tools/encoders/core/audio_file_view.h"
#include "tools/encoders/core/audio_source.h"
#include "tools/encoders/core/encoder_error.h"
#include "tools/encoders/core/riff_chunks.h"

#include <mpg123.h>
#include <sndfile.h>

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace encode {

namespace {

std::uint32_t littleEndian32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
}

bool looksLikeChunkId(const char* id) {
    for (int i = 0; i < 4; ++i) {
        if (id[i] < ' ' || id[i] > '~')
            return false;
    }
    return true;
}

// Bytes after the data chunk that are not well-formed chunks: audio the header leaves out.
// The bytes one sample takes in the file; 1 for kinds of no fixed size (a smaller second of
// audio counts more stray bytes as audio).
qint64 bytesPerSample(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16:
        return 2;
    case SF_FORMAT_PCM_24:
        return 3;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        return 4;
    case SF_FORMAT_DOUBLE:
        return 8;
    default:
        return 1;
    }
}

qint64 undeclaredBytesAfterData(QFile& file) {
    char header[12];
    if (file.read(header, 12) != 12 || QByteArray(header, 4) != "RIFF" ||
        QByteArray(header + 8, 4) != "WAVE")
        return 0;
    const qint64 size = file.size();
    qint64 position = 12;
    bool dataSeen = false;
    while (position + 8 <= size) {
        char chunk[8];
        if (!file.seek(position) || file.read(chunk, 8) != 8)
            break;
        if (dataSeen && !looksLikeChunkId(chunk))
            return size - position;
        const qint64 length = littleEndian32(chunk + 4);
        if (dataSeen && position + 8 + length > size)
            return size - position;
        dataSeen = dataSeen || QByteArray(chunk, 4) == "data";
        position += 8 + length + (length & 1);
    }
    return 0;
}

std::uint64_t number(const QByteArray& bytes, int at, int width, bool bigEndian) {
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i)
        value =
            value << 8 | static_cast<unsigned char>(bytes[at + (bigEndian ? i : width - 1 - i)]);
    return value;
}

QByteArray readAt(QFile& file, qint64 offset, qint64 size) {
    return file.seek(offset) ? file.read(size) : QByteArray();
}

// The length a header declares of its audio, where that is more than the file holds.
struct Shortfall {
    double declaredSeconds = 0;
};

// A WAVE file whose "data" chunk runs past the end of the file by at least one block. A header
// that leaves the length open (never finished, or 0xFFFFFFFF of a stream) declares nothing.
std::optional<Shortfall> waveShortfall(QFile& file) {
    const encoders::RiffLayout layout = encoders::walkRiff(
        [&file](std::uint64_t offset, std::size_t size) {
            return readAt(file, qint64(offset), qint64(size)).toStdString();
        },
        std::uint64_t(file.size()));
    if (!layout.isWave)
        return std::nullopt;
    const encoders::RiffChunk* format = nullptr;
    const encoders::RiffChunk* data = nullptr;
    for (const encoders::RiffChunk& chunk : layout.chunks) {
        if (chunk.id == "fmt " && !format)
            format = &chunk;
        else if (chunk.id == "data" && !data)
            data = &chunk;
    }
    if (!format || !data || format->size < 14 || (layout.formSize == 8 && data->size == 0) ||
        (layout.form != encoders::RiffForm::Rf64 && data->size == 0xFFFFFFFF))
        return std::nullopt;
    const QByteArray fmt = readAt(file, qint64(format->offset), 14);
    if (fmt.size() < 14)
        return std::nullopt;
    const bool big = layout.form == encoders::RiffForm::Rifx;
    const std::uint64_t bytesPerSecond = number(fmt, 8, 4, big);
    const std::uint64_t block = std::max<std::uint64_t>(number(fmt, 12, 2, big), 1);
    const std::uint64_t held = layout.fileSize - std::min(layout.fileSize, data->offset);
    if (bytesPerSecond == 0 || held + block > data->size)
        return std::nullopt;
    return Shortfall{double(data->size) / double(bytesPerSecond)};
}

// An AIFF or AIFC file whose COMM chunk declares more sample frames than libsndfile finds in
// it (it reads what the SSND chunk holds up to the end of the file).
std::optional<Shortfall> aiffShortfall(QFile& file, const SF_INFO& info) {
    const QByteArray header = readAt(file, 0, 12);
    if (header.size() < 12 || !header.startsWith("FORM") ||
        (header.mid(8, 4) != "AIFF" && header.mid(8, 4) != "AIFC"))
        return std::nullopt;
    qint64 position = 12;
    for (std::size_t chunks = 0; chunks < encoders::kMaxRiffChunks; ++chunks) {
        const QByteArray chunk = readAt(file, position, 14);
        if (chunk.size() < 8)
            return std::nullopt;
        const auto size = qint64(number(chunk, 4, 4, true));
        if (chunk.startsWith("COMM")) {
            if (chunk.size() < 14)
                return std::nullopt;
            const auto frames = sf_count_t(number(chunk, 10, 4, true));
            if (frames <= info.frames)
                return std::nullopt;
            return Shortfall{double(frames) / info.samplerate};
        }
        position += 8 + size + (size & 1);
    }
    return std::nullopt;
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

struct Mpg123Deleter {
    void operator()(mpg123_handle* handle) const {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};

// The MP3 read whole into memory and handed to libmpg123 from there: reading the file itself,
// it asks for every frame header and frame on its own, hundreds of calls for a short file.
struct BytesInMemory {
    QByteArray bytes;
    qint64 position = 0;

    static mpg123_ssize_t read(void* self, void* buffer, std::size_t wanted) {
        auto* in = static_cast<BytesInMemory*>(self);
        const auto count = std::min<qint64>(qint64(wanted), in->bytes.size() - in->position);
        std::memcpy(buffer, in->bytes.constData() + in->position, std::size_t(count));
        in->position += count;
        return count;
    }
    static off_t seek(void* self, off_t offset, int whence) {
        auto* in = static_cast<BytesInMemory*>(self);
        const qint64 from = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? in->position
                                                 : in->bytes.size();
        if (from + offset < 0 || from + offset > in->bytes.size())
            return -1;
        in->position = from + offset;
        return off_t(in->position);
    }
};

// Seconds to a tenth, without a trailing ".0": "5.7", "60".
QString secondsText(double seconds) {
    QString text = QString::number(std::round(seconds * 10) / 10, 'f', 1);
    if (text.endsWith(QLatin1String(".0")))
        text.chop(2);
    return text;
}

// Opens the file by its path's bytes, which QFile would spell otherwise for a name that is not
// UTF-8.
bool openExactly(QFile& file, const QString& path) {
    const int fd = ::open(platform::toFsPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

// A source that libsndfile does not read: its length as the encoders' reader gives it, counted
// by decoding where the file does not declare it exactly.
std::optional<WavFacts> readOtherFacts(const QString& path) {
    try {
        encoders::AudioSource source(platform::toFsPath(path));
        std::int64_t frames = source.frames().value_or(0);
        if (!source.frames()) {
            std::vector<float> block(8192 * std::size_t(source.channels()));
            while (const std::size_t got = source.read(block))
                frames += std::int64_t(got);
        }
        WavFacts facts;
        facts.seconds = double(frames) / source.sampleRate();
        facts.declaredSeconds = facts.seconds;
        return facts;
    } catch (const std::exception&) {
        return std::nullopt; // refused or damaged, as the encoders find it
    }
}

} // namespace

std::optional<WavFacts> readWavFacts(const QString& path) {
    const int fd = platform::openSourceDescriptor(path);
    if (fd < 0)
        return std::nullopt;
    std::unique_ptr<encoders::AudioFileView> view;
    try {
        view = std::make_unique<encoders::AudioFileView>(fd);
    } catch (const encoders::EncoderError&) {
        return std::nullopt; // a layout the encoders refuse, for the same reason
    }
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndfileCloser> sound(view->open(info));
    if (!sound)
        return readOtherFacts(path);
    if (info.samplerate <= 0 || info.channels <= 0)
        return std::nullopt;
    WavFacts facts;
    facts.seconds = double(info.frames) / info.samplerate;
    facts.declaredSeconds = facts.seconds;
    // The header itself, through the same descriptor (the view reads it at given offsets only).
    QFile file;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        const qint64 bytesPerSecond =
            qint64(info.samplerate) * info.channels * bytesPerSample(info.format);
        // More than a tenth of a second of stray bytes is audio, not a trailing scrap.
        facts.truncatedHeader = undeclaredBytesAfterData(file) > bytesPerSecond / 10;
        auto shortfall = waveShortfall(file);
        if (!shortfall)
            shortfall = aiffShortfall(file, info);
        if (shortfall) {
            facts.shortOfHeader = true;
            facts.declaredSeconds = shortfall->declaredSeconds;
        }
    }
    return facts;
}

std::optional<MpegFacts> readMpegFacts(const QString& path) {
    QFile file;
    if (!openExactly(file, path))
        return std::nullopt;
    // Before the handle, which reads from it until it goes.
    BytesInMemory input{file.readAll()};
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, Mpg123Deleter> handle(mpg123_new(nullptr, &error));
    if (!handle)
        return std::nullopt;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    if (input.bytes.size() != file.size() ||
        mpg123_replace_reader_handle(handle.get(), &BytesInMemory::read, &BytesInMemory::seek,
                                     nullptr) != MPG123_OK ||
        mpg123_open_handle(handle.get(), &input) != MPG123_OK)
        return std::nullopt;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0)
        return std::nullopt;
    if (mpg123_scan(handle.get()) != MPG123_OK)
        return std::nullopt;
    const off_t samples = mpg123_length(handle.get());
    if (samples <= 0)
        return std::nullopt;
    const auto perSecond = static_cast<double>(rate);
    return MpegFacts{static_cast<double>(samples) / perSecond,
                     static_cast<double>(mpg123_spf(handle.get())) / perSecond};
}

QString confirmEncoded(const QString& source, const QString& output,
                       std::optional<double> trackSeconds) {
    const auto wav = readWavFacts(source);
    if (!wav)
        return QStringLiteral("the source cannot be read as audio");
    if (wav->truncatedHeader)
        return QStringLiteral("the source's header declares less audio than the file holds");
    if (wav->shortOfHeader) {
        return QStringLiteral("the source holds %1 s of the %2 s its header declares")
            .arg(secondsText(wav->seconds), secondsText(wav->declaredSeconds));
    }
    const auto mpeg = readMpegFacts(output);
    if (!mpeg)
        return QStringLiteral("the output holds no MPEG audio");
    const double expected = trackSeconds.value_or(wav->seconds);
    if (std::abs(mpeg->seconds - expected) > mpeg->frameSeconds) {
        return QStringLiteral("the output lasts %1 s, the %2 %3 s")
            .arg(mpeg->seconds, 0, 'f', 2)
            .arg(trackSeconds ? QStringLiteral("track") : QStringLiteral("source"))
            .arg(expected, 0, 'f', 2);
    }
    return QString();
}

} // namespace encode
