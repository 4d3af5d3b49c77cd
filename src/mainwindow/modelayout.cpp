// The ORVELAN and TOBAR arrangements, the size rules of the window, and opening the connection window.
#include "mainwindow/formmain.h"

#include "connection/comlink.h"
#include "connection/formcom.h"
#include "dialogs/formoptions.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "tables/tableset.h"
#include "widgets/flexgrid.h"
#include "widgets/twips.h"
#include "widgets/windowlayer.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {
constexpr double MinWidth = 6135;
constexpr double MinHeightWithTable = 6000;
constexpr double CompactHeightOrvelan = 2800;
constexpr double CompactHeightTobar = 2300;

double leftOf(const QWidget* w)
{
    return Twips::fromPixels(w->x());
}
double topOf(const QWidget* w)
{
    return Twips::fromPixels(w->y());
}
double widthOf(const QWidget* w)
{
    return Twips::fromPixels(w->width());
}
double heightOf(const QWidget* w)
{
    return Twips::fromPixels(w->height());
}
} // namespace

void FormMain::layoutForMode()
{
    MainOptions& options = m_state.options;
    bool v = false;
    if (options.modeTobar && !options.oldModeTobar) {
        v = false;
        options.oldModeTobar = true;
    } else if (!options.modeTobar && options.oldModeTobar) {
        v = true;
        options.oldModeTobar = false;
    } else {
        return;
    }

    for (QWidget* w :
         std::initializer_list<QWidget*>{OptionArcsec, OptionDegree, OptionSecMinDeg, OptionMproM, OptionMrad,
                                         TextX, TextY, CommandSet, CommandReset, LabelX, LabelY})
        w->setVisible(v);

    FormOptions& dialog = this->options();
    dialog.CheckIR->setEnabled(v);
    dialog.CheckExitKey->setEnabled(v);

    CommMean->setVisible(v);
    CommandLoadFromOrv->setText(loadButtonCaption());
    for (QPushButton* button : CT)
        button->setVisible(v);
    for (QWidget* w : std::initializer_list<QWidget*>{Line1, LabelStore, LabelTH, LabelSeconds, LabelLine,
                                                      TextLine, CommandStart, CommandStop, TextTimer})
        w->setVisible(v);

    const bool w = !v;
    const FlexGrid* grid = m_tables->currentGrid();
    TextTobar->setVisible(w);
    Twips::place(TextTobar, {grid->Left(), topOf(LabelX), grid->Width(), heightOf(TextTobar)});

    TextGONG->setVisible(w);
    const double gongLeft = 100;
    Twips::place(TextGONG, {gongLeft, topOf(TextTobar), leftOf(TextTobar) - gongLeft - 100,
                            heightOf(TextTobar) / 2 - 20});

    TextReticle->setVisible(w);
    Twips::place(TextReticle, {leftOf(TextGONG), topOf(TextGONG) + heightOf(TextGONG), widthOf(TextGONG),
                               heightOf(TextGONG)});

    m_tables->setupTables();
}

void FormMain::Form_Resize()
{
    if (isMinimized() || isMaximized() || isFullScreen() || !m_tables)
        return;
    const MainOptions& options = m_state.options;
    if (windowWidth() < MinWidth)
        setWindowWidth(MinWidth);
    if (options.showTable) {
        if (windowHeight() < MinHeightWithTable)
            setWindowHeight(MinHeightWithTable);
        m_state.options.heightWithTable = Numbers::toInt32HalfEven(windowHeight());
        resizeTables(Numbers::toInt16HalfEven(windowHeight() - 3000));
    } else {
        setWindowHeight(options.modeTobar ? CompactHeightTobar : CompactHeightOrvelan);
    }
    const double w = windowWidth();
    Twips::place(Command2, {w + 5160 - MinWidth, topOf(Command2), widthOf(Command2), heightOf(Command2)});
    Twips::place(TextTobar, {leftOf(TextTobar), topOf(TextTobar), w + 4460 - MinWidth, heightOf(TextTobar)});
}

void FormMain::resizeTables(qint16 h)
{
    if (h <= 0)
        return;
    double tableHeight = h;
    if (m_state.options.modeTobar)
        tableHeight += 500;
    const double tableWidth = windowWidth() + 4460 - MinWidth;
    const qint16 remembered = m_tables->currentGridNum();
    for (qint16 i = 1; i <= 10; ++i) {
        m_tables->selectTable(i);
        FlexGrid* grid = m_tables->currentGrid();
        grid->setHeight(tableHeight);
        grid->setWidth(tableWidth);
    }
    m_tables->selectTable(remembered);
}

void FormMain::CommandConnect_Click()
{
    m_state.link.portNum = 0;
    const bool onTop = m_state.options.onTop;
    if (onTop)
        WindowLayer::setTopmost(this, false);
    m_link.form().exec();
    if (onTop)
        WindowLayer::setTopmost(this, true);

    if (m_state.link.portMode == LinkMode::Text) {
        CommandLoadFromOrv->setVisible(true);
        CommMean->setVisible(!m_state.options.modeTobar);
        CommandLoadFromOrv->setText(loadButtonCaption());
    } else {
        CommandLoadFromOrv->setVisible(false);
        CommMean->setVisible(false);
    }
}

QString FormMain::loadButtonCaption() const
{
    return m_state.options.modeTobar ? QStringLiteral("Load From TOBAR")
                                     : QStringLiteral("Load from ORVELAN");
}

void FormMain::CommandLoadFromOrv_Click()
{
    m_link.sendCommand(QStringLiteral("t"));
}
