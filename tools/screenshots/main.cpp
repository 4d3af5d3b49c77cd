// Renders the main window in both layouts, with a few table lines and live values, into PNG files for the
// README: tarnolux-screenshots <folder>. Runs on a settings store of its own and opens no serial port.
#include "connection/comlink.h"
#include "mainwindow/formmain.h"
#include "state/appstate.h"
#include "tables/tableset.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarnolux-screenshots <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir settings;
    if (!settings.isValid() || !QDir().mkpath(folder))
        return 1;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    AppState s;
    ComLink link(s);
    FormMain w(s, link);
    w.show();
    w.TimerDisplay_Timer(); // the first tick lays the window out
    s.options.showTable = true;
    w.setWindowHeight(7000);
    s.link.conStatus = 1;
    s.link.angleStatus = 3;
    for (int i = 0; i < 4; ++i) {
        s.link.angleX = 12.5 + i;
        s.link.angleY = -3.25 * i;
        w.XY2Table();
    }
    w.TimerDisplay_Timer();
    QCoreApplication::processEvents(); // the grid learns of new lines once per event-loop turn
    const bool orvelan = w.grab().toImage().save(folder + QStringLiteral("/orvelan.png"));

    s.options.modeTobar = true;
    s.link.portNum = 0; // not connected: the TOBAR poll goes nowhere
    w.TimerDisplay_Timer();
    s.link.portMode = 1;
    s.link.tobarValue = QStringLiteral("12.345");
    s.link.tobarStatus = 112;
    w.TimerDisplay_Timer();
    const bool tobar = w.grab().toImage().save(folder + QStringLiteral("/tobar.png"));
    w.close();
    if (!orvelan || !tobar) {
        std::fprintf(stderr, "could not write the pictures into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
