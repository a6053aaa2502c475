#include "tests/support/gui_actions.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <memory>

namespace testsupport {

void selectRows(QListWidget& list, std::initializer_list<int> rows) {
    list.clearSelection();
    bool first = true;
    for (int row : rows) {
        const QRect place = list.visualItemRect(list.item(row));
        QTest::mouseClick(list.viewport(), Qt::LeftButton,
                          first ? Qt::NoModifier : Qt::ControlModifier, place.center());
        first = false;
    }
}

QStringList rowTexts(const QListWidget& list) {
    QStringList texts;
    for (int row = 0; row < list.count(); ++row)
        texts.append(list.item(row)->text());
    return texts;
}

QStringList entryTexts(const QComboBox& box) {
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts.append(box.itemText(i));
    return texts;
}

void chooseEntry(QComboBox& box, int index) {
    box.setCurrentIndex(index);
    emit box.activated(index);
}

void click(QWidget* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

QByteArray fileContent(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool saveScreenshot(QWidget* widget, const QString& name) {
    QDir().mkpath(SONABOX_SCREENSHOT_DIR);
    return widget->grab().save(QStringLiteral(SONABOX_SCREENSHOT_DIR "/") + name);
}

void whenModal(std::function<void(QWidget*)> action) {
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action = std::move(action), poll]() mutable {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
            action(modal);
            *poll = nullptr;
            return;
        }
        QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
}

} // namespace testsupport
