#include "linkfixture.h"

#include <QLocale>
#include <QTest>

#include <cmath>
#include <limits>

namespace {
constexpr qint32 MaxCount = std::numeric_limits<qint32>::max();
}

class TestDecoding : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void angleMessages_data();
    void angleMessages();
    void skippedMessages_data();
    void skippedMessages();
    void tobarValue_data();
    void tobarValue();
    void instrumentMode_data();
    void instrumentMode();
    void storedValues_data();
    void storedValues();
    void compatibleRecord_data();
    void compatibleRecord();
    void everyMessageIsCounted();
    void countSignals_data();
    void countSignals();
    void countdownWraps();
    void divisors_data();
    void divisors();
    void timerStatusRule();
    void noReceiversAttached();
};

void TestDecoding::angleMessages_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("storeAtIR");
    QTest::addColumn<bool>("storeAtExitkey");
    QTest::addColumn<int>("angleStatus");
    QTest::addColumn<int>("stores");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");

    QTest::newRow("plain") << "1 103 12.5 -3.25" << false << false << 3 << 0 << 12.5 << -3.25;
    QTest::newRow("113 remote on") << "1 113 1 2" << true << false << 3 << 1 << 1.0 << 2.0;
    QTest::newRow("113 exit key only") << "1 113 1 2" << false << true << 3 << 0 << 1.0 << 2.0;
    QTest::newRow("123 remote on, exit off") << "1 123 1 2" << true << false << 3 << 0 << 1.0 << 2.0;
    QTest::newRow("123 exit key on") << "1 123 1 2" << false << true << 3 << 1 << 1.0 << 2.0;
    QTest::newRow("133 both on, one store") << "1 133 1 2" << true << true << 3 << 1 << 1.0 << 2.0;
    QTest::newRow("13 has no signal digit") << "1 13 1 2" << true << true << 3 << 0 << 1.0 << 2.0;
    QTest::newRow("1000") << "1 1000 1 2" << true << true << 0 << 0 << 1.0 << 2.0;
    QTest::newRow("1001 treated as 0") << "1 1001 1 2" << true << true << 0 << 0 << 1.0 << 2.0;
    QTest::newRow("1137 treated as 0") << "3 1137 1 2" << true << true << 0 << 0 << 1.0 << 2.0;
    QTest::newRow("four digits, 3rd is signal") << "1 0117 1 2" << true << true << 7 << 1 << 1.0 << 2.0;
    QTest::newRow("strict half to even") << "1 102.5 1 2" << false << false << 2 << 0 << 1.0 << 2.0;
    QTest::newRow("type 2.5") << "2.5 107 1 2" << false << false << 7 << 0 << 1.0 << 2.0;
    QTest::newRow("type 4") << "4 7 1 2" << false << false << 7 << 0 << 1.0 << 2.0;
    QTest::newRow("negative status") << "1 -5 1 2" << true << true << 5 << 0 << 1.0 << 2.0;
    QTest::newRow("negative three chars") << "1 -13 1 2" << true << false << 3 << 1 << 1.0 << 2.0;
    QTest::newRow("lenient angles") << "1 3 abc 7.5xyz" << false << false << 3 << 0 << 0.0 << 7.5;
    QTest::newRow("exponent D") << "1 3 1.5D2 -2E-1" << false << false << 3 << 0 << 150.0 << -0.2;
}

void TestDecoding::angleMessages()
{
    QFETCH(QString, line);
    QFETCH(bool, storeAtIR);
    QFETCH(bool, storeAtExitkey);
    LinkFixture f;
    f.options.modeTobar = true;
    f.link.storeAtIR = storeAtIR;
    f.link.storeAtExitkey = storeAtExitkey;
    f.setTokens(line);
    f.receiver.decodeTextMessage();

    QTEST(int(f.link.angleStatus), "angleStatus");
    QTEST(int(f.recorder.calls.count(QStringLiteral("XY2Table"))), "stores");
    QCOMPARE(f.recorder.calls.size(), f.recorder.calls.count(QStringLiteral("XY2Table")));
    QTEST(f.link.angleX, "x");
    QTEST(f.link.angleY, "y");
    QVERIFY(!f.options.modeTobar);
}

// Ignored types and messages whose strict fields cannot be read change nothing and call nothing.
void TestDecoding::skippedMessages_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("type 4.5") << "4.5 103 1 2 3";
    QTest::newRow("type 7") << "7 103 1 2 3";
    QTest::newRow("type 0") << "abc 103 1 2 3";
    QTest::newRow("type 29.5") << "29.5 103 1 2 3";
    QTest::newRow("type 33") << "33 103 1 2 3";
    QTest::newRow("status not a number") << "1 1x3 1 2";
    QTest::newRow("status below 16 bit") << "1 -40000 1 2";
    QTest::newRow("header table") << "6 0 x 10 3";
    QTest::newRow("header record count") << "6 0 2 3000000000 3";
    QTest::newRow("header columns") << "6 0 2 10 40000";
    QTest::newRow("record table") << "5 2.x 1 a b c d e";
}

void TestDecoding::skippedMessages()
{
    QFETCH(QString, line);
    LinkFixture f;
    f.options.modeTobar = true;
    f.link.angleStatus = 6;
    f.internal.loadColumns = 4;
    f.setTokens(line);
    const auto before = f.internal.tokens;
    f.receiver.decodeTextMessage();
    QVERIFY(f.options.modeTobar);
    QCOMPARE(f.link.angleStatus, qint16(6));
    QCOMPARE(f.link.angleX, 0.0);
    QCOMPARE(f.internal.loadColumns, qint16(4));
    QVERIFY(f.internal.tokens == before);
    QCOMPARE(f.recorder.calls, QStringList());
}

void TestDecoding::tobarValue_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("value");

    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("point") << QLocale::c() << "31 0 12.345" << 31 << 0 << "12.345";
    QTest::newRow("comma") << german << "31 0 12.345" << 31 << 0 << "12,345";
    QTest::newRow("half type to even") << QLocale::c() << "30.5 7 -0.5" << 30 << 7 << "-0.5";
    QTest::newRow("garbled value") << QLocale::c() << "32 2.6 abc" << 32 << 3 << "0";
    QTest::newRow("shortest form") << german << "30 1 1.50000" << 30 << 1 << "1,5";
}

void TestDecoding::tobarValue()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, line);
    QLocale::setDefault(locale);
    LinkFixture f;
    f.setTokens(line);
    f.receiver.decodeTextMessage();
    QTEST(int(f.link.lastTobarMsg), "type");
    QTEST(int(f.link.tobarStatus), "status");
    QTEST(f.link.tobarValue, "value");
    QVERIFY(f.options.modeTobar);
    QVERIFY(f.recorder.calls.isEmpty());
}

void TestDecoding::instrumentMode_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("after");
    QTest::newRow("TOBAR") << "8 TOBAR" << false << true;
    QTest::newRow("lower case") << "8 tobar" << true << false;
    QTest::newRow("other word") << "8 ANGLE" << true << false;
}

void TestDecoding::instrumentMode()
{
    QFETCH(QString, line);
    QFETCH(bool, before);
    LinkFixture f;
    f.options.modeTobar = before;
    f.setTokens(line);
    f.receiver.decodeTextMessage();
    QTEST(f.options.modeTobar, "after");
}

// A header then a record; the calls out they give.
void TestDecoding::storedValues_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("tobarTable");

    QTest::newRow("three columns") << "6 0 2 10 3"
                                   << "5 2 1 a b c"
                                   << QStringList{"setGridForLoad(2,10,3)", "addLine(2)", "setColumn(a)",
                                                  "setColumn(b)", "setColumn(c)"}
                                   << false;
    QTest::newRow("five columns without EFL")
        << "6 0 1 4 5"
        << "5 2 1 a b c d e"
        << QStringList{"setGridForLoad(1,4,5)", "addLine(2)",   "setColumn(a)", "setColumn(b)",
                       "setColumn(c)",          "setColumn(d)", "setColumn()"}
        << true;
    QTest::newRow("five columns with EFL")
        << "6 0 1 4 5"
        << "5 1 1 a b EFL d e"
        << QStringList{"setGridForLoad(1,4,5)", "addLine(1)",   "setColumn(a)", "setColumn(b)",
                       "setColumn(EFL)",        "setColumn(d)", "setColumn(e)"}
        << true;
    QTest::newRow("eight columns filled up")
        << "6 0 3 2 8"
        << "5 3 1 a b c d e f"
        << QStringList{"setGridForLoad(3,2,8)", "addLine(3)",  "setColumn(a)", "setColumn(b)", "setColumn(c)",
                       "setColumn(d)",          "setColumn()", "setColumn(f)", "setColumn()",  "setColumn()"}
        << false;
    QTest::newRow("no columns") << "6 0 2 0 0"
                                << "5 4 1 a" << QStringList{"setGridForLoad(2,0,0)", "addLine(4)"} << false;
}

void TestDecoding::storedValues()
{
    QFETCH(QString, header);
    QFETCH(QString, record);
    LinkFixture f;
    f.setTokens(header);
    f.receiver.decodeTextMessage();
    f.setTokens(record);
    f.receiver.decodeTextMessage();
    QTEST(f.recorder.calls, "calls");
    QTEST(f.options.modeTobar, "tobarTable");
}

void TestDecoding::compatibleRecord_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("isHR");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::newRow("100/-100") << QByteArray::fromHex("02102700F0D8FF03") << 0 << 100.0 << -100.0;
    QTest::newRow("HR 10/-10") << QByteArray::fromHex("02102700F0D8FF03") << 1 << 10.0 << -10.0;
    QTest::newRow("extremes") << QByteArray::fromHex("02FFFF7F00008003") << 0 << 83886.07 << -83886.08;
    QTest::newRow("smallest steps") << QByteArray::fromHex("02FFFFFF01000003") << 0 << -0.01 << 0.01;
    QTest::newRow("isHR other than 1") << QByteArray::fromHex("02102700F0D8FF03") << 2 << 100.0 << -100.0;
}

void TestDecoding::compatibleRecord()
{
    QFETCH(QByteArray, record);
    QFETCH(int, isHR);
    LinkFixture f;
    f.link.isHR = qint16(isHR);
    f.link.angleStatus = 5;
    f.options.modeTobar = true;
    f.receiver.decodeCompatibleRecord(record);
    QTEST(f.link.angleX, "x");
    QTEST(f.link.angleY, "y");
    QCOMPARE(f.link.angleStatus, qint16(5));
    QVERIFY(f.options.modeTobar);
}

void TestDecoding::everyMessageIsCounted()
{
    LinkFixture f;
    f.link.portMode = 1;
    f.receiver.setMsgSignal(10);
    // Ten messages of every kind, two of them skipped for an unreadable strict field.
    f.port.feed("\r1 103 1 2\r7 x\r6 0 2 1 1\r5 2 1 a\r8 TOBAR\r31 0 1.5\r1 zz 1 2\r6 0 q 1 1\r99\r4.5\r");
    f.receiver.comPort_OnComm(CommEvents::Receive);
    QCOMPARE(f.internal.measureCountdown, MaxCount - 10);
    QCOMPARE(f.recorder.calls.count(QStringLiteral("haveAngleMsg")), 1);
}

void TestDecoding::countSignals_data()
{
    QTest::addColumn<qint32>("countdown");
    QTest::addColumn<qint32>("msgEvery");
    QTest::addColumn<qint32>("updateEvery");
    QTest::addColumn<bool>("useBackground");
    QTest::addColumn<int>("messages");
    QTest::addColumn<int>("stores");
    QTest::addColumn<int>("writes");

    QTest::newRow("ten of 10 from load") << MaxCount << 10 << MaxCount << false << 10 << 1 << 0;
    QTest::newRow("ten of 10 down to 0") << 10 << 10 << MaxCount << false << 10 << 1 << 0;
    QTest::newRow("every 3rd") << MaxCount << 3 << MaxCount << false << 30 << 10 << 0;
    QTest::newRow("background on") << MaxCount << MaxCount << 1 << true << 5 << 0 << 5;
    QTest::newRow("background off") << MaxCount << MaxCount << 1 << false << 5 << 0 << 0;
    QTest::newRow("background every 2nd") << MaxCount << 2 << 2 << true << 4 << 2 << 2;
    QTest::newRow("divisors not yet set") << MaxCount << 0 << 0 << true << 5 << 0 << 0;
    QTest::newRow("negative divisors")
        << std::numeric_limits<qint32>::min() + 1 << -1 << -1 << true << 3 << 0 << 0;
}

void TestDecoding::countSignals()
{
    QFETCH(qint32, countdown);
    QFETCH(qint32, msgEvery);
    QFETCH(qint32, updateEvery);
    QFETCH(bool, useBackground);
    QFETCH(int, messages);
    LinkFixture f;
    f.internal.measureCountdown = countdown;
    f.internal.msgSignalEvery = msgEvery;
    f.internal.updateSignalEvery = updateEvery;
    f.options.useBackground = useBackground;
    for (int i = 0; i < messages; ++i)
        f.receiver.countMeasurement();
    QTEST(int(f.recorder.calls.count(QStringLiteral("haveAngleMsg"))), "stores");
    QTEST(int(f.recorder.calls.count(QStringLiteral("writeBackgroundFile"))), "writes");
}

void TestDecoding::countdownWraps()
{
    LinkFixture f;
    f.internal.measureCountdown = 1;
    f.internal.msgSignalEvery = 7;
    f.receiver.countMeasurement();
    QCOMPARE(f.internal.measureCountdown, MaxCount);
    QCOMPARE(f.recorder.calls, QStringList{"haveAngleMsg"}); // at 0, before the wrap

    f.internal.measureCountdown = std::numeric_limits<qint32>::min();
    f.receiver.countMeasurement();
    QCOMPARE(f.internal.measureCountdown, MaxCount);
}

void TestDecoding::divisors_data()
{
    QTest::addColumn<double>("time");
    QTest::addColumn<qint32>("divisor");
    QTest::newRow("1.5") << 1.5 << 2;
    QTest::newRow("2.5") << 2.5 << 2;
    QTest::newRow("3.5") << 3.5 << 4;
    QTest::newRow("0.5") << 0.5 << 1;
    QTest::newRow("0") << 0.0 << 1;
    QTest::newRow("negative") << -7.0 << 1;
    QTest::newRow("NaN") << std::nan("") << 1;
    QTest::newRow("largest below limit") << 2147483646.5 << 2147483646;
    QTest::newRow("limit") << 2147483647.4 << MaxCount;
    QTest::newRow("limit half") << 2147483647.5 << MaxCount;
    QTest::newRow("huge") << 1e300 << MaxCount;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << MaxCount;
}

void TestDecoding::divisors()
{
    QFETCH(double, time);
    QFETCH(qint32, divisor);
    LinkFixture f;
    f.internal.measureCountdown = 55;
    f.receiver.setMsgSignal(time);
    f.receiver.setUpdateSignal(time);
    QCOMPARE(f.internal.msgSignalEvery, divisor);
    QCOMPARE(f.internal.updateSignalEvery, divisor);
    QCOMPARE(f.internal.measureCountdown, 55); // a new divisor does not restart the count
}

void TestDecoding::timerStatusRule()
{
    LinkFixture f; // countdown as after load, nothing seen yet
    f.receiver.TimerCom_Timer();
    QCOMPARE(f.link.angleStatus, qint16(3)); // the first tick finds 0 seen
    f.receiver.TimerCom_Timer();
    QCOMPARE(f.link.angleStatus, qint16(0));

    f.internal.inSync = true;
    f.port.feed(QByteArray::fromHex("02102700F0D8FF03"));
    f.receiver.comPort_OnComm(CommEvents::Receive);
    f.receiver.TimerCom_Timer();
    QCOMPARE(f.link.angleStatus, qint16(3));
    f.receiver.TimerCom_Timer();
    QCOMPARE(f.link.angleStatus, qint16(0));
}

void TestDecoding::noReceiversAttached()
{
    LinkFixture f;
    f.receiver.setMainWindow(nullptr);
    f.receiver.setBackgroundWriter(nullptr);
    f.link.storeAtIR = true;
    f.options.useBackground = true;
    f.internal.msgSignalEvery = 1;
    for (const QString& line :
         {QStringLiteral("1 113 4 5"), QStringLiteral("6 0 2 1 3"), QStringLiteral("5 2 1 a b c d e")}) {
        f.setTokens(line);
        f.receiver.decodeTextMessage();
        f.receiver.countMeasurement();
    }
    QCOMPARE(f.link.angleX, 4.0);
    QCOMPARE(f.internal.loadColumns, qint16(3));
    QCOMPARE(f.internal.measureCountdown, MaxCount - 3);
    QVERIFY(f.recorder.calls.isEmpty());
}

QTEST_GUILESS_MAIN(TestDecoding)
#include "test_decoding.moc"
