#pragma once

#include <QStringList>

class QListWidget;
class TMPEGPlayer;

namespace selection {
class FileList;
}
namespace widgets {
class FlatButton;
}

namespace decode {

// The Decode page's two rows of Play, Pause and Stop on the MPEG player, to the sound card:
// side 1 plays the file list's current file, side 2 the queue's current entry. The tag of
// `decplay` records which side started the preview.
class Mp3Preview {
public:
    Mp3Preview(TMPEGPlayer& decod, widgets::FlatButton& decplay, selection::FileList& decflist,
               QListWidget& decodelist, const QStringList& fullname);

    void decplayClick();
    void decpauseClick();
    void decstopClick();
    void decplay1Click();
    void decpause1Click();
    void decstop1Click();

private:
    void play(int side, const QString& file);
    void pause(int side);
    void stop(int side);

    TMPEGPlayer& decod_;
    widgets::FlatButton& state_;
    selection::FileList& decflist_;
    QListWidget& decodelist_;
    const QStringList& fullname_;
};

} // namespace decode
