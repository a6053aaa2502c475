#pragma once

#include "naming/engine/name_pattern.h"
#include "tools/encoders/core/wav_tags.h"

#include <filesystem>
#include <string>
#include <string_view>

// A source's name fields from its tags, and from its own path where a tag is missing.
namespace naming {

// The fields of `tags`, a missing one taken from the source's path (/lib/Artist/Album/03 x.flac):
// {title} the file name less its extension and a leading number ("x"; the whole name when
// nothing else is left), {track} that leading number ("03"), {album} the folder's name
// ("Album"), {artist} the folder above ("Artist"), {albumartist} the artist tag, else that
// folder too; {disc}, {year} and {genre} stay empty. A date gives its year ("2001-05-03": 2001).
NameFields fieldsOf(const encoders::Tags& tags, const std::filesystem::path& source);

// The source's tags as the encoders read them (the tags its MP3 gets), as fields.
NameFields readNameFields(const std::filesystem::path& source);

// The name of the source's output below the output folder: the pattern over its fields.
std::string nameFromTags(const NamePattern& pattern, const std::filesystem::path& source,
                         std::string_view extension = ".mp3");

} // namespace naming
