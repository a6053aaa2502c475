#include "decode/mp3_preview.h"

#include "mpegplay/mpeg_player.h"
#include "selection/file_list.h"
#include "widgets/flat_button.h"

#include <QListWidget>

namespace decode {

namespace {
constexpr int kBrowserSide = 1;
constexpr int kQueueSide = 2;
} // namespace

Mp3Preview::Mp3Preview(TMPEGPlayer& decod, widgets::FlatButton& decplay,
                       selection::FileList& decflist, QListWidget& decodelist,
                       const QStringList& fullname)
    : decod_(decod), state_(decplay), decflist_(decflist), decodelist_(decodelist),
      fullname_(fullname) {}

void Mp3Preview::decplayClick() {
    if (decflist_.currentRow() >= 0)
        play(kBrowserSide, decflist_.fileName());
}

void Mp3Preview::decplay1Click() {
    if (decodelist_.currentRow() >= 0)
        play(kQueueSide, fullname_.value(decodelist_.currentRow()));
}

void Mp3Preview::decpauseClick() {
    pause(kBrowserSide);
}

void Mp3Preview::decpause1Click() {
    pause(kQueueSide);
}

void Mp3Preview::decstopClick() {
    stop(kBrowserSide);
}

void Mp3Preview::decstop1Click() {
    stop(kQueueSide);
}

void Mp3Preview::play(int side, const QString& file) {
    decod_.setOutputDevice(TOutputDevice::wavemapper);
    if (decod_.Paused() && state_.tag() == side) {
        decod_.setPaused(false);
        return;
    }
    decod_.setStreamName(file);
    decod_.Play();
    state_.setTag(side);
}

void Mp3Preview::pause(int side) {
    if (state_.tag() == side)
        decod_.setPaused(true);
}

void Mp3Preview::stop(int side) {
    if (state_.tag() != side)
        return;
    decod_.Stop();
    state_.setTag(0);
}

} // namespace decode
