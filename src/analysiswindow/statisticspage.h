#pragma once

#include "analysis/statistics.h"

#include <QWidget>
#include <QtGlobal>

class FigureTable;
class FlexGrid;
class TextStrip;
class QPushButton;

// Mean, scatter and extremes of the current table, or of the selected lines when more than one is
// selected, following the lines as they arrive.
class StatisticsPage : public QWidget {
    Q_OBJECT
public:
    explicit StatisticsPage(QWidget* parent = nullptr);

    // Brings the figures to table `number` shown in `grid`; changedFrom as the grid reported it.
    void follow(const FlexGrid& grid, int number, qint32 changedFrom, bool tobar, AngleUnit unit);
    [[nodiscard]] const TableStatistics& statistics() const { return m_statistics; }

    // The figures' table: a header row, then one row per figure; a label column and two series.
    static constexpr int Rows = 9;

private:
    void show(const QList<QStringList>& rows);
    void copyFigures();

    TextStrip* m_scopeLabel = nullptr;
    FigureTable* m_figures = nullptr;
    QPushButton* m_copyButton = nullptr;
    TableStatistics m_statistics;
};
