#include "acquisition/Acquisition.h"
#include "acquisition/QtSerialPortService.h"
#include "common/Clock.h"
#include "common/Declarations.h"
#include "ui/MDIForm1.h"

#include <QApplication>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace tarvek;

int main(int argc, char** argv) {
#ifdef Q_OS_UNIX
    // Files and folders the program creates keep group write: where the set-up
    // and data folders are shared by a group (an installed TARVEK's belong to
    // dialout), whoever of the group stores next must be able to continue a
    // data file or rewrite a status file that another member created.
    umask(umask(0) & ~mode_t{S_IWGRP});
#endif
    QApplication app(argc, argv);

    // The shared state and the clock outlive the window that uses them.
    Declarations state;
    state.AppFolder = QCoreApplication::applicationDirPath();
    SystemClock clock;

    MDIForm1 window(state, clock);
    window.Load();
    // The serial port and the acquisition control are destroyed before the
    // window, so leaving the program in the middle of a scan releases the
    // port first.
    QtSerialPortService port(state.AppFolder);
    Acquisition acquisition(state, window, port, *window.TimerTimeoutCom());
    window.Attach(acquisition);
    window.showMaximized();
    return app.exec();
}
