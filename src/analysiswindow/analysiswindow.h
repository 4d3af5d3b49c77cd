#pragma once

#include <QWidget>
#include <QtGlobal>

struct AppState;
class MeasurementLog;
class QTabWidget;
class StatisticsPage;
class StraightnessPage;
class TableSet;
class TrendPage;

// The analysis window: one page per analysis of the measurements, beside the main window and not modal.
class AnalysisWindow : public QWidget {
    Q_OBJECT
public:
    enum Page { Statistics = 0, Trend = 1, Straightness = 2 };

    AnalysisWindow(AppState& state, TableSet& tables, const MeasurementLog& log, QWidget* parent);

    // Placement, page and open state from the store; shown when it was open.
    void restore();
    // Shown and raised with the page in front.
    void showPage(int page);
    // The main window's display tick: the pages follow the current table while the window is shown.
    void tick();
    // Placement, page and open state into the store; then hidden.
    void closeForShutdown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    AppState& m_state;
    TableSet& m_tables;
    QTabWidget* m_tabs = nullptr;
    StatisticsPage* m_statisticsPage = nullptr;
    TrendPage* m_trendPage = nullptr;
    StraightnessPage* m_straightnessPage = nullptr;
    qint32 m_straightnessFrom = 0; // the first line changed since the straightness page last looked
    bool m_placed = false;         // shown at least once: its geometry is the operator's
    double m_left = -1, m_top = -1;
};
