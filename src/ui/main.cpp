#include "acquisition/Acquisition.h"
#include "acquisition/DeviceSerialPortService.h"
#include "common/Clock.h"
#include "common/Declarations.h"
#include "ui/DesktopNotifier.h"
#include "ui/MDIForm1.h"

#include <QApplication>

using namespace tarvek;

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    // The shared state and the clock outlive the window that uses them.
    Declarations state;
    state.AppFolder = QCoreApplication::applicationDirPath();
    SystemClock clock;

    MDIForm1 window(state, clock);
    DesktopNotifier notifier(QDBusConnection::sessionBus());
    AlarmMonitor alarms(state, clock, &notifier);
    window.Load();
    alarms.ProgramStarted();
    // The serial port and the acquisition control are destroyed before the
    // window, so leaving the program in the middle of a scan releases the
    // port first.
    DeviceSerialPortService port(state.AppFolder);
    Acquisition acquisition(state, window, port);
    acquisition.WatchAlarms(&alarms);
    window.Attach(acquisition);
    window.showMaximized();
    return app.exec();
}
