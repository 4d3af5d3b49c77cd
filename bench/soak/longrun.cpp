// The long run: 5,000,000 text messages and then 1,000,000 compatible records through the serial port and
// the whole program, with interval storing at every measurement until the table is full and the background
// file rewritten at every measurement. Resident memory after the table filled stays within 5 %.
// Takes minutes; make longrun runs it, make test does not.
#include "soakfixture.h"

#include "widgets/flexgrid.h"
#include "tables/tableset.h"

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
                m_samples << Sample{now, Probe::residentBytes()};
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
        FormMain& w = f.start();
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
        control<QRadioButton>(f.link->loaded(), "OptionCompatible")->setChecked(true);
        QVERIFY(f.link->loaded()->comPort().PortOpen());
        QVERIFY(f.line.send(record(0)));     // brings synchronisation only
        QVERIFY(feed(Records, record, 500)); // 4 kB: one record per receive event
        const qint64 compatibleMs = clock.elapsed();
        QCOMPARE(f.counted(), TextMessages + Records);

        FlexGrid* grid = w.tables().currentGrid();
        QCOMPARE(grid->Rows(), TableSet::FullRows);
        QCOMPARE(grid->TextMatrix(TableSet::FullRows - 1, 1), QStringLiteral("table filled."));
        QVERIFY(!w.isStoring());
        QCOMPARE(qint64(f.state->internal.backgroundCounter), TextMessages + Records);
        QVERIFY(QFileInfo(o.updatePath).size() > 0);
        QVERIFY(f.messages.isEmpty());

        // Memory from the first sample after the table filled on.
        QVERIFY(m_filledAt > 0);
        qint64 settled = -1;
        qint64 highest = 0;
        QString figures;
        for (const Sample& s : m_samples) {
            figures += QStringLiteral(" %1k:%2MB")
                           .arg(s.counted / 1000)
                           .arg(double(s.resident) / 1048576.0, 0, 'f', 1);
            if (s.counted <= m_filledAt)
                continue;
            if (settled < 0)
                settled = s.resident;
            highest = qMax(highest, s.resident);
        }
        qInfo("text: %lld messages in %.1f s; compatible: %lld records in %.1f s", TextMessages,
              textMs / 1000.0, Records, compatibleMs / 1000.0);
        qInfo("resident at start %.1f MB; table full after %lld messages; after that %.1f MB first, %.1f MB "
              "at most",
              double(atStart) / 1048576.0, m_filledAt, double(settled) / 1048576.0,
              double(highest) / 1048576.0);
        qInfo("samples (messages:resident):%s", qPrintable(figures));
        QVERIFY(settled > 0);
        if (Probe::MemoryMeaningful)
            QVERIFY2(double(highest) <= double(settled) * (1.0 + AllowedGrowth),
                     qPrintable(QStringLiteral("%1 -> %2").arg(settled).arg(highest)));
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
