// The ORVELAN and TOBAR arrangements, the size rules of the window, and opening the connection window.
#include "mainwindow/formmain.h"

#include "connection/formcom.h"
#include "dialogs/formoptions.h"
#include "link/link.h"
#include "mainwindow/tableviews.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "widgets/flexgrid.h"
#include "widgets/twips.h"
#include "widgets/windowlayer.h"

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

    for (QWidget* w : std::initializer_list<QWidget*>{
             m_arcsecOption, m_degreeOption, m_degMinSecOption, m_micronsPerMetreOption, m_mradOption,
             m_xAngleBox, m_yAngleBox, m_setZeroButton, m_resetZeroButton, m_xLabel, m_yLabel})
        w->setVisible(v);

    this->options().enableStoreTriggers(v);

    m_averagingButton->setVisible(v);
    m_readMemoryButton->setText(loadButtonCaption());
    for (QPushButton* button : m_tableButtons)
        button->setVisible(v);
    for (QWidget* w : std::initializer_list<QWidget*>{m_separator, m_storeEveryLabel, m_intervalSuffixLabel,
                                                      m_intervalUnitLabel, m_lineLabel, m_lineBox,
                                                      m_startButton, m_stopButton, m_intervalBox})
        w->setVisible(v);

    const bool w = !v;
    const FlexGrid* grid = m_tableViews->currentGrid();
    m_tobarValueBox->setVisible(w);
    Twips::place(m_tobarValueBox, {grid->Left(), topOf(m_xLabel), grid->Width(), heightOf(m_tobarValueBox)});

    m_verdictBox->setVisible(w);
    const double gongLeft = 100;
    Twips::place(m_verdictBox, {gongLeft, topOf(m_tobarValueBox), leftOf(m_tobarValueBox) - gongLeft - 100,
                                heightOf(m_tobarValueBox) / 2 - 20});

    m_reticleBox->setVisible(w);
    Twips::place(m_reticleBox, {leftOf(m_verdictBox), topOf(m_verdictBox) + heightOf(m_verdictBox),
                                widthOf(m_verdictBox), heightOf(m_verdictBox)});

    m_tableViews->setupTables();
}

void FormMain::applySizeRules()
{
    if (isMinimized() || isMaximized() || isFullScreen() || !m_tableViews)
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
    Twips::place(m_aboutButton, {w + 5160 - MinWidth, topOf(m_aboutButton), widthOf(m_aboutButton),
                                 heightOf(m_aboutButton)});
    Twips::place(m_tobarValueBox, {leftOf(m_tobarValueBox), topOf(m_tobarValueBox), w + 4460 - MinWidth,
                                   heightOf(m_tobarValueBox)});
}

void FormMain::resizeTables(qint16 h)
{
    if (h <= 0)
        return;
    double tableHeight = h;
    if (m_state.options.modeTobar)
        tableHeight += 500;
    const double tableWidth = windowWidth() + 4460 - MinWidth;
    for (int i = 1; i <= 10; ++i) {
        FlexGrid* grid = m_tableViews->grid(i);
        grid->setHeight(tableHeight);
        grid->setWidth(tableWidth);
    }
}

void FormMain::openConnection()
{
    m_link.forgetPortNumber();
    const bool onTop = m_state.options.onTop;
    if (onTop)
        WindowLayer::setTopmost(this, false);
    connection().exec();
    if (onTop)
        WindowLayer::setTopmost(this, true);

    if (m_state.link.portMode == LinkMode::Text) {
        m_readMemoryButton->setVisible(true);
        m_averagingButton->setVisible(!m_state.options.modeTobar);
        m_readMemoryButton->setText(loadButtonCaption());
    } else {
        m_readMemoryButton->setVisible(false);
        m_averagingButton->setVisible(false);
    }
}

QString FormMain::loadButtonCaption() const
{
    return m_state.options.modeTobar ? QStringLiteral("Load From TOBAR")
                                     : QStringLiteral("Load from ORVELAN");
}

void FormMain::readInstrumentMemory()
{
    m_link.sendCommand(QStringLiteral("t"));
}
