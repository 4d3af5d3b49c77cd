#pragma once

#include "analysis/backgroundrun.h"
#include "analysis/plateuncertainty.h"

#include <QMetaType>
#include <QObject>
#include <QtGlobal>

Q_DECLARE_METATYPE(PlateUncertainty::Result)

// Computes a plate's PlateUncertainty on a thread of its own and hands the result back by a queued
// signal: thousands of trials with a minimum zone each must not stall the window. A newer start
// supersedes a running one, whose result is dropped.
class PlateUncertaintyWorker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void start(const PlateUncertainty::Input& input);
    [[nodiscard]] bool busy() const { return m_run.busy(); }

signals:
    void finished(const PlateUncertainty::Result& result);

private:
    BackgroundRun m_run;
};
