#include "encode/engine/encode_file.h"

#include "platform/file_system.h"

namespace encode {

EncodeFileRun EncodeFile(EncodeProgress& progress, const EncodeContext& context,
                         const QString& encoderPath, const QString& input, const QString& mode,
                         const QString& bitrate, const QString& layer) {
    const auto encoder = recogniseEncoder(encoderPath, context.programDir);
    if (!encoder) {
        EncoderJob.CmdPiece1 = encoderPath + " ";
        EncoderJob.CmdPiece2 = "\"" + input + "\" ";
        return {};
    }
    const QString output =
        context.output.isEmpty() ? OutputFileName(input, context.outputDirectory) : context.output;
    fillJob(EncoderJob, *encoder, encoderPath, input,
            {.mode = mode,
             .bitrate = bitrate,
             .layer = layer,
             .outputDirectory = context.outputDirectory,
             .showEncoder = context.showEncoder},
            output);
    EncodeFileRun result;
    result.output = output;
    result.run =
        progress.runJob(encoderPath, context.shownInput.isEmpty() ? input : context.shownInput,
                        result.output, context.position, context.count);

    // A failed run wrote nothing: a file beside the input is not its output then.
    if (describe(*encoder).writesBesideInput && !result.run.cancelled && result.run.exitCode == 0) {
        // BladeEnc writes beside its input. Names differ in letter case only on file systems
        // that tell case apart, so the file is moved whenever its path is not the output path.
        const QString written = bladeEncOutput(input);
        if (!InOutputDirectory(input, context.outputDirectory) || written != result.output) {
            result.moveFailed = !platform::moveFileNoReplace(written, result.output);
            // This run wrote it (BladeEnc never replaces a file). Left beside the source, it
            // would make every later BladeEnc run of that source fail; the source stays.
            if (result.moveFailed)
                platform::deleteFile(written);
        }
    }
    return result;
}

} // namespace encode
