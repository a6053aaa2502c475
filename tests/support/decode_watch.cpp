#include "tests/support/decode_watch.h"

#include "decode/dec_form.h"

#include <QCoreApplication>
#include <QEvent>
#include <QProgressBar>

namespace testsupport {

namespace {
constexpr const char* kWatched = "sonaboxTestWatched";
}

DecodeFileWatch::DecodeFileWatch(std::function<void(decode::TDecForm&)> started)
    : started_(std::move(started)) {
    QCoreApplication::instance()->installEventFilter(this);
}

DecodeFileWatch::~DecodeFileWatch() {
    QCoreApplication::instance()->removeEventFilter(this);
}

bool DecodeFileWatch::eventFilter(QObject* watched, QEvent* event) {
    // A batch makes its window anew for each press of Decode and shows it for each file.
    auto* form = event->type() == QEvent::Show ? qobject_cast<decode::TDecForm*>(watched) : nullptr;
    if (form && !form->property(kWatched).toBool()) {
        form->setProperty(kWatched, true);
        connect(form->decprogress, &QProgressBar::valueChanged, this, [this, form](int value) {
            if (value == 0)
                started_(*form);
        });
    }
    return false;
}

} // namespace testsupport
