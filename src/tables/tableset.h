#pragma once

#include "analysis/linerecord.h"

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>

struct AppState;
class FlexGrid;
class MeasurementLog;
class QLineEdit;
class QPushButton;
class QWidget;

// Controls of the main window that the table layout places or reads.
struct TableButtons {
    QPushButton* storeValue = nullptr;
    QPushButton* clearSelection = nullptr;
    QPushButton* clearTable = nullptr;
    QPushButton* readMemory = nullptr;
    QPushButton* averaging = nullptr;
    std::array<QPushButton*, 10> tables{}; // the keypad choosing table 1 .. 10
};

// The TOBAR boxes whose texts a TOBAR table line takes.
struct TobarBoxes {
    QLineEdit* value = nullptr;
    QLineEdit* verdict = nullptr;
    QLineEdit* reticle = nullptr;
};

// The ten measurement tables of the main window, the current one, and the writing of lines into them.
class TableSet : public QObject {
    Q_OBJECT
public:
    // Lines 1 .. 32766 take angle pairs, line 32767 the "table filled." marker.
    static constexpr qint32 FullRows = 32768;

    // Creates grid, grid2 .. grid10 as children of window (object names "grid", "grid2", ...).
    TableSet(AppState& state, QWidget* window);
    ~TableSet() override;

    // Connects the buttons' clicks (the table keypad, store, clear selection, clear table) to the handlers;
    // also places the keypad and gives it its captions and tooltips.
    void setButtons(const TableButtons& buttons);
    void setTobarBoxes(const TobarBoxes& boxes) { m_tobar = boxes; }
    // Called when an angle table fills up: the main window's "Stop".
    void setStopStoring(std::function<void()> stop) { m_stopStoring = std::move(stop); }
    // Where the times of stored measurements are marked; null: nowhere.
    void setLog(MeasurementLog* log) { m_log = log; }

    // Table number 1 .. 10.
    [[nodiscard]] FlexGrid* grid(int number) const;
    [[nodiscard]] FlexGrid* currentGrid() const { return m_currentGrid; }
    [[nodiscard]] qint16 currentGridNum() const { return m_currentGridNum; }
    // The file table n was last opened from or saved to; empty when none, or since the table was emptied.
    [[nodiscard]] QString fileName(int number) const;
    void setFileName(int number, const QString& name);
    // Header format of table n in the ORVELAN or TOBAR layout.
    [[nodiscard]] static QString formatString(int number, bool tobar);
    // The first visible row that showLastRow requests for a table of that many rows, table height and
    // last-row height (twips); at least 1.
    [[nodiscard]] static qint32 lastRowTop(qint32 rows, double height, double rowHeight);

    void setupTables();
    void selectTable(qint16 number);
    // Hides the current table, selects table 1 .. 10 and shows it.
    void showTable(int number);
    // Empties the current table, keeping a recovery copy.
    void clearCurrentTable();
    void showLastRow();

    // A line of the current values: the TOBAR value in TOBAR mode, else the angles.
    void storeCurrentValues();
    void XY2Table(LineRecord::Source source = LineRecord::Source::Button);
    void tobar2Table();
    void setGridForLoad(qint16 g, qint32 r, qint16 c);
    void addLine(qint16 gridNum);
    void setColumn(const QString& s);
    // Removes the selected lines of the current table and numbers the rest anew.
    void deleteSelectedLines();
    void renumberRows();

private:
    void placeButtonBlock(bool tobar);
    void disconnectButton(QPushButton* button);
    // The record of a line written now: its time and the zero offsets in effect.
    [[nodiscard]] LineRecord recordNow(LineRecord::Source source) const;
    // Appends a line numbered after its row to the current table; its row.
    [[nodiscard]] qint32 appendNumberedLine();
    // Gives a line just written its record, marks the time in the log and scrolls to the line.
    void finishStoredLine(qint32 row, const LineRecord& record);

    AppState& m_state;
    std::array<FlexGrid*, 10> m_grids{};
    std::array<QString, 10> m_fileNames;
    FlexGrid* m_currentGrid = nullptr;
    qint16 m_currentGridNum = 1;
    TableButtons m_buttons;
    TobarBoxes m_tobar;
    std::function<void()> m_stopStoring;
    MeasurementLog* m_log = nullptr;
};
