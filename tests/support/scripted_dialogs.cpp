#include "tests/support/scripted_dialogs.h"

#include <stdexcept>

namespace testsupport {

void ScriptedDialogs::message(QWidget* parent, widgets::MessageIcon icon, const QString& caption,
                              const QString& text) {
    message(parent, icon, caption, text, QString());
}

void ScriptedDialogs::message(QWidget*, widgets::MessageIcon icon, const QString& caption,
                              const QString& text, const QString& details) {
    messages.push_back({icon, caption, text, details});
    if (onMessage)
        onMessage(messages.back());
}

std::optional<QString> ScriptedDialogs::textInput(QWidget*, const QString& caption,
                                                  const QString& prompt) {
    textPrompts.emplace_back(caption, prompt);
    if (textAnswers.empty())
        throw std::logic_error("test gave no answer for a text input");
    auto answer = textAnswers.front();
    textAnswers.pop_front();
    return answer;
}

void ScriptedDialogs::openUrl(const QUrl& target) {
    opened.push_back(target);
}

void ScriptedDialogs::reset() {
    messages.clear();
    textPrompts.clear();
    textAnswers.clear();
    opened.clear();
}

QStringList ScriptedDialogs::messageTexts() const {
    QStringList texts;
    for (const ShownMessage& shown : messages)
        texts.append(shown.text);
    return texts;
}

} // namespace testsupport
