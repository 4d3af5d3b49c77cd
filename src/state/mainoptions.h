#pragma once

#include <QString>
#include <QtGlobal>

// Options owned by the main window; initial values are the defaults of the settings store.
struct MainOptions {
    qint32 heightWithTable = 7000; // twips, outer window height while the table is shown
    bool onTop = false;
    bool showTable = false;
    bool useComma = false;
    QString updatePath;
    bool useBackground = false;
    bool useMean = false;
    double backgroundSeconds = 1.0; // a count of measurements, not a time
    qint32 mainTime = 0;            // display ticks, wraps
    bool modeTobar = false;
    bool oldModeTobar = false;
};
