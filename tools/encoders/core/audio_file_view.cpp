#include "tools/encoders/core/audio_file_view.h"

#include "tools/encoders/core/riff_chunks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace encoders {

namespace {

std::string number(std::uint64_t value, int width, bool bigEndian) {
    std::string bytes(static_cast<std::size_t>(width), '\0');
    for (int i = 0; i < width; ++i) {
        bytes[static_cast<std::size_t>(bigEndian ? width - 1 - i : i)] =
            static_cast<char>(value >> (8 * i) & 0xFF);
    }
    return bytes;
}

} // namespace

AudioFileView::AudioFileView(int fd) : fd_(fd) {
    struct stat status {};
    if (::fstat(fd_.get(), &status) == 0 && status.st_size > 0) {
        fileSize_ = static_cast<std::uint64_t>(status.st_size);
    }
    layOutWave();
    for (const Piece& piece : pieces_) {
        size_ += static_cast<sf_count_t>(piece.bytes.size() + piece.length);
    }
}

void AudioFileView::layOutWave() {
    const RiffLayout layout = walkRiff(
        [this](std::uint64_t offset, std::size_t size) {
            std::string bytes(size, '\0');
            bytes.resize(readFile(offset, bytes.data(), size));
            return bytes;
        },
        fileSize_);
    if (!layout.isWave) {
        layOutOther();
        return;
    }
    const WaveAudio audio = locateWaveAudio(layout);
    const bool big = layout.form == RiffForm::Rifx;
    const std::uint64_t formatSize = audio.format.size;
    const std::uint64_t dataSize = audio.data.size;
    std::string head;
    std::string middle;
    if (layout.form == RiffForm::Rf64) {
        // The sizes live in "ds64"; its reader takes no pad byte after an odd "fmt " chunk.
        const std::uint64_t total = 4 + 36 + 8 + formatSize + 8 + dataSize;
        head = "RF64" + number(0xFFFFFFFF, 4, false) + "WAVE" + "ds64" + number(28, 4, false) +
               number(total, 8, false) + number(dataSize, 8, false) + number(0, 8, false) +
               number(0, 4, false);
        middle = "data" + number(0xFFFFFFFF, 4, false);
    } else {
        const std::uint64_t pad = formatSize & 1;
        const std::uint64_t total = 4 + 8 + formatSize + pad + 8 + dataSize;
        head = (big ? "RIFX" : "RIFF") +
               number(std::min<std::uint64_t>(total, 0xFFFFFFFF), 4, big) + "WAVE";
        middle = std::string(pad, '\0') + "data" + number(dataSize, 4, big);
    }
    head += "fmt " + number(formatSize, 4, big);
    pieces_.push_back({head, 0, 0});
    pieces_.push_back({{}, audio.format.offset, formatSize});
    pieces_.push_back({middle, 0, 0});
    pieces_.push_back({{}, audio.data.offset, dataSize});
}

void AudioFileView::layOutOther() {
    const auto bytesAt = [this](std::uint64_t offset, std::size_t size) {
        std::string bytes(size, '\0');
        bytes.resize(readFile(offset, bytes.data(), size));
        return bytes;
    };
    std::uint64_t at = 0;
    // A FLAC stream may follow an ID3v2 tag, which the FLAC decoder passes over.
    if (const std::string id3 = bytesAt(0, 10); id3.size() == 10 && id3.compare(0, 3, "ID3") == 0) {
        std::uint64_t size = 0;
        for (int i = 6; i < 10; ++i) {
            size = size << 7 | (static_cast<unsigned char>(id3[i]) & 0x7F);
        }
        at = 10 + size + ((static_cast<unsigned char>(id3[5]) & 0x10) != 0 ? 10 : 0);
    }
    std::uint64_t shown = 0; // the file up to here is in the pieces
    if (bytesAt(at, 4) == "fLaC") {
        // The audio library's FLAC decoder refuses the whole file for one malformed picture
        // block, and it needs none: each is shown as padding (the tag reader reads them).
        constexpr unsigned kPicture = 6;
        constexpr unsigned kPadding = 1;
        constexpr unsigned char kLastBlock = 0x80;
        for (at += 4; at + 4 <= fileSize_;) {
            const std::string header = bytesAt(at, 4);
            if (header.size() < 4) {
                break;
            }
            const auto flags = static_cast<unsigned char>(header[0]);
            if ((flags & ~kLastBlock) == kPicture) {
                pieces_.push_back({{}, shown, at - shown});
                pieces_.push_back(
                    {std::string(1, static_cast<char>((flags & kLastBlock) | kPadding)), 0, 0});
                shown = at + 1;
            }
            const std::uint64_t length = static_cast<std::uint64_t>(
                static_cast<unsigned char>(header[1]) << 16 |
                static_cast<unsigned char>(header[2]) << 8 | static_cast<unsigned char>(header[3]));
            at += 4 + length;
            if ((flags & kLastBlock) != 0) {
                break;
            }
        }
    }
    pieces_.push_back({{}, shown, fileSize_ - std::min(shown, fileSize_)});
}

SNDFILE* AudioFileView::open(SF_INFO& info) {
    static SF_VIRTUAL_IO io = {length, seek, read, nullptr, tell};
    return sf_open_virtual(&io, SFM_READ, &info, this);
}

std::size_t AudioFileView::readFile(std::uint64_t offset, char* buffer, std::size_t count) const {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd_.get(), buffer + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

sf_count_t AudioFileView::length(void* self) {
    return static_cast<AudioFileView*>(self)->size_;
}

sf_count_t AudioFileView::seek(sf_count_t offset, int whence, void* self) {
    auto* view = static_cast<AudioFileView*>(self);
    const sf_count_t base = whence == SEEK_CUR   ? view->position_
                            : whence == SEEK_END ? view->size_
                                                 : 0;
    if (base + offset < 0) {
        return -1;
    }
    view->position_ = base + offset;
    return view->position_;
}

sf_count_t AudioFileView::read(void* buffer, sf_count_t count, void* self) {
    auto* view = static_cast<AudioFileView*>(self);
    const std::size_t done =
        view->readAt(static_cast<std::uint64_t>(view->position_), static_cast<char*>(buffer),
                     static_cast<std::size_t>(std::max<sf_count_t>(count, 0)));
    view->position_ += static_cast<sf_count_t>(done);
    return static_cast<sf_count_t>(done);
}

std::size_t AudioFileView::readAt(std::uint64_t offset, char* out, std::size_t count) const {
    std::size_t done = 0;
    std::uint64_t start = 0; // of the piece in the view
    for (const Piece& piece : pieces_) {
        const std::uint64_t pieceSize = piece.bytes.size() + piece.length;
        const std::uint64_t at = offset + done;
        if (done < count && at >= start && at < start + pieceSize) {
            const auto within = static_cast<std::size_t>(at - start);
            const auto wanted =
                static_cast<std::size_t>(std::min<std::uint64_t>(count - done, pieceSize - within));
            std::size_t got = wanted;
            if (piece.bytes.empty()) {
                got = readFile(piece.fileOffset + within, out + done, wanted);
            } else {
                std::memcpy(out + done, piece.bytes.data() + within, wanted);
            }
            done += got;
            if (got < wanted) {
                break;
            }
        }
        start += pieceSize;
    }
    return done;
}

sf_count_t AudioFileView::tell(void* self) {
    return static_cast<AudioFileView*>(self)->position_;
}

} // namespace encoders
