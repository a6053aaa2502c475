#pragma once

#include "sync/engine/sync_plan.h"
#include "sync/engine/sync_record.h"

#include <QString>

#include <functional>
#include <map>
#include <vector>

namespace mirror {

struct SourceTree {
    std::vector<SourceFile> sources;
    std::map<QString, SheetFacts> sheets; // the cue sheets, below the top
};

// The source tree's files that a sync takes, with their facts (no file is opened); an
// unreadable folder is told and skipped. A folder that a symbolic link leads to inside the
// destination is left out: the outputs are no sources.
SourceTree walkSources(const QString& top, const QString& destination,
                       const std::function<void(const QString&)>& warn);

} // namespace mirror
