#pragma once

#include <initializer_list>

class QAction;
class QWidget;

namespace app {

// Lets the action's shortcut reach the action while the focus is in one of these widgets, which
// would otherwise keep the key for themselves (an editable combo box takes Ctrl+X as Cut). An
// editable combo box's line edit is covered with its box.
void giveShortcutPriority(QAction& action, std::initializer_list<QWidget*> widgets);

} // namespace app
