#pragma once

#include "analysis/flatness.h"
#include "analysis/plateuncertainty.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class QPainter;

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
    // Text lines, a table (its header repeated where it continues) or a drawing this many lines high.
    struct Block {
        QList<QStringList> rows;
        QList<double> columns;
        bool table = false;
        bool boldFirst = false;
        int drawing = 0; // 1: plan view, 2: isometric drawing
    };
    struct Piece {
        size_t block = 0;
        int page = 0;
        int line = 0;
        int first = 0;
        int count = 0;
        bool header = false;
    };
    [[nodiscard]] std::vector<Block> blocks() const;
    [[nodiscard]] static std::vector<Piece> layout(const std::vector<Block>& blocks);
    void paint(QPainter& painter, int width, int height, int page, const std::vector<Block>& content,
               const std::vector<Piece>& pieces) const;
};
