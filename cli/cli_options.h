#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

// The command line's words, before they meet the settings file.
namespace cli {

enum class Command { Help, Encode, Decode, Sync };

struct CliArguments {
    Command command = Command::Help;
    QString encoder; // the words as given; empty when not given
    QString mode;
    QString bitrate;
    QString vbr; // a quality of LAME's -V scale
    QString abr; // an average bitrate
    QString layer;
    QString output;
    QString names; // the --names pattern; empty: each MP3 keeps its source's name
    std::optional<bool> deleteSource;
    bool json = false;
    // sync's own
    bool deleteWithoutSource = false;
    bool dryRun = false;
    bool transcodeLossy = false;
    QStringList paths;
};

// A command line that can't be run as given; exit status 2.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// The arguments after the program name. Throws UsageError.
CliArguments parseArguments(const QStringList& arguments);

// The text of --help.
QString usageText();

} // namespace cli
