#pragma once

#include <QString>

#include <optional>

class QUrl;
class QWidget;

// Everything the program asks of the user through the desktop: message boxes, the text-input
// dialog and the viewer for documents. The program reaches them only through this interface,
// so that tests can answer them.
namespace widgets {

enum class MessageIcon { Error, Information, Stop };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A modal message box with a single OK button. A carriage return in the text breaks the line.
    virtual void message(QWidget* parent, MessageIcon icon, const QString& caption,
                         const QString& text) = 0;

    // The same box with a longer text that the user can unfold under the message.
    virtual void message(QWidget* parent, MessageIcon icon, const QString& caption,
                         const QString& text, const QString& details) = 0;

    // A modal text-input dialog with an empty field; nothing when the user cancels.
    virtual std::optional<QString> textInput(QWidget* parent, const QString& caption,
                                             const QString& prompt) = 0;

    // Hands a file or a link to the desktop's default application; not waited for. Where the
    // desktop has no program to hand it to, an error box says so.
    virtual void openUrl(const QUrl& target) = 0;
};

// The real dialogs of the desktop.
class QtDialogs final : public Dialogs {
public:
    void message(QWidget* parent, MessageIcon icon, const QString& caption,
                 const QString& text) override;
    void message(QWidget* parent, MessageIcon icon, const QString& caption, const QString& text,
                 const QString& details) override;
    std::optional<QString> textInput(QWidget* parent, const QString& caption,
                                     const QString& prompt) override;
    void openUrl(const QUrl& target) override;
};

// The program's own checks report in an error box captioned "Error".
void showError(Dialogs& dialogs, QWidget* parent, const QString& text);

} // namespace widgets
