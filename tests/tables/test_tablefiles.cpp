#include "mainwindow/mainwindowfixture.h"
#include "widgets/filedialog.h"
#include "widgets/flexgrid.h"
#include "tables/tablefiles.h"
#include "tables/tableset.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestTableFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static void fill(FlexGrid& grid, const QList<QStringList>& lines)
    {
        grid.setRows(1);
        for (const QStringList& line : lines)
            grid.AddItem(QString::number(grid.Rows()) + QLatin1Char('\t') + line.join(QLatin1Char('\t')));
    }
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static FlexGrid* orvelanGrid(QWidget* owner)
    {
        auto* grid = new FlexGrid(owner);
        grid->setRows(1);
        grid->setCols(3);
        return grid;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void savedText_data()
    {
        QTest::addColumn<bool>("useComma");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("comma wanted")
            << true << QStringList{"12.5", "-0.25"} << QByteArray("12,5\t-0,25\r\n");
        QTest::newRow("dot wanted") << false << QStringList{"12,5", "-0,25"} << QByteArray("12.5\t-0.25\r\n");
        QTest::newRow("placeholders") << true << QStringList{"..........", "............"}
                                      << QByteArray("..........\t............\r\n");
        QTest::newRow("empty cells") << false << QStringList{"", ""} << QByteArray("\t\r\n");
        QTest::newRow("8-bit text") << false << QStringList{QString::fromUtf8("\u00b5m"), "x"}
                                    << QByteArray("\xb5m\tx\r\n");
    }
    void savedText()
    {
        QFETCH(bool, useComma);
        QFETCH(QStringList, cells);
        QFETCH(QByteArray, line);
        QWidget owner;
        FlexGrid* grid = orvelanGrid(&owner);
        fill(*grid, {cells, cells});
        const QString path = m_dir.filePath(QStringLiteral("saved.txt"));
        QVERIFY(TableFiles::saveTable(*grid, path, useComma));
        QCOMPARE(contents(path), line + line);
        QCOMPARE(grid->TextMatrix(1, 1), cells.at(0)); // the table itself is not changed
        TableFiles::copyTableToClipboard(*grid, useComma);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(line + line));
    }

    void emptyTableAndTobarLine()
    {
        QWidget owner;
        FlexGrid* grid = orvelanGrid(&owner);
        const QString path = m_dir.filePath(QStringLiteral("empty.txt"));
        QVERIFY(TableFiles::saveTable(*grid, path, false));
        QCOMPARE(contents(path), QByteArray());
        QCOMPARE(TableFiles::tableText(*grid, false), QString());

        grid->setCols(6);
        fill(*grid, {{"12.345mm", "mm", "EFL", "Go", "Line pair 0.5"}});
        QCOMPARE(TableFiles::tableText(*grid, false),
                 QStringLiteral("12.345mm\tmm\tEFL\tGo\tLine pair 0.5\r\n"));
    }

    void loadedLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<QStringList>>("lines");
        QTest::newRow("three lines, third field dropped")
            << QByteArray("1\t2\t3\r\n4\t5\r\n6\r\n")
            << QList<QStringList>{{"1", "2"}, {"4", "5"}, {"6", ""}};
        QTest::newRow("lone CR ends a line")
            << QByteArray("a\rb\r") << QList<QStringList>{{"a", ""}, {"b", ""}};
        QTest::newRow("lone LF stays")
            << QByteArray("a\nb\r\nc") << QList<QStringList>{{"a\nb", ""}, {"c", ""}};
        QTest::newRow("last line without end")
            << QByteArray("x\r\ny") << QList<QStringList>{{"x", ""}, {"y", ""}};
        QTest::newRow("empty line keeps its number")
            << QByteArray("x\r\n\r\ny\r\n") << QList<QStringList>{{"x", ""}, {"", ""}, {"y", ""}};
        QTest::newRow("empty file") << QByteArray() << QList<QStringList>{};
        QTest::newRow("commas stay") << QByteArray("12,5\t-0,25\r\n")
                                     << QList<QStringList>{{"12,5", "-0,25"}};
        QTest::newRow("binary") << QByteArray("\x00\x01\xff\t\x7f\r\n", 7)
                                << QList<QStringList>{{QString::fromLatin1("\x00\x01\xff", 3), "\x7f"}};
    }
    void loadedLines()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<QStringList>, lines);
        QWidget owner;
        FlexGrid* grid = orvelanGrid(&owner);
        grid->setFormatString(TableSet::formatString(1, false));
        fill(*grid, {{"old", "line"}});
        const QString path = m_dir.filePath(QStringLiteral("load.txt"));
        writeFile(path, file);
        QVERIFY(TableFiles::loadTable(*grid, path));
        QCOMPARE(grid->Rows(), lines.size() + 1);
        QCOMPARE(grid->Cols(), 3);
        QCOMPARE(grid->TextMatrix(0, 1).trimmed(), QStringLiteral("X"));
        for (int i = 0; i < lines.size(); ++i) {
            QCOMPARE(grid->TextMatrix(i + 1, 0), QString::number(i + 1));
            QCOMPARE(grid->TextMatrix(i + 1, 1), lines[i][0]);
            QCOMPARE(grid->TextMatrix(i + 1, 2), lines[i][1]);
        }
    }

    void lineEndAcrossReadChunks()
    {
        QWidget owner;
        FlexGrid* grid = orvelanGrid(&owner);
        QByteArray file(65535, 'a'); // CR is the last byte of the first chunk, LF the first of the next
        file += "\r\nb\r\n";
        file += QByteArray(1 << 20, 'c'); // a 1 MB line
        const QString path = m_dir.filePath(QStringLiteral("chunks.txt"));
        writeFile(path, file);
        QVERIFY(TableFiles::loadTable(*grid, path));
        QCOMPARE(grid->Rows(), 4);
        QCOMPARE(grid->TextMatrix(1, 1).size(), 65535);
        QCOMPARE(grid->TextMatrix(2, 1), QStringLiteral("b"));
        QCOMPARE(grid->TextMatrix(3, 1).size(), 1 << 20);
    }

    void roundTrip_data()
    {
        QTest::addColumn<bool>("useComma");
        QTest::newRow("comma") << true;
        QTest::newRow("dot") << false;
    }
    void roundTrip()
    {
        QFETCH(bool, useComma);
        QWidget owner;
        FlexGrid* grid = orvelanGrid(&owner);
        fill(*grid, {{"12.5", "-3.25"}, {"..........", "0.000"}, {"", "7"}});
        const QString path = m_dir.filePath(QStringLiteral("round.txt"));
        QVERIFY(TableFiles::saveTable(*grid, path, useComma));
        FlexGrid* back = orvelanGrid(&owner);
        QVERIFY(TableFiles::loadTable(*back, path));
        QCOMPARE(back->Rows(), 4);
        QCOMPARE(back->TextMatrix(1, 1), useComma ? QStringLiteral("12,5") : QStringLiteral("12.5"));
        QCOMPARE(back->TextMatrix(2, 1), QStringLiteral(".........."));
        QCOMPARE(back->TextMatrix(3, 1), QString());
        QCOMPARE(back->TextMatrix(3, 2), QStringLiteral("7"));
    }

    void failuresKeepWhatExists()
    {
        QWidget owner;
        FlexGrid* grid = orvelanGrid(&owner);
        fill(*grid, {{"1", "2"}});
        QVERIFY(!TableFiles::loadTable(*grid, m_dir.filePath(QStringLiteral("missing.txt"))));
        QCOMPARE(grid->Rows(), 2); // unchanged
        QVERIFY(!TableFiles::saveTable(*grid, m_dir.filePath(QStringLiteral("no/such/folder.txt")), false));
        QVERIFY(!TableFiles::saveTable(*grid, m_dir.path(), false));
        QVERIFY(QFileInfo(m_dir.path()).isDir());
    }

    void copiesMoreThan32767Lines()
    {
        QWidget owner;
        FlexGrid* grid = orvelanGrid(&owner);
        for (int i = 1; i <= 40000; ++i)
            grid->AddItem(QString::number(i) + QStringLiteral("\t1.5\t2"));
        TableFiles::copyTableToClipboard(*grid, true);
        const QString text = QGuiApplication::clipboard()->text();
        QCOMPARE(text.count(QLatin1String("\r\n")), 40000);
        QVERIFY(text.endsWith(QLatin1String("1,5\t2\r\n")));
    }

    // The buttons of the main window, with the file dialog replaced.
    void buttons()
    {
        MainWindowFixture f;
        FormMain& w = f.start();
        w.TimerDisplay->stop();
        QString answer;
        QList<FileDialog::Kind> asked;
        FileDialog::setChooser([&](FileDialog::Kind kind, const QString&) {
            asked << kind;
            return answer;
        });
        FlexGrid* grid = w.tables().currentGrid();
        fill(*grid, {{"12.5", "-3.25"}});
        f.state->options.useComma = true;

        answer.clear(); // cancelled: nothing happens
        w.CommandSave->click();
        QCOMPARE(w.dataPath(), QString());
        QVERIFY(f.messages.isEmpty());

        answer = m_dir.filePath(QStringLiteral("button.txt"));
        w.CommandSave->click();
        QCOMPARE(contents(answer), QByteArray("12,5\t-3,25\r\n"));
        QCOMPARE(f.store()->value(QStringLiteral("options/datapath")).toString(), answer);

        w.CommandClearGrid->click();
        QCOMPARE(grid->Rows(), 1);
        w.CommandOpen->click();
        QCOMPARE(grid->Rows(), 2);
        QCOMPARE(grid->TextMatrix(1, 1), QStringLiteral("12,5"));

        w.Command1->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("12,5\t-3,25\r\n"));

        answer = m_dir.filePath(QStringLiteral("missing/button.txt"));
        w.CommandSave->click();
        QCOMPARE(f.messages, QStringList{QStringLiteral("The table could not be saved to ") + answer + '.'});
        QCOMPARE(w.dataPath(), answer);
        w.CommandOpen->click(); // opening fails silently and leaves the table
        QCOMPARE(grid->Rows(), 2);
        QCOMPARE(f.messages.size(), 1);
        QCOMPARE(asked, (QList<FileDialog::Kind>{FileDialog::Kind::Save, FileDialog::Kind::Save,
                                                 FileDialog::Kind::Open, FileDialog::Kind::Save,
                                                 FileDialog::Kind::Open}));
        FileDialog::setChooser({});
    }
};

QTEST_MAIN(TestTableFiles)
#include "test_tablefiles.moc"
