#pragma once

#include <taglib/id3v2tag.h>
#include <taglib/tfile.h>

#include <filesystem>
#include <memory>

namespace encoders {

// A DSDIFF (.dff) file as TagLib sees it: the ID3v2 tag that tools keep in an "ID3 " chunk of
// its FRM8 form, where FFmpeg reads only the DIIN chunk's title and artist. The tag is empty
// when the file holds no such chunk; the file is read, never written.
class DsdiffFile : public TagLib::File {
public:
    explicit DsdiffFile(const std::filesystem::path& path);
    ~DsdiffFile() override;
    DsdiffFile(const DsdiffFile&) = delete;
    DsdiffFile& operator=(const DsdiffFile&) = delete;

    TagLib::ID3v2::Tag* tag() const override { return tag_.get(); }
    TagLib::AudioProperties* audioProperties() const override { return nullptr; }
    bool save() override { return false; }

private:
    std::unique_ptr<TagLib::ID3v2::Tag> tag_;
};

} // namespace encoders
