#include "widgets/flexgrid.h"
#include "widgets/twips.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

// A grid of the given lines: column 0 the line number, column 1 "v<n>".
void fill(FlexGrid& grid, int lines, int cols = 3)
{
    grid.setCols(cols);
    for (int i = 1; i <= lines; ++i)
        grid.AddItem(QStringLiteral("%1\tv%1").arg(i));
}

QString column(const FlexGrid& grid, int col)
{
    QStringList texts;
    for (int r = 1; r < grid.Rows(); ++r)
        texts << grid.TextMatrix(r, col);
    return texts.join(QLatin1Char(','));
}

int alignmentOf(const FlexGrid& grid, int row, int col)
{
    const QAbstractItemModel* model = grid.model();
    const QVariant value = row == 0 ? model->headerData(col, Qt::Horizontal, Qt::TextAlignmentRole)
                                    : model->data(model->index(row - 1, col), Qt::TextAlignmentRole);
    return value.toInt() & Qt::AlignHorizontal_Mask;
}

bool lastLineVisible(FlexGrid& grid)
{
    const QModelIndex last = grid.model()->index(grid.model()->rowCount() - 1, 0);
    const QRect rect = grid.visualRect(last);
    return rect.isValid() && grid.viewport()->rect().contains(rect);
}

} // namespace

class TestFlexGrid : public QObject {
    Q_OBJECT
private slots:
    void rowsGrowAndShrink()
    {
        FlexGrid grid;
        fill(grid, 4);
        grid.setTextMatrix(0, 0, QStringLiteral("head"));
        grid.setRows(2);
        QCOMPARE(grid.Rows(), 2);
        QCOMPARE(column(grid, 1), QStringLiteral("v1"));
        grid.setRows(4);
        QCOMPARE(column(grid, 1), QStringLiteral("v1,,"));
        grid.setRows(0); // the header row always stays
        QCOMPARE(grid.Rows(), 1);
        QCOMPARE(grid.TextMatrix(0, 0), QStringLiteral("head"));
    }

    void colsCutAndGrowEmpty()
    {
        FlexGrid grid;
        grid.setCols(3);
        grid.AddItem(QStringLiteral("1\ta\tb"));
        grid.setTextMatrix(0, 2, QStringLiteral("Y"));
        grid.setCols(2);
        QCOMPARE(grid.TextMatrix(1, 2), QString()); // no longer exists
        grid.setTextMatrix(1, 2, QStringLiteral("ignored"));
        grid.setCols(3);
        QCOMPARE(grid.TextMatrix(1, 1), QStringLiteral("a"));
        QCOMPARE(grid.TextMatrix(1, 2), QString());
        QCOMPARE(grid.TextMatrix(0, 2), QString());
        QCOMPARE(grid.TextMatrix(-1, 0), QString());
        QCOMPARE(grid.TextMatrix(5, 0), QString());
    }

    void addItemFields_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("exact") << "1\ta\tb" << QStringList{"1", "a", "b"};
        QTest::newRow("extra dropped") << "1\ta\tb\tc\td" << QStringList{"1", "a", "b"};
        QTest::newRow("fewer") << "7" << QStringList{"7", "", ""};
        QTest::newRow("empty") << "" << QStringList{"", "", ""};
        QTest::newRow("empty fields") << "\t\tz" << QStringList{"", "", "z"};
        QTest::newRow("blanks kept") << " 1 \t x" << QStringList{" 1 ", " x", ""};
    }
    void addItemFields()
    {
        QFETCH(QString, item);
        QFETCH(QStringList, cells);
        FlexGrid grid;
        grid.setCols(3);
        grid.AddItem(item);
        QCOMPARE(grid.Rows(), 2);
        for (int c = 0; c < 3; ++c)
            QCOMPARE(grid.TextMatrix(1, c), cells.at(c));
    }

    void removeItems_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("left");
        QTest::newRow("block") << 3 << 3 << "v1,v2,v6,v7,v8,v9,v10";
        QTest::newRow("past the end cut") << 8 << 5 << "v1,v2,v3,v4,v5,v6,v7";
        QTest::newRow("all") << 1 << 10 << "";
        QTest::newRow("last") << 10 << 1 << "v1,v2,v3,v4,v5,v6,v7,v8,v9";
        QTest::newRow("header refused") << 0 << 2 << "v1,v2,v3,v4,v5,v6,v7,v8,v9,v10";
        QTest::newRow("beyond") << 11 << 1 << "v1,v2,v3,v4,v5,v6,v7,v8,v9,v10";
        QTest::newRow("no count") << 2 << 0 << "v1,v2,v3,v4,v5,v6,v7,v8,v9,v10";
    }
    void removeItems()
    {
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(QString, left);
        FlexGrid grid;
        fill(grid, 10);
        grid.RemoveItems(first, count);
        QCOMPARE(column(grid, 1), left);
        grid.flushView();
        QCOMPARE(grid.model()->rowCount(), grid.Rows() - 1);
    }

    // The current row follows the lines: the first line of an empty table, within range after removals.
    void rowFollowsLines()
    {
        FlexGrid grid;
        grid.setCols(3);
        QCOMPARE(grid.Row(), 0);
        grid.AddItem(QStringLiteral("1"));
        QCOMPARE(grid.Row(), 1);
        fill(grid, 9);
        grid.setRow(8);
        QCOMPARE(grid.RowSel(), 8); // setting Row collapses the selection
        grid.setRowSel(10);
        QCOMPARE(grid.Row(), 8);
        QCOMPARE(grid.RowSel(), 10);
        grid.setRowSel(11); // no such row
        QCOMPARE(grid.RowSel(), 10);
        grid.setRows(6);
        QCOMPARE(grid.Row(), 5);
        QCOMPARE(grid.RowSel(), 5);
        grid.setRows(1);
        QCOMPARE(grid.Row(), 0);
        grid.setCol(2);
        grid.setCol(3);
        QCOMPARE(grid.Col(), 2);
    }

    void viewSelectionFollowsRow()
    {
        FlexGrid grid;
        grid.setSelectionMode(1);
        fill(grid, 10);
        grid.setRow(6);
        grid.setRowSel(3);
        grid.flushView();
        const QModelIndexList rows = grid.selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 4);
        for (const QModelIndex& index : rows)
            QVERIFY(index.row() >= 2 && index.row() <= 5);
        QCOMPARE(grid.currentIndex().row(), 2);
        // Removing rows moves the view's selection; the grid puts its own back.
        grid.RemoveItems(1, 2);
        grid.flushView();
        QCOMPARE(grid.selectionModel()->selectedRows().size(), 4);
        QVERIFY(grid.selectionModel()->isRowSelected(2, {}));
        QCOMPARE(grid.Row(), 6);
        QCOMPARE(grid.RowSel(), 3);
    }

    void operatorSelection()
    {
        FlexGrid grid;
        grid.setSelectionMode(1);
        fill(grid, 10);
        grid.resize(300, 400);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.flushView();
        const auto click = [&grid](int line, Qt::KeyboardModifiers modifiers) {
            const QRect rect = grid.visualRect(grid.model()->index(line - 1, 1));
            QTest::mouseClick(grid.viewport(), Qt::LeftButton, modifiers, rect.center());
        };
        click(3, Qt::NoModifier);
        QCOMPARE(grid.Row(), 3);
        QCOMPARE(grid.RowSel(), 3);
        QCOMPARE(grid.Col(), 1);
        click(5, Qt::ShiftModifier);
        QCOMPARE(grid.Row(), 3);
        QCOMPARE(grid.RowSel(), 5);
        click(1, Qt::ShiftModifier);
        QCOMPARE(grid.Row(), 3);
        QCOMPARE(grid.RowSel(), 1);
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.Row(), 2);
        QCOMPARE(grid.RowSel(), 2);
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(grid.Row(), 2);
        QCOMPARE(grid.RowSel(), 3);
    }

    void formatString()
    {
        FlexGrid grid;
        grid.AddItem(QStringLiteral("12\t3\tx\ty"));
        grid.setFormatString(QStringLiteral("TABLE 1|^  X  |>Right|<Left"));
        QCOMPARE(grid.Cols(), 4);
        QCOMPARE(grid.FormatString(), QStringLiteral("TABLE 1|^  X  |>Right|<Left"));
        QCOMPARE(grid.TextMatrix(0, 0), QStringLiteral("TABLE 1"));
        QCOMPARE(grid.TextMatrix(0, 1), QStringLiteral("  X  "));
        QCOMPARE(grid.TextMatrix(0, 2), QStringLiteral("Right"));
        QCOMPARE(grid.TextMatrix(0, 3), QStringLiteral("Left"));
        grid.flushView();
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("TABLE 1"));
        QCOMPARE(alignmentOf(grid, 0, 0), int(Qt::AlignLeft));
        QCOMPARE(alignmentOf(grid, 1, 0), int(Qt::AlignRight)); // a number in a general column
        QCOMPARE(alignmentOf(grid, 0, 1), int(Qt::AlignHCenter));
        QCOMPARE(alignmentOf(grid, 1, 1), int(Qt::AlignHCenter));
        QCOMPARE(alignmentOf(grid, 1, 2), int(Qt::AlignRight));
        QCOMPARE(alignmentOf(grid, 1, 3), int(Qt::AlignLeft));
        QCOMPARE(grid.TextMatrix(1, 0), QStringLiteral("12")); // cells kept
    }

    void widthsGrowWithText()
    {
        FlexGrid grid;
        grid.setFormatString(QStringLiteral("TABLE 10|^X|^  X  |^          X          "));
        QVERIFY(grid.ColWidth(1) < grid.ColWidth(2));
        QVERIFY(grid.ColWidth(2) < grid.ColWidth(3));
        const QFontMetrics metrics(grid.font());
        for (int c = 0; c < 4; ++c)
            QVERIFY(grid.ColWidth(c) >= Twips::fromPixels(metrics.horizontalAdvance(grid.TextMatrix(0, c))));
        QCOMPARE(grid.font().pointSizeF(), 10.5);
        QCOMPARE(grid.font().family(), QStringLiteral("Arial"));
    }

    void topRowClamped()
    {
        FlexGrid grid;
        fill(grid, 100);
        grid.resize(300, 10 * Twips::toPixels(grid.RowHeight(1)));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.setTopRow(40);
        QCOMPARE(grid.TopRow(), 40);
        grid.setTopRow(1000);
        const int top = grid.TopRow();
        QVERIFY(top > 80 && top < 100);
        QVERIFY(lastLineVisible(grid));
        grid.setTopRow(top + 1); // past the scroll range
        QCOMPARE(grid.TopRow(), top);
        grid.setTopRow(-3);
        QCOMPARE(grid.TopRow(), 1);
        grid.setRows(1);
        grid.setTopRow(5);
        QCOMPARE(grid.TopRow(), 1);
    }

    void topRowWhileHidden()
    {
        FlexGrid grid;
        fill(grid, 100);
        grid.resize(300, 10 * Twips::toPixels(grid.RowHeight(1)));
        grid.setTopRow(1000);
        const int top = grid.TopRow();
        QVERIFY(top > 80 && top < 100);
        grid.setTopRow(0);
        QCOMPARE(grid.TopRow(), 1);
        // A request made while hidden is applied when the grid is shown.
        grid.setTopRow(1000);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QTRY_VERIFY(lastLineVisible(grid));
    }

    // Appends reach the view once per event-loop turn, not once per row; the redraw switch holds them.
    void viewLearnsRowsCoalesced()
    {
        FlexGrid grid;
        QSignalSpy inserted(grid.model(), &QAbstractItemModel::rowsInserted);
        fill(grid, 100);
        QCOMPARE(grid.model()->rowCount(), 0);
        QTRY_COMPARE(grid.model()->rowCount(), 100);
        QCOMPARE(inserted.count(), 1);

        grid.setRedraw(false);
        QVERIFY(!grid.updatesEnabled());
        QVERIFY(!grid.Redraw());
        fill(grid, 5);
        QCoreApplication::processEvents();
        QCOMPARE(grid.model()->rowCount(), 100);
        QCOMPARE(grid.Rows(), 106);
        grid.setRedraw(true);
        QVERIFY(grid.updatesEnabled());
        QCOMPARE(grid.model()->rowCount(), 105);
        QCOMPARE(inserted.count(), 2);
    }

    void modelNotifications()
    {
        FlexGrid grid;
        QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.setSelectionMode(1);
        fill(grid, 5);
        grid.flushView();
        grid.setTextMatrix(2, 1, QStringLiteral("changed"));
        grid.setRow(2);
        grid.setRowSel(4);
        fill(grid, 3); // pending when the block is removed
        grid.RemoveItems(4, 3);
        grid.flushView();
        QCOMPARE(grid.model()->rowCount(), grid.Rows() - 1);
        grid.setFormatString(QStringLiteral("a|^b|^c|^d|^e"));
        grid.setCols(2);
        grid.setRows(3);
        grid.flushView();
        grid.setRows(1);
        grid.AddItem(QStringLiteral("1\tx"));
        grid.flushView();
        QCOMPARE(grid.model()->rowCount(), 1);
        QCOMPARE(grid.model()->columnCount(), 2);
        QCOMPARE(grid.model()->data(grid.model()->index(0, 1)).toString(), QStringLiteral("x"));
    }

    // A table of 32767 lines appended as the writers do, then all selected and removed.
    void fullTable()
    {
        FlexGrid grid;
        grid.setSelectionMode(1);
        grid.setCols(3);
        grid.resize(300, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        for (int r = 1; r <= 32767; ++r) {
            grid.setRows(r + 1);
            grid.setTextMatrix(r, 0, QString::number(r));
            grid.setTextMatrix(r, 1, QStringLiteral("1.5"));
            grid.setTopRow(r);
            if (r % 4096 == 0)
                QCoreApplication::processEvents();
        }
        QCOMPARE(grid.Rows(), 32768);
        QVERIFY(grid.TopRow() > 32700);
        QVERIFY(lastLineVisible(grid));
        grid.setRow(1);
        grid.setRowSel(32767);
        grid.flushView();
        QCOMPARE(grid.selectionModel()->selection().size(), 1);
        QCOMPARE(grid.selectionModel()->selection().first().height(), 32767);
        for (int r = 1; r < grid.Rows(); ++r)
            grid.setTextMatrix(r, 0, QString::number(r));
        grid.RemoveItems(grid.Row(), grid.RowSel());
        grid.flushView();
        QCOMPARE(grid.Rows(), 1);
        QCOMPARE(grid.model()->rowCount(), 0);
        QVERIFY(grid.selectionModel()->selection().isEmpty());
    }
};

QTEST_MAIN(TestFlexGrid)
#include "test_flexgrid.moc"
