// A table's lines, and the signals by which any number of readers follow them.
#include "state/appstate.h"
#include "support/tables.h"
#include "tables/table.h"
#include "tables/tablefiles.h"
#include "tables/tables.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <limits>

namespace {
constexpr qint32 NoChange = std::numeric_limits<qint32>::max();

// A reader keeping its own first changed line, as the analysis pages do.
struct Follower {
    qint32 from = NoChange;
    explicit Follower(Table& table)
    {
        const auto at = [this](qint32 first) { from = std::min(from, first); };
        QObject::connect(&table, &Table::linesInserted, &table, at);
        QObject::connect(&table, &Table::linesRemoved, &table, at);
        QObject::connect(&table, &Table::cellsChanged, &table, at);
    }
    qint32 take() { return std::exchange(from, NoChange); }
};

QString lines(const Table& table)
{
    QStringList out;
    for (qint32 r = 1; r < table.rows(); ++r) {
        QStringList cells;
        for (qint32 c = 0; c < table.cols(); ++c)
            cells << table.cell(r, c);
        out << cells.join(',');
    }
    return out.join('|');
}
} // namespace

class TestTableData : public QObject {
    Q_OBJECT

private slots:
    // Each reader learns every change and takes it at its own pace.
    void readersFollowIndependently()
    {
        Table table;
        table.setFormat(QStringLiteral("n|^X|^Y"));
        Follower a(table);
        Follower b(table);
        table.appendLine(QStringLiteral("1\tx\ty"));
        table.appendLine(QStringLiteral("2\tx\ty"));
        QCOMPARE(a.take(), 1);
        table.setCell(2, 1, QStringLiteral("z"));
        QCOMPARE(a.take(), 2);
        QCOMPARE(b.take(), 1);
        QCOMPARE(QList<qint32>({a.take(), b.take()}), QList<qint32>({NoChange, NoChange}));
        QCOMPARE(lines(table), QStringLiteral("1,x,y|2,z,y"));
    }

    // A file of many lines replaces the old ones with one announcement each way.
    void loadAnnouncedOnce()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("t.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 1; i <= 5000; ++i)
            file.write(QByteArray::number(i) + "\t-1\r\n");
        file.close();
        Table table;
        table.setCols(3);
        table.appendLine(QStringLiteral("1\told"));
        QSignalSpy inserted(&table, &Table::linesInserted);
        QSignalSpy removed(&table, &Table::linesRemoved);
        QVERIFY(TableFiles::loadTable(table, file.fileName()));
        QCOMPARE(removed, QList<QVariantList>({{1, 1}}));
        QCOMPARE(inserted, QList<QVariantList>({{1, 5000}}));
        QCOMPARE(lines(table).section('|', 4999), QStringLiteral("5000,5000,-1"));
        QCOMPARE(table.record(5000)->source, LineRecord::Source::File);
    }

    // Cells given one by one keep a TAB inside, those past the columns are dropped; a nested bulk is
    // announced once, when the outer one ends.
    void cellsGivenOneByOne()
    {
        Table table;
        table.setFormat(QStringLiteral("n|<left|x"));
        QSignalSpy inserted(&table, &Table::linesInserted);
        {
            const Table::Bulk outer(table);
            {
                const Table::Bulk inner(table);
                table.appendLine(
                    {QStringLiteral("1"), QStringLiteral("a\tb"), QString(), QStringLiteral("extra")},
                    nullptr);
            }
            QVERIFY(inserted.isEmpty());
            table.appendLine({QStringLiteral("2"), QStringLiteral("c")}, nullptr);
        }
        QCOMPARE(inserted, QList<QVariantList>({{1, 2}}));
        QCOMPARE(lines(table), QStringLiteral("1,a\tb,|2,c,"));
        QVERIFY(table.align(1) == Table::Align::Left && !table.record(1));
    }

    // A block goes in one removal and the rest is numbered anew; the last lines go by emptying the table.
    void removingABlock_data()
    {
        columns<int, int, int, QString>("lines", "first", "count", "after");
        row("middle", 5, 2, 2, "1,v1|2,v4|3,v5");
        row("to the end", 4, 3, 2, "1,v1|2,v2");
        row("all", 3, 1, 3, "");
        row("the only line", 1, 1, 1, "");
    }
    void removingABlock()
    {
        QFETCH(int, lines);
        QFETCH(int, first);
        QFETCH(int, count);
        AppState state;
        Tables tables(state);
        Table& table = tables.current();
        table.setCols(2);
        for (int i = 1; i <= lines; ++i)
            table.appendLine(QStringLiteral("%1\tv%1").arg(i));
        QSignalSpy removed(&table, &Table::linesRemoved);
        tables.deleteLines(first, count);
        QTEST(::lines(table), "after");
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed.first().at(0).toInt(), first);
    }

    // The readout writes into the line it began, whichever table is shown meanwhile.
    void readoutKeepsItsPlace()
    {
        AppState state;
        Tables tables(state);
        QSignalSpy begun(&tables, &Tables::readoutLineAdded);
        tables.setColumn(QStringLiteral("nowhere"));
        tables.setGridForLoad(2, 3, 2);
        tables.addLine(2);
        tables.setColumn(QStringLiteral("a"));
        tables.setCurrent(5);
        tables.setColumn(QStringLiteral("b"));
        tables.setColumn(QStringLiteral("c"));
        QCOMPARE(lines(tables.table(2)), QStringLiteral("1,a,c"));
        QCOMPARE(begun, QList<QVariantList>({{2, 1}}));
        QCOMPARE(tables.table(5).rows(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTableData)
#include "test_tabledata.moc"
