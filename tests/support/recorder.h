#pragma once

#include "link/linkcalls.h"
#include "support/tables.h"

#include <QStringList>

#include <functional>

// Stands in for the link and the background file, keeping each call as text: "addLine(2)" (values decoded
// are left to the log).
class Recorder final : public LinkEvents, public BackgroundWriter {
public:
    void onMeasurement(double, double, qint16) override {}
    void onTobarValue(const QString&, qint16, TobarMessage) override {}
    void onStoreSignal(StoreSignal) override { calls << QStringLiteral("XY2Table"); }
    void onReadoutStart(qint16 g, qint32 r, qint16 c) override
    {
        calls << QStringLiteral("setGridForLoad(%1,%2,%3)").arg(g).arg(r).arg(c);
    }
    void onReadoutLine(qint16 gridNum) override { calls << QStringLiteral("addLine(%1)").arg(gridNum); }
    void onReadoutCell(const QString& s) override { calls << QStringLiteral("setColumn(%1)").arg(s); }
    void onInterval() override
    {
        calls << QStringLiteral("haveAngleMsg");
        onAngleMsg();
    }
    void writeBackgroundFile() override { calls << QStringLiteral("writeBackgroundFile"); }

    QStringList calls;
    std::function<void()> onAngleMsg = [] {}; // inside haveAngleMsg: the state as the window sees it
};
