#pragma once

#include <QByteArray>
#include <QListWidget>
#include <QString>

#include <functional>
#include <initializer_list>

class QComboBox;
class QWidget;

// What a user does with the mouse and keyboard, for the GUI tests.
namespace testsupport {

// Selects exactly these rows: a click on the first, Ctrl+click on the others.
void selectRows(QListWidget& list, std::initializer_list<int> rows);

// The texts of a list's entries.
QStringList rowTexts(const QListWidget& list);

// The texts of a combo box's entries.
QStringList entryTexts(const QComboBox& box);

// Chooses an entry of a combo box the way the user does, from its list.
void chooseEntry(QComboBox& box, int index);

// Clicks a button as the user does.
void click(QWidget* button);

// A file's content; empty when it can't be read.
QByteArray fileContent(const QString& path);

// Saves a picture of the widget under the build's screenshot folder; false when it can't.
bool saveScreenshot(QWidget* widget, const QString& name);

// Runs `action` on the next modal window as soon as it is up. Use it before the click that
// opens the window: the click returns only when the window has closed again.
void whenModal(std::function<void(QWidget*)> action);

} // namespace testsupport
