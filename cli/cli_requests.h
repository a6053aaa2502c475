#pragma once

#include "app/engine/stored_settings.h"
#include "cli/cli_options.h"
#include "decode/engine/decode_driver.h"
#include "encode/engine/encode_driver.h"
#include "naming/engine/name_pattern.h"

#include <optional>

// The batch requests of a command line: its words where given, the settings file's choices as
// the window would use them where not. Both throw UsageError.
namespace cli {

encode::EncodeBatchRequest encodeRequest(const CliArguments& arguments,
                                         const app::StoredSettings& stored,
                                         const QString& programDir);

// The encode request of a command line over files that the caller found, into `outputDirectory`
// (which ends in a separator).
encode::EncodeBatchRequest encodeRequestFor(const CliArguments& arguments,
                                            const app::StoredSettings& stored,
                                            const QString& programDir,
                                            std::vector<selection::QueuedFile> files,
                                            const QString& outputDirectory);

// The --names pattern of a command line, nothing when none was given; a bad one is refused.
std::optional<naming::NamePattern> namePattern(const QString& text);

decode::DecodeBatchRequest decodeRequest(const CliArguments& arguments,
                                         const app::StoredSettings& stored);

} // namespace cli
