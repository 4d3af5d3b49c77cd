// The grid view over a table's cell storage, and the table files written from it and read into it.
#include "analysis/linerecord.h"
#include "mainwindow/tableviews.h"
#include "state/appstate.h"
#include "support/tables.h"
#include "tables/table.h"
#include "tables/tablefiles.h"
#include "tables/tables.h"
#include "widgets/filedialog.h"
#include "widgets/flexgrid.h"
#include "widgets/twips.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

namespace {
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

// Steps split by "; ": the table's cols|rows n, remove first count, set r c text, add line, fill n (v1..vn);
// the view's row|sel|col n, flush.
void run(FlexGrid& grid, const QString& script)
{
    static const QHash<QString, void (Table::*)(qint32)> table{{"cols", &Table::setCols},
                                                               {"rows", &Table::setRows}};
    static const QHash<QString, void (FlexGrid::*)(qint32)> view{
        {"row", &FlexGrid::setRow}, {"sel", &FlexGrid::setRowSel}, {"col", &FlexGrid::setCol}};
    Table& t = grid.table();
    for (const QString& step : script.split(QStringLiteral("; "))) {
        const QStringList w = step.split(' ');
        if (table.contains(w[0]))
            (t.*table[w[0]])(w[1].toInt());
        else if (view.contains(w[0]))
            (grid.*view[w[0]])(w[1].toInt());
        else if (w[0] == QLatin1String("remove"))
            t.removeLines(w[1].toInt(), w[2].toInt());
        else if (w[0] == QLatin1String("set"))
            t.setCell(w[1].toInt(), w[2].toInt(), step.section(' ', 3));
        else if (w[0] == QLatin1String("flush"))
            grid.flushView();
        else if (w[0] == QLatin1String("add"))
            t.appendLine(step.mid(4));
        else
            for (int i = 1; i <= w[1].toInt(); ++i)
                t.appendLine(QStringLiteral("v%1").arg(i));
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
    // The cells, Row-RowSel and Col after the steps; the view shows the selection, the model tester checks.
    void lines_data()
    {
        columns<QString, QString>("steps", "after");
        row("fields from column 0, extra dropped", "cols 3; add 1\ta\tb\tc", "1,a,b 1-1 0");
        row("fewer fields, blanks kept", "cols 3; add  1 \t x", " 1 , x, 1-1 0");
        row("tabs into cells", "cols 3; add 1\ta\tb; set 1 1 x\ty; set 1 0 \t; set 1 2 w", "\t,x\ty,w 1-1 0");
        row("past the cells set", "cols 4; add 1; set 1 3 p\tq; set 1 1 w", "1,w,,p\tq 1-1 0");
        row("emptied cell", "cols 3; add 1\ta\tb; set 1 1 ", "1,,b 1-1 0");
        row("cols cut and grown empty", "cols 3; add 1\ta\tb; cols 2; set 1 2 no; cols 3", "1,a, 1-1 0");
        row("cols cut past cells holding tabs", "cols 3; add 1\ta\tb; set 1 1 x\ty; cols 2; set 1 1 z\tw",
            "1,z\tw 1-1 0");
        row("cols cut to the first", "cols 3; add 1\ta\tb; set 1 2 x\ty; cols 1; cols 2", "1, 1-1 0");
        row("rows cut and grown empty", "fill 4; rows 2; rows 3", "v1| 1-1 0");
        row("never fewer than the header row", "fill 2; rows 0", " 0-0 0");
        row("remove a block", "fill 6; remove 2 3", "v1|v5|v6 1-1 0");
        row("clipped, refused", "fill 4; remove 3 5; remove 0 1; remove 3 1; remove 1 0", "v1|v2 1-1 0");
        row("Row collapses the selection", "fill 3; sel 3; row 2", "v1|v2|v3 2-2 0");
        row("RowSel spans, no such row", "fill 5; row 4; sel 2; sel 6", "v1|v2|v3|v4|v5 4-2 0");
        row("removal keeps the selection", "fill 7; row 6; sel 3; remove 1 2", "v3|v4|v5|v6|v7 5-3 0");
        row("fewer rows pull it in", "fill 5; row 5; sel 4; rows 3", "v1|v2 2-2 0");
        row("all removed", "fill 3; row 1; sel 3; remove 1 3", " 0-0 0");
        row("all replaced by fewer", "fill 5; row 4; sel 2; flush; rows 1; fill 2; flush; add x",
            "v1|v2|x 1-1 0");
        row("all replaced by more", "fill 2; row 2; flush; rows 1; fill 4", "v1|v2|v3|v4 1-1 0");
        row("column in range", "cols 3; fill 1; col 2; col 3", "v1,, 1-1 2");
    }
    void lines()
    {
        QFETCH(QString, steps);
        Table table;
        FlexGrid grid(table);
        QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.setSelectionMode(1);
        run(grid, steps);
        grid.flushView();
        QTEST(cells(grid) + QString::asprintf(" %d-%d %d", grid.Row(), grid.RowSel(), grid.Col()), "after");
        QCOMPARE(grid.model()->rowCount(), grid.Rows() - 1);
        for (int r = 1; r < grid.Rows(); ++r)
            QCOMPARE(grid.selectionModel()->isRowSelected(r - 1, {}),
                     qMin(grid.Row(), grid.RowSel()) <= r && r <= qMax(grid.Row(), grid.RowSel()));
    }

    // Until the flush the view keeps rows a bulk replacement took from the table; they and other cells
    // outside read as nothing.
    void staleRowsReadAsNothing()
    {
        Table table;
        FlexGrid grid(table);
        run(grid, QStringLiteral("cols 2; fill 4; flush"));
        {
            const Table::Bulk bulk(table); // as a file is read
            run(grid, QStringLiteral("rows 1; fill 2"));
        }
        const QAbstractItemModel& model = *grid.model();
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("v2"));
        for (const QVariant& none :
             {model.index(3, 0).data(), model.index(0, 0).data(Qt::ToolTipRole),
              model.headerData(2, Qt::Horizontal), model.headerData(0, Qt::Horizontal, Qt::ToolTipRole),
              model.headerData(0, Qt::Vertical, Qt::ToolTipRole)})
            QVERIFY(!none.isValid());
        QCOMPARE(model.headerData(2, Qt::Vertical).toInt(), 3);
        QCOMPARE(model.flags({}), Qt::NoItemFlags);
        grid.flushView();
        QCOMPARE(model.rowCount(), 2);
        table.clear(); // emptied for good: the view learns it at once
        QCOMPARE(model.rowCount(), 0);
    }

    // Cells, records and positions outside the grid read as nothing and are not written.
    void outsideTheGrid()
    {
        Table table;
        FlexGrid grid(table);
        run(grid, QStringLiteral("cols 2; add 1\ta; row 1; col 1"));
        static const LineRecord kept{LineRecord::Source::File};
        table.setRecord(1, kept);
        for (const auto& [r, c] :
             std::initializer_list<std::pair<int, int>>{{-1, 0}, {2, 0}, {1, -1}, {1, 2}}) {
            QCOMPARE(grid.TextMatrix(r, c), QString());
            QVERIFY(grid.TextMatrixView(r, c).isEmpty());
            table.setCell(r, c, QStringLiteral("x"));
            table.setRecord(r, LineRecord{});
            QVERIFY(!grid.record(r) || r == 1);
            grid.setRow(r);
            grid.setRowSel(r);
            grid.setCol(c);
        }
        QCOMPARE(cells(grid, 0) + QString::asprintf(" %d-%d %d", grid.Row(), grid.RowSel(), grid.Col()),
                 QStringLiteral(",|1,a 1-1 0"));
        QVERIFY(grid.record(1) && grid.record(1)->source == LineRecord::Source::Button);
        QCOMPARE(grid.record(0), nullptr);
    }

    // Rewrites leave the text blocks mostly stale, so they are compacted: every cell survives.
    void storageKeepsEveryCell()
    {
        const auto text = [](int pass, int r) {
            return QString(r % 97 ? "p%1r%2" : "t\t%1r%2").arg(pass).arg(r);
        };
        Table table;
        FlexGrid grid(table);
        table.setFormat(QStringLiteral("n|^a|^b"));
        QStringList expected;
        for (int r = 1; r <= 3000; ++r) {
            table.appendLine(QStringLiteral("%1\ta\tb%1").arg(r));
            expected << QStringLiteral("%1,%2,b%1").arg(r).arg(text(19, r));
        }
        for (int pass = 0; pass < 20; ++pass)
            for (int r = 1; r < grid.Rows(); ++r)
                table.setCell(r, 1, text(pass, r));
        QCOMPARE(cells(grid), expected.join('|'));
        table.removeLines(1000, 1500);
        QCOMPARE(cells(grid, 999).left(22), QStringLiteral("999,p19r999,b999|2500,"));

        const QString wide(70000, QLatin1Char('w'));
        {
            // Emptied and filled again at once, as a file is read: the emptied room is used again, a row
            // longer than any of it gets room of its own.
            const Table::Bulk bulk(table);
            table.clear();
            QCOMPARE(cells(grid, 0), QStringLiteral("n,a,b"));
            for (int r = 1; r <= 3000; ++r)
                table.appendLine(QStringLiteral("%1\t").arg(r) +
                                 (r == 1500 ? wide : QStringLiteral("q%1").arg(r)));
        }
        grid.flushView();
        QCOMPARE(grid.TextMatrix(1500, 1), wide);
        QCOMPARE(cells(grid, 2998), QStringLiteral("2998,q2998,|2999,q2999,|3000,q3000,"));
        QCOMPARE(cells(grid, 0).left(15), QStringLiteral("n,a,b|1,q1,|2,q"));
    }

    // Header marks align; the general alignment puts numbers right, text left; columns fit their headers.
    void formatString()
    {
        Table table;
        FlexGrid grid(table);
        run(grid, QStringLiteral("cols 4; add 1\tx\tx\tx"));
        table.setFormat(QStringLiteral("n|^  X  |>Right|12"));
        grid.flushView();
        QCOMPARE(cells(grid, 0), QStringLiteral("n,  X  ,Right,12|1,x,x,x"));
        QString aligned; // Left, Right, Centre of header and cell per column
        for (int c = 0; c < 4; ++c) {
            for (const QVariant& a : {grid.model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole),
                                      grid.model()->index(0, c).data(Qt::TextAlignmentRole)})
                aligned += QChar("?LR?C"[a.toInt() & Qt::AlignHorizontal_Mask]);
            QVERIFY(grid.ColWidth(c) >=
                    Twips::fromPixels(QFontMetrics(grid.font()).horizontalAdvance(grid.TextMatrix(0, c))));
        }
        QCOMPARE(aligned, QStringLiteral("LRCCRRRL"));
    }

    // TopRow kept in range, estimated while hidden; Shift+Down moves RowSel, Row stays at the anchor.
    void shownGrid()
    {
        Table table;
        FlexGrid grid(table);
        grid.setSelectionMode(1);
        run(grid, QStringLiteral("cols 2; fill 100"));
        grid.resize(300, 10 * Twips::toPixels(grid.RowHeight(1)));
        grid.setTopRow(1000);
        QVERIFY(grid.TopRow() > 80 && grid.TopRow() < 100);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QTRY_VERIFY(grid.TopRow() > 80);
        const int last = grid.TopRow();
        grid.setTopRow(last + 1);
        QCOMPARE(grid.TopRow(), last);
        grid.setTopRow(-3);
        QCOMPARE(grid.TopRow(), 1);
        grid.setRow(3);
        grid.flushView();
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(QStringLiteral("%1-%2").arg(grid.Row()).arg(grid.RowSel()), QStringLiteral("3-4"));
    }

    // The selection follows the readout's newest line; the operator's click does not move the readout.
    void readoutBesideTheSelection()
    {
        AppState state;
        Tables tables(state);
        QWidget window;
        const TableViews views(state, tables, &window);
        FlexGrid& grid = *views.grid(1);
        tables.setGridForLoad(1, 2, 2);
        tables.addLine(1);
        tables.addLine(1);
        QCOMPARE(grid.Row(), 2);
        grid.setRow(1);
        tables.setColumn(QStringLiteral("x"));
        QCOMPARE(cells(grid) + QString::asprintf(" %d", grid.Row()), QStringLiteral("1,,|2,x, 1"));
    }

    // A file read into a table (replacing its lines, numbered anew), then saved with the separator wanted.
    void tableFiles_data()
    {
        columns<QByteArray, bool, QString, QByteArray>("file", "useComma", "lines", "saved");
        const QByteArray a(65535, 'a');
        const QByteArray c(1 << 20, 'c');
        row("CR LF, third field dropped", QByteArray("1\t2\t3\r\n4\t5\r\n6\r\n"), false, "1,1,2|2,4,5|3,6,",
            QByteArray("1\t2\r\n4\t5\r\n6\t\r\n"));
        row("lone CR ends a line", QByteArray("a\rb\r"), false, "1,a,|2,b,", QByteArray("a\t\r\nb\t\r\n"));
        row("lone LF ends a line, last line unended", QByteArray("a\nb\r\n\nc"), false, "1,a,|2,b,|3,,|4,c,",
            QByteArray("a\t\r\nb\t\r\n\t\r\nc\t\r\n"));
        row("empty line keeps its number", QByteArray("x\r\n\r\n,5\r\n"), false, "1,x,|2,,|3,,5,",
            QByteArray("x\t\r\n\t\r\n,5\t\r\n"));
        row("comma wanted, first point only", QByteArray("1.234.5\t-0.25"), true, "1,1.234.5,-0.25",
            QByteArray("1,234.5\t-0,25\r\n"));
        row("placeholders", QByteArray("..........\t.5"), true, "1,..........,.5",
            QByteArray("..........\t.5\r\n"));
        // CR the last byte of one read, LF the first of the next; then a line of 1 MB.
        row("line ends across reads", a + "\r\nb\r\n" + c, false,
            QString::fromLatin1("1," + a + ",|2,b,|3," + c + ","), a + "\t\r\nb\t\r\n" + c + "\t\r\n");
    }
    void tableFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, useComma);
        Table table;
        FlexGrid grid(table);
        table.setFormat(QStringLiteral("n|^X|^Y"));
        run(grid, QStringLiteral("fill 2"));
        const QString path = m_dir.filePath(QStringLiteral("table.txt"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file) == file.size() && out.flush());
        QVERIFY(TableFiles::loadTable(table, path));
        QTEST(cells(grid), "lines");
        QCOMPARE(cells(grid, 0).section('|', 0, 0), QStringLiteral("n,X,Y"));
        QVERIFY(TableFiles::saveTable(table, path, useComma));
        QTEST(contents(path), "saved");
    }

    void fileFailures()
    {
        Table table;
        table.setCols(3);
        QVERIFY(!TableFiles::loadTable(table, m_dir.filePath(QStringLiteral("missing.txt"))));
        QVERIFY(!TableFiles::saveTable(table, m_dir.filePath(QStringLiteral("missing/table.txt")), false));
        // A save refused at a file size limit leaves the old file and nothing else, small table or large.
        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const rlimit small{4096, saved.rlim_max};
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        for (const int lines : {1000, 40000}) {
            while (table.rows() <= lines)
                table.appendLine(QStringLiteral("%1\t1.5\t2").arg(table.rows()));
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("table.txt"));
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\r\n") == 5 && old.flush());
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
            const bool written = TableFiles::saveTable(table, path, false);
            ::setrlimit(RLIMIT_FSIZE, &saved);
            QCOMPARE((written ? "saved " : "refused ") + contents(path), QByteArray("refused old\r\n"));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"table.txt"});
        }
        std::signal(SIGXFSZ, previous);
    }

    // The real dialogs: each kind with its filter, its default suffix and its mode; cancelling gives nothing.
    void fileDialogs_data()
    {
        QTest::addColumn<FileDialog::Kind>("kind");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("saving");
        QTest::newRow("open") << FileDialog::Kind::Open << "Table data (*.txt)"
                              << "" << false;
        QTest::newRow("save") << FileDialog::Kind::Save << "Table data (*.txt)"
                              << "" << true;
        QTest::newRow("csv") << FileDialog::Kind::ExportCsv << "CSV (*.csv)"
                             << "csv" << true;
        QTest::newRow("png") << FileDialog::Kind::ExportPng << "PNG image (*.png)"
                             << "png" << true;
        QTest::newRow("pdf") << FileDialog::Kind::ExportPdf << "PDF (*.pdf)"
                             << "pdf" << true;
    }
    void fileDialogs()
    {
        QFETCH(FileDialog::Kind, kind);
        QFETCH(QString, filter);
        QFETCH(QString, suffix);
        QFETCH(bool, saving);
        QTemporaryDir dir;
        // One to open; a new one to save (an existing one would be confirmed first), given its suffix.
        const QString file = dir.filePath("chosen");
        QFile(file).open(QIODevice::WriteOnly);
        const QString named = saving ? dir.filePath("new") : file;
        for (const bool accept : {true, false}) {
            QString seen;
            QTimer::singleShot(0, this, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (!dialog)
                    return;
                seen = dialog->nameFilters().join(';') + '|' + dialog->defaultSuffix() + '|' +
                       QString::number(dialog->acceptMode() == QFileDialog::AcceptSave);
                dialog->selectFile(named);
                accept ? static_cast<QDialog*>(dialog)->accept() : dialog->reject();
            });
            const QString chosen = FileDialog::choose(nullptr, kind, dir.filePath("start"));
            QCOMPARE(seen, filter + '|' + suffix + '|' + QString::number(saving));
            QCOMPARE(chosen, !accept ? QString() : suffix.isEmpty() ? named : named + '.' + suffix);
        }
    }
};

QTEST_MAIN(TestGrid)
#include "test_grid.moc"
