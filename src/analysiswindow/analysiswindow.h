#pragma once

#include <QWidget>
#include <QtGlobal>

#include <array>
#include <functional>

struct AppState;
class FlatnessPage;
class GuidedRun;
class JobBook;
class Link;
class QLabel;
class RunPage;
class QTabWidget;
class StatisticsPage;
class StraightnessPage;
class Tables;
class TrendPage;

// The analysis window: one page per analysis of the measurements, beside the main window and not modal.
class AnalysisWindow : public QWidget {
    Q_OBJECT
public:
    enum Page { Statistics = 0, Trend = 1, Straightness = 2, StraightnessRun = 3, Flatness = 4 };

    // The link's log feeds the trend, its readings the guided run.
    AnalysisWindow(AppState& state, Tables& tables, Link& link, QWidget* parent);

    // The jobs run in this session, and the run under way.
    [[nodiscard]] JobBook& jobs() { return *m_jobs; }
    [[nodiscard]] GuidedRun& guidedRun() { return *m_run; }

    // The operator's selection in a table: the current line and the other end.
    struct Selection {
        qint32 row = 0;
        qint32 rowSel = 0;
    };
    // Where the selection in table n is read; none: no selection.
    void setSelection(std::function<Selection(int number)> selection) { m_selection = std::move(selection); }

    // Placement, page and open state from the store; shown when it was open.
    void restore();
    // Shown and raised with the page in front.
    void showPage(int page);
    // The main window's display tick: the pages follow the current table while the window is shown.
    void tick();
    // Placement, page and open state into the store; then hidden.
    void closeForShutdown();
    // The status line below the pages; empty: none shown.
    void setStatus(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    AppState& m_state;
    void changed(int number, qint32 from);

    Tables& m_tables;
    std::function<Selection(int)> m_selection;
    QTabWidget* m_tabs = nullptr;
    QLabel* m_statusLine = nullptr;
    StatisticsPage* m_statisticsPage = nullptr;
    TrendPage* m_trendPage = nullptr;
    StraightnessPage* m_straightnessPage = nullptr;
    RunPage* m_runPage = nullptr;
    FlatnessPage* m_flatnessPage = nullptr;
    JobBook* m_jobs = nullptr;
    GuidedRun* m_run = nullptr;
    // Per table, the first line changed since each page last looked.
    std::array<qint32, 10> m_statisticsFrom{};
    std::array<qint32, 10> m_straightnessFrom{};
    bool m_placed = false; // shown at least once: its geometry is the operator's
    double m_left = -1, m_top = -1;
};
