#pragma once

#include <QString>
#include <QStringView>
#include <QTableView>
#include <QtGlobal>

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

struct LineRecord;

class FlexGridDelegate;
class FlexGridModel;
class QTimer;

// A table grid: a QTableView over our own model of text cells, with a current row, a whole-row selection
// between Row and RowSel, and a tab-separated line interface. Row 0 is the header row and does not scroll.
// Positions and sizes are in twips. Appending, removing a block and renumbering cost work proportional to
// the rows touched; what the view must learn (new rows, scrolling) is coalesced, not done per row.
class FlexGrid : public QTableView {
    Q_OBJECT
public:
    explicit FlexGrid(QWidget* parent = nullptr);
    ~FlexGrid() override;

    [[nodiscard]] qint32 Rows() const;
    void setRows(qint32 rows); // fewer removes from the end, more appends empty rows
    [[nodiscard]] qint32 Cols() const;
    void setCols(qint32 cols);

    [[nodiscard]] QString TextMatrix(qint32 row, qint32 col) const;
    // The same text without a copy, valid until the grid changes.
    [[nodiscard]] QStringView TextMatrixView(qint32 row, qint32 col) const;
    void setTextMatrix(qint32 row, qint32 col, const QString& text);
    // The record of a data row (1 .. Rows - 1); it follows the row. Null: none. Valid until the grid changes.
    [[nodiscard]] const LineRecord* record(qint32 row) const;
    void setRecord(qint32 row, const LineRecord& record);

    // The current cell and the other end of the (whole-row) selection.
    [[nodiscard]] qint32 Row() const { return m_row; }
    void setRow(qint32 row);
    [[nodiscard]] qint32 Col() const { return m_col; }
    void setCol(qint32 col);
    [[nodiscard]] QString Text() const;
    void setText(const QString& text);
    [[nodiscard]] qint32 RowSel() const { return m_rowSel; }
    void setRowSel(qint32 row);

    // Removes rows first .. first + count - 1 in one step.
    void RemoveItems(qint32 first, qint32 count);
    // Appends a row whose tab-separated fields fill the columns from column 0; extra fields are dropped.
    void AddItem(QStringView tabSeparated);

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
    // "h0|^h1|^h2": header texts, "^" centres; each column as wide as its header text in the grid font.
    [[nodiscard]] QString FormatString() const { return m_format; }
    void setFormatString(const QString& format);
    // Redraw switch: off suspends repainting.
    [[nodiscard]] bool Redraw() const { return m_redraw; }
    void setRedraw(bool on);

    // The first row written, added or removed since the last call (the largest qint32 when none): how the
    // one reader that follows the lines learns what to read again.
    [[nodiscard]] qint32 takeChangedFrom() { return std::exchange(m_changedFrom, NoChange); }

    // Tells the view now what it would otherwise learn at the next event-loop turn: new rows, changed
    // cells, the selection and a requested TopRow.
    void flushView();

protected:
    void showEvent(QShowEvent* event) override;

private:
    static constexpr qint32 NoChange = std::numeric_limits<qint32>::max();
    void changed(qint32 row) { m_changedFrom = std::min(m_changedFrom, row); }
    void scheduleFlush();
    void rowsChanged(qint32 oldRows);
    void applySelection();
    void takeViewSelection();
    [[nodiscard]] qint32 estimatedMaxTopRow() const;
    [[nodiscard]] int rowHeightPixels() const;

    FlexGridModel* m_model = nullptr;
    FlexGridDelegate* m_delegate = nullptr;
    QTimer* m_flushTimer = nullptr;
    qint32 m_row = 0;
    qint32 m_col = 0;
    qint32 m_rowSel = 0;
    qint32 m_topRow = 1;
    qint32 m_changedFrom = NoChange;
    bool m_topPending = false;
    bool m_selectionPending = false;
    bool m_applying = false; // our own changes to the view, whose signals are not operator input
    bool m_redraw = true;
    int m_selectionMode = 0;
    QString m_format;
};
