#include "sync/engine/sync_plan.h"

#include "platform/directory_listing.h"
#include "selection/engine/queue_paths.h"

#include <QHash>
#include <QSet>

namespace mirror {

namespace {

const QString kLossyMask = QStringLiteral("*.mp3 *.mp2");
const QString kCoverMask = QStringLiteral("cover.jpg cover.jpeg cover.png folder.jpg folder.jpeg "
                                          "folder.png front.jpg front.jpeg front.png");

const QString kSourceChanged = QStringLiteral("the source changed");

QString fileName(const QString& relative) {
    return relative.mid(relative.lastIndexOf(u'/') + 1);
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

// The other encoded tracks of a folder where one is converted again, or one went, get the
// album's gain anew.
void markAlbums(Plan& plan, const Record& record) {
    QSet<QString> changed;
    for (const PlannedFile& file : plan.files) {
        if (file.action == Action::Convert)
            changed.insert(file.source.relativeFolder);
    }
    for (const RecordEntry& gone : plan.withoutSource) {
        if (gone.options != kCopied)
            changed.insert(gone.source.left(std::max<qsizetype>(0, gone.source.lastIndexOf(u'/'))));
    }
    for (PlannedFile& file : plan.files) {
        const auto entry = record.find(file.source.relative);
        file.albumGain = (file.action == Action::UpToDate || file.action == Action::UpdateTags) &&
                         entry != record.end() && entry->second.options != kCopied &&
                         changed.contains(file.source.relativeFolder);
    }
}

} // namespace

QString syncMask() {
    return selection::kEncodeMask + u' ' + kLossyMask + u' ' + kCoverMask;
}

bool isLossy(const QString& name) {
    return platform::nameMatches(kLossyMask, name);
}

bool isCover(const QString& name) {
    return platform::nameMatches(kCoverMask, name);
}

Plan makePlan(const PlanInputs& inputs) {
    Plan plan;
    QSet<QString> seen;
    // Each source's output name first: every source of a name that two or more share is left
    // out, so that none replaces another whichever comes first. Letter case as written: the
    // destination's file system tells it.
    std::vector<QString> names;
    QHash<QString, int> holders;
    std::vector<RecordEntry> renamed;
    for (const SourceFile& source : inputs.sources) {
        const QString name = fileName(source.relative);
        const bool copied = isCover(name) || (isLossy(name) && !inputs.transcodeLossy);
        names.push_back(copied ? source.relative : inputs.convertedName(source));
        ++holders[names.back()];
    }
    for (std::size_t i = 0; i < inputs.sources.size(); ++i) {
        const SourceFile& source = inputs.sources[i];
        seen.insert(source.relative);
        const QString name = fileName(source.relative);
        const bool copied = isCover(name) || (isLossy(name) && !inputs.transcodeLossy);
        PlannedFile file{.source = source, .output = names[i]};
        if (holders.value(file.output) > 1) {
            file.action = Action::Clash;
            file.why = QStringLiteral("another source has the output name ") + file.output;
            plan.files.push_back(std::move(file));
            continue;
        }
        const auto found = inputs.record.find(source.relative);
        const RecordEntry* entry = found == inputs.record.end() ? nullptr : &found->second;
        file.why = staleness(entry, source, copied ? kCopied : inputs.options, file.output, inputs);
        file.action = file.why.isEmpty() ? Action::UpToDate
                      : copied           ? Action::Copy
                                         : Action::Convert;
        if (file.why == kSourceChanged && !copied && entry->options == inputs.options &&
            !entry->audio.isEmpty() && inputs.audioDigest(source) == entry->audio) {
            file.action = Action::UpdateTags;
            file.why = QStringLiteral("only its tags changed");
            file.audio = entry->audio;
        }
        if (file.action == Action::Convert && entry && entry->output != file.output)
            renamed.push_back(*entry);
        plan.files.push_back(std::move(file));
    }
    // A source whose tags now give another name leaves its old output without a source, unless
    // another source takes that name now.
    for (const RecordEntry& entry : renamed) {
        if (!holders.contains(entry.output))
            plan.withoutSource.push_back(entry);
    }
    for (const auto& [relative, entry] : inputs.record) {
        if (seen.contains(relative) || !inputs.sourceGone(relative))
            continue;
        if (holders.contains(entry.output))
            plan.forget.push_back(relative);
        else
            plan.withoutSource.push_back(entry);
    }
    markAlbums(plan, inputs.record);
    return plan;
}

} // namespace mirror
