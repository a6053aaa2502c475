#include "encode/engine/command_lines.h"

#include "encode/engine/track_output.h"
#include "platform/command_line.h"
#include "platform/output_folders.h"
#include "platform/paths.h"
#include "tools/encoders/core/source_names.h"

#include <algorithm>

namespace encode {

namespace {

QString fileNamePart(const QString& path) {
    return path.mid(path.lastIndexOf(platform::separator()) + 1);
}

// A WAV's name drops its last three characters; another source kind's its whole extension.
QString lessSourceEnd(const QString& name) {
    const auto end = qsizetype(encoders::replacedNameEnd(name.toStdString()));
    return name.left(std::max<qsizetype>(0, name.size() - end));
}

} // namespace

QString encoderProgramPath(Encoder encoder, const QString& programDir) {
    return programDir + describe(encoder).program;
}

std::optional<Encoder> recogniseEncoder(const QString& encoderPath, const QString& programDir) {
    for (const EncoderDescription& encoder : encoders()) {
        if (encoderPath == programDir + encoder.program)
            return encoder.id;
    }
    return std::nullopt;
}

QString OutputFileName(const QString& input, const QString& outputDirectory) {
    return outputDirectory + lessSourceEnd(fileNamePart(input)) + "mp3";
}

QString outputRelativeFolder(const selection::QueuedFile& file) {
    if (file.outputName.isEmpty())
        return file.relativeFolder;
    return file.outputName.left(std::max<qsizetype>(0, file.outputName.lastIndexOf(u'/')));
}

QString outputFileOf(const selection::QueuedFile& file, const QString& outputDirectory) {
    const QString folder = platform::outputFolder(outputDirectory, outputRelativeFolder(file));
    return file.outputName.isEmpty()
               ? queuedOutputName(file, folder)
               : folder + file.outputName.mid(file.outputName.lastIndexOf(u'/') + 1);
}

bool InOutputDirectory(const QString& input, const QString& outputDirectory) {
    return input.left(input.lastIndexOf(platform::separator()) + 1) == outputDirectory;
}

QString bladeEncOutput(const QString& input) {
    return lessSourceEnd(input) + "MP3";
}

void fillJob(TEncoderJob& job, Encoder encoder, const QString& encoderPath, const QString& input,
             const EncodeOptions& options, const QString& output) {
    const EncodeChoices choices = parseChoices(options);
    job.CmdPiece1 = encoderPath + " ";
    // Quoted so that the process start splits the exact path back out, quotes and all.
    job.CmdPiece2 = platform::quoteArgument(input) + " ";
    const EncoderDescription& description = describe(encoder);
    description.fillPieces(job, description, choices,
                           output.isEmpty() ? OutputFileName(input, options.outputDirectory)
                                            : output);
}

} // namespace encode
