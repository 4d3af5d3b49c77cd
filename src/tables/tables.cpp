#include "tables/tables.h"
#include "tables/recovery.h"

#include "analysis/csvexport.h"
#include "analysis/measurementlog.h"
#include "link/link.h"
#include "state/appstate.h"
#include "state/numbers.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint32 MarkerRow = Tables::FullRows - 1;

// One centred header of a format string, with its exact surrounding spaces.
QString centred(int before, const QString& text, int after)
{
    return QStringLiteral("|^") + QString(before, QLatin1Char(' ')) + text + QString(after, QLatin1Char(' '));
}

} // namespace

Tables::Tables(AppState& state, QObject* parent) : QObject(parent), m_state(state)
{
    for (int n = 1; n <= Count; ++n) {
        auto& table = m_tables[index(n)];
        table = std::make_unique<Table>();
        // Lines removed under the readout's line end its writing until it begins a new one.
        connect(table.get(), &Table::linesRemoved, this, [this, n](qint32 first) {
            if (n == m_readoutTable && first <= m_readoutRow)
                m_readoutRow = 0;
        });
    }
}

Tables::~Tables() = default;

void Tables::follow(Link& link)
{
    setLog(&link.log());
    connect(&link, &Link::storeRequested, this,
            [this](LineRecord::Source cause, qint64 msecs) { XY2Table(cause, msecs); });
    connect(&link, &Link::readoutStarted, this, &Tables::setGridForLoad);
    connect(&link, &Link::readoutLineStarted, this, &Tables::addLine);
    connect(&link, &Link::readoutCell, this, &Tables::setColumn);
}

void Tables::setCurrent(int number)
{
    const int chosen = std::clamp(number, 1, Count);
    if (chosen == m_current)
        return;
    m_current = chosen;
    emit currentChanged(chosen);
}

QString Tables::formatString(int number, bool tobar)
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

void Tables::setupForMode()
{
    const bool tobar = m_state.options.modeTobar;
    for (int n = 1; n <= Count; ++n)
        Recovery::keep(table(n), n, Recovery::Cause::ModeChange, m_state.options.useComma);
    m_fileNames.fill(QString());
    for (int n = 1; n <= Count; ++n) {
        Table& t = table(n);
        t.clear();
        t.setCols(tobar ? 6 : 3);
        t.setFormat(formatString(n, tobar));
    }
    setCurrent(1);
}

void Tables::clearCurrent()
{
    Recovery::keep(current(), m_current, Recovery::Cause::ClearTable, m_state.options.useComma);
    setFileName(m_current, QString());
    current().clear();
}

LineRecord Tables::recordAt(LineRecord::Source source, qint64 msecs) const
{
    LineRecord record;
    record.source = source;
    record.msecs = msecs;
    static CsvExport::UtcOffsets offsets;
    record.utcOffset = offsets.at(record.msecs);
    record.zeroX = m_state.angles.zeroX;
    record.zeroY = m_state.angles.zeroY;
    return record;
}

LineRecord Tables::recordNow(LineRecord::Source source, std::optional<qint64> msecs) const
{
    LineRecord record = recordAt(source, msecs.value_or(QDateTime::currentMSecsSinceEpoch()));
    record.unit = m_state.angles.angleUnit;
    return record;
}

void Tables::stored(int number, qint32 line, qint64 msecs)
{
    if (m_log)
        m_log->markStoredAt(msecs - m_log->startMsecsSinceEpoch());
    emit lineStored(number, line);
}

// Cells past a table's columns (a readout may have narrowed it) are dropped.
void Tables::XY2Table(LineRecord::Source source, std::optional<qint64> msecs)
{
    Table& t = current();
    const qint32 r = t.rows();
    if (r > MarkerRow)
        return;
    if (r == MarkerRow) {
        (void)t.appendLine({QString::number(r), QStringLiteral("table filled.")}, nullptr);
        emit tableFilled();
        return;
    }
    LineRecord record = recordNow(source, msecs);
    record.x = m_state.angles.shownX();
    record.y = m_state.angles.shownY();
    stored(
        m_current,
        t.appendLine({QString::number(r), m_state.angles.angleXText(), m_state.angles.angleYText()}, &record),
        record.msecs);
}

qint32 Tables::storeStation(int number, double x, double y, LineRecord record)
{
    Table& t = table(number);
    const qint32 r = t.rows();
    if (r >= MarkerRow)
        return 0;
    const auto text = [this](double v) {
        return std::isnan(v) ? QStringLiteral("..........") : m_state.angles.formatAngle(v);
    };
    record.unit = m_state.angles.angleUnit;
    record.x = x;
    record.y = y;
    const qint32 line = t.appendLine({QString::number(r), text(x), text(y)}, &record);
    stored(std::clamp(number, 1, Count), line, record.msecs);
    return line;
}

void Tables::removeLine(int number, qint32 line)
{
    Table& t = table(number);
    if (line < 1 || line >= t.rows())
        return;
    if (t.rows() == 2) {
        t.clear();
        return;
    }
    t.removeLines(line, 1);
    t.renumber();
}

void Tables::tobar2Table(const QString& value, const QString& verdict, const QString& reticle)
{
    QString type;
    QString comment;
    switch (m_state.link.lastTobarMsg) {
    case TobarMessage::Efl:
        comment = QStringLiteral("Line pair ") + reticle;
        type = QStringLiteral("EFL");
        break;
    case TobarMessage::Radius:
        type = QStringLiteral("Radius");
        break;
    case TobarMessage::Bfl:
        type = QStringLiteral("BFL");
        break;
    case TobarMessage::None:
        break;
    }
    const bool inch = m_state.link.tobarInInch();
    LineRecord record = recordAt(LineRecord::Source::Tobar, QDateTime::currentMSecsSinceEpoch());
    record.inch = inch;
    record.x = Numbers::strictNumber(m_state.link.tobarValue).value_or(LineRecord::None);
    Table& t = current();
    const QString unit = inch ? QStringLiteral("\"") : QStringLiteral("mm");
    stored(m_current, t.appendLine({QString::number(t.rows()), value, unit, type, verdict, comment}, &record),
           record.msecs);
}

void Tables::setGridForLoad(qint16 g, qint32 r, qint16 c)
{
    if (r < 1 || c < 1)
        return;
    setCurrent(g);
    Recovery::keep(current(), m_current, Recovery::Cause::Readout, m_state.options.useComma);
    setFileName(m_current, QString());
    current().clear();
    current().setCols(c + 1);
    m_readoutTable = m_current;
    m_readoutRow = m_readoutCol = 0;
}

void Tables::addLine(qint16 gridNum)
{
    setCurrent(gridNum);
    m_readoutTable = m_current;
    // The texts the instrument sends are read in the unit shown while they arrived.
    LineRecord readout{LineRecord::Source::Readout};
    readout.unit = m_state.angles.angleUnit;
    Table& t = current();
    m_readoutRow = t.appendLine({QString::number(t.rows())}, &readout);
    m_readoutCol = 1;
    emit readoutLineAdded(m_current, m_readoutRow);
}

void Tables::setColumn(const QString& s)
{
    Table& t = table(m_readoutTable);
    // Never into the header row, nor over the line number of a table that has only that column.
    if (m_readoutRow < 1 || m_readoutRow >= t.rows() || m_readoutCol < 1 || m_readoutCol >= t.cols())
        return;
    // An empty value over an empty cell changes nothing; written, it would give each of the thousands of
    // columns a header may announce its own storage in every line.
    if (!s.isEmpty() || !t.cellView(m_readoutRow, m_readoutCol).isEmpty())
        t.setCell(m_readoutRow, m_readoutCol, s);
    if (m_readoutCol < t.cols() - 1)
        ++m_readoutCol;
}

// The result is that of removing the block's lines one by one, where the last remaining line goes by
// emptying the table.
void Tables::deleteLines(qint32 first, qint32 count)
{
    Table& t = current();
    const qint32 rows = t.rows();
    if (rows < 2)
        return;
    if (rows == 2 || count >= rows - 1) {
        t.clear();
        return;
    }
    t.removeLines(first, count);
    t.renumber();
}
