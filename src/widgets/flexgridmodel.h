#pragma once

#include <QAbstractTableModel>

class Table;

// A table's cells as the view sees them, without a copy. Table row 0 is the header (shown as the
// horizontal header); table row r >= 1 is model row r - 1. Appended lines stay pending until commit(), so
// the view learns of many new rows in one notification; rowCount() is what the view has been told.
class FlexGridModel : public QAbstractTableModel {
public:
    FlexGridModel(const Table& table, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_committed; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_cols; }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // What the table announced.
    void linesRemoved(qint32 first, qint32 count);
    void cellsChanged(qint32 firstRow, qint32 lastRow);
    void columnsChanged();

    [[nodiscard]] bool pending() const;
    // The rows the view was told of no longer stand for lines of the table, until the commit.
    [[nodiscard]] bool replaced() const { return m_replaced; }
    // Tells the view about the lines appended and the cells changed since the last commit.
    void commit();

private:
    const Table& m_table;
    int m_cols = 0;
    int m_committed = 0;
    int m_dirtyFirst = -1;
    int m_dirtyLast = -1;
    bool m_replaced = false;
};
