#pragma once

#include <QStringList>

class QListWidget;

namespace platform {
class MediaPlayer;
}
namespace selection {
class FileList;
}

namespace encode {

// The Encode page's two rows of Play, Pause and Stop: side 1 plays the file list's current
// file, side 2 the queue's current entry. The player's tag records which side started the
// preview, so that each side's Pause and Stop act only on its own preview.
class WavPreview {
public:
    WavPreview(platform::MediaPlayer& wavplayer, selection::FileList& encflist,
               QListWidget& encodelist, const QStringList& fullname);

    void encplayClick();
    void encpauseClick();
    void encstopClick();
    void encplay2Click();
    void encpause2Click();
    void encstop2Click();

    // Ends any preview, as switching between the work pages does.
    void stopAndClose();

private:
    void play(int side, const QString& file);
    void pause(int side);
    void stop(int side);

    platform::MediaPlayer& wavplayer_;
    selection::FileList& encflist_;
    QListWidget& encodelist_;
    const QStringList& fullname_;
};

} // namespace encode
