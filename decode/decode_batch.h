#pragma once

#include <QStringList>

#include <memory>

class QLabel;
class QListWidget;
class QTimer;
class QWidget;
class TMPEGPlayer;

namespace widgets {
class FlatButton;
}

namespace decode {

class TDecForm;

// The main window's parts that the decode batch reads and changes.
struct DecodeBatchWidgets {
    QWidget& mainWindow;
    QListWidget& decodelist;
    QStringList& fullname;
    QLabel& decout;
    TMPEGPlayer& decod;
    QTimer& mpgtimer;
    widgets::FlatButton& decplay; // its tag is the MP3 preview state
};

// The Decode button: decodes every queued file, one after another, into a WAV file in the
// decoder output directory, behind a progress window, while the main window is disabled. The
// main window's timer polls the player and ends each file.
class DecodeBatch {
public:
    explicit DecodeBatch(DecodeBatchWidgets widgets);
    ~DecodeBatch();

    void decstartClick();
    void mpgtimerTimer();
    void decodPosUpdate(int Pos, int Len);
    void decodPlayEnd();

    // True from just before a file's start until the batch has seen it finish.
    bool DecodeActive() const { return DecodeActive_; }
    // The progress window of the batch that runs, or nothing.
    TDecForm* DecForm() const { return DecForm_.get(); }

private:
    // Decodes one queue entry; false when the player failed while it decoded.
    bool decodeEntry(int index);
    QString outputPath(int index) const;
    void dropFirstEntries(int count);
    void endFile();
    void stopRunningPreview();
    void giveBackMainWindow();

    DecodeBatchWidgets w_;
    std::unique_ptr<TDecForm> DecForm_;
    bool DecodeActive_ = false;
    bool tickFailed_ = false;
};

} // namespace decode
