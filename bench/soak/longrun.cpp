// The long run: 5,000,000 text messages and then 1,000,000 compatible records through the serial port and
// the whole program, with interval storing at every measurement until the table is full and the background
// file rewritten at every measurement. The measurement log keeps every message up to its cap, here a
// smaller one that the run passes after a third. Once the table is full, resident memory less the log's
// bytes stays within 5 %; once the log is at its cap, resident memory as a whole does.
// Takes minutes; make longrun runs it, make test does not.
#include "soakfixture.h"

#include "tables/tables.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <functional>

namespace {

constexpr qint64 TextMessages = 5000000;
constexpr qint64 Records = 1000000;
constexpr qint64 SampleEvery = 250000;
constexpr double AllowedGrowth = 0.05;
constexpr qint64 LogChunks = 500;
constexpr qint64 LogCap = LogChunks * MeasurementLog::ChunkPoints;

// The first of a series of memory figures and the highest after it.
struct Flat {
    qint64 first = -1;
    qint64 highest = 0;

    void add(qint64 bytes)
    {
        if (first < 0)
            first = bytes;
        highest = qMax(highest, bytes);
    }
    [[nodiscard]] bool holds(double growth) const { return first > 0 && highest <= first * (1.0 + growth); }
    [[nodiscard]] QString text() const
    {
        return QStringLiteral("%1 MB first, %2 MB at most")
            .arg(double(first) / 1048576.0, 0, 'f', 1)
            .arg(double(highest) / 1048576.0, 0, 'f', 1);
    }
};

QByteArray record(qint64 i)
{
    const auto raw = [](qint32 v) { return v & 0xFFFFFF; };
    const qint32 x = raw(static_cast<qint32>(i % 100000));
    const qint32 y = raw(-static_cast<qint32>(i % 77777));
    const char bytes[8] = {
        0x02,           char(x & 0xFF),        char((x >> 8) & 0xFF),  char((x >> 16) & 0xFF),
        char(y & 0xFF), char((y >> 8) & 0xFF), char((y >> 16) & 0xFF), 0x03};
    return QByteArray(bytes, 8);
}

QByteArray textMessage(qint64 i)
{
    return "1 103 " + QByteArray::number(double(i % 200000) / 100.0, 'f', 2) + ' ' +
           QByteArray::number(-double(i % 77777) / 1000.0, 'f', 3) + '\r';
}

} // namespace

class TestLongRun : public QObject {
    Q_OBJECT

    struct Sample {
        qint64 counted;
        qint64 resident;
        qint64 logBytes;
    };

    FaultFixture* m_f = nullptr;
    QList<Sample> m_samples;
    qint64 m_filledAt = -1;

    // Feeds count messages made by make(i) while the program runs, never more than inFlight of them ahead
    // of what it has counted (as a line at its baud rate would); samples memory on the way.
    bool feed(qint64 count, const std::function<QByteArray(qint64)>& make, qint64 inFlight)
    {
        const qint64 start = m_f->counted();
        const qint64 target = start + count;
        qint64 next = 0;
        qint64 nextSample = start + SampleEvery;
        QByteArray pending;
        QElapsedTimer idle;
        idle.start();
        qint64 last = start;
        while (m_f->counted() < target) {
            while (pending.size() < 16384 && next < count && next - (m_f->counted() - start) < inFlight)
                pending += make(next++);
            pending.remove(0, m_f->line.offer(pending));
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            const qint64 now = m_f->counted();
            if (now != last) {
                last = now;
                idle.restart();
            } else if (idle.elapsed() > 10000) {
                qWarning("no progress at %lld of %lld", now - start, count);
                return false;
            }
            if (m_filledAt < 0 && !m_f->window->isStoring())
                m_filledAt = now;
            if (now >= nextSample) {
                m_samples << Sample{now, Probe::residentBytes(), m_f->link->log().bytes()};
                nextSample += SampleEvery;
                if (now % 1000000 < SampleEvery)
                    qInfo("%lld messages, resident %.1f MB", now,
                          double(m_samples.last().resident) / 1048576.0);
            }
        }
        return true;
    }

private slots:
    void textThenCompatible()
    {
        QTemporaryDir dir;
        FaultFixture f;
        m_f = &f;
        const qint64 atStart = Probe::residentBytes();
        f.store()->setValue(SettingKeys::path(SettingKeys::PortMode), QStringLiteral("1"));
        FormMain& w = f.start(LogChunks);
        MainOptions& o = f.state->options;
        o.updatePath = dir.filePath(QStringLiteral("now.txt"));
        o.useBackground = true;
        o.backgroundSeconds = 1;
        f.connectDirect(true);
        control<QLineEdit>(w, "TextTimer")->setText(QStringLiteral("1"));
        control<QPushButton>(w, "CommandStart")->click();
        QVERIFY(w.isStoring());

        QElapsedTimer clock;
        clock.start();
        QVERIFY(f.line.send("\r"));
        QVERIFY(feed(TextMessages, textMessage, 1000));
        const qint64 textMs = clock.restart();
        const qint64 afterText = f.counted();
        QCOMPARE(afterText, TextMessages);

        // Compatible mode through the connection window's own option: the port reopens at 2400 baud.
        control<QRadioButton>(f.window->connectionLoaded(), "OptionCompatible")->setChecked(true);
        QVERIFY(f.link->comPort().PortOpen());
        QVERIFY(f.line.send(record(0)));     // brings synchronisation only
        QVERIFY(feed(Records, record, 500)); // 4 kB: one record per receive event
        const qint64 compatibleMs = clock.elapsed();
        QCOMPARE(f.counted(), TextMessages + Records);

        const Table& table = w.tables().current();
        QCOMPARE(table.rows(), Tables::FullRows);
        QCOMPARE(table.cell(Tables::FullRows - 1, 1), QStringLiteral("table filled."));
        QVERIFY(!w.isStoring());
        QCOMPARE(qint64(f.state->internal.backgroundCounter), TextMessages + Records);
        QVERIFY(QFileInfo(o.updatePath).size() > 0);
        QVERIFY(f.messages.isEmpty());

        // The log holds its cap: all but its oldest chunk at least, never more.
        const MeasurementLog& log = f.link->log();
        QVERIFY(log.count(MeasurementLog::Kind::Angles) <= LogCap);
        QVERIFY(log.count(MeasurementLog::Kind::Angles) > LogCap - MeasurementLog::ChunkPoints);

        // Memory from the first sample after the table filled on, and from the first after the log's cap.
        QVERIFY(m_filledAt > 0);
        Flat rest;
        Flat all;
        Flat logBytes;
        QString figures;
        for (const Sample& s : m_samples) {
            figures += QStringLiteral(" %1k:%2/%3MB")
                           .arg(s.counted / 1000)
                           .arg(double(s.resident) / 1048576.0, 0, 'f', 1)
                           .arg(double(s.logBytes) / 1048576.0, 0, 'f', 1);
            if (s.counted > m_filledAt)
                rest.add(s.resident - s.logBytes);
            if (s.counted > LogCap) {
                all.add(s.resident);
                logBytes.add(s.logBytes);
            }
        }
        qInfo("text: %lld messages in %.1f s; compatible: %lld records in %.1f s", TextMessages,
              textMs / 1000.0, Records, compatibleMs / 1000.0);
        qInfo("resident at start %.1f MB; table full after %lld messages; after that without the log %s",
              double(atStart) / 1048576.0, m_filledAt, qPrintable(rest.text()));
        qInfo("log at its cap after %lld messages; after that resident %s, the log %s", LogCap,
              qPrintable(all.text()), qPrintable(logBytes.text()));
        qInfo("samples (messages:resident/log):%s", qPrintable(figures));
        QVERIFY(m_filledAt < LogCap);
        QVERIFY(logBytes.holds(0.0));
        if (Probe::MemoryMeaningful) {
            QVERIFY2(rest.holds(AllowedGrowth), qPrintable(rest.text()));
            QVERIFY2(all.holds(AllowedGrowth), qPrintable(all.text()));
        }
        w.close();
        m_f = nullptr;
    }
};

int main(int argc, char** argv)
{
    // Minutes, not the five a test function may take by default.
    qputenv("QTEST_FUNCTION_TIMEOUT", "7200000");
    QApplication app(argc, argv);
    TestLongRun test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "longrun.moc"
