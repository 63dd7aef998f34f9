#include "app/Declarations.h"
#include "app/MDIForm1.h"
#include "common/Clock.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    // The shared state and the clock outlive the window that uses them.
    Declarations d;
    d.AppFolder = QCoreApplication::applicationDirPath();
    SystemClock clock;

    MDIForm1 window(d, clock);
    window.Load();
    window.showMaximized();
    return app.exec();
}
