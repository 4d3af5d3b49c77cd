#pragma once

#include "analysis/statistics.h"

#include <QWidget>
#include <QtGlobal>

#include <utility>

class FigureTable;
class TextStrip;
class QPushButton;
class Table;

// Mean, scatter and extremes of the current table, or of the selected lines when more than one is
// selected, following the lines as they arrive.
class StatisticsPage : public QWidget {
    Q_OBJECT
public:
    explicit StatisticsPage(QWidget* parent = nullptr);

    // Brings the figures to table `number`; selected: the operator's current line and the selection's other
    // end; changedFrom: the first line changed since the last call.
    void follow(const Table& table, int number, std::pair<qint32, qint32> selected, qint32 changedFrom,
                bool tobar, AngleUnit unit);
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
