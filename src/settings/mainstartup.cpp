// Start-up and shut-down of the main window: the stored options in, the window placed, the tables built;
// and the options written back when the window closes.
#include "mainwindow/formmain.h"

#include "link/comlink.h"
#include "platform/flexgrid.h"
#include "platform/twips.h"
#include "platform/windowlayer.h"
#include "settings/formoptions.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "tables/tableset.h"

#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

using namespace SettingValues;

namespace {
const QString Options = QStringLiteral("options");
const QString Pos = QStringLiteral("pos");
const QString Angles = QStringLiteral("angles");

QRect screenTwips(const QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect px = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    return {0, 0, static_cast<int>(Twips::fromPixels(px.width())),
            static_cast<int>(Twips::fromPixels(px.height()))};
}
} // namespace

void FormMain::restoreWindowPosition()
{
    setWindowTop(readNumber(Pos, QStringLiteral("y"), 0));
    setWindowLeft(readNumber(Pos, QStringLiteral("x"), 0));
    const QRect screen = screenTwips(this);
    if (screen.height() - windowHeight() < windowTop())
        setWindowTop(screen.height() - windowHeight());
    if (screen.width() - windowWidth() < windowLeft())
        setWindowLeft(screen.width() - windowWidth());
    if (windowLeft() < 0)
        setWindowLeft(0);
    if (windowTop() < 0)
        setWindowTop(0);
}

void FormMain::Form_Load()
{
    AppState& s = m_state;
    MainOptions& o = s.options;

    m_tables->selectTable(1);
    m_tables->currentGrid()->setVisible(true);
    o.modeTobar = readFlag(Options, QStringLiteral("display"), false);
    o.oldModeTobar = !o.modeTobar;
    restoreWindowPosition();
    s.angles.initAngleConstants();
    s.angles.angleUnit = readInt16(Angles, QStringLiteral("unit"), 0);
    o.heightWithTable = readInt32(Pos, QStringLiteral("height"), 7000);
    setWindowWidth(readNumber(Pos, QStringLiteral("width"), 6135));
    o.onTop = readFlag(Options, QStringLiteral("onTop"), false);
    if (o.onTop)
        WindowLayer::setTopmost(this, true);
    o.showTable = readFlag(Options, QStringLiteral("showTable"), false);
    o.useComma = readFlag(Options, QStringLiteral("comma"), false);
    m_dataPath = readText(Options, QStringLiteral("datapath"), QString());
    s.link.storeAtExitkey = readFlag(Options, QStringLiteral("exitKey"), false);
    s.link.storeAtIR = readFlag(Options, QStringLiteral("IR"), false);
    o.updatePath = qEnvironmentVariable("TEMP");
    o.updatePath = readText(Options, QStringLiteral("updatePath"), o.updatePath);
    o.useBackground = readFlag(Options, QStringLiteral("enableBackground"), false);
    o.useMean = readFlag(Options, QStringLiteral("enableMean"), false);
    o.backgroundSeconds = readNumber(Options, QStringLiteral("updateSeconds"), 1);
    m_link.setUpdateSignal(o.backgroundSeconds);
    m_tables->setupTables();
    if (o.showTable)
        setWindowHeight(o.heightWithTable);
    else
        setWindowHeight(o.modeTobar ? 2300 : 2800);
    resizeTables(Numbers::toInt16HalfEven(windowHeight() - 3000));
    QRadioButton* const units[] = {OptionArcsec, OptionDegree, OptionSecMinDeg, OptionMrad, OptionMproM};
    const qint16 unit = s.angles.angleUnit;
    if (unit >= 0 && unit <= 4)
        units[unit]->setChecked(true);
}

void FormMain::Form_QueryUnload()
{
    AppState& s = m_state;
    TimerDisplay->stop();
    writeText(Pos, QStringLiteral("y"), Numbers::shortestText(windowTop()));
    writeText(Pos, QStringLiteral("x"), Numbers::shortestText(windowLeft()));
    writeText(Pos, QStringLiteral("width"), Numbers::shortestText(windowWidth()));
    writeInt(Angles, QStringLiteral("unit"), s.angles.angleUnit);
    writeInt(Pos, QStringLiteral("height"), s.options.heightWithTable);
    writeText(Options, QStringLiteral("display"),
              s.options.modeTobar ? QStringLiteral("True") : QStringLiteral("False"));
    s.options.useBackground = false;
    m_link.closeIfLoaded();
    if (m_options)
        m_options->closeForShutdown();
}
