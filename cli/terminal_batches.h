#pragma once

#include "app/engine/stored_settings.h"
#include "cli/cli_options.h"
#include "encode/engine/encode_driver.h"

#include <memory>

namespace platform {
class InterruptSignal;
}

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
class BatchReport;

// An encode batch's progress on the terminal, as runEncode shows it; Ctrl+C cancels the running
// file.
std::unique_ptr<encode::EncodeProgress>
terminalEncodeProgress(BatchReport& report, platform::InterruptSignal& interrupt);

int runDecode(const CliArguments& arguments, const app::StoredSettings& stored,
              const QString& programDir);

} // namespace cli
