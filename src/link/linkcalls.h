#pragma once

#include <QString>
#include <QtGlobal>

// The decoder's only ways out to the main window; any implementation works, including one that does nothing.
class MainWindowCalls {
public:
    virtual ~MainWindowCalls() = default;
    virtual void XY2Table() = 0;
    virtual void setGridForLoad(qint16 g, qint32 r, qint16 c) = 0;
    virtual void addLine(qint16 gridNum) = 0;
    virtual void setColumn(const QString& s) = 0;
    virtual void haveAngleMsg() = 0;
};

// Where the background signal goes.
class BackgroundWriter {
public:
    virtual ~BackgroundWriter() = default;
    virtual void writeBackgroundFile() = 0;
};
