#pragma once

#include "state/linkstate.h"

#include <QString>
#include <QtGlobal>

// What the decoder announces, message by message; the link turns each into a signal.
class LinkEvents {
public:
    virtual ~LinkEvents() = default;
    virtual void onMeasurement(double x, double y, qint16 status) = 0;
    virtual void onTobarValue(const QString& value, qint16 status, TobarMessage message) = 0;
    virtual void onStoreSignal(StoreSignal cause) = 0;
    virtual void onInterval() = 0;
    virtual void onReadoutStart(qint16 table, qint32 lines, qint16 columns) = 0;
    virtual void onReadoutLine(qint16 table) = 0;
    virtual void onReadoutCell(const QString& text) = 0;
};

// Where the background signal goes.
class BackgroundWriter {
public:
    virtual ~BackgroundWriter() = default;
    virtual void writeBackgroundFile() = 0;
};
