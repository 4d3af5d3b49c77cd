#pragma once

#include "analysis/linerecord.h"
#include "analysis/readings.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringView>

#include <initializer_list>
#include <memory>
#include <vector>

// One table: row 0 holds the header cells, rows 1 .. rows() - 1 the lines with their cell texts and
// records. Every change is announced by a signal naming the lines it touched, so any number of readers
// can follow; bulk operations (a file read, emptying) announce themselves once.
//
// The text of all rows lives in a few large blocks, so that a table of 32k lines is filled, cleared and
// freed without an allocation per line. A row is a slice of one block: its cells one after another with a
// TAB between them, or, for a row with a TAB inside a cell, with where each cell ends kept beside it. A row
// grows in place, or moves to the end of the blocks with room to grow into, so cells are appended one by
// one at constant cost even to a row of thousands; a row changed in the middle is written anew, and the
// blocks are compacted, room dropped, when more than half of them is left over from old places.
class Table : public QObject, public TableLines {
    Q_OBJECT
public:
    // How a column's cells are aligned: as the format's mark says, or the general rule (numbers right).
    enum class Align { General, Left, Centre, Right };

    explicit Table(QObject* parent = nullptr);
    ~Table() override;

    [[nodiscard]] qint32 rows() const { return static_cast<qint32>(m_rows.size()); }
    [[nodiscard]] qint32 cols() const { return m_cols; }
    // Fewer removes lines from the end, more appends empty ones; never fewer than the header row.
    void setRows(qint32 rows);
    void setCols(qint32 cols);
    // "h0|^h1|>h2": the columns and their header texts; a leading ^ centres, < aligns left, > right.
    void setFormat(const QString& format);
    [[nodiscard]] QString format() const { return m_format; }
    [[nodiscard]] Align align(qint32 col) const { return m_align[static_cast<size_t>(col)]; }

    // Empty outside the table; the view is valid until the table changes.
    [[nodiscard]] QString cell(qint32 row, qint32 col) const { return cellView(row, col).toString(); }
    [[nodiscard]] QStringView cellView(qint32 row, qint32 col) const;
    // Outside the table: nothing is written.
    void setCell(qint32 row, qint32 col, const QString& text);
    // The record of a line, kept with it through appending, removing and clearing; null: none.
    [[nodiscard]] const LineRecord* lineRecord(qint32 row) const
    {
        const auto r = static_cast<size_t>(row);
        return row >= 1 && row < rows() && m_rows[r].recorded ? &m_records[r] : nullptr;
    }
    void setRecord(qint32 row, const LineRecord& record);

    // A line from tab-separated fields filling the columns from column 0, extra fields dropped, with its
    // record if any. Its row.
    qint32 appendLine(QStringView tabSeparated, const LineRecord* record = nullptr);
    // A line of its row number and then Latin-1 tab-separated fields filling the columns from column 1,
    // extra fields dropped, with its record if any. Its row.
    qint32 appendNumberedLine(QByteArrayView latin1, const LineRecord* record);
    // A line of the given cells (a TAB in one stays in it) and its record. Its row.
    qint32 appendLine(std::initializer_list<QString> cells, const LineRecord* record);
    // Lines first .. first + count - 1, clipped to the lines there are.
    void removeLines(qint32 first, qint32 count);
    // Column 0 of every line becomes its line number.
    void renumber();
    void clear() { setRows(1); }

    // Appends many lines with one announcement for all: while it lives, appended lines are told of only
    // when it ends.
    class Bulk {
    public:
        explicit Bulk(Table& table) : m_table(table)
        {
            if (table.m_bulk++ == 0)
                table.m_bulkFirst = table.rows();
        }
        ~Bulk();
        Bulk(const Bulk&) = delete;
        Bulk& operator=(const Bulk&) = delete;

    private:
        Table& m_table;
    };

    // A bulk change is under way: what it appends is announced when it ends.
    [[nodiscard]] bool inBulk() const { return m_bulk > 0; }

    // TableLines
    [[nodiscard]] qint32 count() const override { return rows() - 1; }
    [[nodiscard]] QStringView text(qint32 line, qint32 col) const override { return cellView(line, col); }
    [[nodiscard]] const LineRecord* record(qint32 line) const override { return lineRecord(line); }

signals:
    void linesInserted(qint32 first, qint32 count);
    void linesRemoved(qint32 first, qint32 count);
    // Cells or records of rows firstRow .. lastRow changed; row 0 is the header.
    void cellsChanged(qint32 firstRow, qint32 lastRow);
    void columnsChanged();
    // A new format: header texts and alignment.
    void formatChanged();

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
                   : QStringView(m_blocks[static_cast<size_t>(row.block)].chars.get() + row.offset,
                                 row.length);
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
    // A block at the end with room for capacity characters: a spare, or a new one.
    void addBlock(qint32 capacity);
    // Shortens the row's text to length.
    void cutTo(Row& row, qint32 length);
    void compactIfWasteful();
    // Empties every line; the blocks are kept as spares for the lines that usually follow at once.
    void clearData();
    void writeCell(qint32 row, qint32 col, const QString& text);
    void appendRow(QStringView tabSeparated, const LineRecord* record);
    void appended(qint32 first);

    std::vector<Row> m_rows; // [0] is the header row
    // Beside the rows rather than in them: the rows stay small, which reading and clearing files feel. Held
    // by value: a table of 32k lines is filled and cleared without an allocation per line.
    std::vector<LineRecord> m_records;
    // The last cell looked up, so that reading a row cell after cell scans it once.
    mutable qint32 m_hintRow = -1;
    mutable qint32 m_hintCol = 0;
    mutable qint32 m_hintEnd = 0;
    // Characters reserved at once and never moved, so that slices of a block stay where they are.
    struct Block {
        std::unique_ptr<char16_t[]> chars;
        qint32 size = 0; // characters taken from the front
        qint32 capacity = 0;
        [[nodiscard]] qint32 room() const { return capacity - size; }
    };
    std::vector<Block> m_blocks;
    // Emptied blocks kept for the next lines: a table cleared and filled again (a file read) reuses them
    // instead of returning them to the heap and asking again. Dropped with the next announced insertion.
    std::vector<Block> m_spare;
    qint64 m_used = 0;   // characters the rows' places take, their room included
    qint64 m_stored = 0; // characters taken in the blocks
    QString m_scratch;
    std::vector<Align> m_align;
    QString m_format;
    qint32 m_cols = 1;
    int m_bulk = 0;
    qint32 m_bulkFirst = 0; // the first line appended within the bulk append
};
