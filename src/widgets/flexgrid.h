#pragma once

#include <QString>
#include <QStringView>
#include <QTableView>
#include <QtGlobal>

struct LineRecord;

class FlexGridDelegate;
class FlexGridModel;
class QTimer;
class Table;

// A table grid: a QTableView over one table, with a current row and a whole-row selection between Row and
// RowSel. Row 0 is the header row and does not scroll. Positions and sizes are in twips. What the view
// must learn of the table's changes (new rows, scrolling) is coalesced, not done per line.
class FlexGrid : public QTableView {
    Q_OBJECT
public:
    explicit FlexGrid(Table& table, QWidget* parent = nullptr);
    ~FlexGrid() override;

    [[nodiscard]] Table& table() const { return m_table; }
    [[nodiscard]] qint32 Rows() const;
    [[nodiscard]] qint32 Cols() const;
    [[nodiscard]] QString TextMatrix(qint32 row, qint32 col) const;
    // The same text without a copy, valid until the table changes.
    [[nodiscard]] QStringView TextMatrixView(qint32 row, qint32 col) const;
    // The record of a data row (1 .. Rows - 1). Null: none. Valid until the table changes.
    [[nodiscard]] const LineRecord* record(qint32 row) const;

    // The current cell and the other end of the (whole-row) selection.
    [[nodiscard]] qint32 Row() const { return m_row; }
    void setRow(qint32 row);
    [[nodiscard]] qint32 Col() const { return m_col; }
    void setCol(qint32 col);
    [[nodiscard]] QString Text() const;
    [[nodiscard]] qint32 RowSel() const { return m_rowSel; }
    void setRowSel(qint32 row);

    // First visible scrolling row, kept within the scroll range.
    [[nodiscard]] qint32 TopRow() const;
    void setTopRow(qint32 row);
    [[nodiscard]] double RowHeight(qint32 row) const;
    [[nodiscard]] double ColWidth(qint32 col) const;

    [[nodiscard]] double Left() const;
    void setLeft(double twips);
    void setTop(double twips);
    [[nodiscard]] double Width() const;
    void setWidth(double twips);
    [[nodiscard]] double Height() const;
    void setHeight(double twips);

    void setScrollTrack(bool on);
    [[nodiscard]] int SelectionMode() const { return m_selectionMode; } // 1 = whole rows
    void setSelectionMode(int mode);
    // 0: no focus rectangle around the current cell.
    void setFocusRect(int mode);
    // The table's format; each column as wide as its header text in the grid font.
    [[nodiscard]] QString FormatString() const;
    // Redraw switch: off suspends repainting.
    [[nodiscard]] bool Redraw() const { return m_redraw; }
    void setRedraw(bool on);

    // Tells the view now what it would otherwise learn at the next event-loop turn: new rows, changed
    // cells, the selection and a requested TopRow.
    void flushView();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void linesRemoved(qint32 first, qint32 count);
    void columnsChanged();
    void fitColumnsToHeader();
    void scheduleFlush();
    void rowsChanged(qint32 oldRows);
    void applySelection();
    void takeViewSelection();
    [[nodiscard]] qint32 estimatedMaxTopRow() const;
    [[nodiscard]] int rowHeightPixels() const;

    Table& m_table;
    FlexGridModel* m_model = nullptr;
    FlexGridDelegate* m_delegate = nullptr;
    QTimer* m_flushTimer = nullptr;
    qint32 m_row = 0;
    qint32 m_col = 0;
    qint32 m_rowSel = 0;
    qint32 m_topRow = 1;
    bool m_topPending = false;
    bool m_selectionPending = false;
    bool m_applying = false; // our own changes to the view, whose signals are not operator input
    bool m_redraw = true;
    int m_selectionMode = 0;
};
