// Table files that cannot be written or that hold what no table file should, through the main window's
// "Save" and "Open" buttons with the file dialog answered by the test.
#include "faultfixture.h"

#include "widgets/flexgrid.h"
#include "tables/tableset.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The lines of a table file: ended by CR LF or a lone CR, a lone LF kept, the last one needing no end.
QList<QByteArray> fileLines(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    QByteArray line;
    bool open = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\r') {
            lines << line;
            line.clear();
            open = false;
            if (i + 1 < bytes.size() && bytes.at(i + 1) == '\n')
                ++i;
        } else {
            line.append(bytes.at(i));
            open = true;
        }
    }
    if (open)
        lines << line;
    return lines;
}

} // namespace

class TestFileFaults : public QObject {
    Q_OBJECT

    std::unique_ptr<FaultFixture> m_f;
    QTemporaryDir m_dir;
    QString m_chosen;

    FormMain& start()
    {
        FormMain& w = m_f->start();
        FileDialog::setChooser([this](FileDialog::Kind, const QString&) { return m_chosen; });
        // Two lines to save.
        FlexGrid* grid = w.tables().currentGrid();
        grid->AddItem(QStringLiteral("1\t12.5\t-0.25"));
        grid->AddItem(QStringLiteral("2\t1.5\t2.5"));
        return w;
    }

private slots:
    void init() { m_f = std::make_unique<FaultFixture>(); }
    void cleanup() { m_f.reset(); }

    void saveFails_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("folder that does not exist") << QStringLiteral("missing/table.txt");
        QTest::newRow("the name of a folder") << QStringLiteral("folder");
        QTest::newRow("inside a file") << QStringLiteral("old.txt/table.txt");
        QTest::newRow("empty name of a file") << QStringLiteral("folder/");
    }
    void saveFails()
    {
        QFETCH(QString, target);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("folder/kept.txt")), "kept\r\n"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("old.txt")), "old\r\n"));
        FormMain& w = start();
        m_chosen = dir.filePath(target);
        w.CommandSave->click();

        QCOMPARE(m_f->messages.size(), 1);
        QVERIFY(m_f->messages.first().contains(m_chosen));
        QCOMPARE(w.dataPath(), m_chosen);
        QVERIFY(!QFileInfo(m_chosen).isFile());
        QCOMPARE(readFile(dir.filePath(QStringLiteral("folder/kept.txt"))), QByteArray("kept\r\n"));
        QCOMPARE(readFile(dir.filePath(QStringLiteral("old.txt"))), QByteArray("old\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList({QStringLiteral("folder"), QStringLiteral("old.txt")}));
        QCOMPARE(QDir(dir.filePath(QStringLiteral("folder"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("kept.txt")});
        QCOMPARE(w.tables().currentGrid()->Rows(), 3);

        // The same table saves where it can.
        m_chosen = dir.filePath(QStringLiteral("good.txt"));
        w.CommandSave->click();
        QCOMPARE(readFile(m_chosen), QByteArray("12.5\t-0.25\r\n1.5\t2.5\r\n"));
        QCOMPARE(m_f->messages.size(), 1);
    }

    void loadOddFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QRandomGenerator random(7);
        QByteArray binary(64 * 1024, '\0');
        random.fillRange(reinterpret_cast<quint32*>(binary.data()), binary.size() / 4);
        QTest::newRow("binary") << binary;
        QTest::newRow("one line of 1 MB") << "a\tb\t" + QByteArray(1024 * 1024, 'x') + "\r\nnext\tline\r\n";
        QTest::newRow("a field of 1 MB") << QByteArray(1024 * 1024, '7') + "\tsecond";
        QByteArray utf16 = QByteArray("\xff\xfe", 2);
        for (const QChar c : QStringLiteral("1,5\t2,5\r\n\u00b5/m\t\u20ac\r\n"))
            utf16 += QByteArray(reinterpret_cast<const char*>(&c), 2);
        QTest::newRow("UTF-16") << utf16;
        QTest::newRow("UTF-8") << QStringLiteral("\u00b5/m\t\u00e4\u00f6\u00fc\r\n\u20ac\t\u2260").toUtf8();
        QTest::newRow("NUL and lone line feeds") << QByteArray("\0\t\0\n\0\r\n\n\n\r\r", 11);
    }
    void loadOddFiles()
    {
        QFETCH(QByteArray, bytes);
        FormMain& w = start();
        m_chosen = m_dir.filePath(QStringLiteral("odd.txt"));
        QVERIFY(writeFile(m_chosen, bytes));
        QElapsedTimer clock;
        clock.start();
        w.CommandOpen->click();
        (void)w.grab(); // painted as the operator would see it

        const QList<QByteArray> lines = fileLines(bytes);
        FlexGrid* grid = w.tables().currentGrid();
        QCOMPARE(grid->Rows(), lines.size() + 1);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines.at(i).split('\t');
            const auto row = static_cast<qint32>(i + 1);
            QCOMPARE(grid->TextMatrix(row, 0), QString::number(row));
            for (qint32 col = 1; col < grid->Cols(); ++col)
                QCOMPARE(grid->TextMatrix(row, col), QString::fromLatin1(fields.value(col - 1)));
        }
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(m_f->messages.isEmpty());

        // What was read saves again, byte for byte where the separator rule leaves it alone.
        m_chosen = m_dir.filePath(QStringLiteral("again.txt"));
        w.CommandSave->click();
        QVERIFY(m_f->messages.isEmpty());
        QCOMPARE(fileLines(readFile(m_chosen)).size(), lines.size());
    }
};

QTEST_MAIN(TestFileFaults)
#include "test_filefaults.moc"
