#pragma once

#include "analysis/flatness.h"
#include "analysis/plateuncertainty.h"
#include "analysiswindow/reportpages.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class QPainter;
class QRectF;

// The flatness certificate of a surface plate, fit to sign: the plate and its lines, the instrument and
// its uncertainty, the methods, the flatness by each evaluation with U, the verdict, the closure errors,
// the plan view and the isometric drawing, the per-line tables and the signature lines, on A4 pages that
// each carry the header and their number.
struct PlateCertificate {
    const Flatness& flatness;
    const PlateUncertainty::Result& uncertainty; // not done: U shown as "-"
    PlateUncertainty::Judgement judgement;
    double angleUncertaintyA = 0;
    double angleUncertaintyB = 0;
    double baseLengthUncertainty = 0;
    QString objectId;
    QString operatorName;
    QString remarks;
    QString objectDescription;
    QString instrumentType;
    QString instrumentSerial;
    double temperature = Flatness::NaN; // °C; NaN: not stated
    QDateTime when = QDateTime::currentDateTime();

    [[nodiscard]] QList<QStringList> plateRows() const;
    [[nodiscard]] QList<QStringList> figureRows() const;
    // The verdict for the judged figure; empty without a tolerance.
    [[nodiscard]] QString verdict() const;
    // A line's stations, a header row first: the classic columns with the least-squares height and the
    // residual for a Union Jack; position, reading, height and residual for a grid.
    [[nodiscard]] static QList<QStringList> lineRows(const Flatness& flatness, int line);
    [[nodiscard]] int pages() const;
    void paint(QPainter& painter, int width, int height, int page) const;
    [[nodiscard]] bool writePdf(const QString& file) const;

private:
    [[nodiscard]] std::vector<ReportPages::Block> blocks() const;
    [[nodiscard]] ReportPages::Header header() const;
    void draw(QPainter& painter, const QRectF& area, int drawing) const;
};
