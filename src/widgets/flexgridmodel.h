#pragma once

#include "analysis/linerecord.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

// How a column's cells are aligned: as a format string says, or the general rule (numbers right).
enum class FlexAlign { General, Left, Centre, Right };

// The cells of a grid. Grid row 0 is the header (shown as the horizontal header); grid row r >= 1 is model
// row r - 1. Appended rows stay pending until commit(), so the view learns of many new rows in one
// notification.
//
// The text of all rows lives in a few large blocks, so that a table of 32k lines is filled, cleared and
// freed without an allocation per line. A row is a slice of one block: its cells one after another with a
// TAB between them, or, for a row with a TAB inside a cell, with where each cell ends kept beside it. A row
// grows in place, or moves to the end of the blocks with room to grow into, so cells are appended one by
// one at constant cost even to a row of thousands; a row changed in the middle is written anew, and the
// blocks are compacted, room dropped, when more than half of them is left over from old places.
class FlexGridModel : public QAbstractTableModel {
public:
    explicit FlexGridModel(QObject* parent);
    ~FlexGridModel() override;

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_committed; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_cols; }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    [[nodiscard]] qint32 rows() const { return static_cast<qint32>(m_rows.size()); }
    [[nodiscard]] qint32 cols() const { return m_cols; }

    // row must exist; the view is valid until the model changes.
    [[nodiscard]] QString cell(qint32 row, qint32 col) const { return cellView(row, col).toString(); }
    [[nodiscard]] QStringView cellView(qint32 row, qint32 col) const;
    // row and col must be valid.
    void setCell(qint32 row, qint32 col, const QString& text);
    // The record of a data row, kept with the row through appending, removing and clearing; null: none.
    [[nodiscard]] const LineRecord* record(qint32 row) const
    {
        const auto r = static_cast<size_t>(row);
        return m_rows[r].recorded ? &m_records[r] : nullptr;
    }
    void setRecord(qint32 row, const LineRecord& record)
    {
        const auto r = static_cast<size_t>(row);
        m_records[r] = record;
        m_rows[r].recorded = true;
    }
    void setAlignment(qint32 col, FlexAlign align) { m_align[static_cast<size_t>(col)] = align; }

    void appendRows(qint32 count)
    {
        m_rows.resize(m_rows.size() + static_cast<size_t>(count));
        m_records.resize(m_rows.size());
    }
    // A row from tab-separated fields; fields past the last column are dropped.
    void appendRow(QStringView tabSeparated);
    // Grid rows first .. first + count - 1, all of them existing data rows.
    void removeBlock(qint32 first, qint32 count);
    void setCols(qint32 cols);

    [[nodiscard]] bool pending() const { return rows() - 1 != m_committed || m_dirtyFirst >= 0; }
    // Tells the view about the rows appended and the cells changed since the last commit.
    void commit();

private:
    struct Row {
        qint32 block = 0;
        qint32 offset = 0;
        qint32 length = 0;
        qint32 capacity = 0;                       // characters reserved at the row's place
        qint32 cells = 0;                          // cells stored; the others are empty
        bool recorded = false;                     // the row's record is set
        std::unique_ptr<std::vector<qint32>> ends; // where each cell ends, once a cell holds a TAB
    };

    [[nodiscard]] QStringView rowText(const Row& row) const
    {
        return row.length == 0
                   ? QStringView()
                   : QStringView(m_blocks[static_cast<size_t>(row.block)].data() + row.offset, row.length);
    }
    // Where stored cell col of the row begins and ends; false when the row has fewer cells.
    bool range(const Row& row, qint32 col, qint32& begin, qint32& end) const;
    void keepEnds(Row& row) const;
    // Keeps only the cells before col.
    void truncate(Row& row, qint32 cols);
    [[nodiscard]] bool atTail(const Row& row) const;
    // Appends text (which must not lie in the blocks) to the row's text: in place when its place has room
    // or is the tail of the last block, else by moving the row to the end, with room to grow into.
    void extend(Row& row, QStringView text);
    // Shortens the row's text to length.
    void cutTo(Row& row, qint32 length);
    void compactIfWasteful();
    // Empties every data row; the blocks are kept as spares for the rows that usually follow at once.
    void clearData();

    std::vector<Row> m_rows; // [0] is the header row
    // Beside the rows rather than in them: the rows stay small, which reading and clearing files feel. Held
    // by value: a table of 32k lines is filled and cleared without an allocation per line.
    std::vector<LineRecord> m_records;
    // The last cell looked up, so that reading a row cell after cell scans it once.
    mutable qint32 m_hintRow = -1;
    mutable qint32 m_hintCol = 0;
    mutable qint32 m_hintEnd = 0;
    std::vector<std::vector<char16_t>> m_blocks;
    // Emptied blocks kept for the next rows until the view learns of the change: a table cleared and
    // filled again (a file read) reuses them instead of returning them to the heap and asking again.
    std::vector<std::vector<char16_t>> m_spare;
    qint64 m_used = 0;   // characters the rows' places take, their room included
    qint64 m_stored = 0; // characters taken in the blocks
    QString m_scratch;
    std::vector<FlexAlign> m_align;
    qint32 m_cols = 1;
    int m_committed = 0;
    int m_dirtyFirst = -1;
    int m_dirtyLast = -1;
};
