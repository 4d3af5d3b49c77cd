#include "tables/tableset.h"
#include "tables/recovery.h"

#include "analysis/csvexport.h"
#include "analysis/measurementlog.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "widgets/flexgrid.h"
#include "widgets/twips.h"

#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

constexpr double GridLeft = 1440;
constexpr qint32 MarkerRow = TableSet::FullRows - 1;

// One centred header of a format string, with its exact surrounding spaces.
QString centred(int before, const QString& text, int after)
{
    return QStringLiteral("|^") + QString(before, QLatin1Char(' ')) + text + QString(after, QLatin1Char(' '));
}

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

TableSet::TableSet(AppState& state, QWidget* window) : QObject(window), m_state(state)
{
    for (int i = 0; i < static_cast<int>(m_grids.size()); ++i) {
        auto* grid = new FlexGrid(window);
        grid->setObjectName(i == 0 ? QStringLiteral("grid") : QStringLiteral("grid%1").arg(i + 1));
        grid->setVisible(i == 0);
        m_grids[static_cast<size_t>(i)] = grid;
    }
    m_currentGrid = m_grids[0];
}

TableSet::~TableSet() = default;

void TableSet::setButtons(const TableButtons& buttons)
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
        connect(button, &QPushButton::clicked, this, [this, i] { showTable(i + 1); });
    }
    if (buttons.storeValue)
        connect(buttons.storeValue, &QPushButton::clicked, this, &TableSet::storeCurrentValues);
    if (buttons.clearSelection)
        connect(buttons.clearSelection, &QPushButton::clicked, this, &TableSet::deleteSelectedLines);
    if (buttons.clearTable)
        connect(buttons.clearTable, &QPushButton::clicked, this, &TableSet::clearCurrentTable);
}

void TableSet::disconnectButton(QPushButton* button)
{
    if (button)
        disconnect(button, nullptr, this, nullptr);
}

FlexGrid* TableSet::grid(int number) const
{
    return m_grids[static_cast<size_t>(std::clamp(number, 1, static_cast<int>(m_grids.size())) - 1)];
}

QString TableSet::fileName(int number) const
{
    return m_fileNames[static_cast<size_t>(std::clamp(number, 1, 10) - 1)];
}

void TableSet::setFileName(int number, const QString& name)
{
    m_fileNames[static_cast<size_t>(std::clamp(number, 1, 10) - 1)] = name;
}

QString TableSet::formatString(int number, bool tobar)
{
    QString format = QStringLiteral("TABLE ") + QString::number(number);
    if (tobar) {
        format += centred(2, QStringLiteral("Measurement value"), 2) + centred(0, QStringLiteral("Unit"), 0) +
                  centred(7, QStringLiteral("Type"), 9) + centred(1, QStringLiteral("Go/NG"), 2) +
                  centred(8, QStringLiteral("Comment"), 7);
    } else {
        format += centred(10, QStringLiteral("X"), 10) + centred(10, QStringLiteral("Y"), 10);
    }
    return format;
}

qint32 TableSet::lastRowTop(qint32 rows, double height, double rowHeight)
{
    // A row height of 0 gives an infinite count, which the conversion limits: the request becomes row 1.
    const qint64 visible = Numbers::toInt32HalfEven(height / rowHeight);
    const qint64 top = static_cast<qint64>(rows) - visible + 2;
    return static_cast<qint32>(std::clamp<qint64>(top, 1, std::numeric_limits<qint32>::max()));
}

void TableSet::setupTables()
{
    const bool tobar = m_state.options.modeTobar;
    for (int n = 1; n <= static_cast<int>(m_grids.size()); ++n)
        Recovery::keep(*grid(n), n, Recovery::Cause::ModeChange, m_state.options.useComma);
    m_fileNames.fill(QString());
    placeButtonBlock(tobar);
    for (qint16 n = 1; n <= static_cast<qint16>(m_grids.size()); ++n) {
        selectTable(n);
        FlexGrid* grid = m_currentGrid;
        grid->hide();
        grid->setTop(tobar ? 2000 : 2500);
        grid->setLeft(GridLeft);
        grid->setRows(1);
        grid->setScrollTrack(true);
        grid->setSelectionMode(1);
        grid->setFocusRect(0);
        grid->setCols(tobar ? 6 : 3);
        grid->setFormatString(formatString(n, tobar));
    }
    selectTable(1);
    m_currentGrid->show();
}

void TableSet::placeButtonBlock(bool tobar)
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

void TableSet::selectTable(qint16 number)
{
    m_currentGridNum = static_cast<qint16>(std::clamp<int>(number, 1, static_cast<int>(m_grids.size())));
    m_currentGrid = m_grids[static_cast<size_t>(m_currentGridNum - 1)];
}

void TableSet::showTable(int number)
{
    m_currentGrid->hide();
    selectTable(static_cast<qint16>(std::clamp(number, 1, static_cast<int>(m_grids.size()))));
    m_currentGrid->show();
}

void TableSet::clearCurrentTable()
{
    Recovery::keep(*m_currentGrid, m_currentGridNum, Recovery::Cause::ClearTable, m_state.options.useComma);
    setFileName(m_currentGridNum, QString());
    m_currentGrid->setRows(1);
}

void TableSet::showLastRow()
{
    FlexGrid* grid = m_currentGrid;
    const qint32 rows = grid->Rows();
    grid->setTopRow(lastRowTop(rows, grid->Height(), grid->RowHeight(rows - 1)));
}

void TableSet::storeCurrentValues()
{
    if (m_state.options.modeTobar)
        tobar2Table();
    else
        XY2Table();
}

// Cells past a table's columns (a readout may have narrowed it) are skipped by the grid.
LineRecord TableSet::recordNow(LineRecord::Source source) const
{
    LineRecord record;
    record.source = source;
    record.msecs = QDateTime::currentMSecsSinceEpoch();
    static CsvExport::UtcOffsets offsets;
    record.utcOffset = offsets.at(record.msecs);
    record.zeroX = m_state.angles.zeroX;
    record.zeroY = m_state.angles.zeroY;
    return record;
}

qint32 TableSet::appendNumberedLine()
{
    FlexGrid* grid = m_currentGrid;
    const qint32 r = grid->Rows();
    grid->setRows(r + 1);
    grid->setTextMatrix(r, 0, QString::number(r));
    return r;
}

void TableSet::finishStoredLine(qint32 row, const LineRecord& record)
{
    m_currentGrid->setRecord(row, record);
    if (m_log)
        m_log->markStored();
    showLastRow();
}

void TableSet::XY2Table(LineRecord::Source source)
{
    FlexGrid* grid = m_currentGrid;
    if (grid->Rows() > MarkerRow)
        return;
    const qint32 r = appendNumberedLine();
    if (r == MarkerRow) {
        grid->setTextMatrix(r, 1, QStringLiteral("table filled."));
        if (m_stopStoring)
            m_stopStoring();
        return;
    }
    grid->setTextMatrix(r, 1, m_state.angles.angleXText());
    grid->setTextMatrix(r, 2, m_state.angles.angleYText());
    LineRecord record = recordNow(source);
    record.unit = m_state.angles.angleUnit;
    record.x = m_state.angles.shownX();
    record.y = m_state.angles.shownY();
    finishStoredLine(r, record);
}

void TableSet::tobar2Table()
{
    FlexGrid* grid = m_currentGrid;
    const qint32 r = appendNumberedLine();
    grid->setTextMatrix(r, 1, boxText(m_tobar.value));
    grid->setTextMatrix(r, 4, boxText(m_tobar.verdict));
    switch (m_state.link.lastTobarMsg) {
    case TobarMessage::Efl:
        grid->setTextMatrix(r, 5, QStringLiteral("Line pair ") + boxText(m_tobar.reticle));
        grid->setTextMatrix(r, 3, QStringLiteral("EFL"));
        break;
    case TobarMessage::Radius:
        grid->setTextMatrix(r, 3, QStringLiteral("Radius"));
        break;
    case TobarMessage::Bfl:
        grid->setTextMatrix(r, 3, QStringLiteral("BFL"));
        break;
    case TobarMessage::None:
        break;
    }
    const bool inch = m_state.link.tobarInInch();
    grid->setTextMatrix(r, 2, inch ? QStringLiteral("\"") : QStringLiteral("mm"));
    LineRecord record = recordNow(LineRecord::Source::Tobar);
    record.inch = inch;
    record.x = Numbers::strictNumber(m_state.link.tobarValue).value_or(LineRecord::None);
    finishStoredLine(r, record);
}

void TableSet::setGridForLoad(qint16 g, qint32 r, qint16 c)
{
    if (r < 1 || c < 1)
        return;
    showTable(g);
    Recovery::keep(*m_currentGrid, m_currentGridNum, Recovery::Cause::Readout, m_state.options.useComma);
    setFileName(m_currentGridNum, QString());
    m_currentGrid->setRows(1);
    m_currentGrid->setCols(c + 1);
}

void TableSet::addLine(qint16 gridNum)
{
    if (gridNum != m_currentGridNum)
        showTable(gridNum);
    FlexGrid* grid = m_currentGrid;
    grid->setRows(grid->Rows() + 1);
    grid->setRow(grid->Rows() - 1);
    static const LineRecord readout{LineRecord::Source::Readout};
    grid->setRecord(grid->Row(), readout);
    grid->setCol(0);
    grid->setText(QString::number(grid->Row()));
    grid->setCol(1);
}

void TableSet::setColumn(const QString& s)
{
    FlexGrid* grid = m_currentGrid;
    // Never into the header row, nor over the line number of a table that has only that column.
    if (grid->Row() < 1 || grid->Col() < 1)
        return;
    // An empty value over an empty cell changes nothing; written, it would give each of the thousands of
    // columns a header may announce its own storage in every line.
    if (!s.isEmpty() || !grid->Text().isEmpty())
        grid->setText(s);
    if (grid->Col() < grid->Cols() - 1)
        grid->setCol(grid->Col() + 1);
}

// The selected block goes in one removal; the result is that of removing its rows one by one, where the
// last remaining line goes by emptying the table.
void TableSet::deleteSelectedLines()
{
    FlexGrid* grid = m_currentGrid;
    const qint32 rows = grid->Rows();
    if (rows < 2)
        return;
    if (rows == 2) {
        grid->setRows(1);
        return;
    }
    // The grid keeps both ends on lines while the table has any; the header row is never removed.
    const qint32 row = std::clamp(grid->Row(), 1, rows - 1);
    const qint32 rowSel = std::clamp(grid->RowSel(), 1, rows - 1);
    const qint32 first = std::min(row, rowSel);
    const qint32 count = std::abs(rowSel - row) + 1;
    if (count >= rows - 1) {
        grid->setRows(1);
        return;
    }
    grid->RemoveItems(first, count);
    // Row (removing downward) or RowSel (upward) is the block's first row: the selection shrinks to it.
    grid->setRow(std::min(first, grid->Rows() - 1));
    renumberRows();
}

void TableSet::renumberRows()
{
    FlexGrid* grid = m_currentGrid;
    const qint32 rows = grid->Rows();
    for (qint32 i = 1; i < rows; ++i)
        grid->setTextMatrix(i, 0, QString::number(i));
}
