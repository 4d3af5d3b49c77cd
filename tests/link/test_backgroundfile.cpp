#include "link/backgroundfile.h"
#include "link/linkreceiver.h"
#include "platform/memoryport.h"
#include "state/appstate.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

class TestBackgroundFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void records_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("useComma");
        QTest::addColumn<bool>("tobar");
        QTest::addColumn<int>("status");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("angles") << "C" << false << false << 3 << 12.5 << -3.25
                                << QByteArray("0 03 12.5 -3.25\r\n");
        QTest::newRow("comma wanted")
            << "C" << true << false << 3 << 0.5 << -2.0 << QByteArray("0 03 0,5 -2\r\n");
        QTest::newRow("regional comma, dot wanted")
            << "de_DE" << false << false << 7 << 0.5 << -2.0 << QByteArray("0 07 0.5 -2\r\n");
        QTest::newRow("no axis valid")
            << "C" << false << false << 0 << 0.0 << 0.0 << QByteArray("0 00 0 0\r\n");
        QTest::newRow("large and small")
            << "C" << false << false << 3 << 1e20 << 1e-7 << QByteArray("0 03 1E+20 1E-07\r\n");
        QTest::newRow("overflowed value stays a number")
            << "C" << false << false << 3 << std::numeric_limits<double>::infinity() << 1.0
            << QByteArray("0 03 1.79769313486231E+308 1\r\n");
        QTest::newRow("tobar keeps regional text")
            << "de_DE" << false << true << 3 << 0.0 << 0.0 << QByteArray("0 31 2 7,125\r\n");
    }
    void records()
    {
        QFETCH(QString, locale);
        QFETCH(bool, useComma);
        QFETCH(bool, tobar);
        QFETCH(int, status);
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(QByteArray, line);
        QLocale::setDefault(QLocale(locale));
        AppState state;
        state.options.useComma = useComma;
        state.options.modeTobar = tobar;
        state.options.updatePath = m_dir.filePath(QStringLiteral("record.txt"));
        state.link.angleStatus = static_cast<qint16>(status);
        state.link.angleX = x;
        state.link.angleY = y;
        state.link.lastTobarMsg = 31;
        state.link.tobarStatus = 2;
        state.link.tobarValue = QLocale().toString(7.125);
        BackgroundFile file(state.link, state.options, state.internal);
        file.writeBackgroundFile();
        QCOMPARE(contents(state.options.updatePath), line);
        QCOMPARE(state.internal.backgroundCounter, 1);
    }

    void tobarRecordAfterDecodedMessage()
    {
        AppState state;
        state.options.updatePath = m_dir.filePath(QStringLiteral("tobar.txt"));
        state.options.useBackground = true;
        LinkReceiver receiver(state.link, state.options, state.internal);
        BackgroundFile file(state.link, state.options, state.internal);
        MemoryPort port;
        receiver.setPort(&port);
        receiver.setBackgroundWriter(&file);
        receiver.setMsgSignal(1e9);
        receiver.setUpdateSignal(1);
        state.internal.measureCountdown = 1000;
        state.internal.backgroundCounter = 41;
        state.link.portMode = 1;
        port.feed("\r31 2 7.125\r");
        receiver.comPort_OnComm(CommEvents::Receive);
        QCOMPARE(contents(state.options.updatePath), QByteArray("41 31 2 7.125\r\n"));
    }

    void everyNthMessage_data()
    {
        QTest::addColumn<double>("n");
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("records");
        QTest::newRow("N = 1") << 1.0 << 7 << 7;
        QTest::newRow("N = 0.5 acts as 1") << 0.5 << 4 << 4;
        QTest::newRow("N = 5") << 5.0 << 5 << 1;
        QTest::newRow("N = 5, ten messages") << 5.0 << 10 << 2;
    }
    void everyNthMessage()
    {
        QFETCH(double, n);
        QFETCH(int, messages);
        QFETCH(int, records);
        AppState state;
        state.options.updatePath = m_dir.filePath(QStringLiteral("nth.txt"));
        state.options.useBackground = true;
        LinkReceiver receiver(state.link, state.options, state.internal);
        BackgroundFile file(state.link, state.options, state.internal);
        receiver.setBackgroundWriter(&file);
        receiver.setMsgSignal(std::numeric_limits<qint32>::max());
        receiver.setUpdateSignal(n);
        state.internal.measureCountdown = 1234567; // wherever the countdown stands
        for (int i = 0; i < messages; ++i)
            receiver.countMeasurement();
        QCOMPARE(state.internal.backgroundCounter, records);
        if (records > 0)
            QVERIFY(contents(state.options.updatePath).startsWith(QByteArray::number(records - 1) + ' '));
    }

    void failuresAreSilentAndKeepTheCounter_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("empty path") << QString();
        QTest::newRow("a folder") << m_dir.path();
        QTest::newRow("missing folder") << m_dir.filePath(QStringLiteral("missing/record.txt"));
    }
    void failuresAreSilentAndKeepTheCounter()
    {
        QFETCH(QString, path);
        AppState state;
        state.options.updatePath = path;
        state.internal.backgroundCounter = 9;
        BackgroundFile file(state.link, state.options, state.internal);
        file.writeBackgroundFile();
        QCOMPARE(state.internal.backgroundCounter, 9);
        QVERIFY(QFileInfo(m_dir.path()).isDir());
    }

    void folderRemovedAndBack()
    {
        AppState state;
        const QString folder = m_dir.filePath(QStringLiteral("comes-and-goes"));
        QVERIFY(QDir().mkpath(folder));
        state.options.updatePath = folder + QStringLiteral("/value.txt");
        BackgroundFile file(state.link, state.options, state.internal);
        file.writeBackgroundFile();
        QVERIFY(QDir(folder).removeRecursively());
        file.writeBackgroundFile();
        QCOMPARE(state.internal.backgroundCounter, 1);
        QVERIFY(QDir().mkpath(folder));
        file.writeBackgroundFile();
        QCOMPARE(state.internal.backgroundCounter, 2);
        QCOMPARE(contents(state.options.updatePath), QByteArray("1 00 0 0\r\n"));
    }

    void counterWraps()
    {
        AppState state;
        state.options.updatePath = m_dir.filePath(QStringLiteral("wrap.txt"));
        state.internal.backgroundCounter = std::numeric_limits<qint32>::max();
        BackgroundFile file(state.link, state.options, state.internal);
        file.writeBackgroundFile();
        QVERIFY(contents(state.options.updatePath).startsWith("2147483647 "));
        QCOMPARE(state.internal.backgroundCounter, 0);
        file.writeBackgroundFile();
        QVERIFY(contents(state.options.updatePath).startsWith("0 "));
    }

    void replacesLongerContent()
    {
        AppState state;
        state.options.updatePath = m_dir.filePath(QStringLiteral("replace.txt"));
        QFile old(state.options.updatePath);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1000, 'x'));
        old.close();
        BackgroundFile file(state.link, state.options, state.internal);
        file.writeBackgroundFile();
        QCOMPARE(contents(state.options.updatePath), QByteArray("0 00 0 0\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestBackgroundFile)
#include "test_backgroundfile.moc"
