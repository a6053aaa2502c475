#include "app/sonabox_application.h"

#include "widgets/error_report.h"

#include <QFont>
#include <QStyleFactory>

namespace app {

SonaboxApplication::SonaboxApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(widgets::kApplicationTitle);
    // One style and an 8-point sans-serif font everywhere keep the fixed pixel layout of the
    // windows the same on every desktop.
    setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
}

} // namespace app
