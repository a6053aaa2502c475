#include "decode/engine/wav_file_name.h"

#include "platform/paths.h"

#include <algorithm>

namespace decode {

QString WavFileName(const QString& input) {
    const qsizetype separator =
        input.size() < 2 ? -1 : input.lastIndexOf(platform::separator(), input.size() - 2);
    const QString name = input.mid(separator + 1);
    return name.left(std::max<qsizetype>(0, name.size() - 3)) + QStringLiteral("WAV");
}

} // namespace decode
