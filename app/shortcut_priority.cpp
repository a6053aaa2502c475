#include "app/shortcut_priority.h"

#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace app {

namespace {

// Swallows the shortcut-override request for the action's key, unanswered: the text field never
// claims the key, so the shortcut map delivers it to the action.
class ShortcutPriority : public QObject {
public:
    explicit ShortcutPriority(QAction& action) : QObject(&action), action_(action) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride && action_.isEnabled() &&
            !action_.shortcut().isEmpty()) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (QKeySequence(key->keyCombination()) == action_.shortcut()) {
                event->ignore();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAction& action_;
};

} // namespace

void giveShortcutPriority(QAction& action, std::initializer_list<QWidget*> widgets) {
    auto* filter = new ShortcutPriority(action);
    for (QWidget* widget : widgets) {
        widget->installEventFilter(filter);
        // A combo box hands the request straight to its line edit, past the box's filters.
        if (auto* box = qobject_cast<QComboBox*>(widget); box && box->lineEdit())
            box->lineEdit()->installEventFilter(filter);
    }
}

} // namespace app
