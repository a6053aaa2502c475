#include "sync/engine/sync_plan.h"

#include "encode/engine/track_output.h"
#include "platform/directory_listing.h"
#include "selection/engine/queue_paths.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <set>

namespace mirror {

namespace {

const QString kLossyMask = QStringLiteral("*.mp3 *.mp2");
const QString kCoverMask = QStringLiteral("cover.jpg cover.jpeg cover.png folder.jpg folder.jpeg "
                                          "folder.png front.jpg front.jpeg front.png");
const QString kCueMask = QStringLiteral("*.cue");

const QString kSourceChanged = QStringLiteral("the source changed");

QString fileName(const QString& relative) {
    return relative.mid(relative.lastIndexOf(u'/') + 1);
}

QString folderOf(const QString& relative) {
    return relative.left(std::max<qsizetype>(0, relative.lastIndexOf(u'/')));
}

// Why a source's output is not up to date; empty when it is.
QString staleness(const RecordEntry* entry, const SourceFile& source, const QString& options,
                  const QString& output, const PlanInputs& inputs) {
    if (!entry || entry->output != output)
        return QStringLiteral("new");
    if (!inputs.outputExists(output))
        return QStringLiteral("its output is missing");
    if (entry->size != source.facts.size || entry->modifiedNs != source.facts.modifiedNs)
        return kSourceChanged;
    if (entry->options != options)
        return options == kCopied || entry->options == kCopied
                   ? QStringLiteral("--transcode-lossy changed")
                   : QStringLiteral("the encoder options changed");
    return {};
}

// The same for a track of an album: a change of its sheet converts the album's tracks again.
QString trackStaleness(const RecordEntry* entry, const PlannedFile& file,
                       const PlanInputs& inputs) {
    QString why = staleness(entry, file.source, inputs.options, file.output, inputs);
    if (!why.isEmpty() && why != QStringLiteral("the encoder options changed"))
        return why;
    if (!(entry->album == file.album))
        return QStringLiteral("the cue sheet changed");
    return why;
}

// The folders whose cue sheets are not as the record has them: a sheet came, changed or went.
QSet<QString> foldersWithNewSheets(const PlanInputs& inputs) {
    QSet<QString> folders;
    for (const auto& [sheet, facts] : inputs.sheets) {
        const auto known = inputs.record.sheets.find(sheet);
        if (known == inputs.record.sheets.end() || !(known->second == facts))
            folders.insert(folderOf(sheet));
    }
    for (const auto& [sheet, facts] : inputs.record.sheets) {
        if (inputs.sheets.count(sheet) == 0)
            folders.insert(folderOf(sheet));
    }
    return folders;
}

// The recorded tracks of a source.
std::vector<const RecordEntry*> recordedTracks(const QString& source, const Record& record) {
    std::vector<const RecordEntry*> tracks;
    for (auto it = record.files.lower_bound({source, 1});
         it != record.files.end() && it->first.source == source; ++it)
        tracks.push_back(&it->second);
    return tracks;
}

// Whether the recorded tracks are the whole album, made from the source and its sheet as they
// are now, with these options, and their outputs there: then they are up to date, and neither
// the sheet nor the source is read.
bool albumUpToDate(const std::vector<const RecordEntry*>& tracks, const SourceFile& source,
                   const PlanInputs& inputs) {
    if (tracks.empty() || int(tracks.size()) != tracks.front()->album.tracks)
        return false;
    const TrackFacts& album = tracks.front()->album;
    for (const RecordEntry* track : tracks) {
        if (track->size != source.facts.size || track->modifiedNs != source.facts.modifiedNs ||
            track->options != inputs.options || track->album.sheet != album.sheet ||
            track->album.sheetSize != album.sheetSize ||
            track->album.sheetModifiedNs != album.sheetModifiedNs ||
            !inputs.outputExists(track->output))
            return false;
    }
    const auto sheet =
        album.sheet == source.relative ? std::optional(source.facts) : inputs.facts(album.sheet);
    return sheet && sheet->size == album.sheetSize && sheet->modifiedNs == album.sheetModifiedNs;
}

// One output that a source gives: the whole source's, or one track's.
struct Unit {
    std::optional<selection::QueuedTrack> track = {};
    TrackFacts album = {};
    QString output;
};

// The source folder's path, ending in a separator.
QString sourceRoot(const SourceFile& source) {
    return source.path.left(source.path.size() - source.relative.size());
}

// The outputs of a source that the encoders convert.
std::vector<Unit> unitsOf(const SourceFile& source, const PlanInputs& inputs,
                          const QSet<QString>& newSheets) {
    const auto tracks = recordedTracks(source.relative, inputs.record);
    const bool sheetsAsRecorded = !newSheets.contains(source.relativeFolder);
    std::vector<Unit> units;
    if (sheetsAsRecorded && albumUpToDate(tracks, source, inputs)) {
        for (const RecordEntry* entry : tracks)
            units.push_back(
                {.track = selection::QueuedTrack{.number = entry->track,
                                                 .sheet = sourceRoot(source) + entry->album.sheet,
                                                 .title = entry->album.title},
                 .album = entry->album,
                 .output = entry->output});
        return units;
    }
    const auto whole = inputs.record.files.find({source.relative, 0});
    const bool wholeAsRecorded = whole != inputs.record.files.end() &&
                                 whole->second.size == source.facts.size &&
                                 whole->second.modifiedNs == source.facts.modifiedNs;
    if (sheetsAsRecorded && tracks.empty() && wholeAsRecorded)
        return {{.output = inputs.convertedName(source)}};
    const std::vector<selection::QueuedFile> queued = inputs.queued(source);
    for (const selection::QueuedFile& file : queued) {
        if (!file.track) {
            units.push_back({.output = inputs.convertedName(source)});
            continue;
        }
        const QString sheet = file.track->sheet.mid(sourceRoot(source).size());
        const auto facts =
            sheet == source.relative ? std::optional(source.facts) : inputs.facts(sheet);
        units.push_back({.track = file.track,
                         .album = {.title = file.track->title,
                                   .tracks = int(queued.size()),
                                   .sheet = sheet,
                                   .sheetSize = facts ? facts->size : -1,
                                   .sheetModifiedNs = facts ? facts->modifiedNs : -1},
                         .output = inputs.trackName(source, *file.track)});
    }
    return units;
}

// The other encoded tracks of a folder where one is converted again, or one went, get the
// album's gain anew. An album that a cue sheet cuts out of one file has its gain from the
// batch that converts its tracks.
void markAlbums(Plan& plan, const Record& record) {
    QSet<QString> changed;
    for (const PlannedFile& file : plan.files) {
        if (file.action == Action::Convert && !file.track)
            changed.insert(file.source.relativeFolder);
    }
    for (const RecordEntry& gone : plan.withoutSource) {
        if (gone.options != kCopied && gone.track == 0)
            changed.insert(folderOf(gone.source));
    }
    for (PlannedFile& file : plan.files) {
        const auto entry = record.files.find(file.key());
        file.albumGain = (file.action == Action::UpToDate || file.action == Action::UpdateTags) &&
                         !file.track && entry != record.files.end() &&
                         entry->second.options != kCopied &&
                         changed.contains(file.source.relativeFolder);
    }
}

bool copiedAsItIs(const SourceFile& source, const PlanInputs& inputs) {
    const QString name = fileName(source.relative);
    return isCover(name) || (isLossy(name) && !inputs.transcodeLossy);
}

// A plan in the making, once every source's output names are known.
struct Planning {
    const PlanInputs& inputs;
    QHash<QString, int> holders; // how many sources give each output name
    Plan plan = {};
    std::vector<RecordEntry> renamed = {};

    void source(const SourceFile& source, const std::vector<Unit>& units) {
        std::set<RecordKey> planned;
        for (const Unit& unit : units) {
            PlannedFile file{
                .source = source, .track = unit.track, .album = unit.album, .output = unit.output};
            planned.insert(file.key());
            const auto found = inputs.record.files.find(file.key());
            const RecordEntry* entry =
                found == inputs.record.files.end() ? nullptr : &found->second;
            if (holders.value(file.output) > 1) {
                file.action = Action::Clash;
                file.why = QStringLiteral("another source has the output name ") + file.output;
            } else if (file.track) {
                track(file, entry);
            } else {
                whole(file, entry);
            }
            plan.files.push_back(std::move(file));
        }
        wholeAlbum(units.size());
        superseded(source.relative, planned);
    }

    // An album's tracks are converted together, so that the batch gives them one album gain.
    void wholeAlbum(std::size_t count) {
        const auto tracks = plan.files.end() - std::ptrdiff_t(count);
        const auto converted = [](const PlannedFile& file) {
            return file.track && file.action == Action::Convert;
        };
        if (std::none_of(tracks, plan.files.end(), converted))
            return;
        for (auto file = tracks; file != plan.files.end(); ++file) {
            if (file->track && file->action == Action::UpToDate) {
                file->action = Action::Convert;
                file->why = QStringLiteral("another track of its album is converted");
            }
        }
    }

    void track(PlannedFile& file, const RecordEntry* entry) {
        file.why = trackStaleness(entry, file, inputs);
        file.action = file.why.isEmpty() ? Action::UpToDate : Action::Convert;
        if (entry && entry->output != file.output && !holders.contains(entry->output))
            plan.superseded.push_back(*entry);
    }

    void whole(PlannedFile& file, const RecordEntry* entry) {
        const bool copied = copiedAsItIs(file.source, inputs);
        file.why =
            staleness(entry, file.source, copied ? kCopied : inputs.options, file.output, inputs);
        file.action = file.why.isEmpty() ? Action::UpToDate
                      : copied           ? Action::Copy
                                         : Action::Convert;
        if (file.why == kSourceChanged && !copied && entry->options == inputs.options &&
            !entry->audio.isEmpty() && inputs.audioDigest(file.source) == entry->audio) {
            file.action = Action::UpdateTags;
            file.why = QStringLiteral("only its tags changed");
            file.audio = entry->audio;
        }
        if (file.action == Action::Convert && entry && entry->output != file.output)
            renamed.push_back(*entry);
    }

    // What the source gave before and gives no more: the whole file's MP3 of an album, an
    // album's tracks of a whole file again, a track its sheet dropped.
    void superseded(const QString& source, const std::set<RecordKey>& planned) {
        for (auto it = inputs.record.files.lower_bound({source, 0});
             it != inputs.record.files.end() && it->first.source == source; ++it) {
            if (planned.count(it->first) > 0)
                continue;
            if (holders.contains(it->second.output))
                plan.forget.push_back(it->first);
            else
                plan.superseded.push_back(it->second);
        }
    }

    // The entries of sources that are gone and of names that sources left.
    void gone(const QSet<QString>& seen) {
        // A source whose tags now give another name leaves its old output without a source,
        // unless another source takes that name now.
        for (const RecordEntry& entry : renamed) {
            if (!holders.contains(entry.output))
                plan.withoutSource.push_back(entry);
        }
        for (const auto& [key, entry] : inputs.record.files) {
            if (seen.contains(key.source) || !inputs.sourceGone(key.source))
                continue;
            if (holders.contains(entry.output))
                plan.forget.push_back(key);
            else
                plan.withoutSource.push_back(entry);
        }
        for (const auto& [output, entry] : inputs.record.leftovers) {
            if (holders.contains(output))
                plan.forgetLeftovers.push_back(output);
            else
                plan.leftovers.push_back(entry);
        }
    }
};

} // namespace

QString PlannedFile::label() const {
    if (!track)
        return source.relative;
    selection::QueuedFile file{.name = source.relative, .path = source.relative, .track = track};
    return encode::shownSource(file);
}

QString syncMask() {
    return selection::kEncodeMask + u' ' + kLossyMask + u' ' + kCoverMask + u' ' + kCueMask;
}

bool isLossy(const QString& name) {
    return platform::nameMatches(kLossyMask, name);
}

bool isCover(const QString& name) {
    return platform::nameMatches(kCoverMask, name);
}

bool isCueSheet(const QString& name) {
    return platform::nameMatches(kCueMask, name);
}

Plan makePlan(const PlanInputs& inputs) {
    const QSet<QString> newSheets = foldersWithNewSheets(inputs);
    // Each source's output names first: every source of a name that two or more share is left
    // out, so that none replaces another whichever comes first. Letter case as written: the
    // destination's file system tells it.
    Planning planning{.inputs = inputs, .holders = {}};
    std::vector<std::vector<Unit>> units;
    for (const SourceFile& source : inputs.sources) {
        units.push_back(copiedAsItIs(source, inputs)
                            ? std::vector<Unit>{{.output = source.relative}}
                            : unitsOf(source, inputs, newSheets));
        for (const Unit& unit : units.back())
            ++planning.holders[unit.output];
    }
    QSet<QString> seen;
    for (std::size_t i = 0; i < inputs.sources.size(); ++i) {
        seen.insert(inputs.sources[i].relative);
        planning.source(inputs.sources[i], units[i]);
    }
    planning.gone(seen);
    markAlbums(planning.plan, inputs.record);
    return std::move(planning.plan);
}

} // namespace mirror
