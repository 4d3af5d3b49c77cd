// The grid control with its cell storage, and the table files written from it and read into it.
#include "tables/tablefiles.h"
#include "widgets/flexgrid.h"
#include "widgets/twips.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {
template <typename... T> void row(const char* name, const T&... values)
{
    (QTest::newRow(name) << ... << values);
}

// The cells of rows from.. on, rows split by "|" and cells by ","; a cell whose view differs is marked.
QString cells(const FlexGrid& grid, int from = 1)
{
    QStringList rows;
    for (int r = from; r < grid.Rows(); ++r) {
        QStringList row;
        for (int c = 0; c < grid.Cols(); ++c)
            row << (grid.TextMatrixView(r, c) == grid.TextMatrix(r, c) ? grid.TextMatrix(r, c)
                                                                       : "<view differs>");
        rows << row.join(',');
    }
    return rows.join('|');
}

// Lines "v1".."vn" after the present ones.
void fill(FlexGrid& grid, int lines)
{
    for (int i = 1; i <= lines; ++i)
        grid.AddItem(QStringLiteral("v%1").arg(i));
}

// Runs steps split by "; ": cols, rows, row, sel, col n; remove first count; set r c <text>;
// add <tab-separated line>; fill n.
void run(FlexGrid& grid, const QString& script)
{
    static const QHash<QString, void (FlexGrid::*)(qint32)> setters{{"cols", &FlexGrid::setCols},
                                                                    {"rows", &FlexGrid::setRows},
                                                                    {"row", &FlexGrid::setRow},
                                                                    {"sel", &FlexGrid::setRowSel},
                                                                    {"col", &FlexGrid::setCol}};
    for (const QString& step : script.split(QStringLiteral("; "))) {
        const QStringList w = step.split(' ');
        if (setters.contains(w[0]))
            (grid.*setters[w[0]])(w[1].toInt());
        else if (w[0] == QLatin1String("remove"))
            grid.RemoveItems(w[1].toInt(), w[2].toInt());
        else if (w[0] == QLatin1String("set"))
            grid.setTextMatrix(w[1].toInt(), w[2].toInt(), step.section(' ', 3));
        else if (w[0] == QLatin1String("add"))
            grid.AddItem(step.mid(4));
        else
            fill(grid, w[1].toInt());
    }
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class TestGrid : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // Steps on a grid of one column and whole-row selection: the cells, then Row-RowSel and Col. The view
    // must show those rows selected, and the model must tell the view every change properly.
    void lines_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("after");
        row("fields from column 0, extra dropped", "cols 3; add 1\ta\tb\tc", "1,a,b 1-1 0");
        row("fewer fields, blanks kept", "cols 3; add  1 \t x", " 1 , x, 1-1 0");
        row("tab into a cell", "cols 3; add 1\ta\tb; set 1 1 x\ty; set 1 2 w", "1,x\ty,w 1-1 0");
        row("tab into the first cell", "cols 3; add 1\ta; set 1 0 \t; set 1 2 w", "\t,a,w 1-1 0");
        row("beyond the cells set", "cols 4; add 1; set 1 3 p\tq; set 1 1 w", "1,w,,p\tq 1-1 0");
        row("emptied cell", "cols 3; add 1\ta\tb; set 1 1 ", "1,,b 1-1 0");
        row("cols cut and grown empty", "cols 3; add 1\ta\tb; cols 2; set 1 2 no; cols 3", "1,a, 1-1 0");
        row("rows cut and grown empty", "fill 4; rows 2; rows 3", "v1| 1-1 0");
        row("never fewer than the header row", "fill 2; rows 0", " 0-0 0");
        row("remove a block", "fill 6; remove 2 3", "v1|v5|v6 1-1 0");
        row("remove past the end", "fill 4; remove 3 5", "v1|v2 1-1 0");
        row("remove refused", "fill 2; remove 0 1; remove 3 1; remove 1 0", "v1|v2 1-1 0");
        row("Row collapses the selection", "fill 3; sel 3; row 2", "v1|v2|v3 2-2 0");
        row("RowSel spans, no such row", "fill 5; row 4; sel 2; sel 6", "v1|v2|v3|v4|v5 4-2 0");
        row("removal keeps the selection", "fill 7; row 6; sel 3; remove 1 2", "v3|v4|v5|v6|v7 5-3 0");
        row("fewer rows pull it in", "fill 5; row 5; sel 4; rows 3", "v1|v2 2-2 0");
        row("all removed", "fill 3; row 1; sel 3; remove 1 3", " 0-0 0");
        row("column in range", "cols 3; fill 1; col 2; col 3", "v1,, 1-1 2");
    }
    void lines()
    {
        QFETCH(QString, steps);
        FlexGrid grid;
        QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.setSelectionMode(1);
        run(grid, steps);
        grid.flushView();
        QTEST(
            QStringLiteral("%1 %2-%3 %4").arg(cells(grid)).arg(grid.Row()).arg(grid.RowSel()).arg(grid.Col()),
            "after");
        QCOMPARE(grid.model()->rowCount(), grid.Rows() - 1);
        for (int r = 1; r < grid.Rows(); ++r)
            QCOMPARE(grid.selectionModel()->isRowSelected(r - 1, {}),
                     qMin(grid.Row(), grid.RowSel()) <= r && r <= qMax(grid.Row(), grid.RowSel()));
    }

    // Rewrites leave the text blocks mostly stale, so they are compacted; removing a block and emptying the
    // table keep the rest.
    void storageKeepsEveryCell()
    {
        FlexGrid grid;
        grid.setFormatString(QStringLiteral("n|^a|^b"));
        for (int i = 1; i <= 3000; ++i)
            grid.AddItem(QStringLiteral("%1\ta%1\tb%1").arg(i));
        for (int pass = 0; pass < 20; ++pass) {
            for (int r = 1; r < grid.Rows(); ++r) {
                grid.setTextMatrix(r, 1, QStringLiteral("p%1r%2").arg(pass).arg(r));
                if (r % 97 == 0)
                    grid.setTextMatrix(r, 2, QStringLiteral("t\t%1").arg(pass));
            }
        }
        QStringList expected;
        for (int r = 1; r <= 3000; ++r)
            expected
                << QStringLiteral("%1,p19r%1,%2").arg(r).arg(r % 97 ? QStringLiteral("b%1").arg(r) : "t\t19");
        QCOMPARE(cells(grid), expected.join('|'));
        grid.RemoveItems(1000, 1500);
        QCOMPARE(cells(grid, 999).left(22), QStringLiteral("999,p19r999,b999|2500,"));

        grid.setRows(1);
        QCOMPARE(cells(grid, 0), QStringLiteral("n,a,b"));
    }

    // Clicks and keys select whole rows; Row stays at the anchor, RowSel follows the moving end.
    void operatorSelection()
    {
        FlexGrid grid;
        grid.setSelectionMode(1);
        run(grid, QStringLiteral("cols 2; fill 10"));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.flushView();
        QStringList seen;
        for (const int line : {3, -5, -1, 0}) {
            const QRect cell = grid.visualRect(grid.model()->index(qAbs(line) - 1, 1));
            if (line != 0)
                QTest::mouseClick(grid.viewport(), Qt::LeftButton,
                                  line < 0 ? Qt::ShiftModifier : Qt::NoModifier, cell.center());
            else
                QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
            seen << QStringLiteral("%1-%2").arg(grid.Row()).arg(grid.RowSel());
        }
        QCOMPARE(seen.join(' '), QStringLiteral("3-3 3-5 3-1 3-2"));
        QCOMPARE(grid.Col(), 1);
    }

    // Header texts with their alignment marks; the general alignment puts numbers right, text left.
    void formatString()
    {
        FlexGrid grid;
        grid.setCols(4);
        grid.AddItem(QStringLiteral("1\tx\tx\tx"));
        grid.setFormatString(QStringLiteral("n|^  X  |>Right|12"));
        grid.flushView();
        QCOMPARE(cells(grid, 0), QStringLiteral("n,  X  ,Right,12|1,x,x,x"));
        const QAbstractItemModel* model = grid.model();
        const auto name = [](const QVariant& alignment) {
            return QStringList{"-", "left", "right", "-", "centre"}.value(alignment.toInt() &
                                                                          Qt::AlignHorizontal_Mask);
        };
        QStringList aligned;
        for (int c = 0; c < 4; ++c) {
            aligned << name(model->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole)) + '/' +
                           name(model->index(0, c).data(Qt::TextAlignmentRole));
            // Each column as wide as its header text.
            QVERIFY(grid.ColWidth(c) >=
                    Twips::fromPixels(QFontMetrics(grid.font()).horizontalAdvance(grid.TextMatrix(0, c))));
        }
        QCOMPARE(aligned.join(' '), QStringLiteral("left/right centre/centre right/right right/left"));
    }

    void topRowInRange()
    {
        FlexGrid grid;
        fill(grid, 100);
        grid.resize(300, 10 * Twips::toPixels(grid.RowHeight(1)));
        // Hidden, the range is estimated from the size; the request is applied when shown.
        grid.setTopRow(1000);
        QVERIFY(grid.TopRow() > 80 && grid.TopRow() < 100);
        grid.setTopRow(1000);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QTRY_VERIFY(grid.TopRow() > 80);
        const int last = grid.TopRow();
        grid.setTopRow(last + 1);
        QCOMPARE(grid.TopRow(), last);
        grid.setTopRow(-3);
        QCOMPARE(grid.TopRow(), 1);
    }

    // Two value columns per line (not the number column); the same text goes to the clipboard.
    void savedText_data()
    {
        QTest::addColumn<bool>("useComma");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("saved");
        row("comma wanted, first point only", true, "1\t1.234.5\t-0.25", QByteArray("1,234.5\t-0,25\r\n"));
        row("point wanted", false, "1\t12,5\t-0,25", QByteArray("12.5\t-0.25\r\n"));
        row("placeholders", true, "1\t..........\t.5", QByteArray("..........\t.5\r\n"));
        row("empty cells, 8-bit text", false, QString::fromUtf8("1\t\t\u00b5m"), QByteArray("\t\xb5m\r\n"));
        row("no lines", false, "", QByteArray());
    }
    void savedText()
    {
        QFETCH(bool, useComma);
        QFETCH(QString, line);
        QFETCH(QByteArray, saved);
        FlexGrid grid;
        grid.setCols(3);
        for (int i = 0; i < 2 && !line.isEmpty(); ++i)
            grid.AddItem(line);
        const QString path = m_dir.filePath(QStringLiteral("saved.txt"));
        QVERIFY(TableFiles::saveTable(grid, path, useComma));
        QCOMPARE(contents(path), saved + saved);
        TableFiles::copyTableToClipboard(grid, useComma);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(saved + saved));
    }

    // A file read into a table of three columns: its lines replace the old ones, numbered anew.
    void loadedLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("lines");
        const QByteArray a(65535, 'a');
        const QByteArray c(1 << 20, 'c');
        row("CR LF, third field dropped", QByteArray("1\t2\t3\r\n4\t5\r\n6\r\n"), "1,1,2|2,4,5|3,6,");
        row("lone CR ends a line", QByteArray("a\rb\r"), "1,a,|2,b,");
        row("lone LF stays, last line unended", QByteArray("a\nb\r\nc"), "1,a\nb,|2,c,");
        row("empty line keeps its number", QByteArray("x\r\n\r\n,5\r\n"), "1,x,|2,,|3,,5,");
        row("empty file", QByteArray(), "");
        row("8-bit", QByteArray("\x00\xff\t\x7f\r\n", 6), QString::fromLatin1("1,\x00\xff,\x7f", 6));
        // CR the last byte of one read, LF the first of the next; then a line of 1 MB.
        row("line ends across reads", a + "\r\nb\r\n" + c,
            QString::fromLatin1("1," + a + ",|2,b,|3," + c + ","));
    }
    void loadedLines()
    {
        QFETCH(QByteArray, file);
        FlexGrid grid;
        grid.setFormatString(QStringLiteral("n|^X|^Y"));
        fill(grid, 2);
        const QString path = m_dir.filePath(QStringLiteral("load.txt"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
        out.close();
        QVERIFY(TableFiles::loadTable(grid, path));
        QTEST(cells(grid), "lines");
        QCOMPARE(cells(grid, 0).section('|', 0, 0), QStringLiteral("n,X,Y"));
    }

    void fileFailures()
    {
        FlexGrid grid;
        grid.setCols(3);
        QVERIFY(!TableFiles::loadTable(grid, m_dir.filePath(QStringLiteral("missing.txt"))));
        QVERIFY(!TableFiles::saveTable(grid, m_dir.filePath(QStringLiteral("missing/table.txt")), false));
        QVERIFY(!TableFiles::saveTable(grid, m_dir.path(), false));
        // A save that fails (here at a file size limit) leaves the old file whole and nothing else, whether
        // the text is still held in the write buffer or written in pieces.
        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        rlimit small = saved;
        small.rlim_cur = 4096;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        for (const int lines : {1000, 40000}) {
            while (grid.Rows() <= lines)
                grid.AddItem(QStringLiteral("%1\t1.5\t2").arg(grid.Rows()));
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("table.txt"));
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\r\n") == 5);
            old.close();
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
            const bool written = TableFiles::saveTable(grid, path, false);
            ::setrlimit(RLIMIT_FSIZE, &saved);
            QCOMPARE((written ? "saved " : "refused ") + contents(path), QByteArray("refused old\r\n"));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"table.txt"});
        }
        std::signal(SIGXFSZ, previous);
    }
};

QTEST_MAIN(TestGrid)
#include "test_grid.moc"
