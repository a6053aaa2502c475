#pragma once

#include <QApplication>

namespace app {

// The GUI application with the program's title, style and font.
class SonaboxApplication : public QApplication {
    Q_OBJECT
public:
    SonaboxApplication(int& argc, char** argv);
};

} // namespace app
