#include "cli/cli_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <algorithm>

#include <vector>

namespace cli {

namespace {

// The options of the two commands, in the order of the help text. The value name is the
// option's value in the help; an option without one takes none.
struct OptionWord {
    QString name;
    QString valueName;
    QString description;
    bool encodeOnly;
    bool syncOnly = false;
};

const std::vector<OptionWord>& optionWords() {
    static const std::vector<OptionWord> words{
        {"encoder", "korvo|bladeenc|plugger", "the encoder program", true},
        {"mode", "stereo|joint|dual|mono", "output mode (bladeenc, plugger: stereo, mono)", true},
        {"bitrate", "KBPS", "32 to 320 (korvo: 48 to 320)", true},
        {"vbr", "0..9", "korvo, layer 3: LAME's variable bitrate, 0 best", true},
        {"abr", "KBPS", "korvo, layer 3: an average bitrate, 8 to 320", true},
        {"layer", "1|2|3", "MPEG layer (bladeenc, plugger: 3)", true},
        {"delete-source", "", "delete each source once its MP3 is checked", true},
        {"keep-source", "", "keep the source files", true},
        {"names", "PATTERN", "name each MP3 from its tags (see above)", true},
        {"delete", "", "move outputs whose source is gone to the Trash", true, true},
        {"dry-run", "", "say what would be done, change nothing", true, true},
        {"transcode-lossy", "", "encode MP3 and MP2 sources, not copy them", true, true},
        {"output", "DIR", "the output folder, made when missing", false},
        {"json", "", "one JSON object per event on standard output", false},
        {"help", "", "this text", false},
    };
    return words;
}

const OptionWord* findWord(const QString& name) {
    for (const OptionWord& word : optionWords()) {
        if (word.name == name)
            return &word;
    }
    return nullptr;
}

// Whether the command takes the word: sync takes the encode options but those about sources
// and output folders, since it names its own, and only sync takes its own.
bool takes(Command command, const OptionWord& word) {
    if (command == Command::Sync)
        return word.name != "delete-source" && word.name != "keep-source" && word.name != "output";
    return !word.syncOnly;
}

// The parser of one command: the options it takes, each as long as written; a word with one
// dash is an option of that name too.
void addOptions(QCommandLineParser& parser, Command command) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionWord& word : optionWords()) {
        if ((command == Command::Decode && word.encodeOnly) || !takes(command, word))
            continue;
        parser.addOption(QCommandLineOption(word.name, word.description, word.valueName));
    }
}

// The word as the user wrote it, for an option the parser did not know.
QString writtenName(const QString& name, const QStringList& arguments) {
    const QString single = QLatin1Char('-') + name;
    const bool singleDash = std::any_of(arguments.begin(), arguments.end(), [&](const QString& a) {
        return a == single || a.startsWith(single + QLatin1Char('='));
    });
    return singleDash ? single : QStringLiteral("--") + name;
}

// Says why the parser refused the words, as a usage error.
[[noreturn]] void refuse(const QCommandLineParser& parser, Command command,
                         const QStringList& arguments) {
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().front();
        const QString written = writtenName(name, arguments);
        const OptionWord* word = findWord(name);
        if (command == Command::Decode && word && word->encodeOnly && !word->syncOnly)
            throw UsageError(QStringLiteral("%1 is an encode option").arg(written));
        if (word && word->syncOnly && command != Command::Sync)
            throw UsageError(QStringLiteral("%1 is a sync option").arg(written));
        if (word && command == Command::Sync)
            throw UsageError(QStringLiteral("%1 is not a sync option").arg(written));
        throw UsageError(QStringLiteral("unknown option %1").arg(written));
    }
    // A value missing after the last word, or one given to an option that takes none: the
    // parser's text names the option between single quotes.
    const QString text = parser.errorText();
    const qsizetype open = text.indexOf(QLatin1Char('\''));
    const QString written =
        text.mid(open + 1, text.indexOf(QLatin1Char('\''), open + 1) - open - 1);
    const OptionWord* word =
        findWord(written.mid(written.startsWith(QStringLiteral("--")) ? 2 : 1));
    if (!word)
        throw UsageError(text);
    throw UsageError(word->valueName.isEmpty() ? QStringLiteral("%1 takes no value").arg(written)
                                               : QStringLiteral("%1 needs a value").arg(written));
}

// The option's value; empty when it is not given. A value given empty is refused: it would
// stand for the settings' choice, or for the working directory.
QString value(const QCommandLineParser& parser, const QString& name) {
    if (!parser.isSet(name))
        return {};
    QString given = parser.value(name);
    if (given.isEmpty())
        throw UsageError(QStringLiteral("--%1 needs a value").arg(name));
    return given;
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
    else if (command == QStringLiteral("sync"))
        a.command = Command::Sync;
    else
        throw UsageError(QStringLiteral("unknown command '%1'").arg(command));

    QCommandLineParser parser;
    addOptions(parser, a.command);
    // The parser takes the first word for the program's name: here it is the command.
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(QStringLiteral("help"))) {
        a.command = Command::Help;
        return a;
    }
    if (!parsed)
        refuse(parser, a.command, arguments);

    if (a.command != Command::Sync)
        a.output = value(parser, QStringLiteral("output"));
    a.json = parser.isSet(QStringLiteral("json"));
    if (a.command != Command::Decode) {
        a.encoder = value(parser, QStringLiteral("encoder"));
        a.mode = value(parser, QStringLiteral("mode"));
        a.bitrate = value(parser, QStringLiteral("bitrate"));
        a.vbr = value(parser, QStringLiteral("vbr"));
        a.abr = value(parser, QStringLiteral("abr"));
        a.layer = value(parser, QStringLiteral("layer"));
        a.names = value(parser, QStringLiteral("names"));
        // The last of the two words counts.
        for (const QString& name : parser.optionNames()) {
            if (name == QStringLiteral("delete-source"))
                a.deleteSource = true;
            else if (name == QStringLiteral("keep-source"))
                a.deleteSource = false;
        }
    }
    if (a.command == Command::Sync) {
        a.deleteWithoutSource = parser.isSet(QStringLiteral("delete"));
        a.dryRun = parser.isSet(QStringLiteral("dry-run"));
        a.transcodeLossy = parser.isSet(QStringLiteral("transcode-lossy"));
    }
    a.paths = parser.positionalArguments();
    if (a.command == Command::Sync && a.paths.size() != 2)
        throw UsageError(QStringLiteral("sync takes a SOURCE and a DEST folder"));
    if (a.paths.isEmpty())
        throw UsageError(QStringLiteral("no FILE or FOLDER given"));
    return a;
}

namespace {

// One line of the help text for each word that `shown` takes.
template <typename Shown> QString optionLines(Shown shown) {
    QString lines;
    for (const OptionWord& word : optionWords()) {
        if (!shown(word))
            continue;
        const QString written =
            QStringLiteral("--") + word.name +
            (word.valueName.isEmpty() ? QString() : QLatin1Char(' ') + word.valueName);
        lines += QStringLiteral("  ") + written.leftJustified(34) + word.description + '\n';
    }
    return lines;
}

} // namespace

QString usageText() {
    const QString options =
        QStringLiteral("Encode options (sync takes them too, but --delete-source and "
                       "--keep-source):\n") +
        optionLines([](const OptionWord& w) { return w.encodeOnly && !w.syncOnly; }) +
        QStringLiteral("Sync options:\n") +
        optionLines([](const OptionWord& w) { return w.syncOnly; }) +
        QStringLiteral("Encode and decode options (sync takes --json and --help):\n") +
        optionLines([](const OptionWord& w) { return !w.encodeOnly; });
    return QStringLiteral(
               "Usage: sonabox                                   open the window\n"
               "       sonabox encode [options] FILE|FOLDER...   WAV, FLAC, AIFF, Ogg Vorbis,\n"
               "                                                 Opus, M4A (AAC, ALAC), WMA,\n"
               "                                                 APE, WavPack, TTA, DSF/DFF and\n"
               "                                                 the audio of MKA, MKV, WebM,\n"
               "                                                 MP4 and MOV files to MP3\n"
               "       sonabox decode [options] FILE|FOLDER...   MP3 and MP2 files to WAV\n"
               "       sonabox sync [options] SOURCE DEST        keep DEST an MP3 copy of the\n"
               "                                                 tree SOURCE\n"
               "\n"
               "A FOLDER adds the files of its whole tree that the page would list: each\n"
               "folder's files in name order, then its sub-folders (names that begin with a\n"
               "dot are left out, an unreadable folder is named and skipped). Each output\n"
               "keeps its source's place below the output folder:\n"
               "  sonabox encode --output ~/mp3 ~/music\n"
               "turns ~/music/Artist/Album/01 x.flac into ~/mp3/Artist/Album/01 x.mp3.\n"
               "--names PATTERN names each MP3 from its source's tags instead, a / making\n"
               "folders. Fields: {albumartist} {artist} {album} {disc} {track} {title} {year}\n"
               "and {genre}; {track:02} pads with zeros. A missing tag comes from the source's\n"
               "path: {title} its name less extension and leading number, {track} that\n"
               "number, {album} its folder, {artist} the folder above ({albumartist} takes\n"
               "the artist first), the rest empty. Characters a name cannot hold (/, control\n"
               "characters, leading dots, trailing blanks and dots) become _, a name over 255\n"
               "bytes is shortened; sources that would share a name are not converted:\n"
               "  sonabox encode --names '{artist}/{album}/{track:02} {title}' LIB\n"
               "An album kept as one file with a .cue sheet beside it (or a FLAC with one\n"
               "inside) becomes one MP3 per track, \"NN title.mp3\", tagged from the sheet;\n"
               "naming the .cue file queues the same tracks. A sheet that does not fit its\n"
               "file is refused with the reason, and the file is then converted whole:\n"
               "  sonabox encode --output ~/mp3 Album.cue\n"
               "sync converts only what changed since the last sync into DEST (a source's\n"
               "size or time, or the encoder options), copies MP3 and MP2 sources and cover\n"
               "images as they are, gives a cue-sheet album's tracks as encode does, and\n"
               "keeps its record in DEST/.sonabox-sync:\n"
               "  sonabox sync --delete ~/music ~/mp3\n"
               "Options that are not given take the choices of the window's Configure page,\n"
               "kept in ~/.config/sonabox/SBOX.INI.\n"
               "\n") +
           options +
           QStringLiteral(
               "\n"
               "Progress goes to standard error. Exit status: 0 every file converted, 1 some\n"
               "file failed, 2 usage error or nothing to do, 130 interrupted (Ctrl+C cancels\n"
               "the running file: its partial output is removed and its source kept).\n");
}

} // namespace cli
