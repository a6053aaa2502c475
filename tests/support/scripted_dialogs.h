#pragma once

#include "widgets/dialogs.h"

#include <QString>
#include <QUrl>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace testsupport {

struct ShownMessage {
    widgets::MessageIcon icon;
    QString caption;
    QString text;
    QString details;
};

// Answers the program's dialogs in tests: records every message box (OK is the only answer),
// answers text inputs from a queue (an empty optional is Cancel) and records what the program
// handed to the desktop.
class ScriptedDialogs final : public widgets::Dialogs {
public:
    void message(QWidget* parent, widgets::MessageIcon icon, const QString& caption,
                 const QString& text) override;
    void message(QWidget* parent, widgets::MessageIcon icon, const QString& caption,
                 const QString& text, const QString& details) override;
    std::optional<QString> textInput(QWidget* parent, const QString& caption,
                                     const QString& prompt) override;
    void openUrl(const QUrl& target) override;

    // Forgets everything recorded so far.
    void reset();
    QStringList messageTexts() const;

    std::vector<ShownMessage> messages;
    std::vector<std::pair<QString, QString>> textPrompts; // caption, prompt
    std::deque<std::optional<QString>> textAnswers;
    std::vector<QUrl> opened;
    // Called while a message box would be up, e.g. to look at the windows at that moment.
    std::function<void(const ShownMessage&)> onMessage;
};

} // namespace testsupport
