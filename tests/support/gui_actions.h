#pragma once

#include <QListWidget>
#include <QString>

#include <functional>
#include <initializer_list>

class QWidget;

// What a user does with the mouse and keyboard, for the GUI tests.
namespace testsupport {

// Selects exactly these rows: a click on the first, Ctrl+click on the others.
void selectRows(QListWidget& list, std::initializer_list<int> rows);

// The texts of a list's entries.
QStringList rowTexts(const QListWidget& list);

// Clicks a button as the user does.
void click(QWidget* button);

// Runs `action` on the next modal window as soon as it is up. Use it before the click that
// opens the window: the click returns only when the window has closed again.
void whenModal(std::function<void(QWidget*)> action);

} // namespace testsupport
