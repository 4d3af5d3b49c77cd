#include "analysiswindow/analysiswindow.h"
#include "analysiswindow/statisticspage.h"
#include "analysiswindow/straightnesspage.h"
#include "analysiswindow/trendpage.h"

#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "tables/tableset.h"
#include "widgets/controls.h"
#include "widgets/flexgrid.h"
#include "widgets/twips.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

using namespace SettingValues;

namespace {
constexpr double MinWidth = 4500;
constexpr double MinHeight = 3600;
} // namespace

AnalysisWindow::AnalysisWindow(AppState& state, TableSet& tables, const MeasurementLog& log, QWidget* parent)
    : QWidget(parent, Qt::Window), m_state(state), m_tables(tables)
{
    setObjectName(QStringLiteral("AnalysisWindow"));
    setWindowTitle(QStringLiteral("TARNOLUX analysis"));
    setMinimumSize(Twips::toPixels(MinWidth), Twips::toPixels(MinHeight));
    auto* layout = new QVBoxLayout(this);
    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabs"));
    layout->addWidget(tabs);
    statistics = new StatisticsPage(tabs);
    statistics->setObjectName(QStringLiteral("StatisticsPage"));
    tabs->addTab(statistics, QStringLiteral("Statistics"));
    trend = new TrendPage(log, tabs);
    trend->setObjectName(QStringLiteral("TrendPage"));
    tabs->addTab(trend, QStringLiteral("Trend"));
    straightness = new StraightnessPage(tabs);
    straightness->setObjectName(QStringLiteral("StraightnessPage"));
    tabs->addTab(straightness, QStringLiteral("Straightness"));
    connect(tabs, &QTabWidget::currentChanged, this, [this] { tick(); });
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
    tabs->setCurrentIndex(std::clamp<int>(readInt16(SettingKeys::AnalysisPage), 0, tabs->count() - 1));
    straightness->ComboAxis->setCurrentIndex(readInt16(SettingKeys::StraightnessAxis) == 2 ? 1 : 0);
    // Out of range reads as the default, not as the nearest limit.
    const double base = readNumber(SettingKeys::StraightnessBase);
    const double def =
        SettingValues::toNumber(SettingValues::defaultText(SettingKeys::StraightnessBase), 100);
    straightness->SpinBaseLength->setValue(base >= straightness->SpinBaseLength->minimum() &&
                                                   base <= straightness->SpinBaseLength->maximum()
                                               ? base
                                               : def);
    straightness->ComboDirection->setCurrentIndex(readFlag(SettingKeys::StraightnessReverse) ? 1 : 0);
    if (readFlag(SettingKeys::AnalysisOpen))
        show();
}

void AnalysisWindow::showPage(int page)
{
    tabs->setCurrentIndex(std::clamp(page, 0, tabs->count() - 1));
    show();
    raise();
    activateWindow();
}

void AnalysisWindow::tick()
{
    if (!isVisible())
        return;
    FlexGrid* grid = m_tables.currentGrid();
    const qint32 changedFrom = grid->takeChangedFrom();
    const int number = m_tables.currentGridNum();
    statistics->follow(*grid, number, changedFrom, m_state.options.modeTobar, m_state.angles.angleUnit);
    // A change seen while the straightness page is hidden is remembered until it is shown.
    m_straightnessFrom = std::min(m_straightnessFrom, changedFrom);
    if (tabs->currentWidget() == straightness) {
        straightness->follow(*grid, number, m_straightnessFrom, m_state.options.modeTobar,
                             m_state.angles.angleUnit, m_tables.fileName(number));
        m_straightnessFrom = std::numeric_limits<qint32>::max();
    }
    // The plot is drawn only where it can be seen.
    if (tabs->currentWidget() == trend)
        trend->follow({m_state.options.modeTobar, m_state.angles.angleUnit, m_state.angles.zeroX,
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
    writeInt(SettingKeys::AnalysisPage, tabs->currentIndex());
    writeText(SettingKeys::AnalysisOpen, isVisible() ? QStringLiteral("1") : QStringLiteral("0"));
    writeInt(SettingKeys::StraightnessAxis, straightness->ComboAxis->currentIndex() + 1);
    writeNumber(SettingKeys::StraightnessBase, straightness->SpinBaseLength->value());
    writeText(SettingKeys::StraightnessReverse,
              straightness->ComboDirection->currentIndex() == 1 ? QStringLiteral("1") : QStringLiteral("0"));
    hide();
}
