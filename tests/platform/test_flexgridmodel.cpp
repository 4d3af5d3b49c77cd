// The grid's cell storage: rows kept as slices of shared text blocks, rewritten and compacted.
#include "widgets/flexgrid.h"

#include <QTest>

namespace {

// Every cell of the grid as TextMatrix gives it, rows joined by "|" and cells by ",".
QString cells(const FlexGrid& grid)
{
    QStringList rows;
    for (qint32 r = 0; r < grid.Rows(); ++r) {
        QStringList row;
        for (qint32 c = 0; c < grid.Cols(); ++c)
            row << grid.TextMatrix(r, c);
        rows << row.join(QLatin1Char(','));
    }
    return rows.join(QLatin1Char('|'));
}

// The same read cell after cell through the views, the way saving reads a table.
QString viewedCells(const FlexGrid& grid)
{
    QStringList rows;
    for (qint32 r = 0; r < grid.Rows(); ++r) {
        QStringList row;
        for (qint32 c = 0; c < grid.Cols(); ++c)
            row << grid.TextMatrixView(r, c).toString();
        rows << row.join(QLatin1Char(','));
    }
    return rows.join(QLatin1Char('|'));
}

} // namespace

class TestFlexGridModel : public QObject {
    Q_OBJECT
private slots:
    void cellsWithTabs_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("row");
        QTest::newRow("tab into the middle cell") << "1\ta\tb\tc" << 2 << "x\ty"
                                                  << "1,a,x\ty,c";
        QTest::newRow("tab into the first cell") << "1\ta" << 0 << "\t"
                                                 << "\t,a,,";
        QTest::newRow("tab beyond the cells set") << "1" << 3 << "p\tq"
                                                  << "1,,,p\tq";
        QTest::newRow("cell set beyond the cells") << "1\ta" << 3 << "z"
                                                   << "1,a,,z";
        QTest::newRow("empty text") << "1\ta\tb" << 1 << ""
                                    << "1,,b,";
        QTest::newRow("fields beyond the columns dropped") << "1\ta\tb\tc\td\te" << 1 << "A"
                                                           << "1,A,b,c";
    }
    void cellsWithTabs()
    {
        QFETCH(QString, item);
        QFETCH(int, col);
        QFETCH(QString, text);
        QFETCH(QString, row);
        FlexGrid grid;
        grid.setCols(4);
        grid.AddItem(item);
        grid.setTextMatrix(1, col, text);
        QCOMPARE(cells(grid).section(QLatin1Char('|'), 1), row);
        QCOMPARE(viewedCells(grid), cells(grid));

        // The other cells keep their texts through further changes of the row.
        grid.setTextMatrix(1, 3 - col, QStringLiteral("w"));
        QCOMPARE(grid.TextMatrix(1, col), text);
        grid.setCols(col + 1);
        QCOMPARE(grid.TextMatrix(1, col), text);
        grid.setCols(4);
        QCOMPARE(grid.TextMatrix(1, 3), col == 3 ? text : QString());
    }

    void rewritesKeepEveryCell()
    {
        // Rewriting every cell again and again leaves most of the text blocks stale and compacts them.
        FlexGrid grid;
        grid.setFormatString(QStringLiteral("n|^a|^b"));
        for (int i = 1; i <= 3000; ++i)
            grid.AddItem(QStringLiteral("%1\ta%1\tb%1").arg(i));
        for (int pass = 0; pass < 20; ++pass) {
            for (int r = 1; r < grid.Rows(); ++r) {
                grid.setTextMatrix(r, 1 + r % 2, QStringLiteral("p%1r%2").arg(pass).arg(r));
                if (r % 97 == 0)
                    grid.setTextMatrix(r, 2, QStringLiteral("t\t%1").arg(pass));
            }
        }
        QCOMPARE(grid.TextMatrix(0, 1), QStringLiteral("a"));
        for (int r = 1; r < grid.Rows(); ++r) {
            QCOMPARE(grid.TextMatrix(r, 0), QString::number(r));
            const QString second = r % 97 == 0 ? QStringLiteral("t\t19") : QStringLiteral("p19r%1").arg(r);
            QCOMPARE(grid.TextMatrix(r, 1),
                     r % 2 ? QStringLiteral("a%1").arg(r) : QStringLiteral("p19r%1").arg(r));
            if (r % 2 || r % 97 == 0)
                QCOMPARE(grid.TextMatrix(r, 2), second);
        }
        QCOMPARE(viewedCells(grid), cells(grid));
    }

    void removingBlocksKeepsTheRest()
    {
        FlexGrid grid;
        grid.setFormatString(QStringLiteral("n|x|y"));
        for (int i = 1; i <= 5000; ++i)
            grid.AddItem(QStringLiteral("%1\tx%1\ty%1").arg(i));
        grid.RemoveItems(1000, 3500);
        QCOMPARE(grid.Rows(), 1501);
        QCOMPARE(grid.TextMatrix(999, 1), QStringLiteral("x999"));
        QCOMPARE(grid.TextMatrix(1000, 1), QStringLiteral("x4500"));
        QCOMPARE(grid.TextMatrix(1500, 2), QStringLiteral("y5000"));
        grid.AddItem(QStringLiteral("new\tline"));
        QCOMPARE(grid.TextMatrix(1501, 1), QStringLiteral("line"));
        QCOMPARE(grid.TextMatrix(1501, 2), QString());

        // Emptied, the table still has its header, and takes new lines.
        grid.setRows(1);
        QCOMPARE(cells(grid), QStringLiteral("n,x,y"));
        grid.setRows(3);
        grid.setTextMatrix(2, 2, QStringLiteral("z"));
        QCOMPARE(cells(grid), QStringLiteral("n,x,y|,,|,,z"));
        QCOMPARE(viewedCells(grid), cells(grid));
    }

    void wideRowsCellByCell_data()
    {
        QTest::addColumn<bool>("interleaved");
        QTest::newRow("one row after the other") << false;
        QTest::newRow("two rows in turn") << true;
    }
    void wideRowsCellByCell()
    {
        // As a readout of many columns fills them: cell after cell, the last one overwritten at the end.
        QFETCH(bool, interleaved);
        constexpr int Cols = 20000;
        FlexGrid grid;
        grid.setCols(Cols);
        grid.setRows(3);
        const auto text = [](int row, int col) {
            return col % 7 ? QStringLiteral("%1:%2").arg(row).arg(col) : QString();
        };
        for (int row = 1; row <= 2 && !interleaved; ++row) {
            for (int col = 0; col < Cols; ++col)
                grid.setTextMatrix(row, col, text(row, col));
        }
        for (int col = 0; col < Cols && interleaved; ++col) {
            grid.setTextMatrix(1, col, text(1, col));
            grid.setTextMatrix(2, col, text(2, col));
        }
        grid.setTextMatrix(1, Cols - 1, QStringLiteral("last"));
        grid.setTextMatrix(1, Cols - 1, QStringLiteral("last\tone"));
        for (int col : {0, 1, 6, 7, 9999, 19998}) {
            QCOMPARE(grid.TextMatrix(1, col), text(1, col));
            QCOMPARE(grid.TextMatrix(2, col), text(2, col));
        }
        QCOMPARE(grid.TextMatrix(1, Cols - 1), QStringLiteral("last\tone"));
        QCOMPARE(grid.TextMatrix(2, Cols - 1), text(2, Cols - 1));
        grid.setCols(3);
        QCOMPARE(cells(grid).section(QLatin1Char('|'), 1), QStringLiteral(",1:1,1:2|,2:1,2:2"));
    }

    void viewsFollowTheCellsRead()
    {
        // Reading out of order, across rows and backwards gives each cell, not its neighbour.
        FlexGrid grid;
        grid.setCols(3);
        grid.AddItem(QStringLiteral("1\ta"));
        grid.AddItem(QStringLiteral("2\tb\tc"));
        grid.setTextMatrix(2, 1, QStringLiteral("b\tb"));
        QCOMPARE(grid.TextMatrixView(1, 1), QStringLiteral("a"));
        QCOMPARE(grid.TextMatrixView(1, 2), QString());
        QCOMPARE(grid.TextMatrixView(2, 2), QStringLiteral("c"));
        QCOMPARE(grid.TextMatrixView(2, 1), QStringLiteral("b\tb"));
        QCOMPARE(grid.TextMatrixView(1, 0), QStringLiteral("1"));
        QCOMPARE(grid.TextMatrixView(1, 1), QStringLiteral("a"));
        QCOMPARE(grid.TextMatrixView(3, 0), QString());
        QCOMPARE(grid.TextMatrixView(1, 3), QString());
    }
};

QTEST_MAIN(TestFlexGridModel)
#include "test_flexgridmodel.moc"
