// sonabox-cli: the encode and decode batches without a window. It is a program of its own, so
// that the window's program carries none of it and this one needs QtCore only: it runs where no
// display is. The sonabox command hands it the encode and decode commands.
#include "app/engine/stored_settings.h"
#include "app/settings_file.h"
#include "cli/cli_options.h"
#include "cli/sync_command.h"
#include "cli/terminal_batches.h"
#include "platform/paths.h"
#include "platform/settings_location.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sonabox"));
    try {
        // The arguments as the file system's bytes: QCoreApplication::arguments() would lose
        // the bytes of a file name that is not UTF-8.
        QStringList words;
        for (int i = 1; i < argc; ++i)
            words.append(platform::textFromBytes(argv[i]));
        const cli::CliArguments arguments = cli::parseArguments(words);
        if (arguments.command == cli::Command::Help) {
            print(stdout, cli::usageText());
            return cli::kAllDone;
        }
        // The encoders and the decoder library lie beside this program; the files named on the
        // command line are taken from the working directory, which stays as it is.
        const QString programDir = platform::withSeparator(QCoreApplication::applicationDirPath());
        const app::StoredSettings stored =
            app::readStoredSettings(platform::settingsDirectory() + app::kSettingsFileName);
        if (arguments.command == cli::Command::Sync)
            return cli::runSync(arguments, stored, programDir);
        return arguments.command == cli::Command::Encode
                   ? cli::runEncode(arguments, stored, programDir)
                   : cli::runDecode(arguments, stored, programDir);
    } catch (const cli::UsageError& error) {
        print(stderr, QStringLiteral("sonabox: %1\nTry 'sonabox --help'.\n")
                          .arg(QString::fromUtf8(error.what())));
        return cli::kUsage;
    } catch (const std::exception& error) {
        print(stderr, QStringLiteral("sonabox: %1\n").arg(QString::fromUtf8(error.what())));
        return cli::kSomeFailed;
    }
}
