// Ten seconds of line noise in each link mode, through the serial port and the whole program: random bytes
// and the other mode's stream as a receiver at the wrong baud rate makes it out. Nothing may crash, memory
// stays flat, and the receive side finds its step again as soon as good data returns.
#include "soakfixture.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>

#include <vector>

namespace {

constexpr int NoiseSeconds = 10;
// Resident memory may settle for a while; a leak per received byte would pass this within a second.
constexpr qint64 AllowedGrowth = 16 * 1024 * 1024;

QByteArray record(double x, double y)
{
    const auto raw = [](double v) { return static_cast<qint32>(v * 100.0) & 0xFFFFFF; };
    const qint32 rx = raw(x);
    const qint32 ry = raw(y);
    const char bytes[8] = {0x02,
                           char(rx & 0xFF),
                           char((rx >> 8) & 0xFF),
                           char((rx >> 16) & 0xFF),
                           char(ry & 0xFF),
                           char((ry >> 8) & 0xFF),
                           char((ry >> 16) & 0xFF),
                           0x03};
    return QByteArray(bytes, 8);
}

// The bytes that a receiver at rxBaud makes of 8N1 frames sent at txBaud (the line idles high).
QByteArray misread(const QByteArray& sent, double txBaud, double rxBaud)
{
    std::vector<bool> bits;
    for (const char c : sent) {
        bits.push_back(false);
        for (int i = 0; i < 8; ++i)
            bits.push_back(((static_cast<unsigned char>(c) >> i) & 1) != 0);
        bits.push_back(true);
    }
    const double txBit = 1.0 / txBaud;
    const double rxBit = 1.0 / rxBaud;
    const double end = double(bits.size()) * txBit;
    const auto level = [&](double t) {
        const auto i = static_cast<size_t>(t / txBit);
        return i >= bits.size() || bits[i];
    };
    QByteArray out;
    for (double t = 0; t < end;) {
        if (level(t)) {
            t += rxBit / 16; // waiting for a start bit
            continue;
        }
        unsigned char byte = 0;
        for (int i = 0; i < 8; ++i) {
            if (level(t + (1.5 + i) * rxBit))
                byte |= static_cast<unsigned char>(1u << i);
        }
        out.append(static_cast<char>(byte));
        t += 9.5 * rxBit; // middle of the stop bit; the next start bit is looked for from there
    }
    return out;
}

QByteArray randomBytes(QRandomGenerator& random, qsizetype n)
{
    QByteArray out(n, '\0');
    random.fillRange(reinterpret_cast<quint32*>(out.data()), n / 4);
    return out;
}

} // namespace

class TestNoise : public QObject {
    Q_OBJECT

private slots:
    void noiseThenGoodData_data();
    void noiseThenGoodData();
};

void TestNoise::noiseThenGoodData_data()
{
    QTest::addColumn<bool>("textMode");
    QTest::newRow("text mode at 19200") << true;
    QTest::newRow("compatible mode at 2400") << false;
}

void TestNoise::noiseThenGoodData()
{
    QFETCH(bool, textMode);
    FaultFixture f;
    FormMain& w = f.start();
    f.connectDirect(textMode);
    QByteArray good = textMode ? QByteArray("\r1 103 12.5 -3.25") : QByteArray();
    for (int i = 0; i < 5; ++i)
        good += textMode ? QByteArray("\r1 103 12.5 -3.25") : record(12.5, -3.25);
    QVERIFY(f.line.send(good));
    QTRY_COMPARE(f.state->link.angleX, 12.5);

    // The other mode's stream at its own baud rate, as this mode's receiver samples it.
    QByteArray other;
    for (int i = 0; i < 200; ++i)
        other +=
            textMode ? record(i * 0.5, -i * 0.25) : QByteArray("1 103 ") + QByteArray::number(i) + " -1.5\r";
    const QByteArray wrongBaud = textMode ? misread(other, 2400, 19200) : misread(other, 19200, 2400);
    QVERIFY(!wrongBaud.isEmpty());
    QRandomGenerator random(20240611);

    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    qint64 settled = -1;
    qint64 highest = 0;
    QByteArray pending;
    for (int round = 0; clock.elapsed() < NoiseSeconds * 1000; ++round) {
        if (pending.isEmpty())
            pending = (round % 2 == 0) ? randomBytes(random, 4096) : wrongBaud;
        const qsizetype taken = f.line.offer(pending);
        pending.remove(0, taken);
        sent += taken;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        (void)f.line.readAvailable(); // commands the program sent meanwhile
        if (settled < 0 && clock.elapsed() > 2000)
            settled = Probe::residentBytes();
        if (settled >= 0)
            highest = qMax(highest, Probe::residentBytes());
    }
    qInfo("%lld bytes of noise in %d s, resident %lld kB after 2 s, at most %lld kB after", sent,
          NoiseSeconds, settled / 1024, highest / 1024);
    QVERIFY(sent > NoiseSeconds * 2400 / 10); // more than the line's own speed would carry
    if (Probe::MemoryMeaningful)
        QVERIFY2(highest - settled < AllowedGrowth, qPrintable(QString::number((highest - settled) / 1024)));
    QVERIFY(f.link->comPort().PortOpen());

    // Good data again: after at most one lost message the values come through.
    const QByteArray back = textMode ? QByteArray("\r1 103 4.5 -6.5\r") : record(4.5, -6.5);
    QElapsedTimer resync;
    resync.start();
    while (f.state->link.angleX != 4.5 && resync.elapsed() < 5000) {
        QVERIFY(f.line.send(back));
        QTest::qWait(10);
    }
    QCOMPARE(f.state->link.angleX, 4.5);
    QCOMPARE(f.state->link.angleY, -6.5);
    if (textMode) {
        QTRY_COMPARE(control<QLineEdit>(w, "TextX")->text(), QStringLiteral("4.500"));
        QTRY_COMPARE(control<QLineEdit>(w, "TextY")->text(), QStringLiteral("-6.500"));
    }
    QVERIFY(f.messages.isEmpty());
}

QTEST_MAIN(TestNoise)
#include "noise.moc"
