#include "encode/encode_file.h"

#include "encode/enc_form.h"
#include "platform/file_system.h"
#include "widgets/window_geometry.h"

#include <QLabel>

#include <chrono>

namespace encode {

namespace {

// Some file systems keep modification times to two seconds only.
constexpr auto kTimeSlack = std::chrono::seconds(2);

// The output counts as this run's when it is there now, differs from what was there before the
// run, and was written after the run began.
bool writtenByThisRun(const QString& path, std::optional<platform::FileTime> before,
                      platform::FileTime start) {
    const auto written = platform::modificationTime(path);
    return written && written != before && *written >= start - kTimeSlack;
}

} // namespace

bool EncodeFile(QWidget* owner, const EncodeContext& context, const QString& encoderPath,
                const QString& input, const QString& mode, const QString& bitrate,
                const QString& layer) {
    const auto encoder = recogniseEncoder(encoderPath, context.programDir);
    if (!encoder) {
        EncoderJob.CmdPiece1 = encoderPath + " ";
        EncoderJob.CmdPiece2 = "\"" + input + "\" ";
        return false;
    }
    fillJob(EncoderJob, *encoder, encoderPath, input,
            {mode, bitrate, layer, context.outputDirectory, context.showEncoder});
    const QString output = OutputFileName(input, context.outputDirectory);
    const auto before = platform::modificationTime(output);
    const auto start = std::chrono::system_clock::now();

    TEncForm progress(owner);
    progress.encinfile->setText(input);
    progress.encoutfile->setText(output);
    if (context.mainWindow) {
        const QSize outer = widgets::outerSizeLike(*context.mainWindow, progress.size());
        progress.move(centredOver(context.mainWindow->frameGeometry(), outer));
    }
    progress.exec();

    if (*encoder == Encoder::BladeEnc) {
        // BladeEnc writes beside its input. Names differ in letter case only on file systems
        // that tell case apart, so the file is moved whenever its path is not the output path.
        const QString written = bladeEncOutput(input);
        if (!InOutputDirectory(input, context.outputDirectory) || written != output)
            platform::moveFileNoReplace(written, output);
    }
    return progress.exitCode() == 0 && writtenByThisRun(output, before, start);
}

} // namespace encode
