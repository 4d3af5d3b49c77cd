#pragma once

#include "link/linkcalls.h"
#include "support/tables.h"

#include <QStringList>

#include <functional>

// Stands in for the main window and the background file, keeping each call as text: "addLine(2)".
class Recorder final : public MainWindowCalls, public BackgroundWriter {
public:
    void XY2Table() override { calls << QStringLiteral("XY2Table"); }
    void setGridForLoad(qint16 g, qint32 r, qint16 c) override
    {
        calls << QStringLiteral("setGridForLoad(%1,%2,%3)").arg(g).arg(r).arg(c);
    }
    void addLine(qint16 gridNum) override { calls << QStringLiteral("addLine(%1)").arg(gridNum); }
    void setColumn(const QString& s) override { calls << QStringLiteral("setColumn(%1)").arg(s); }
    void haveAngleMsg() override
    {
        calls << QStringLiteral("haveAngleMsg");
        onAngleMsg();
    }
    void writeBackgroundFile() override { calls << QStringLiteral("writeBackgroundFile"); }

    QStringList calls;
    std::function<void()> onAngleMsg = [] {}; // inside haveAngleMsg: the state as the window sees it
};
