#include "widgets/flexgridmodel.h"

#include "tables/table.h"

#include <algorithm>

namespace {

Qt::Alignment alignmentOf(Table::Align align, const QString& text)
{
    switch (align) {
    case Table::Align::Left:
        return Qt::AlignLeft | Qt::AlignVCenter;
    case Table::Align::Centre:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case Table::Align::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case Table::Align::General:
        break;
    }
    // The general alignment: numbers to the right, other text to the left.
    bool number = false;
    (void)text.toDouble(&number);
    return (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

} // namespace

FlexGridModel::FlexGridModel(const Table& table, QObject* parent)
    : QAbstractTableModel(parent), m_table(table), m_cols(table.cols())
{
}

QVariant FlexGridModel::data(const QModelIndex& index, int role) const
{
    // The table may already hold fewer lines or columns than the view was told of.
    if (!index.isValid() || index.row() >= m_committed || index.row() + 1 >= m_table.rows() ||
        index.column() >= m_cols || index.column() >= m_table.cols())
        return {};
    if (role != Qt::DisplayRole && role != Qt::TextAlignmentRole)
        return {};
    const QString text = m_table.cell(index.row() + 1, index.column());
    if (role == Qt::DisplayRole)
        return text;
    return static_cast<int>(alignmentOf(m_table.align(index.column()), text));
}

QVariant FlexGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical)
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    if (section < 0 || section >= m_cols || section >= m_table.cols())
        return {};
    const QString text = m_table.cell(0, section);
    if (role == Qt::DisplayRole)
        return text;
    if (role == Qt::TextAlignmentRole)
        return static_cast<int>(alignmentOf(m_table.align(section), text));
    return {};
}

Qt::ItemFlags FlexGridModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void FlexGridModel::linesRemoved(qint32 first, qint32 count)
{
    if ((m_table.rows() == 1 && m_table.inBulk()) || m_replaced) {
        // All lines gone for new ones at once (a file read): the view keeps its rows until the commit,
        // which tells it of their new texts and only the difference in count, so that it does not drop
        // and build again a row of its own for every line. Emptied for good, the view learns it at once.
        m_replaced = m_committed > 0;
        return;
    }
    // Only the rows the view was told of; pending ones simply never arrive.
    const int top = first - 1;
    const int bottom = std::min(top + count, m_committed) - 1;
    if (m_dirtyFirst >= 0)
        m_dirtyFirst = std::min(m_dirtyFirst, std::max(top, 0));
    if (top > bottom)
        return;
    beginRemoveRows({}, top, bottom);
    m_committed -= bottom - top + 1;
    endRemoveRows();
}

void FlexGridModel::cellsChanged(qint32 firstRow, qint32 lastRow)
{
    if (firstRow == 0) {
        if (m_cols > 0)
            emit headerDataChanged(Qt::Horizontal, 0, m_cols - 1);
        firstRow = 1;
    }
    if (firstRow > lastRow || firstRow - 1 >= m_committed)
        return;
    m_dirtyFirst = m_dirtyFirst < 0 ? firstRow - 1 : std::min(m_dirtyFirst, firstRow - 1);
    m_dirtyLast = std::max(m_dirtyLast, lastRow - 1);
}

void FlexGridModel::columnsChanged()
{
    const int cols = m_table.cols();
    if (cols > m_cols) {
        beginInsertColumns({}, m_cols, cols - 1);
        m_cols = cols;
        endInsertColumns();
    } else if (cols < m_cols) {
        beginRemoveColumns({}, cols, m_cols - 1);
        m_cols = cols;
        endRemoveColumns();
    }
}

bool FlexGridModel::pending() const
{
    return m_table.rows() - 1 != m_committed || m_dirtyFirst >= 0 || m_replaced;
}

void FlexGridModel::commit()
{
    const int lines = m_table.rows() - 1;
    if (m_replaced) {
        m_replaced = false;
        if (lines < m_committed) {
            beginRemoveRows({}, lines, m_committed - 1);
            m_committed = lines;
            endRemoveRows();
        }
        if (m_committed > 0) {
            m_dirtyFirst = 0;
            m_dirtyLast = std::max(m_dirtyLast, m_committed - 1);
        }
    }
    if (lines > m_committed) {
        beginInsertRows({}, m_committed, lines - 1);
        m_committed = lines;
        endInsertRows();
    }
    if (m_dirtyFirst >= 0) {
        const int last = std::min(m_dirtyLast, m_committed - 1);
        const int first = m_dirtyFirst;
        m_dirtyFirst = m_dirtyLast = -1;
        if (first <= last)
            emit dataChanged(index(first, 0), index(last, m_cols - 1));
    }
}
