#pragma once

#include "app/engine/stored_settings.h"
#include "cli/cli_options.h"

// The encode and decode batches on a terminal: the same drivers as the window, their progress
// and results on standard error (and standard output with --json). Each returns the exit status.
namespace cli {

// Exit statuses.
constexpr int kAllDone = 0;
constexpr int kSomeFailed = 1;
constexpr int kUsage = 2;
constexpr int kInterrupted = 130;

int runEncode(const CliArguments& arguments, const app::StoredSettings& stored,
              const QString& programDir);
int runDecode(const CliArguments& arguments, const app::StoredSettings& stored,
              const QString& programDir);

} // namespace cli
