#include "sync/engine/sync_plan.h"

#include "platform/directory_listing.h"
#include "selection/engine/queue_paths.h"

#include <QSet>

namespace mirror {

namespace {

const QString kLossyMask = QStringLiteral("*.mp3 *.mp2");
const QString kCoverMask = QStringLiteral("cover.jpg cover.jpeg cover.png folder.jpg folder.jpeg "
                                          "folder.png front.jpg front.jpeg front.png");

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
        return QStringLiteral("the source changed");
    if (entry->options != options)
        return options == kCopied || entry->options == kCopied
                   ? QStringLiteral("--transcode-lossy changed")
                   : QStringLiteral("the encoder options changed");
    return {};
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
    QSet<QString> outputs; // letter case as written: the destination's file system tells it
    for (const SourceFile& source : inputs.sources) {
        seen.insert(source.relative);
        const QString name = fileName(source.relative);
        const bool copied = isCover(name) || (isLossy(name) && !inputs.transcodeLossy);
        PlannedFile file{.source = source,
                         .output = copied ? source.relative : inputs.convertedName(source)};
        if (outputs.contains(file.output)) {
            file.action = Action::Clash;
            file.why = QStringLiteral("another source has the output name ") + file.output;
            plan.files.push_back(std::move(file));
            continue;
        }
        outputs.insert(file.output);
        const auto found = inputs.record.find(source.relative);
        const RecordEntry* entry = found == inputs.record.end() ? nullptr : &found->second;
        file.why = staleness(entry, source, copied ? kCopied : inputs.options, file.output, inputs);
        file.action = file.why.isEmpty() ? Action::UpToDate
                      : copied           ? Action::Copy
                                         : Action::Convert;
        plan.files.push_back(std::move(file));
    }
    for (const auto& [relative, entry] : inputs.record) {
        if (seen.contains(relative) || !inputs.sourceGone(relative))
            continue;
        if (outputs.contains(entry.output))
            plan.forget.push_back(relative);
        else
            plan.withoutSource.push_back(entry);
    }
    return plan;
}

} // namespace mirror
