#pragma once

#include "analysis/rununcertainty.h"
#include "analysis/straightnessjob.h"
#include "analysis/straightnessrun.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class QCustomPlot;
class QPainter;

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
    // A run of text lines, a table (its header repeated on each page it continues on) or the plot.
    struct Block {
        QList<QStringList> rows;
        QList<double> columns; // left edge of each cell, as a share of the usable width
        bool table = false;
        bool boldFirst = false;
        bool boldLast = false;
        int plotLines = 0; // > 0: the plot, this many lines high
    };
    // Where a block's rows land: a page, its first text line there, and the rows first .. first + count - 1.
    struct Piece {
        size_t block = 0;
        int page = 0;
        int line = 0;
        int first = 0;
        int count = 0;
        bool header = false; // a continued table: its header drawn first
    };
    [[nodiscard]] std::vector<Block> blocks() const;
    [[nodiscard]] std::vector<Piece> layout(const std::vector<Block>& blocks) const;
    void paint(QPainter& painter, int width, int height, int page, const std::vector<Block>& parts,
               const std::vector<Piece>& pieces) const;
};
