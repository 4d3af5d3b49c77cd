#include "mainwindow/tableviews.h"

#include "state/appstate.h"
#include "state/numbers.h"
#include "tables/tables.h"
#include "widgets/flexgrid.h"
#include "widgets/twips.h"

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

constexpr double GridLeft = 1440;

QString boxText(const QLineEdit* box)
{
    return box ? box->text() : QString();
}

void setTopTwips(QWidget* widget, double top)
{
    if (widget)
        widget->move(widget->x(), Twips::toPixels(top));
}

} // namespace

TableViews::TableViews(AppState& state, Tables& tables, QWidget* window)
    : QObject(window), m_state(state), m_tables(tables)
{
    for (int i = 0; i < static_cast<int>(m_grids.size()); ++i) {
        auto* grid = new FlexGrid(tables.table(i + 1), window);
        grid->setObjectName(i == 0 ? QStringLiteral("grid") : QStringLiteral("grid%1").arg(i + 1));
        grid->setVisible(false);
        m_grids[static_cast<size_t>(i)] = grid;
    }
    showCurrent();
    connect(&tables, &Tables::currentChanged, this, &TableViews::showCurrent);
    // Lines are stored into the current table, the one shown.
    connect(&tables, &Tables::lineStored, this, &TableViews::showLastRow);
    // The selection follows the readout's newest line.
    connect(&tables, &Tables::readoutLineAdded, this,
            [this](int number, qint32 line) { grid(number)->setRow(line); });
}

// The grids go with their views, before the tables they show.
TableViews::~TableViews()
{
    for (FlexGrid* grid : m_grids)
        delete grid;
}

void TableViews::setButtons(const TableButtons& buttons)
{
    // Handing the buttons over again must not click twice.
    for (QPushButton* old : m_buttons.tables)
        disconnectButton(old);
    disconnectButton(m_buttons.storeValue);
    disconnectButton(m_buttons.clearSelection);
    disconnectButton(m_buttons.clearTable);
    m_buttons = buttons;
    for (int i = 0; i < static_cast<int>(buttons.tables.size()); ++i) {
        QPushButton* button = buttons.tables[static_cast<size_t>(i)];
        if (!button)
            continue;
        // A keypad of 1..9 in rows of three, "10" under the middle column.
        const double left = i < 9 ? 120 + 360 * (i % 3) : 480;
        const double top = 2520 + 360 * (i / 3);
        Twips::place(button, {left, top, 375, 375});
        button->setText(QString::number(i + 1));
        button->setToolTip(QStringLiteral("Select table #%1").arg(i + 1));
        connect(button, &QPushButton::clicked, this, [this, i] { m_tables.setCurrent(i + 1); });
    }
    if (buttons.storeValue)
        connect(buttons.storeValue, &QPushButton::clicked, this, &TableViews::storeCurrentValues);
    if (buttons.clearSelection)
        connect(buttons.clearSelection, &QPushButton::clicked, this, &TableViews::deleteSelectedLines);
    if (buttons.clearTable)
        connect(buttons.clearTable, &QPushButton::clicked, this, [this] { m_tables.clearCurrent(); });
}

void TableViews::disconnectButton(QPushButton* button)
{
    if (button)
        disconnect(button, nullptr, this, nullptr);
}

FlexGrid* TableViews::grid(int number) const
{
    return m_grids[static_cast<size_t>(std::clamp(number, 1, static_cast<int>(m_grids.size())) - 1)];
}

FlexGrid* TableViews::currentGrid() const
{
    return grid(m_tables.currentNumber());
}

void TableViews::showCurrent()
{
    FlexGrid* current = currentGrid();
    if (m_shown == current)
        return;
    if (m_shown)
        m_shown->hide();
    m_shown = current;
    m_shown->show();
}

qint32 TableViews::lastRowTop(qint32 rows, double height, double rowHeight)
{
    // A row height of 0 gives an infinite count, which the conversion limits: the request becomes row 1.
    const qint64 visible = Numbers::toInt32HalfEven(height / rowHeight);
    const qint64 top = static_cast<qint64>(rows) - visible + 2;
    return static_cast<qint32>(std::clamp<qint64>(top, 1, std::numeric_limits<qint32>::max()));
}

void TableViews::setupTables()
{
    const bool tobar = m_state.options.modeTobar;
    placeButtonBlock(tobar);
    for (FlexGrid* grid : m_grids) {
        grid->hide();
        grid->setTop(tobar ? 2000 : 2500);
        grid->setLeft(GridLeft);
        grid->setScrollTrack(true);
        grid->setSelectionMode(1);
        grid->setFocusRect(0);
    }
    m_shown = nullptr;
    m_tables.setupForMode();
    showCurrent();
}

void TableViews::placeButtonBlock(bool tobar)
{
    const double val2Table = tobar ? 2000 : 4200;
    if (tobar && m_buttons.averaging)
        m_buttons.averaging->hide();
    setTopTwips(m_buttons.storeValue, val2Table);
    setTopTwips(m_buttons.clearSelection, val2Table + 400);
    setTopTwips(m_buttons.clearTable, val2Table + 800);
    setTopTwips(m_buttons.readMemory, val2Table + 1200);
    setTopTwips(m_buttons.averaging, val2Table + 1750);
    if (m_buttons.averaging && m_buttons.readMemory) {
        const QPushButton* load = m_buttons.readMemory;
        m_buttons.averaging->setGeometry(load->x(), m_buttons.averaging->y(), load->width(), load->height());
    }
}

void TableViews::showLastRow()
{
    FlexGrid* grid = currentGrid();
    const qint32 rows = grid->Rows();
    grid->setTopRow(lastRowTop(rows, grid->Height(), grid->RowHeight(rows - 1)));
}

void TableViews::storeCurrentValues()
{
    if (m_state.options.modeTobar)
        m_tables.tobar2Table(boxText(m_tobar.value), boxText(m_tobar.verdict), boxText(m_tobar.reticle));
    else
        m_tables.XY2Table();
}

// The selected block goes in one removal.
void TableViews::deleteSelectedLines()
{
    FlexGrid* grid = currentGrid();
    const qint32 rows = grid->Rows();
    if (rows < 2)
        return;
    // The grid keeps both ends on lines while the table has any; the header row is never removed.
    const qint32 row = std::clamp(grid->Row(), 1, rows - 1);
    const qint32 rowSel = std::clamp(grid->RowSel(), 1, rows - 1);
    const qint32 first = std::min(row, rowSel);
    m_tables.deleteLines(first, std::abs(rowSel - row) + 1);
    // Row (removing downward) or RowSel (upward) is the block's first row: the selection shrinks to it.
    if (grid->Rows() > 1)
        grid->setRow(std::min(first, grid->Rows() - 1));
}
