#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <array>

struct AppState;
class FlexGrid;
class QLineEdit;
class QPushButton;
class QWidget;
class Tables;

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

// The main window's views of the ten tables: one grid each, the current one shown, the table keypad and
// the buttons beside the grids.
class TableViews : public QObject {
    Q_OBJECT
public:
    // Creates grid, grid2 .. grid10 as children of window (object names "grid", "grid2", ...).
    TableViews(AppState& state, Tables& tables, QWidget* window);
    ~TableViews() override;

    // Connects the buttons' clicks (the table keypad, store, clear selection, clear table) to the handlers;
    // also places the keypad and gives it its captions and tooltips.
    void setButtons(const TableButtons& buttons);
    void setTobarBoxes(const TobarBoxes& boxes) { m_tobar = boxes; }

    // Table number 1 .. 10.
    [[nodiscard]] FlexGrid* grid(int number) const;
    [[nodiscard]] FlexGrid* currentGrid() const;
    // The first visible row that showLastRow requests for a table of that many rows, table height and
    // last-row height (twips); at least 1.
    [[nodiscard]] static qint32 lastRowTop(qint32 rows, double height, double rowHeight);

    // The grids placed and the tables set up for the mode in use; table 1 shown.
    void setupTables();
    void showLastRow();
    // A line of the current values: the TOBAR value in TOBAR mode, else the angles.
    void storeCurrentValues();
    // Removes the selected lines of the current table and numbers the rest anew.
    void deleteSelectedLines();

private:
    void placeButtonBlock(bool tobar);
    void disconnectButton(QPushButton* button);
    void showCurrent();

    AppState& m_state;
    Tables& m_tables;
    std::array<FlexGrid*, 10> m_grids{};
    FlexGrid* m_shown = nullptr;
    TableButtons m_buttons;
    TobarBoxes m_tobar;
};
