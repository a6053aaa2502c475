#include "cli/cli_options.h"

#include <QHash>

namespace cli {

namespace {

// Options that take a value, and which field of the arguments they fill.
QString* valueField(CliArguments& a, const QString& name) {
    const QHash<QString, QString*> fields{
        {QStringLiteral("--encoder"), &a.encoder}, {QStringLiteral("--mode"), &a.mode},
        {QStringLiteral("--bitrate"), &a.bitrate}, {QStringLiteral("--layer"), &a.layer},
        {QStringLiteral("--output"), &a.output},
    };
    return fields.value(name, nullptr);
}

bool encodeOnly(const QString& option) {
    return option != QStringLiteral("--output") && option != QStringLiteral("--json");
}

} // namespace

CliArguments parseArguments(const QStringList& arguments) {
    CliArguments a;
    if (arguments.isEmpty())
        throw UsageError(QStringLiteral("no command given"));
    const QString& command = arguments.front();
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h") ||
        command == QStringLiteral("help"))
        return a;
    if (command == QStringLiteral("encode"))
        a.command = Command::Encode;
    else if (command == QStringLiteral("decode"))
        a.command = Command::Decode;
    else
        throw UsageError(QStringLiteral("unknown command '%1'").arg(command));

    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString word = arguments[i];
        if (optionsEnded || !word.startsWith(QStringLiteral("--"))) {
            a.paths.append(word);
            continue;
        }
        if (word == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        if (word == QStringLiteral("--help")) {
            a.command = Command::Help;
            return a;
        }
        QString value;
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        const bool inline_ = equals > 0;
        if (inline_) {
            value = word.mid(equals + 1);
            word = word.left(equals);
        }
        if (a.command == Command::Decode && encodeOnly(word))
            throw UsageError(QStringLiteral("%1 is an encode option").arg(word));
        if (QString* field = valueField(a, word)) {
            if (!inline_) {
                if (++i >= arguments.size())
                    throw UsageError(QStringLiteral("%1 needs a value").arg(word));
                value = arguments[i];
            }
            // An empty value would stand for the settings' choice, or the working directory.
            if (value.isEmpty())
                throw UsageError(QStringLiteral("%1 needs a value").arg(word));
            *field = value;
        } else if (inline_) {
            throw UsageError(QStringLiteral("%1 takes no value").arg(word));
        } else if (word == QStringLiteral("--delete-source")) {
            a.deleteSource = true;
        } else if (word == QStringLiteral("--keep-source")) {
            a.deleteSource = false;
        } else if (word == QStringLiteral("--json")) {
            a.json = true;
        } else {
            throw UsageError(QStringLiteral("unknown option %1").arg(word));
        }
    }
    if (a.paths.isEmpty())
        throw UsageError(QStringLiteral("no FILE or FOLDER given"));
    return a;
}

QString usageText() {
    return QStringLiteral(
        "Usage: sonabox                                   open the window\n"
        "       sonabox encode [options] FILE|FOLDER...   WAV, FLAC, AIFF, Ogg Vorbis and\n"
        "                                                 Opus files to MP3\n"
        "       sonabox decode [options] FILE|FOLDER...   MP3 and MP2 files to WAV\n"
        "\n"
        "A FOLDER adds the files of its own that the page would list, in name order.\n"
        "Options that are not given take the choices of the window's Configure page,\n"
        "kept in ~/.config/sonabox/SBOX.INI.\n"
        "\n"
        "Encode options:\n"
        "  --encoder korvo|bladeenc|plugger  the encoder program\n"
        "  --mode stereo|joint|dual|mono     output mode (bladeenc, plugger: stereo, mono)\n"
        "  --bitrate KBPS                    32 to 320 (korvo: 48 to 320)\n"
        "  --layer 1|2|3                     MPEG layer (bladeenc, plugger: 3)\n"
        "  --delete-source                   delete each source once its MP3 is checked\n"
        "  --keep-source                     keep the source files\n"
        "Encode and decode options:\n"
        "  --output DIR                      the output folder\n"
        "  --json                            one JSON object per event on standard output\n"
        "  --help                            this text\n"
        "\n"
        "Progress goes to standard error. Exit status: 0 every file converted, 1 some\n"
        "file failed, 2 usage error or nothing to do, 130 interrupted (Ctrl+C cancels\n"
        "the running file: its partial output is removed and its source kept).\n");
}

} // namespace cli
