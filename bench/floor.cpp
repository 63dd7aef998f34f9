// tarvek-floor [X Y]: the least a Qt Widgets window with TARVEK's status bar
// costs. A main window of the same size with the same seven sunken panels
// (same stretch, same fixed texts) and a 200 ms timer that writes the date
// and time into panel 6 when the second has changed: what the clock alone
// costs in this toolkit, on this display. xvfb.sh runs it beside the program,
// at X, Y on the screen, and measures the program against it.
#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("floor"));
    window.resize(1024, 720);

    QStatusBar* bar = window.statusBar();
    bar->setSizeGripEnabled(false);
    static constexpr int stretch[] = {1, 1, 2, 2, 5, 5, 3};
    const QString texts[] = {{},
                             {},
                             QStringLiteral("Ver. 05-02-08"),
                             QStringLiteral("Com: 1"),
                             QStringLiteral(" Acquisition in stand by "),
                             {},
                             QStringLiteral("Powered by: ORVELLA")};
    QLabel* panels[7];
    for (int i = 0; i < 7; ++i) {
        panels[i] = new QLabel(texts[i], bar);
        panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panels[i]->setTextFormat(Qt::PlainText);
        panels[i]->setMinimumWidth(24);
        bar->addPermanentWidget(panels[i], stretch[i]);
    }

    QString last;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const QDateTime now = QDateTime::currentDateTime();
        const QString time = now.toString(QStringLiteral("hh:mm:ss"));
        if (time == last)
            return;
        last = time;
        panels[5]->setText(now.toString(QStringLiteral("dd-MM-yyyy")) + QStringLiteral("     ") + time);
    });
    timer.start(200);
    const QStringList args = app.arguments();
    if (args.size() == 3)
        window.move(args[1].toInt(), args[2].toInt());
    window.showMaximized();
    return app.exec();
}
