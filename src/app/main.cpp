#include "acquisition/Acquisition.h"
#include "acquisition/QtSerialPortService.h"
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
    // The serial port and the acquisition control are destroyed before the
    // window, so leaving the program in the middle of a scan releases the
    // port first.
    QtSerialPortService port(d.AppFolder);
    Acquisition acquisition(d, window, port, *window.TimerTimeoutCom());
    window.Attach(acquisition);
    window.showMaximized();
    return app.exec();
}
