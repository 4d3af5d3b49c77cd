#include "analysiswindow/analysiswindow.h"
#include "analysiswindow/flatnesspage.h"
#include "analysiswindow/runpage.h"
#include "analysiswindow/statisticspage.h"
#include "analysiswindow/straightnesspage.h"
#include "analysiswindow/trendpage.h"

#include "analysis/guidedrun.h"
#include "link/link.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "tables/tables.h"
#include "widgets/controls.h"
#include "widgets/twips.h"

#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <utility>

using namespace SettingValues;

namespace {
constexpr double MinWidth = 4500;
constexpr double MinHeight = 3600;
} // namespace

AnalysisWindow::AnalysisWindow(AppState& state, Tables& tables, Link& link, QWidget* parent)
    : QWidget(parent, Qt::Window), m_state(state), m_tables(tables)
{
    setObjectName(QStringLiteral("AnalysisWindow"));
    setWindowTitle(QStringLiteral("TARNOLUX analysis"));
    setMinimumSize(Twips::toPixels(MinWidth), Twips::toPixels(MinHeight));
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    layout->addWidget(m_tabs);
    m_statusLine = new QLabel(this);
    m_statusLine->setObjectName(QStringLiteral("LabelStatus"));
    m_statusLine->setVisible(false);
    layout->addWidget(m_statusLine);
    m_statisticsPage = new StatisticsPage(m_tabs);
    m_statisticsPage->setObjectName(QStringLiteral("StatisticsPage"));
    m_tabs->addTab(m_statisticsPage, QStringLiteral("Statistics"));
    m_trendPage = new TrendPage(link.log(), m_tabs);
    m_trendPage->setObjectName(QStringLiteral("TrendPage"));
    m_tabs->addTab(m_trendPage, QStringLiteral("Trend"));
    m_straightnessPage = new StraightnessPage(m_tabs);
    m_straightnessPage->setObjectName(QStringLiteral("StraightnessPage"));
    m_tabs->addTab(m_straightnessPage, QStringLiteral("Straightness"));
    m_jobs = new JobBook(this);
    m_run = new GuidedRun(state, tables, *m_jobs, this);
    m_run->setObjectName(QStringLiteral("GuidedRun"));
    connect(&link, &Link::measurementDecoded, m_run, &GuidedRun::addReading);
    connect(&link, &Link::linkLost, m_run, &GuidedRun::linkLost);
    m_runPage = new RunPage(*m_run, state.angles, m_tabs);
    m_runPage->setObjectName(QStringLiteral("RunPage"));
    m_tabs->addTab(m_runPage, QStringLiteral("Straightness run"));
    m_flatnessPage = new FlatnessPage(m_tabs);
    m_flatnessPage->setObjectName(QStringLiteral("FlatnessPage"));
    m_tabs->addTab(m_flatnessPage, QStringLiteral("Flatness"));
    connect(m_runPage, &RunPage::showStraightness, this, [this](int number) {
        m_tables.setCurrent(number);
        showPage(Straightness);
    });
    connect(m_runPage, &RunPage::showFlatness, this, [this](int number) {
        m_tables.setCurrent(number);
        showPage(Flatness);
    });
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { tick(); });
    for (int n = 1; n <= Tables::Count; ++n) {
        const Table& table = tables.table(n);
        connect(&table, &Table::linesInserted, this, [this, n](qint32 first) { changed(n, first); });
        connect(&table, &Table::linesRemoved, this, [this, n](qint32 first) { changed(n, first); });
        connect(&table, &Table::cellsChanged, this, [this, n](qint32 first, qint32 last) {
            if (last > 0) // the header is not a line
                changed(n, std::max(first, 1));
        });
        connect(&table, &Table::columnsChanged, this, [this, n] { changed(n, 1); });
    }
    m_straightnessPage->setTableSource([this](int number) -> const Table* {
        return number >= 1 && number <= Tables::Count ? &m_tables.table(number) : nullptr;
    });
    m_straightnessPage->setJobs(m_jobs);
    m_flatnessPage->setTableSource([this](int number) -> const Table* {
        return number >= 1 && number <= Tables::Count ? &m_tables.table(number) : nullptr;
    });
    m_flatnessPage->setJobs(m_jobs);
}

void AnalysisWindow::changed(int number, qint32 from)
{
    const auto i = static_cast<size_t>(number - 1);
    m_statisticsFrom[i] = std::min(m_statisticsFrom[i], from);
    m_straightnessFrom[i] = std::min(m_straightnessFrom[i], from);
}

void AnalysisWindow::restore()
{
    const QSizeF screen = Controls::screenTwips(parentWidget());
    const double width =
        std::clamp(readNumber(SettingKeys::AnalysisWidth), MinWidth, std::max(MinWidth, screen.width()));
    const double height =
        std::clamp(readNumber(SettingKeys::AnalysisHeight), MinHeight, std::max(MinHeight, screen.height()));
    resize(Twips::toPixels(width), Twips::toPixels(height));
    m_left = readNumber(SettingKeys::AnalysisLeft);
    m_top = readNumber(SettingKeys::AnalysisTop);
    double left = m_left;
    double top = m_top;
    if (left < 0 || top < 0) {
        // Not placed yet: to the right of the main window.
        const QWidget* main = parentWidget();
        left = main ? Twips::fromPixels(main->frameGeometry().right() + 1) : 0;
        top = main ? Twips::fromPixels(main->frameGeometry().top()) : 0;
    }
    Controls::placeOnScreen(this, left, top, screen, Controls::Clamp::KeepTopLeftVisible);
    m_tabs->setCurrentIndex(std::clamp<int>(readInt16(SettingKeys::AnalysisPage), 0, m_tabs->count() - 1));
    m_straightnessPage->restoreInputs();
    m_flatnessPage->restoreInputs();
    m_trendPage->restoreInputs();
    if (readFlag(SettingKeys::AnalysisOpen))
        show();
}

void AnalysisWindow::showPage(int page)
{
    // The flatness of a plate job whose line the current table holds.
    if (page == Flatness)
        (void)m_flatnessPage->showJob(m_tables.currentNumber(), m_state.angles.angleUnit);
    m_tabs->setCurrentIndex(std::clamp(page, 0, m_tabs->count() - 1));
    show();
    raise();
    activateWindow();
}

void AnalysisWindow::tick()
{
    if (!isVisible())
        return;
    const int number = m_tables.currentNumber();
    const Table& table = m_tables.table(number);
    const Selection selection = m_selection ? m_selection(number) : Selection{};
    const auto i = static_cast<size_t>(number - 1);
    constexpr qint32 NoChange = std::numeric_limits<qint32>::max();
    m_statisticsPage->follow(table, number, {selection.row, selection.rowSel},
                             std::exchange(m_statisticsFrom[i], NoChange), m_state.options.modeTobar,
                             m_state.angles.angleUnit);
    // A change seen while the straightness page is hidden is remembered until it is shown.
    if (m_tabs->currentWidget() == m_straightnessPage) {
        m_straightnessPage->follow(table, number, {selection.row, selection.rowSel},
                                   std::exchange(m_straightnessFrom[i], NoChange), m_state.options.modeTobar,
                                   m_state.angles.angleUnit, m_tables.fileName(number));
    }
    if (m_tabs->currentWidget() == m_runPage)
        m_runPage->tick();
    // The plot is drawn only where it can be seen.
    if (m_tabs->currentWidget() == m_trendPage)
        m_trendPage->follow({m_state.options.modeTobar, m_state.angles.angleUnit, m_state.angles.zeroX,
                             m_state.angles.zeroY});
}

void AnalysisWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_placed = true;
    tick();
}

void AnalysisWindow::closeForShutdown()
{
    if (m_placed) {
        m_left = Twips::fromPixels(frameGeometry().x());
        m_top = Twips::fromPixels(frameGeometry().y());
    }
    writeNumber(SettingKeys::AnalysisLeft, m_left);
    writeNumber(SettingKeys::AnalysisTop, m_top);
    writeNumber(SettingKeys::AnalysisWidth, Twips::fromPixels(width()));
    writeNumber(SettingKeys::AnalysisHeight, Twips::fromPixels(height()));
    writeInt(SettingKeys::AnalysisPage, m_tabs->currentIndex());
    writeText(SettingKeys::AnalysisOpen, isVisible() ? QStringLiteral("1") : QStringLiteral("0"));
    m_straightnessPage->storeInputs();
    m_flatnessPage->storeInputs();
    m_trendPage->storeInputs();
    hide();
}

void AnalysisWindow::setStatus(const QString& text)
{
    m_statusLine->setText(text);
    m_statusLine->setVisible(!text.isEmpty());
}
