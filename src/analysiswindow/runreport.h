#pragma once

#include "analysis/rununcertainty.h"
#include "analysis/straightnessjob.h"
#include "analysis/straightnessrun.h"
#include "analysiswindow/reportpages.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class QCustomPlot;
class QPainter;
class QRectF;

// The report of a straightness job, fit to sign: the job, the instrument and its uncertainty, both runs
// and their mean, the deviations with their expanded uncertainty, the reversal, the plot, the verdict and
// the signature lines, on A4 pages that each carry the header and their number.
struct RunReport {
    const StraightnessJob& job;
    const StraightnessRun& run;
    const RunUncertainty::Result& uncertainty;
    QDateTime when = QDateTime::currentDateTime();
    QDateTime measuredFrom; // the first and last station stored; invalid: not known
    QDateTime measuredTo;
    QCustomPlot* plot = nullptr;

    // Page `page` (0-based) drawn on a painter whose device is `width` x `height` pixels.
    void paint(QPainter& painter, int width, int height, int page) const;
    [[nodiscard]] int pages() const;
    // The whole report as a PDF file; false when it could not be written.
    [[nodiscard]] bool writePdf(const QString& file) const;

    // The text rows of the report's parts (name and value, or a table with its header first).
    [[nodiscard]] QList<QStringList> jobRows() const;
    [[nodiscard]] QList<QStringList> figureRows() const;
    // Station, position, forward, backward, mean and reversal (one run: its height), µm to 3 decimals.
    [[nodiscard]] static QList<QStringList> stationRows(const StraightnessRun& run);
    // The verdict for the job's tolerance and reference line; empty without a tolerance.
    [[nodiscard]] QString verdict() const;

private:
    [[nodiscard]] std::vector<ReportPages::Block> blocks() const;
    [[nodiscard]] ReportPages::Header header() const;
    void drawPlot(QPainter& painter, const QRectF& area) const;
};
