// The simulated instrument, run in-process on explicit time.
#include "sim/instrumentmodel.h"
#include "sim/ptyinstrument.h"
#include "sim/simconsole.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <cmath>

namespace {

// Text messages in the output, without their carriage returns.
QStringList lines(const QByteArray& out)
{
    QStringList result = QString::fromLatin1(out).split(QLatin1Char('\r'));
    if (!out.endsWith('\r'))
        return {QStringLiteral("<unterminated>")};
    result.removeLast();
    return result;
}

// Independent reading of a compatible record, as the format defines it.
qint32 raw24(const QByteArray& record, int offset)
{
    qint32 v = static_cast<quint8>(record[offset]) | (static_cast<quint8>(record[offset + 1]) << 8) |
               (static_cast<quint8>(record[offset + 2]) << 16);
    return v >= 0x800000 ? v - 0x1000000 : v;
}

InstrumentModel textModel()
{
    InstrumentModel model;
    model.setLinkMode(InstrumentModel::LinkMode::Text);
    return model;
}

} // namespace

class TestSimModel : public QObject {
    Q_OBJECT
private slots:
    void textAnglesTwentyPerSecondFollowingTheDrift();
    void statusDigits_data();
    void statusDigits();
    void averagingCommandsAndCommandFraming();
    void readout_data();
    void readout();
    void tobarAnswersPollsWithVaryingStatus();
    void modeMessagesAndAnnouncements();
    void compatibleRecords_data();
    void compatibleRecords();
    void compatibleDriftDecodesToTheSentAngles();
    void compatibleCommandFrames();
    void timeStepsDoNotChangeTheOutput();
    void unescape_data();
    void unescape();
    void consoleCommands();
};

void TestSimModel::textAnglesTwentyPerSecondFollowingTheDrift()
{
    InstrumentModel model = textModel();
    model.advance(1000);
    const QStringList messages = lines(model.takeOutput());
    QCOMPARE(messages.size(), 20);
    QCOMPARE(model.angleMessagesSent(), 20);
    const QRegularExpression format(QStringLiteral("^1 103 (-?\\d+\\.\\d\\d) (-?\\d+\\.\\d\\d)$"));
    for (int k = 0; k < messages.size(); ++k) {
        const QRegularExpressionMatch m = format.match(messages[k]);
        QVERIFY2(m.hasMatch(), qPrintable(messages[k]));
        const InstrumentModel::AnglePair drift = InstrumentModel::driftAt((k + 1) * 50);
        QVERIFY(std::abs(m.captured(1).toDouble() - drift.x) <= 0.005 + 1e-9);
        QVERIFY(std::abs(m.captured(2).toDouble() - drift.y) <= 0.005 + 1e-9);
    }
    // The last message is what lastAngles reports, exactly as a reader parses the text.
    const QStringList last = messages.last().split(QLatin1Char(' '));
    QCOMPARE(model.lastAngles().x, last[2].toDouble());
    QCOMPARE(model.lastAngles().y, last[3].toDouble());
    // Slow: neighbouring messages differ by little, but a few seconds move the value clearly.
    const double a = InstrumentModel::driftAt(0).x;
    QVERIFY(std::abs(InstrumentModel::driftAt(50).x - a) < 2.0);
    QVERIFY(std::abs(InstrumentModel::driftAt(5000).x - a) > 20.0);

    model.setStreaming(false);
    model.advance(1000);
    QVERIFY(model.takeOutput().isEmpty());
}

void TestSimModel::statusDigits_data()
{
    QTest::addColumn<bool>("averaging");
    QTest::addColumn<int>("keys");
    QTest::addColumn<int>("validity");
    QTest::addColumn<QString>("status");
    QTest::newRow("plain") << false << 0 << 3 << "103";
    QTest::newRow("averaging") << true << 0 << 3 << "107";
    QTest::newRow("remote control") << false << 1 << 3 << "113";
    QTest::newRow("exit key") << false << 2 << 3 << "123";
    QTest::newRow("both keys") << false << 3 << 3 << "133";
    QTest::newRow("remote control, averaging") << true << 1 << 3 << "117";
    QTest::newRow("X only") << false << 0 << 1 << "101";
    QTest::newRow("none valid, averaging") << true << 0 << 0 << "104";
}

void TestSimModel::statusDigits()
{
    QFETCH(bool, averaging);
    QFETCH(int, keys);
    QFETCH(int, validity);
    QFETCH(QString, status);
    InstrumentModel model = textModel();
    model.setAveraging(averaging);
    model.setValidity(validity);
    if (keys & 1)
        model.pressKey(InstrumentModel::RemoteControl);
    if (keys & 2)
        model.pressKey(InstrumentModel::ExitKey);
    model.advance(100);
    const QStringList messages = lines(model.takeOutput());
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[0].section(QLatin1Char(' '), 1, 1), status);
    // A key press signals once only.
    QCOMPARE(messages[1].section(QLatin1Char(' '), 1, 1).right(2), status.right(1).prepend(QLatin1Char('0')));
}

void TestSimModel::averagingCommandsAndCommandFraming()
{
    InstrumentModel model = textModel();
    model.setStreaming(false);
    model.receive("M");
    QVERIFY(!model.averaging()); // not before its carriage return
    model.receive("\r");
    QVERIFY(model.averaging());
    model.receive("\nU\r"); // a line feed in front is no part of the command
    QVERIFY(!model.averaging());
    model.receive(QByteArray(100, 'x') + "M\r"); // an overlong line is no command
    QVERIFY(!model.averaging());
    model.receive(" M \rd\rR\r");
    QVERIFY(model.averaging());
    QCOMPARE(model.takeCommands(), QStringList({"M", "U", "M", "d", "R"}));
    QVERIFY(model.takeOutput().isEmpty()); // none of these is answered
    // In ORVELAN mode "b" has no answer: it would turn the program to TOBAR mode.
    model.receive("b\r");
    QVERIFY(model.takeOutput().isEmpty());
    model.setStreaming(true);
    model.advance(50);
    QCOMPARE(lines(model.takeOutput()).value(0).section(QLatin1Char(' '), 1, 1), QStringLiteral("107"));
}

void TestSimModel::readout_data()
{
    QTest::addColumn<bool>("tobar");
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("table");
    QTest::newRow("orvelan") << false << 5 << 1;
    QTest::newRow("tobar") << true << 9 << 3;
    QTest::newRow("empty memory") << false << 0 << 2;
}

void TestSimModel::readout()
{
    QFETCH(bool, tobar);
    QFETCH(int, records);
    QFETCH(int, table);
    InstrumentModel model = textModel();
    model.setStreaming(false);
    if (tobar) {
        model.setKind(InstrumentModel::Kind::Tobar);
        (void)model.takeOutput();
    }
    model.setStoredRecords(records);
    model.setStoredTable(table);
    model.receive("t\r");
    const QStringList messages = lines(model.takeOutput());
    const int columns = tobar ? 5 : 2;
    QCOMPARE(messages.size(), records + 1);
    QCOMPARE(messages[0], QStringLiteral("6 0 %1 %2 %3").arg(table).arg(records).arg(columns));
    int efl = 0;
    int other = 0;
    for (int n = 1; n <= records; ++n) {
        const QStringList tokens = messages[n].split(QLatin1Char(' '));
        QCOMPARE(tokens.size(), 3 + columns);
        QCOMPARE(tokens[0], QStringLiteral("5"));
        QCOMPARE(tokens[1], QString::number(table));
        QCOMPARE(tokens[2], QString::number(n));
        QCOMPARE(tokens.mid(3), model.storedRecord(n));
        if (!tobar) {
            const InstrumentModel::AnglePair a = InstrumentModel::driftAt(n * 1000);
            QVERIFY(std::abs(tokens[3].toDouble() - a.x) <= 0.005 + 1e-9);
            continue;
        }
        // Slot 5 is the type; only an EFL line carries a comment that counts.
        QVERIFY(tokens[4] == QLatin1String("mm"));
        QVERIFY(tokens[6] == QLatin1String("Go") || tokens[6] == QLatin1String("NG"));
        if (tokens[5] == QLatin1String("EFL")) {
            QVERIFY(tokens[7].startsWith(QLatin1String("LP")));
            ++efl;
        } else {
            QVERIFY(tokens[5] == QLatin1String("Radius") || tokens[5] == QLatin1String("BFL"));
            QCOMPARE(tokens[7], QStringLiteral("-"));
            ++other;
        }
    }
    if (tobar)
        QVERIFY(efl > 0 && other > 0);
}

void TestSimModel::tobarAnswersPollsWithVaryingStatus()
{
    InstrumentModel model = textModel();
    model.setKind(InstrumentModel::Kind::Tobar);
    QCOMPARE(model.takeOutput(), QByteArray("8 TOBAR\r"));
    const QRegularExpression format(QStringLiteral("^(3[012]) (\\d{1,3}) (\\d+\\.\\d{3})$"));
    QSet<int> types;
    QSet<int> verdicts;
    QSet<int> reticles;
    for (int poll = 0; poll < 200; ++poll) {
        model.advance(200);
        model.receive("b\r");
        const QStringList messages = lines(model.takeOutput());
        QCOMPARE(messages.size(), 1); // polled often enough: no angles, no announcement
        const QRegularExpressionMatch m = format.match(messages[0]);
        QVERIFY2(m.hasMatch(), qPrintable(messages[0]));
        const InstrumentModel::TobarReading last = model.lastTobar();
        QCOMPARE(m.captured(1).toInt(), last.type);
        QCOMPARE(m.captured(2).toInt(), last.status);
        QCOMPARE(m.captured(3), last.value);
        const int status = last.status;
        QCOMPARE(status % 100 / 10, 0); // millimetres
        // Go exactly when the value lies within the tolerance of the nominal length.
        const bool within = std::abs(last.value.toDouble() - InstrumentModel::TobarNominalMm) <=
                            InstrumentModel::TobarToleranceMm + 0.0005;
        QCOMPARE(status % 10, within ? 2 : 1);
        types.insert(last.type);
        verdicts.insert(status % 10);
        reticles.insert(status / 100);
    }
    QCOMPARE(model.tobarPolls(), 200);
    QCOMPARE(types.size(), 3);
    QCOMPARE(verdicts.size(), 2);
    QCOMPARE(reticles.size(), 4);

    model.setTobarInch(true);
    model.receive("b\r");
    QCOMPARE(model.lastTobar().status % 100 / 10, 1);
    QVERIFY(std::abs(model.lastTobar().value.toDouble() - 1.0) < 0.002);
}

void TestSimModel::modeMessagesAndAnnouncements()
{
    InstrumentModel model = textModel();
    model.setKind(InstrumentModel::Kind::Orvelan); // no change, no message
    QVERIFY(model.takeOutput().isEmpty());
    model.setKind(InstrumentModel::Kind::Tobar);
    model.advance(3000);
    // Not polled: the mode at once, then again once a second; no angle messages.
    QCOMPARE(model.takeOutput(), QByteArray("8 TOBAR\r8 TOBAR\r8 TOBAR\r8 TOBAR\r"));
    model.setKind(InstrumentModel::Kind::Orvelan);
    QCOMPARE(lines(model.takeOutput()).value(0), QStringLiteral("8 ORVELAN"));

    // Records carry angles only: no mode message in compatible mode.
    model.setLinkMode(InstrumentModel::LinkMode::Compatible);
    model.setKind(InstrumentModel::Kind::Tobar);
    model.advance(2000);
    QVERIFY(model.takeOutput().isEmpty());
}

void TestSimModel::compatibleRecords_data()
{
    QTest::addColumn<bool>("hr");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("100, -100") << false << 100.0 << -100.0 << QByteArray::fromHex("02102700f0d8ff03");
    QTest::newRow("HR 10, -10") << true << 10.0 << -10.0 << QByteArray::fromHex("02102700f0d8ff03");
    QTest::newRow("extremes") << false << 83886.07 << -83886.08 << QByteArray::fromHex("02ffff7f00008003");
    QTest::newRow("beyond the range holds at the limits")
        << false << 1.0e6 << -1.0e6 << QByteArray::fromHex("02ffff7f00008003");
    QTest::newRow("zero") << false << 0.0 << -0.001 << QByteArray::fromHex("0200000000000003");
}

void TestSimModel::compatibleRecords()
{
    QFETCH(bool, hr);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QByteArray, record);
    InstrumentModel model;
    model.setLinkMode(InstrumentModel::LinkMode::Compatible);
    model.setHR(hr);
    model.setFixedAngles(x, y);
    model.pressKey(InstrumentModel::RemoteControl); // no status in a record: nothing changes
    model.advance(50);
    QCOMPARE(model.takeOutput().toHex(), record.toHex());
}

void TestSimModel::compatibleDriftDecodesToTheSentAngles()
{
    for (const bool hr : {false, true}) {
        InstrumentModel model;
        model.setLinkMode(InstrumentModel::LinkMode::Compatible);
        model.setHR(hr);
        model.advance(1000);
        const QByteArray out = model.takeOutput();
        QCOMPARE(out.size(), 20 * 8);
        const double scale = hr ? 1000.0 : 100.0;
        for (int k = 0; k < 20; ++k) {
            const QByteArray record = out.mid(k * 8, 8);
            QCOMPARE(record[0], '\x02');
            QCOMPARE(record[7], '\x03');
            const InstrumentModel::AnglePair drift = InstrumentModel::driftAt((k + 1) * 50);
            QVERIFY(std::abs(raw24(record, 1) / scale - drift.x) <= 0.5 / scale + 1e-9);
            QVERIFY(std::abs(raw24(record, 4) / scale - drift.y) <= 0.5 / scale + 1e-9);
        }
        const QByteArray last = out.right(8);
        QVERIFY(std::abs(model.lastAngles().x - raw24(last, 1) / scale) < 1e-9);
        QVERIFY(std::abs(model.lastAngles().y - raw24(last, 4) / scale) < 1e-9);
    }
}

void TestSimModel::compatibleCommandFrames()
{
    InstrumentModel model;
    model.setLinkMode(InstrumentModel::LinkMode::Compatible);
    model.setStreaming(false);
    model.receive("M\r"); // text frames mean nothing here
    QVERIFY(!model.averaging());
    model.receive(QByteArray::fromHex("02"));
    model.receive(QByteArray::fromHex("4d03"));
    QVERIFY(model.averaging());
    model.receive(QByteArray::fromHex("ff02025503")); // a broken frame, then a good one
    QVERIFY(!model.averaging());
    model.receive(QByteArray::fromHex("024d04025503027403020103"));
    QVERIFY(!model.averaging());
    QCOMPARE(model.takeCommands(), QStringList({"M", "U", "U", "t", "0x01"}));
    QVERIFY(model.takeOutput().isEmpty()); // no readout in compatible mode
}

void TestSimModel::timeStepsDoNotChangeTheOutput()
{
    InstrumentModel once = textModel();
    InstrumentModel steps = textModel();
    once.advance(2000);
    for (int i = 0; i < 2000 / 7; ++i)
        steps.advance(7);
    steps.advance(2000 % 7);
    QCOMPARE(steps.now(), once.now());
    QCOMPARE(steps.takeOutput(), once.takeOutput());

    // A long stall does not turn into a flood.
    once.advance(60000);
    QCOMPARE(lines(once.takeOutput()).size(), InstrumentModel::MaxCatchUpMessages);
    // Nor while the line is busy.
    once.setLineBusy(true);
    once.advance(1000);
    QVERIFY(once.takeOutput().isEmpty());
}

void TestSimModel::unescape_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain, blanks kept") << "1  103 " << true << QByteArray("1  103 ");
    QTest::newRow("control characters") << "a\\r\\n\\tb" << true << QByteArray("a\r\n\tb");
    QTest::newRow("hex") << "\\x02\\xfF\\x00" << true << QByteArray("\x02\xff\x00", 3);
    QTest::newRow("backslash") << "\\\\r" << true << QByteArray("\\r");
    QTest::newRow("short hex") << "\\x4" << false << QByteArray();
    QTest::newRow("bad hex") << "\\xg0" << false << QByteArray();
    QTest::newRow("trailing backslash") << "a\\" << false << QByteArray();
    QTest::newRow("unknown escape") << "\\q" << false << QByteArray();
    QTest::newRow("beyond Latin-1") << QString::fromUtf8("\xe2\x82\xac") << false << QByteArray();
}

void TestSimModel::unescape()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QByteArray, bytes);
    const std::optional<QByteArray> result = SimConsole::unescape(text);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, bytes);
}

void TestSimModel::consoleCommands()
{
    PtyInstrument instrument; // never opened: the console acts on the model alone
    SimConsole console(instrument);
    InstrumentModel& model = instrument.model();

    QVERIFY(console.execute(QStringLiteral("text 1 113  4.5 -6\\r")).ok);
    QVERIFY(console.execute(QStringLiteral("bytes 02 0x41 03")).ok);
    QCOMPARE(model.takeOutput(), QByteArray("1 113  4.5 -6\r\x02\x41\x03"));

    QVERIFY(console.execute(QStringLiteral("angles 12.5 -3.25")).ok);
    QVERIFY(console.execute(QStringLiteral("average on")).ok);
    QVERIFY(console.execute(QStringLiteral("key exit")).ok);
    model.advance(50);
    QCOMPARE(model.takeOutput(), QByteArray("1 127 12.50 -3.25\r"));
    QVERIFY(console.execute(QStringLiteral("memory 3 4")).ok);
    QCOMPARE(model.storedRecords(), 3);
    QCOMPARE(model.storedTable(), 4);
    QVERIFY(console.execute(QStringLiteral("instrument tobar")).ok);
    QCOMPARE(model.kind(), InstrumentModel::Kind::Tobar);
    QVERIFY(console.execute(QStringLiteral("mode compatible")).ok);
    QCOMPARE(model.linkMode(), InstrumentModel::LinkMode::Compatible);
    QVERIFY(console.execute(QStringLiteral("status")).reply.contains(QLatin1String("line=gone")));
    QVERIFY(console.execute(QStringLiteral("# a comment")).ok);
    QVERIFY(console.execute(QStringLiteral("quit")).quit);

    const QStringList bad = {"bytes 2g",  "bytes",        "text",       "text \\x",  "key foo",
                             "mode 9600", "average yes",  "valid 4",    "angles 1",  "angles x y",
                             "memory -1", "memory 99999", "frobnicate", "vanish now"};
    for (const QString& line : bad) {
        const SimConsole::Result result = console.execute(line);
        QVERIFY2(!result.ok && !result.error.isEmpty(), qPrintable(line));
    }
    QVERIFY(model.takeOutput().isEmpty()); // nothing half-done by a refused command
}

QTEST_GUILESS_MAIN(TestSimModel)
#include "test_simmodel.moc"
