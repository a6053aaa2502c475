#pragma once

#include "selection/engine/batch_estimate.h"
#include "selection/engine/queued_file.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <optional>
#include <vector>

// What a batch on the command line tells as it goes: on a terminal one line per file that
// updates in place, otherwise plain lines, on standard error; with --json also one JSON object
// per event on standard output.
namespace cli {

class BatchReport {
public:
    BatchReport(const QString& doing, std::vector<double> seconds, bool json);

    void started(int position, int count, const QString& source, const QString& output);
    // The running file has reached `fraction` of its audio.
    void progress(double fraction);
    // `note`: what the encoder told about a done file, shown after its output.
    void finished(const QString& source, const QString& output, selection::FileOutcome outcome,
                  const QString& reason, const QString& note = {});
    // A file told done failed after all: the album gain could not be written into its MP3.
    void albumFailed(const QString& source, const QString& output, const QString& reason);
    void batchDone(int files, int done, int failed, bool interrupted);
    // A line of its own on standard error (a message box's text on the window).
    void say(const QString& text);

private:
    void drawLine();
    void endLine();
    void emitJson(const QJsonObject& object);

    QString doing_;
    selection::BatchEstimate estimate_;
    QElapsedTimer clock_;
    QElapsedTimer fileClock_;
    bool json_;
    bool terminal_;
    bool lineOpen_ = false;
    int position_ = 0;
    int count_ = 0;
    QString name_;
    double fraction_ = 0;
    int lastPercent_ = -1;
};

// The verdict words of --json and the plain lines.
QString outcomeWord(selection::FileOutcome outcome);

} // namespace cli
