#include "encode/encode_batch.h"

#include "encode/command_lines.h"
#include "encode/encode_file.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "selection/file_list.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>

#include <optional>

namespace encode {

namespace {

// The file whose presence says the encoder is installed, below the program directory.
QString presenceFile(Encoder encoder) {
    switch (encoder) {
    case Encoder::House:
        return QStringLiteral("mp3.dll");
    case Encoder::BladeEnc:
        return QStringLiteral("bladeenc/bladeenc");
    case Encoder::Plugger:
        break;
    }
    return QStringLiteral("encoder/plugger");
}

std::optional<Encoder> chosenEncoder(const QComboBox& codec) {
    const Encoder byPosition[] = {Encoder::House, Encoder::BladeEnc, Encoder::Plugger};
    for (int position = 0; position < 3 && position < codec.count(); ++position) {
        if (codec.currentText() == codec.itemText(position))
            return byPosition[position];
    }
    return std::nullopt;
}

} // namespace

bool ValidateEncodeSettings(const EncodeBatchWidgets& w, platform::Dialogs& dialogs) {
    QString message;
    if (w.Mode.currentText() == "Output mode")
        message += "No mode selected\r";
    if (w.Bitrate.currentText() == "Output bitrate")
        message += "No bitrate selected\r";
    if (w.Layer.currentText() == "MPEG Layer")
        message += "No layer selected\r";
    if (message.isEmpty())
        return true;
    message += "\rGo to the Config -tab and change it";
    platform::showError(dialogs, &w.mainWindow, message);
    return false;
}

void encstartClick(EncodeBatchWidgets& w, platform::Dialogs& dialogs, QWidget* progressOwner,
                   const QString& programDir) {
    if (w.encodelist.count() > 0) {
        const auto encoder = chosenEncoder(w.Codec);
        if (!encoder) {
            platform::showError(dialogs, &w.mainWindow, "No codec selected");
            w.encflist.reread();
            return;
        }
        if (ValidateEncodeSettings(w, dialogs)) {
            const QString program = encoderProgramPath(*encoder, programDir);
            const QString present = programDir + presenceFile(*encoder);
            const int count = w.encodelist.count();
            for (int i = 0; i < count; ++i) {
                if (!platform::fileExists(present)) {
                    platform::showError(dialogs, &w.mainWindow, "File " + present + " not found");
                    continue;
                }
                if (*encoder == Encoder::House)
                    platform::copyFileReplacing(present, program);
                const EncodeContext context{&w.mainWindow, programDir, w.encout.text(),
                                            w.showenc.isChecked()};
                const QString source = w.fullname.value(i);
                const bool produced =
                    EncodeFile(progressOwner, context, program, source, w.Mode.currentText(),
                               w.Bitrate.currentText(), w.Layer.currentText());
                if (*encoder == Encoder::House)
                    platform::deleteFile(program);
                // A source goes only when this run wrote its output: a failed run keeps it.
                if (w.deletesource.isChecked() && produced)
                    platform::deleteFile(source);
            }
        }
        w.fullname.clear();
        w.encodelist.clear();
    }
    w.encflist.reread();
}

} // namespace encode
