#include "sync/engine/audio_digest.h"

#include "platform/paths.h"

#include <QCryptographicHash>

#include <array>
#include <cstdint>
#include <fstream>
#include <limits>
#include <vector>

namespace mirror {

namespace {

constexpr std::uint64_t kToEnd = std::numeric_limits<std::uint64_t>::max();

class Reader {
public:
    explicit Reader(const QString& path)
        : in_(platform::toFsPath(path), std::ios::binary), hash_(QCryptographicHash::Md5) {}

    bool good() const { return bool(in_); }

    // Reads up to `size` bytes at the position, false at the end of the file.
    bool take(char* bytes, std::size_t size) {
        in_.read(bytes, std::streamsize(size));
        return std::size_t(in_.gcount()) == size;
    }
    void skip(std::uint64_t size) { in_.seekg(std::streamoff(size), std::ios::cur); }

    // Adds `size` bytes from the position (or all up to the end) to the digest.
    void digest(std::uint64_t size) {
        std::vector<char> block(1 << 16);
        while (size > 0) {
            in_.read(block.data(), std::streamsize(std::min<std::uint64_t>(size, block.size())));
            const auto got = std::uint64_t(in_.gcount());
            if (got == 0)
                return;
            hash_.addData(QByteArrayView(block.data(), qsizetype(got)));
            if (size != kToEnd)
                size -= got;
        }
    }
    void digest(const char* bytes, std::size_t size) {
        hash_.addData(QByteArrayView(bytes, qsizetype(size)));
    }
    QByteArray result() { return hash_.result().toHex(); }

private:
    std::ifstream in_;
    QCryptographicHash hash_;
};

std::uint32_t bigEndian(const unsigned char* b, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | b[i];
    return value;
}

std::uint32_t littleEndian(const unsigned char* b) {
    return b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t(b[3]) << 24;
}

void flac(Reader& in) {
    std::array<unsigned char, 4> header{};
    do {
        if (!in.take(reinterpret_cast<char*>(header.data()), header.size()))
            return;
        const std::uint32_t size = bigEndian(header.data() + 1, 3);
        if ((header[0] & 0x7f) == 0) {
            in.digest(reinterpret_cast<const char*>(header.data()), header.size());
            in.digest(size);
        } else {
            in.skip(size);
        }
    } while ((header[0] & 0x80) == 0);
    in.digest(kToEnd);
}

// The chunks of a RIFF or FORM file whose names are `audio`, each with its name.
void chunks(Reader& in, bool riff, const char* first, const char* second) {
    std::array<unsigned char, 8> header{};
    while (in.take(reinterpret_cast<char*>(header.data()), header.size())) {
        const std::uint64_t size =
            riff ? littleEndian(header.data() + 4) : bigEndian(header.data() + 4, 4);
        const std::string name(reinterpret_cast<const char*>(header.data()), 4);
        if (name == first || name == second) {
            in.digest(reinterpret_cast<const char*>(header.data()), 4);
            // RF64 keeps the real size elsewhere: the data then runs to the end.
            in.digest(size == 0xffffffff ? kToEnd : size + (size & 1));
        } else {
            in.skip(size + (size & 1));
        }
    }
}

} // namespace

QByteArray audioDigest(const QString& path) {
    Reader in(path);
    std::array<char, 12> head{};
    if (!in.good())
        return {};
    const bool full = in.take(head.data(), head.size());
    const std::string start(head.data(), full ? head.size() : 0);
    if (start.starts_with("fLaC")) {
        Reader flacIn(path);
        flacIn.skip(4);
        flac(flacIn);
        return flacIn.result();
    }
    if (start.starts_with("RIFF") || start.starts_with("RF64"))
        chunks(in, true, "fmt ", "data");
    else if (start.starts_with("FORM"))
        chunks(in, false, "COMM", "SSND");
    else {
        Reader whole(path);
        whole.digest(kToEnd);
        return whole.result();
    }
    return in.result();
}

} // namespace mirror
