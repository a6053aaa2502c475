#include "decode/dec_form.h"

#include "widgets/flat_button.h"
#include "widgets/window_geometry.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>

namespace decode {

namespace {

// The designed client area, and the row of the Cancel button below it.
constexpr int kDesignWidth = 225;
constexpr int kHeight = 73 + 28;

QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y, int width) {
    auto* widget = new QLabel(text, parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setTextFormat(Qt::PlainText);
    widget->setGeometry(x, y, width > 0 ? width : widget->sizeHint().width(),
                        widget->sizeHint().height());
    return widget;
}

} // namespace

TDecForm::TDecForm(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("DecForm"));
    setWindowTitle(QStringLiteral("Decoding..."));
    setFixedSize(kDesignWidth, kHeight);
    Label1 = label(this, "Label1", QStringLiteral("Decoding "), 8, 8, 0);
    decinfile = label(this, "decinfile", QString(), 64, 8, 161);
    Label2 = label(this, "Label2", QStringLiteral("to "), 8, 24, 0);
    decoutfile = label(this, "decoutfile", QString(), 24, 24, 193);
    decprogress = new QProgressBar(this);
    decprogress->setObjectName(QStringLiteral("decprogress"));
    decprogress->setGeometry(8, 48, 209, 17);
    decprogress->setRange(0, 100);
    decprogress->setTextVisible(false);
    decprogress->setAccessibleName(QStringLiteral("Decoding progress"));
    cancel = new widgets::FlatButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setGeometry(75, 76, 75, 21);
    cancel->setAccessibleName(QStringLiteral("Cancel decoding"));
    connect(cancel, &QAbstractButton::clicked, this, &TDecForm::reject);
    // Wider for a longer caption: the rows grow, Cancel stays in the middle.
    widgets::keepProgressWindowUsable(*this, *cancel, kDesignWidth, [this](int width) {
        const int extra = width - kDesignWidth;
        setFixedSize(width, kHeight);
        decinfile->resize(161 + extra, decinfile->height());
        decoutfile->resize(193 + extra, decoutfile->height());
        decprogress->resize(209 + extra, decprogress->height());
        cancel->move((width - cancel->width()) / 2, cancel->y());
    });
    decinfile->setAccessibleDescription(QStringLiteral("The MPEG file being decoded"));
    decoutfile->setAccessibleDescription(QStringLiteral("The WAV file being written"));
}

void TDecForm::reject() {
    cancelRequested_ = true;
    cancel->setEnabled(false);
}

void TDecForm::closeEvent(QCloseEvent* event) {
    event->ignore();
}

QPoint centredOverMain(const QRect& mainOuter, const QSize& windowOuter) {
    return {mainOuter.left() + (mainOuter.width() - windowOuter.width()) / 2,
            mainOuter.top() + (mainOuter.height() - windowOuter.height()) / 2};
}

} // namespace decode
