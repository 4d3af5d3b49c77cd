#pragma once

#include "analysis/straightness.h"

#include <QDateTime>
#include <QString>

class QCustomPlot;
class QPainter;

// The straightness report: when, which table, the inputs, the three deviations, the profile plot and the
// station table, on A4 pages.
struct StraightnessReport {
    const Straightness& result;
    Straightness::Reference reference;
    AngleUnit unit = AngleUnit::Arcsec;
    int table = 1;
    QString fileName; // the table's file, if it came from one
    QDateTime when = QDateTime::currentDateTime();
    QCustomPlot* plot = nullptr;

    // Page `page` (0-based) drawn on a painter whose device is `width` x `height` pixels; the number of
    // pages such a device needs.
    void paint(QPainter& painter, int width, int height, int page) const;
    [[nodiscard]] int pages(int height) const;
    // The whole report as a PDF file; false when it could not be written.
    [[nodiscard]] bool writePdf(const QString& file) const;
};
