#include "tables/tableset.h"

#include "widgets/flexgrid.h"
#include "widgets/twips.h"
#include "state/appstate.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWidget>

#include <memory>

namespace {

const QString OrvelanTemplate = QStringLiteral("|^          X          |^          Y          ");
const QString TobarTemplate =
    QStringLiteral("|^  Measurement value  |^Unit|^       Type         |^ Go/NG  |^        Comment       ");

// The main window's part that the table set works with: buttons at their design places, the TOBAR boxes.
struct Window {
    QWidget widget;
    AppState state;
    std::unique_ptr<TableSet> tables;
    TableButtons buttons;
    TobarBoxes boxes;
    int stops = 0;

    explicit Window(bool tobar = false)
    {
        state.options.modeTobar = tobar;
        tables = std::make_unique<TableSet>(state, &widget);
        const auto button = [this](double height) {
            auto* b = new QPushButton(&widget);
            Twips::place(b, {120, 0, 1215, height});
            return b;
        };
        buttons.CommandVal2Table = button(375);
        buttons.CommandDelete = button(375);
        buttons.CommandClearGrid = button(375);
        buttons.CommandLoadFromOrv = button(495);
        buttons.CommMean = new QPushButton(&widget);
        Twips::place(buttons.CommMean, {4680, 6480, 1335, 375});
        for (QPushButton*& ct : buttons.CT)
            ct = new QPushButton(&widget);
        boxes = {new QLineEdit(&widget), new QLineEdit(&widget), new QLineEdit(&widget)};
        tables->setButtons(buttons);
        tables->setTobarBoxes(boxes);
        tables->setStopStoring([this] { ++stops; });
        tables->setupTables();
    }

    FlexGrid* current() const { return tables->currentGrid(); }

    void addLines(int count)
    {
        for (int i = 1; i <= count; ++i)
            current()->AddItem(QStringLiteral("%1\tv%1\tw%1").arg(i));
    }

    QList<int> visibleTables() const
    {
        QList<int> visible;
        for (int n = 1; n <= 10; ++n) {
            if (tables->grid(n)->isVisibleTo(&widget))
                visible << n;
        }
        return visible;
    }
};

QString column(const FlexGrid* grid, int col)
{
    QStringList texts;
    for (int r = 1; r < grid->Rows(); ++r)
        texts << grid->TextMatrix(r, col);
    return texts.join(QLatin1Char(','));
}

QString lineNumbers(int count)
{
    QStringList numbers;
    for (int i = 1; i <= count; ++i)
        numbers << QString::number(i);
    return numbers.join(QLatin1Char(','));
}

} // namespace

class TestTableSet : public QObject {
    Q_OBJECT
private slots:
    void setupTables_data()
    {
        QTest::addColumn<bool>("tobar");
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<double>("gridTop");
        QTest::addColumn<double>("blockTop");
        QTest::newRow("ORVELAN") << false << QStringList{"X", "Y"} << 2500.0 << 4200.0;
        QTest::newRow("TOBAR") << true << QStringList{"Measurement value", "Unit", "Type", "Go/NG", "Comment"}
                               << 2000.0 << 2000.0;
    }
    void setupTables()
    {
        QFETCH(bool, tobar);
        QFETCH(QStringList, headers);
        QFETCH(double, gridTop);
        QFETCH(double, blockTop);
        Window window(tobar);
        for (int n = 1; n <= 10; ++n) {
            const FlexGrid* grid = window.tables->grid(n);
            QCOMPARE(grid->objectName(), n == 1 ? QStringLiteral("grid") : QStringLiteral("grid%1").arg(n));
            QCOMPARE(grid->FormatString(),
                     QStringLiteral("TABLE %1").arg(n) + (tobar ? TobarTemplate : OrvelanTemplate));
            QCOMPARE(grid->Rows(), 1);
            QCOMPARE(grid->Cols(), headers.size() + 1);
            QCOMPARE(grid->TextMatrix(0, 0), QStringLiteral("TABLE %1").arg(n));
            for (int c = 1; c < grid->Cols(); ++c)
                QCOMPARE(grid->TextMatrix(0, c).trimmed(), headers.at(c - 1));
            QCOMPARE(grid->SelectionMode(), 1);
            QCOMPARE(grid->x(), Twips::toPixels(1440));
            QCOMPARE(grid->y(), Twips::toPixels(gridTop));
        }
        QCOMPARE(window.tables->currentGridNum(), 1);
        QCOMPARE(window.current(), window.tables->grid(1));
        QCOMPARE(window.visibleTables(), QList<int>{1});

        const TableButtons& b = window.buttons;
        QCOMPARE(b.CommandVal2Table->y(), Twips::toPixels(blockTop));
        QCOMPARE(b.CommandDelete->y(), Twips::toPixels(blockTop + 400));
        QCOMPARE(b.CommandClearGrid->y(), Twips::toPixels(blockTop + 800));
        QCOMPARE(b.CommandLoadFromOrv->y(), Twips::toPixels(blockTop + 1200));
        QCOMPARE(b.CommMean->y(), Twips::toPixels(blockTop + 1750));
        QCOMPARE(b.CommMean->x(), b.CommandLoadFromOrv->x());
        QCOMPARE(b.CommMean->size(), b.CommandLoadFromOrv->size());
        QCOMPARE(b.CommMean->isHidden(), tobar);
        QCOMPARE(b.CommandVal2Table->x(), Twips::toPixels(120));

        QCOMPARE(b.CT[9]->text(), QStringLiteral("10"));
        QCOMPARE(b.CT[9]->toolTip(), QStringLiteral("Select table #10"));
        QCOMPARE(b.CT[9]->pos(), QPoint(Twips::toPixels(480), Twips::toPixels(3600)));
        QCOMPARE(b.CT[5]->pos(), QPoint(Twips::toPixels(840), Twips::toPixels(2880)));
    }

    void rebuildDiscardsTables()
    {
        Window window;
        window.addLines(3);
        window.tables->CT_Click(3);
        window.addLines(2);
        window.state.options.modeTobar = true;
        window.tables->setupTables();
        for (int n = 1; n <= 10; ++n) {
            QCOMPARE(window.tables->grid(n)->Rows(), 1);
            QCOMPARE(window.tables->grid(n)->Cols(), 6);
        }
        QCOMPARE(window.tables->currentGridNum(), 1);
        QCOMPARE(window.visibleTables(), QList<int>{1});
    }

    void selectTable_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("selected");
        QTest::newRow("0") << 0 << 1;
        QTest::newRow("-5") << -5 << 1;
        QTest::newRow("7") << 7 << 7;
        QTest::newRow("11") << 11 << 10;
        QTest::newRow("99") << 99 << 10;
    }
    void selectTable()
    {
        QFETCH(int, number);
        QFETCH(int, selected);
        Window window;
        window.tables->selectTable(static_cast<qint16>(number));
        QCOMPARE(window.tables->currentGridNum(), selected);
        QCOMPARE(window.current(), window.tables->grid(selected));
        QCOMPARE(window.visibleTables(), QList<int>{1}); // visibility is the caller's business
    }

    void tableButtons()
    {
        Window window;
        window.addLines(2);
        window.buttons.CT[9]->click();
        QCOMPARE(window.tables->currentGridNum(), 10);
        QCOMPARE(window.current()->TextMatrix(0, 0), QStringLiteral("TABLE 10"));
        QCOMPARE(window.visibleTables(), QList<int>{10});
        window.buttons.CT[0]->click();
        QCOMPARE(window.visibleTables(), QList<int>{1});
        QCOMPARE(window.current()->Rows(), 3);     // switching keeps contents
        window.tables->setButtons(window.buttons); // handed over again: still one line per click
        window.buttons.CommandVal2Table->click();
        QCOMPARE(window.current()->Rows(), 4);
    }

    void clearTable()
    {
        Window window;
        window.addLines(4);
        window.buttons.CommandClearGrid->click();
        QCOMPARE(window.current()->Rows(), 1);
        window.tables->CommandClearGrid_Click();
        QCOMPARE(window.current()->Rows(), 1);
        QCOMPARE(window.current()->TextMatrix(0, 1).trimmed(), QStringLiteral("X"));
    }

    void valueToTable()
    {
        Window window;
        window.buttons.CommandVal2Table->click();
        QCOMPARE(window.current()->Rows(), 2);
        QCOMPARE(window.current()->TextMatrix(1, 0), QStringLiteral("1"));
        QCOMPARE(window.current()->TextMatrix(1, 1), QStringLiteral(".........."));
        QCOMPARE(window.current()->TextMatrix(1, 2), QStringLiteral(".........."));
        window.state.link.conStatus = 1;
        window.state.link.angleStatus = 1; // X valid only
        window.state.link.angleX = 12.5;
        window.tables->XY2Table();
        QCOMPARE(window.current()->TextMatrix(2, 0), QStringLiteral("2"));
        QCOMPARE(window.current()->TextMatrix(2, 1), window.state.angles.angleXText());
        QVERIFY(window.current()->TextMatrix(2, 1).contains(QStringLiteral("12")));
        QCOMPARE(window.current()->TextMatrix(2, 2), QStringLiteral(".........."));
    }

    void tableFills()
    {
        Window window;
        FlexGrid* grid = window.current();
        grid->setRows(32766);
        window.tables->XY2Table();
        QCOMPARE(grid->Rows(), 32767);
        QCOMPARE(grid->TextMatrix(32766, 0), QStringLiteral("32766"));
        QCOMPARE(grid->TextMatrix(32766, 1), QStringLiteral(".........."));
        QCOMPARE(window.stops, 0);
        window.tables->XY2Table();
        QCOMPARE(grid->Rows(), 32768);
        QCOMPARE(grid->TextMatrix(32767, 0), QStringLiteral("32767"));
        QCOMPARE(grid->TextMatrix(32767, 1), QStringLiteral("table filled."));
        QCOMPARE(grid->TextMatrix(32767, 2), QString());
        QCOMPARE(window.stops, 1);
        window.tables->XY2Table();
        window.tables->CommandVal2Table_Click();
        QCOMPARE(grid->Rows(), 32768);
        QCOMPARE(window.stops, 1);
        grid->setRows(40000); // e.g. a long file: no marker, nothing written
        window.tables->XY2Table();
        QCOMPARE(grid->Rows(), 40000);
        QCOMPARE(window.stops, 1);
    }

    void tobarLines_data()
    {
        QTest::addColumn<int>("message");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("comment");
        QTest::newRow("radius mm") << 31 << 5 << "Radius"
                                   << "mm"
                                   << "";
        QTest::newRow("EFL inch") << 30 << 112 << "EFL"
                                  << "\""
                                  << "Line pair 0.5";
        QTest::newRow("BFL at 10") << 32 << 10 << "BFL"
                                   << "\""
                                   << "";
        QTest::newRow("remainder 9") << 32 << 209 << "BFL"
                                     << "mm"
                                     << "";
        QTest::newRow("unknown code") << 29 << 0 << ""
                                      << "mm"
                                      << "";
        QTest::newRow("negative status") << 31 << -112 << "Radius"
                                         << "mm"
                                         << "";
    }
    void tobarLines()
    {
        QFETCH(int, message);
        QFETCH(int, status);
        QFETCH(QString, type);
        QFETCH(QString, unit);
        QFETCH(QString, comment);
        Window window(true);
        window.state.link.lastTobarMsg = static_cast<qint16>(message);
        window.state.link.tobarStatus = static_cast<qint16>(status);
        window.boxes.TextTobar->setText(QStringLiteral("12.345 mm"));
        window.boxes.TextGONG->setText(QStringLiteral("Go"));
        window.boxes.TextReticle->setText(QStringLiteral("0.5"));
        window.addLines(1);
        window.buttons.CommandVal2Table->click();
        const FlexGrid* grid = window.current();
        QCOMPARE(grid->Rows(), 3);
        const QStringList expected{"2", "12.345 mm", unit, type, "Go", comment};
        for (int c = 0; c < 6; ++c)
            QCOMPARE(grid->TextMatrix(2, c), expected.at(c));
    }

    void readout()
    {
        Window window;
        window.addLines(2);
        window.tables->setGridForLoad(3, 4, 2);
        QCOMPARE(window.tables->currentGridNum(), 3);
        QCOMPARE(window.visibleTables(), QList<int>{3});
        for (int i = 0; i < 4; ++i) {
            window.tables->addLine(3);
            window.tables->setColumn(QStringLiteral("1.5"));
            window.tables->setColumn(QStringLiteral("-2.0"));
        }
        const FlexGrid* grid = window.current();
        QCOMPARE(grid->Cols(), 3);
        QCOMPARE(grid->TextMatrix(0, 0), QStringLiteral("TABLE 3"));
        QCOMPARE(column(grid, 0), lineNumbers(4));
        QCOMPARE(column(grid, 1), QStringLiteral("1.5,1.5,1.5,1.5"));
        QCOMPARE(column(grid, 2), QStringLiteral("-2.0,-2.0,-2.0,-2.0"));
        // A value beyond the last column overwrites it.
        window.tables->setColumn(QStringLiteral("7"));
        QCOMPARE(grid->TextMatrix(4, 2), QStringLiteral("7"));
        QCOMPARE(window.tables->grid(1)->Rows(), 3);

        // A line for another table switches to it first.
        window.tables->addLine(4);
        window.tables->setColumn(QStringLiteral("9"));
        QCOMPARE(window.tables->currentGridNum(), 4);
        QCOMPARE(window.visibleTables(), QList<int>{4});
        QCOMPARE(window.current()->Rows(), 2);
        QCOMPARE(window.current()->TextMatrix(1, 0), QStringLiteral("1"));
        QCOMPARE(window.current()->TextMatrix(1, 1), QStringLiteral("9"));
        QCOMPARE(window.tables->grid(3)->Rows(), 5);
    }

    void readoutHeaderIgnored_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("columns");
        QTest::newRow("no lines") << 0 << 2;
        QTest::newRow("negative lines") << -1 << 2;
        QTest::newRow("no columns") << 4 << 0;
        QTest::newRow("negative columns") << 4 << -3;
    }
    void readoutHeaderIgnored()
    {
        QFETCH(int, lines);
        QFETCH(int, columns);
        Window window;
        window.addLines(2);
        window.tables->setGridForLoad(3, lines, static_cast<qint16>(columns));
        QCOMPARE(window.tables->currentGridNum(), 1);
        QCOMPARE(window.visibleTables(), QList<int>{1});
        QCOMPARE(window.current()->Rows(), 3);
        QCOMPARE(window.tables->grid(3)->Cols(), 3);
    }

    void setColumnNeverTouchesHeader()
    {
        Window window;
        window.tables->setColumn(QStringLiteral("x"));
        QCOMPARE(window.current()->TextMatrix(0, 0), QStringLiteral("TABLE 1"));
        QCOMPARE(window.current()->Rows(), 1);
    }

    // After a readout narrowed the table, writers skip the cells it does not have.
    void narrowedTable()
    {
        Window window;
        window.tables->setGridForLoad(1, 1, 1);
        window.tables->XY2Table();
        FlexGrid* grid = window.current();
        QCOMPARE(grid->Cols(), 2);
        QCOMPARE(grid->Rows(), 2);
        QCOMPARE(grid->TextMatrix(1, 1), QStringLiteral(".........."));
        window.state.link.lastTobarMsg = 30;
        window.boxes.TextTobar->setText(QStringLiteral("5"));
        window.tables->tobar2Table();
        QCOMPARE(grid->Cols(), 2);
        QCOMPARE(grid->TextMatrix(2, 0), QStringLiteral("2"));
        QCOMPARE(grid->TextMatrix(2, 1), QStringLiteral("5"));
    }

    void deleteSelection_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("rowSel");
        QTest::addColumn<QString>("left");
        QTest::addColumn<int>("current");
        QTest::newRow("3..5") << 10 << 3 << 5 << "v1,v2,v6,v7,v8,v9,v10" << 3;
        QTest::newRow("5..3") << 10 << 5 << 3 << "v1,v2,v6,v7,v8,v9,v10" << 3;
        QTest::newRow("one of many") << 10 << 7 << 7 << "v1,v2,v3,v4,v5,v6,v8,v9,v10" << 7;
        QTest::newRow("last lines") << 10 << 8 << 10 << "v1,v2,v3,v4,v5,v6,v7" << 7;
        QTest::newRow("last lines upward") << 10 << 10 << 8 << "v1,v2,v3,v4,v5,v6,v7" << 7;
        QTest::newRow("all but the first") << 10 << 2 << 10 << "v1" << 1;
        QTest::newRow("all") << 10 << 1 << 10 << "" << 0;
        QTest::newRow("all upward") << 10 << 10 << 1 << "" << 0;
        QTest::newRow("only line") << 1 << 1 << 1 << "" << 0;
        QTest::newRow("two lines, one selected") << 2 << 2 << 2 << "v1" << 1;
        QTest::newRow("empty table") << 0 << 0 << 0 << "" << 0;
    }
    void deleteSelection()
    {
        QFETCH(int, lines);
        QFETCH(int, row);
        QFETCH(int, rowSel);
        QFETCH(QString, left);
        QFETCH(int, current);
        Window window;
        window.addLines(lines);
        FlexGrid* grid = window.current();
        grid->setRow(row);
        grid->setRowSel(rowSel);
        window.buttons.CommandDelete->click();
        QCOMPARE(column(grid, 1), left);
        const int remaining = left.isEmpty() ? 0 : static_cast<int>(left.count(QLatin1Char(',')) + 1);
        QCOMPARE(grid->Rows(), remaining + 1);
        QCOMPARE(column(grid, 0), lineNumbers(remaining));
        QCOMPARE(grid->Row(), current);
        QCOMPARE(grid->RowSel(), current);
        QCOMPARE(grid->TextMatrix(0, 0), QStringLiteral("TABLE 1"));
    }

    // The operator's selection in the view is what "Clear selection" removes.
    void deleteOperatorSelection()
    {
        Window window;
        window.widget.resize(600, 600);
        window.current()->setHeight(4000);
        window.current()->setWidth(6000);
        window.addLines(10);
        window.widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window.widget));
        FlexGrid* grid = window.current();
        grid->flushView();
        const auto click = [grid](int line, Qt::KeyboardModifiers modifiers) {
            const QRect rect = grid->visualRect(grid->model()->index(line - 1, 1));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, modifiers, rect.center());
        };
        click(5, Qt::NoModifier);
        click(3, Qt::ShiftModifier);
        window.buttons.CommandDelete->click();
        QCOMPARE(column(grid, 1), QStringLiteral("v1,v2,v6,v7,v8,v9,v10"));
        QCOMPARE(column(grid, 0), lineNumbers(7));
        grid->flushView();
        QCOMPARE(grid->selectionModel()->selectedRows().size(), 1);
        QVERIFY(grid->selectionModel()->isRowSelected(2, {}));
    }

    void lastRowTop_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("rowHeight");
        QTest::addColumn<int>("top");
        QTest::newRow("100 lines, 10 rows high") << 101 << 2400.0 << 240.0 << 93;
        QTest::newRow("3 lines") << 4 << 2400.0 << 240.0 << 1;
        QTest::newRow("half rounds down to even") << 101 << 600.0 << 240.0 << 101;
        QTest::newRow("half rounds up to even") << 101 << 840.0 << 240.0 << 99;
        QTest::newRow("no row height") << 101 << 2400.0 << 0.0 << 1;
        QTest::newRow("empty table") << 1 << 2400.0 << 240.0 << 1;
    }
    void lastRowTop()
    {
        QFETCH(int, rows);
        QFETCH(double, height);
        QFETCH(double, rowHeight);
        QFETCH(int, top);
        QCOMPARE(TableSet::lastRowTop(rows, height, rowHeight), top);
    }

    void newestLineStaysInView()
    {
        Window window;
        FlexGrid* grid = window.current();
        grid->setWidth(6000);
        grid->setHeight(10 * grid->RowHeight(1));
        window.widget.resize(600, 600);
        window.widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window.widget));
        grid->setRows(100);
        window.tables->XY2Table(); // line 100: requests row 101 - 10 + 2
        const int top = grid->TopRow();
        QCOMPARE(top, std::min(93, grid->verticalScrollBar()->maximum() + 1));
        const QRect last = grid->visualRect(grid->model()->index(99, 0));
        QVERIFY(grid->viewport()->rect().contains(last));
    }
};

QTEST_MAIN(TestTableSet)
#include "test_tableset.moc"
