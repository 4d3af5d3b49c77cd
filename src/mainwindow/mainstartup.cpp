// Start-up and shut-down of the main window: the stored options in, the window placed, the tables built;
// and the options written back when the window closes.
#include "mainwindow/formmain.h"

#include "analysiswindow/analysiswindow.h"
#include "connection/formcom.h"
#include "dialogs/formoptions.h"
#include "link/link.h"
#include "mainwindow/tableviews.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "tables/recovery.h"
#include "tables/tables.h"
#include "widgets/controls.h"
#include "widgets/flexgrid.h"
#include "widgets/twips.h"
#include "widgets/windowlayer.h"

#include <QRadioButton>
#include <QTimer>

using namespace SettingValues;

void FormMain::load()
{
    AppState& s = m_state;
    MainOptions& o = s.options;

    m_tables.setCurrent(1);
    m_tableViews->currentGrid()->setVisible(true);
    o.modeTobar = readFlag(SettingKeys::ModeTobar);
    o.oldModeTobar = !o.modeTobar;
    m_knownFrameExtra = frameExtra();
    Controls::placeOnScreen(this, readNumber(SettingKeys::MainLeft), readNumber(SettingKeys::MainTop),
                            Controls::screenTwips(this), Controls::Clamp::KeepTopLeftVisible);
    m_startPlace = frameGeometry().topLeft();
    s.angles.initAngleConstants();
    s.angles.angleUnit = AngleUnits::fromCode(readInt16(SettingKeys::AngleUnit));
    o.heightWithTable = readInt32(SettingKeys::HeightWithTable);
    setWindowWidth(readNumber(SettingKeys::MainWidth));
    o.onTop = readFlag(SettingKeys::OnTop);
    if (o.onTop)
        WindowLayer::setTopmost(this, true);
    o.showTable = readFlag(SettingKeys::ShowTable);
    o.useComma = readFlag(SettingKeys::UseComma);
    m_dataPath = readText(SettingKeys::DataPath);
    const bool storeAtExitKey = readFlag(SettingKeys::StoreAtExitKey);
    m_link.setStoreTriggers(storeAtExitKey, readFlag(SettingKeys::StoreAtIR));
    o.updatePath = readText(SettingKeys::UpdatePath);
    o.useBackground = readFlag(SettingKeys::UseBackground);
    o.useMean = readFlag(SettingKeys::UseMean);
    o.backgroundSeconds = readNumber(SettingKeys::BackgroundSeconds);
    m_link.setUpdateSignal(o.backgroundSeconds);
    m_tableViews->setupTables();
    if (o.showTable)
        setWindowHeight(o.heightWithTable);
    else
        setWindowHeight(o.modeTobar ? 2300 : 2800);
    resizeTables(Numbers::toInt16HalfEven(windowHeight() - 3000));
    QRadioButton* const units[] = {m_arcsecOption, m_degreeOption, m_degMinSecOption, m_mradOption,
                                   m_micronsPerMetreOption};
    if (AngleUnits::isKnown(s.angles.angleUnit))
        units[AngleUnits::code(s.angles.angleUnit)]->setChecked(true);
    m_keepStartPlace = true;
    m_analysis->restore();
}

void FormMain::keepStartPlace(bool drawn)
{
    const QSize extra = frameExtra();
    // A frame is known by the time the window is first drawn, unless it comes late or there is none.
    if (drawn && !extra.isNull())
        m_keepStartPlace = false;
    if (extra == m_knownFrameExtra)
        return;
    // Sizes were set for the frame known then: the outer size stays, the inner one gives way.
    const QSize outer = size() + m_knownFrameExtra;
    m_knownFrameExtra = extra;
    resize(outer - extra);
    move(m_startPlace);
}

void FormMain::saveAndClose()
{
    AppState& s = m_state;
    m_displayTimer->stop();
    writeNumber(SettingKeys::MainTop, windowTop());
    writeNumber(SettingKeys::MainLeft, windowLeft());
    writeNumber(SettingKeys::MainWidth, windowWidth());
    writeInt(SettingKeys::AngleUnit, AngleUnits::code(s.angles.angleUnit));
    writeInt(SettingKeys::HeightWithTable, s.options.heightWithTable);
    writeText(SettingKeys::ModeTobar, s.options.modeTobar ? QStringLiteral("True") : QStringLiteral("False"));
    for (int n = 1; n <= 10; ++n)
        Recovery::keep(m_tables.table(n), n, Recovery::Cause::Shutdown, s.options.useComma);
    s.options.useBackground = false;
    m_analysis->closeForShutdown();
    if (m_connection)
        m_connection->hide();
    m_link.closeIfLoaded();
    if (m_options)
        m_options->closeForShutdown();
}
