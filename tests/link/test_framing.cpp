#include "linkfixture.h"

#include <QTest>

namespace {
QByteArray recordA()
{
    return QByteArray::fromHex("021027 00F0D8 FF03");
} // 100, -100
QByteArray recordB()
{
    return QByteArray::fromHex("02FFFF7F000080 03");
} // 83886.07, -83886.08
QByteArray withFrame(QByteArray record, char first, char last)
{
    record[0] = first;
    record[7] = last;
    return record;
}
} // namespace

class TestFraming : public QObject {
    Q_OBJECT

private slots:
    void textMessages_data();
    void textMessages();
    void lineFeedKeepsType();
    void overflowKeepsSyncAndPartialToken();
    void tokenLengthIsCapped();
    void portDeliveringNothingEndsPass();
    void otherEventsAndNullPort();
    void compatibleRecords_data();
    void compatibleRecords();
    void compatibleShortRead();
};

// One receive event per chunk; per event, the slots of each message decoded in it (" / " between them).
void TestFraming::textMessages_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QStringList>("perEvent");

    QTest::newRow("first line only syncs")
        << QByteArrayList{"xx 5 6\r1 103 12.5 -3.25\r"} << QStringList{"1|103|12.5|-3.25|||||"};
    QTest::newRow("sync search spans events")
        << QByteArrayList{"junk", "more\r", "1 2 3 4\r"} << QStringList{"", "", "1|2|3|4|||||"};
    QTest::newRow("doubled space waits for next event")
        << QByteArrayList{"\r1 103  12.5 -3.25\r", ""} << QStringList{"", "1|103|12.5|-3.25|||||"};
    QTest::newRow("run of spaces") << QByteArrayList{"\r1   2 3\r", "", ""}
                                   << QStringList{"", "", "1|2|3||||||"};
    QTest::newRow("leading space shifts to slot 1")
        << QByteArrayList{"\r 7 8 9\r"} << QStringList{"|7|8|9|||||"};
    QTest::newRow("twelfth token in slot 8")
        << QByteArrayList{"\r1 2 3 4 5 6 7 8 9 10 11 12\r"} << QStringList{"1|2|3|4|5|6|7|8|12"};
    QTest::newRow("slots never cleared")
        << QByteArrayList{"\r1 2 3 4 5 6 7 8\rA B C\r"} << QStringList{"1|2|3|4|5|6|7|8| / A|B|C|4|5|6|7|8|"};
    QTest::newRow("token across events")
        << QByteArrayList{"\r1 1", "03 4", "\r"} << QStringList{"", "", "1|103|4||||||"};
    QTest::newRow("empty lines are no messages")
        << QByteArrayList{"\r1 2 3 4\r\r \r5 6\r"} << QStringList{"1|2|3|4||||| / 5|6|3|4|||||"};
    QTest::newRow("bytes read as Latin-1")
        << QByteArrayList{"\r8 \xb5m\r"} << QStringList{"8|\u00b5m|||||||"};
}

void TestFraming::textMessages()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QStringList, perEvent);
    LinkFixture f;
    f.link.portMode = 1;
    f.internal.msgSignalEvery = 1;
    f.recorder.watched = &f.internal;

    QStringList seen;
    for (const QByteArray& chunk : chunks) {
        f.recorder.messages.clear();
        f.port.feed(chunk);
        f.receiver.comPort_OnComm(CommEvents::Receive);
        seen << f.recorder.messages.join(QLatin1String(" / "));
    }
    QCOMPARE(seen, perEvent);
    QVERIFY(f.internal.inSync);
}

void TestFraming::lineFeedKeepsType()
{
    LinkFixture f;
    f.link.portMode = 1;
    f.port.feed("\r1 103 1 2\r\n2 105 12.5 -3.25\r");
    f.receiver.comPort_OnComm(CommEvents::Receive);
    QCOMPARE(f.internal.tokens[0], QStringLiteral("\n2"));
    QCOMPARE(f.link.angleStatus, qint16(5));
    QCOMPARE(f.link.angleX, 12.5);
}

void TestFraming::overflowKeepsSyncAndPartialToken()
{
    LinkFixture f;
    f.link.portMode = 1;
    f.port.feed("\r1 10");
    f.receiver.comPort_OnComm(CommEvents::Receive);
    f.port.feed("lost bytes\r");
    f.receiver.comPort_OnComm(CommEvents::RxOver);
    QCOMPARE(f.port.InBufferCount(), 0);
    QVERIFY(f.internal.inSync);
    QCOMPARE(f.internal.token, QStringLiteral("10"));

    f.port.feed("3 5 6\r");
    f.receiver.comPort_OnComm(CommEvents::Receive);
    QCOMPARE(LinkRecorder::slotsText(f.internal), QStringLiteral("1|103|5|6|||||"));
    QCOMPARE(f.link.angleStatus, qint16(3));
}

void TestFraming::tokenLengthIsCapped()
{
    LinkFixture f;
    f.link.portMode = 1;
    f.port.feed("\r");
    f.port.feed(QByteArray(3 * LinkReceiver::MaxTokenLength, 'x'));
    f.receiver.comPort_OnComm(CommEvents::Receive);
    QCOMPARE(f.internal.token.size(), LinkReceiver::MaxTokenLength);

    f.port.feed("yz 1\r");
    f.receiver.comPort_OnComm(CommEvents::Receive);
    QCOMPARE(f.internal.tokens[0], QString(LinkReceiver::MaxTokenLength, QLatin1Char('x')));
    QCOMPARE(f.internal.tokens[1], QStringLiteral("1"));
    QVERIFY(f.internal.token.isEmpty());
}

void TestFraming::portDeliveringNothingEndsPass()
{
    for (const qint16 mode : {qint16(0), qint16(1)}) {
        LinkFixture f;
        f.link.portMode = mode;
        f.port.feed("\r1 2 3\r");
        f.port.setShortRead(0);
        f.receiver.comPort_OnComm(CommEvents::Receive); // must return, not spin
        QCOMPARE(f.port.InBufferCount(), 7);
        QVERIFY(!f.internal.inSync);
    }
}

void TestFraming::otherEventsAndNullPort()
{
    LinkFixture f;
    f.link.portMode = 1;
    f.port.feed("\r1 103 1 2\r");
    for (const int code : {1, 3, 1001, 1009})
        f.receiver.comPort_OnComm(code);
    QCOMPARE(f.port.InBufferCount(), 11);
    QVERIFY(!f.internal.inSync);

    f.receiver.setPort(nullptr);
    f.receiver.comPort_OnComm(CommEvents::Receive);
    f.receiver.comPort_OnComm(CommEvents::RxOver);
    f.receiver.receiveText();
    f.receiver.collectTextTokens();
    f.receiver.receiveCompatible();
    QCOMPARE(f.port.InBufferCount(), 11);
    QVERIFY(f.recorder.calls.isEmpty());
}

// All bytes waiting at once, then one receive event per step; per event the angles decoded ("" for none).
void TestFraming::compatibleRecords_data()
{
    QTest::addColumn<bool>("startInSync");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("perEvent");
    QTest::addColumn<bool>("inSyncAfter");
    QTest::addColumn<int>("bytesLeft");

    QTest::newRow("stray byte, sync record, then decoded")
        << false << QByteArray("\x55") + recordA() + recordB() + recordA()
        << QStringList{"", "", "83886.07,-83886.08", "100,-100"} << true << 0;
    QTest::newRow("bad start byte still decoded")
        << true << withFrame(recordA(), 0x05, 0x03) << QStringList{"100,-100"} << true << 0;
    QTest::newRow("bad end byte still decoded")
        << true << withFrame(recordB(), 0x02, 0x07) << QStringList{"83886.07,-83886.08"} << true << 0;
    QTest::newRow("both frame bytes wrong, resync")
        << true << withFrame(recordB(), 0x05, 0x07) + recordA() + recordA() << QStringList{"", "", "100,-100"}
        << true << 0;
    QTest::newRow("start byte without end consumes nine")
        << false << withFrame(recordB(), 0x02, 0x07) + "\x02" + recordA() + recordA()
        << QStringList{"", "", "100,-100"} << true << 0;
    QTest::newRow("short record loses sync") << true << recordA().left(5) << QStringList{""} << false << 0;
    QTest::newRow("short search read") << false << recordA().left(3) << QStringList{""} << false << 0;
}

void TestFraming::compatibleRecords()
{
    QFETCH(bool, startInSync);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, perEvent);
    QFETCH(bool, inSyncAfter);
    QFETCH(int, bytesLeft);
    LinkFixture f;
    f.link.portMode = 0;
    f.internal.inSync = startInSync;
    f.internal.msgSignalEvery = 1;
    f.port.feed(bytes);

    QStringList seen;
    for (int i = 0; i < perEvent.size(); ++i) {
        f.recorder.calls.clear();
        f.receiver.comPort_OnComm(CommEvents::Receive);
        seen << (f.recorder.calls.contains(QStringLiteral("haveAngleMsg"))
                     ? QStringLiteral("%1,%2").arg(f.link.angleX, 0, 'g', 10).arg(f.link.angleY, 0, 'g', 10)
                     : QString());
    }
    QCOMPARE(seen, perEvent);
    QCOMPARE(f.internal.inSync, inSyncAfter);
    QCOMPARE(f.port.InBufferCount(), bytesLeft);
    QCOMPARE(f.link.angleStatus, qint16(0)); // records never touch the status
}

void TestFraming::compatibleShortRead()
{
    LinkFixture f;
    f.internal.inSync = true;
    f.port.feed(recordA() + recordA());
    f.port.setShortRead(5);
    f.receiver.comPort_OnComm(CommEvents::Receive);
    QVERIFY(!f.internal.inSync);
    QCOMPARE(f.link.angleX, 0.0);
    QCOMPARE(f.port.InBufferCount(), 11);
    QVERIFY(f.recorder.calls.isEmpty());
}

QTEST_GUILESS_MAIN(TestFraming)
#include "test_framing.moc"
