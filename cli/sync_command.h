#pragma once

#include "app/engine/stored_settings.h"
#include "cli/cli_options.h"

// `sonabox sync SOURCE DEST` on a terminal: the mirror's plan or its work, the encode batch's
// per-file lines and events, and a last line with the counts. Returns the exit status.
namespace cli {

int runSync(const CliArguments& arguments, const app::StoredSettings& stored,
            const QString& programDir);

} // namespace cli
