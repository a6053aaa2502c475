#include "encode/wav_preview.h"

#include "platform/media_player.h"
#include "selection/file_list.h"

#include <QListWidget>

namespace encode {

namespace {
constexpr int kBrowserSide = 1;
constexpr int kQueueSide = 2;
} // namespace

WavPreview::WavPreview(platform::MediaPlayer& wavplayer, selection::FileList& encflist,
                       QListWidget& encodelist, const QStringList& fullname)
    : wavplayer_(wavplayer), encflist_(encflist), encodelist_(encodelist), fullname_(fullname) {}

void WavPreview::encplayClick() {
    if (!encflist_.selectedItems().isEmpty())
        play(kBrowserSide, encflist_.fileName());
}

void WavPreview::encplay2Click() {
    if (!encodelist_.selectedItems().isEmpty())
        play(kQueueSide, fullname_.value(encodelist_.currentRow()));
}

void WavPreview::encpauseClick() {
    pause(kBrowserSide);
}

void WavPreview::encpause2Click() {
    pause(kQueueSide);
}

void WavPreview::encstopClick() {
    stop(kBrowserSide);
}

void WavPreview::encstop2Click() {
    stop(kQueueSide);
}

void WavPreview::play(int side, const QString& file) {
    wavplayer_.setFileName(file);
    wavplayer_.open();
    wavplayer_.play();
    wavplayer_.setTag(side);
}

void WavPreview::pause(int side) {
    if (wavplayer_.tag() == side)
        wavplayer_.pause();
}

void WavPreview::stop(int side) {
    if (wavplayer_.tag() != side)
        return;
    wavplayer_.stop();
    wavplayer_.close();
    wavplayer_.setTag(0);
}

void WavPreview::stopAndClose() {
    if (wavplayer_.tag() <= 0)
        return;
    // A preview whose file failed to open has nothing to stop; the page change must not fail.
    if (wavplayer_.isOpen())
        wavplayer_.stop();
    wavplayer_.close();
    wavplayer_.setTag(0);
}

} // namespace encode
