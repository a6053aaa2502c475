#include "cli/cli_requests.h"

#include "app/engine/option_sets.h"
#include "naming/engine/tag_names.h"
#include "platform/file_system.h"
#include "platform/output_folders.h"
#include "platform/paths.h"
#include "selection/engine/queue_paths.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <optional>
#include <stdexcept>

namespace cli {

namespace {

const encode::EncoderDescription& chosenEncoder(const QString& word, const QString& codecText) {
    if (word.isEmpty()) {
        const auto* stored = app::recognisedCodec(codecText, app::codecEntries());
        if (!stored)
            throw UsageError(app::kNoCodecSelected);
        return *stored;
    }
    QStringList words;
    for (const encode::EncoderDescription& encoder : encode::encoders()) {
        if (encoder.commandWord == word)
            return encoder;
        words.append(encoder.commandWord);
    }
    throw UsageError(QStringLiteral("--encoder must be one of %1").arg(words.join(", ")));
}

// The value a word names, when the encoder offers it; a usage error otherwise.
template <typename Value>
Value offered(const QString& option, const QString& word, std::optional<Value> value,
              const encode::EncoderDescription& encoder) {
    if (!value || !encoder.offers(*value))
        throw UsageError(
            QStringLiteral("%1 %2 is not offered by %3").arg(option, word, encoder.commandWord));
    return *value;
}

// --vbr or --abr in place of the bitrate, for Layer III.
void qualityRate(const CliArguments& a, const encode::EncoderDescription& encoder,
                 app::ChosenOptions& texts) {
    if (int(!a.bitrate.isEmpty()) + int(!a.vbr.isEmpty()) + int(!a.abr.isEmpty()) > 1)
        throw UsageError(QStringLiteral("give only one of --bitrate, --vbr and --abr"));
    const bool vbr = !a.vbr.isEmpty();
    if (!vbr && a.abr.isEmpty())
        return;
    const QString option = vbr ? QStringLiteral("--vbr") : QStringLiteral("--abr");
    const QString& word = vbr ? a.vbr : a.abr;
    const auto rate = vbr ? encode::variableRateOfWord(word) : encode::averageRateOfWord(word);
    if (!rate)
        throw UsageError(vbr ? QStringLiteral("--vbr %1: the quality must be 0 to %2")
                                   .arg(word)
                                   .arg(encode::kMaxVbrQuality)
                             : QStringLiteral("--abr %1: the bitrate must be %2 to %3")
                                   .arg(word)
                                   .arg(encode::kMinAverageKbps)
                                   .arg(encode::kMaxAverageKbps));
    texts.bitrate = encode::textOf(offered(option, word, rate, encoder));
    if (texts.layer != encode::textOf(encode::MpegLayer::III))
        throw UsageError(QStringLiteral("%1 is for layer 3 only").arg(option));
}

QString outputDirectory(const QString& given, const QString& stored) {
    // The stored folder is never empty: the home folder stands in for a missing one.
    if (given.isEmpty())
        return stored;
    const QString path = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
    // A folder that is not there yet is made: a new library's copy starts in one.
    if (!platform::fileExists(path)) {
        try {
            platform::makeFolders(path);
        } catch (const std::runtime_error& error) {
            throw UsageError(QStringLiteral("--output %1: %2")
                                 .arg(given, platform::textFromBytes(error.what())));
        }
    }
    if (!platform::isReadableDirectory(path))
        throw UsageError(QStringLiteral("--output %1 is not a folder").arg(given));
    return platform::withSeparator(path);
}

std::vector<selection::QueuedFile> queuedFiles(const QStringList& paths, const QString& mask,
                                               const QString& kind) {
    for (const QString& path : paths) {
        if (!platform::fileExists(path))
            throw UsageError(QStringLiteral("no such file or folder: %1").arg(path));
    }
    auto found = selection::filesToQueue(paths, mask);
    // The rest of the tree goes on without a folder that cannot be read.
    for (const auto& folder : found.unreadable)
        std::fputs(platform::bytesFromText(
                       QStringLiteral("sonabox: warning: the folder %1 is skipped: %2\n")
                           .arg(folder.path, folder.reason))
                       .constData(),
                   stderr);
    // A cue sheet that does not fit its file leaves the file to be converted whole.
    for (const QString& refusal : found.refusedSheets)
        std::fputs(platform::bytesFromText(QStringLiteral("sonabox: warning: %1\n").arg(refusal))
                       .constData(),
                   stderr);
    if (found.files.empty())
        throw UsageError(QStringLiteral("no %1 files among the given files").arg(kind));
    return std::move(found.files);
}

// Each file's output name from its tags; files that share one are refused by the batch.
std::vector<selection::QueuedFile> named(std::vector<selection::QueuedFile> files,
                                         const std::optional<naming::NamePattern>& pattern) {
    for (auto& file : files) {
        // An album's tracks are named from its cue sheet.
        if (pattern && !file.track)
            file.outputName =
                platform::fromFsPath(naming::nameFromTags(*pattern, platform::toFsPath(file.path)));
    }
    return files;
}

} // namespace

std::optional<naming::NamePattern> namePattern(const QString& text) {
    if (text.isEmpty())
        return std::nullopt;
    try {
        return naming::NamePattern::parse(platform::bytesFromText(text).toStdString());
    } catch (const naming::PatternError& error) {
        throw UsageError(QStringLiteral("--names: ") + QString::fromUtf8(error.what()));
    }
}

encode::EncodeBatchRequest encodeRequest(const CliArguments& a, const app::StoredSettings& stored,
                                         const QString& programDir) {
    // The pattern and the options are checked before the files are looked for: a wrong word
    // is told first.
    const auto pattern = namePattern(a.names);
    encode::EncodeBatchRequest request = encodeRequestFor(a, stored, programDir, {}, {});
    request.files = named(queuedFiles(a.paths, selection::kEncodeMask,
                                      QString::fromStdString(encoders::sourceKindNames())),
                          pattern);
    request.options.outputDirectory = outputDirectory(a.output, stored.encoderOutput);
    return request;
}

encode::EncodeBatchRequest encodeRequestFor(const CliArguments& a,
                                            const app::StoredSettings& stored,
                                            const QString& programDir,
                                            std::vector<selection::QueuedFile> files,
                                            const QString& outputDirectory) {
    const encode::EncoderDescription& encoder = chosenEncoder(a.encoder, stored.codec);
    // The boxes as the window shows them once this encoder is chosen.
    app::ChosenOptions texts = app::optionsOnChoice(encoder, stored.bitrate);
    if (!a.mode.isEmpty())
        texts.mode = encode::textOf(offered(
            "--mode", a.mode, encode::valueOfWord(encode::channelModes(), a.mode), encoder));
    if (!a.bitrate.isEmpty())
        texts.bitrate =
            encode::textOf(offered("--bitrate", a.bitrate, encode::rateOfWord(a.bitrate), encoder));
    if (!a.layer.isEmpty())
        texts.layer = encode::textOf(offered(
            "--layer", a.layer, encode::valueOfWord(encode::mpegLayers(), a.layer), encoder));
    qualityRate(a, encoder, texts);
    return {.files = std::move(files),
            .encoder = &encoder,
            .options = {.mode = texts.mode,
                        .bitrate = texts.bitrate,
                        .layer = texts.layer,
                        .outputDirectory = outputDirectory,
                        .showEncoder = false},
            .programDir = programDir,
            .deleteSource = a.deleteSource.value_or(stored.deleteSource)};
}

decode::DecodeBatchRequest decodeRequest(const CliArguments& a, const app::StoredSettings& stored) {
    return {.files = queuedFiles(a.paths, selection::kDecodeMask, QStringLiteral("MP3 or MP2")),
            .outputDirectory = outputDirectory(a.output, stored.decoderOutput),
            .previewStarted = false};
}

} // namespace cli
