// The measurement log: pixel columns from its levels against brute force, the oldest dropped, marks, CSV
// read back, and the decoder appending to it.
#include "analysis/logcsv.h"
#include "link/linkreceiver.h"
#include "platform/memoryport.h"
#include "state/appstate.h"
#include "support/tables.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <array>
#include <cmath>

namespace {
using Log = MeasurementLog;
const double NaN = std::numeric_limits<double>::quiet_NaN();

QString shown(double min, double max)
{
    if (std::isnan(min) && std::isnan(max))
        return QStringLiteral("gap");
    return QString::number(min, 'g', 17) + ".." + QString::number(max, 'g', 17);
}
} // namespace

class TestLog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // Random points on the log's grid with long invalid runs; steps in ms, "months" now and then.
    void columnsAgainstBruteForce_data()
    {
        columns<bool, int, int, int, bool>("tobar", "chunks", "points", "step", "months");
        row("equal times and dense", false, 100, 20000, 2, false);
        row("line rate", false, 100, 30000, 20, false);
        row("past capacity", false, 3, 20000, 10, false);
        row("months between points", false, 100, 9000, 50, true);
        row("TOBAR in mm and inch", true, 100, 15000, 30, false);
    }
    void columnsAgainstBruteForce()
    {
        QFETCH(bool, tobar);
        QFETCH(int, chunks);
        QFETCH(int, points);
        QFETCH(int, step);
        QFETCH(bool, months);
        QRandomGenerator rng(quint32(points + chunks));
        Log log(chunks);
        std::vector<qint64> t;
        std::vector<std::array<double, 2>> ref;
        // Drifts (X up, Y down) so that a point too many or too few at a column's end shows.
        int invalid[2] = {0, 0}, drift[2] = {0, 0};
        qint64 now = -500;
        for (int i = 0; i < points; ++i) {
            now += rng.bounded(step + 1) + (months && rng.bounded(1000) == 0 ? 5000000000LL : 0);
            double v[2];
            for (int c = 0; c < 2; ++c) {
                if (rng.bounded(300) == 0)
                    invalid[c] = rng.bounded(6000);
                drift[c] += (int(rng.bounded(81)) - 20) * (c ? -1 : 1);
                v[c] = invalid[c]-- > 0 ? NaN : drift[c] / 1000.0;
            }
            t.push_back(now);
            if (tobar) {
                // Thousandths of an inch are whole ten-thousandths of a millimetre.
                const bool inch = rng.bounded(2);
                log.appendTobarAt(now, inch ? v[0] : v[0] / 10, inch);
                ref.push_back({std::round(v[0] * 1000) * (inch ? 254 : 1) / 1e4, NaN});
            } else {
                log.appendAnglesAt(now, v[0], v[1]);
                ref.push_back({v[0], v[1]});
            }
        }
        const auto kind = tobar ? Log::Kind::Tobar : Log::Kind::Angles;
        // Without months between them, points fill whole chunks and the oldest chunks go.
        const qint64 first = months ? 0 : std::max(0, (points + 4095) / 4096 - chunks) * 4096;
        QCOMPARE(log.count(kind), points - first);
        QCOMPARE(log.firstTime(kind), t[size_t(first)]);
        QCOMPARE(log.lastTime(kind), now);
        int gaps = 0;
        for (int round = 0; round < 60; ++round) {
            const qint64 lo = t.front() - 100, span = now - lo + 200;
            qint64 t0 = lo + qint64(rng.generateDouble() * span),
                   t1 = lo + qint64(rng.generateDouble() * span);
            if (round == 0 || (round % 4 == 1 && t1 - t0 > 3000))
                t1 = round == 0 ? now : t0 + qint64(rng.bounded(3000));
            if (t1 < t0)
                std::swap(t0, t1);
            const size_t chunk = size_t(first) + 4096 * rng.bounded(quint32(t.size() - first) / 4096 + 1);
            if (round % 4 == 2 && chunk + 4094 < t.size()) // a chunk but its last point
                std::tie(t0, t1) = std::pair(t[chunk], t[chunk + 4094]);
            const int n = round == 0       ? 1000
                          : round % 4 == 2 ? 1
                                           : 1 + int(rng.bounded(2u << rng.bounded(12)));
            QStringList expected(n * 2, shown(NaN, NaN)), got;
            std::vector<double> lows(size_t(n) * 2, NaN), highs(size_t(n) * 2, NaN);
            qint64 inSpan = 0;
            for (size_t i = size_t(first); i < t.size(); ++i) {
                if (t[i] < t0 || t[i] > t1)
                    continue;
                ++inSpan;
                const size_t c = size_t((t[i] - t0) * n / (t1 - t0 + 1)) * 2;
                for (size_t k = 0; k < 2; ++k) { // fmin and fmax pass over NaN
                    lows[c + k] = std::fmin(lows[c + k], ref[i][k]);
                    highs[c + k] = std::fmax(highs[c + k], ref[i][k]);
                }
            }
            for (size_t c = 0; c < lows.size(); ++c)
                expected[qsizetype(c)] = shown(lows[c], highs[c]);
            if (tobar) {
                for (const Log::Range& r : log.tobarColumns(t0, t1, n))
                    got << shown(r.min, r.max) << shown(NaN, NaN);
            } else {
                for (const Log::AngleColumn& col : log.angleColumns(t0, t1, n))
                    got << shown(col.x.min, col.x.max) << shown(col.y.min, col.y.max);
            }
            QCOMPARE(got, expected);
            gaps += int(expected.count(shown(NaN, NaN)));
            QCOMPARE(log.countBetween(kind, t0, t1), inSpan);
            const size_t raw =
                tobar ? log.tobarPoints(t0, t1, inSpan).size() : log.anglePoints(t0, t1, inSpan).size();
            QCOMPARE(qint64(raw), inSpan);
            QVERIFY(inSpan == 0 ||
                    log.tobarPoints(t0, t1, inSpan - 1).size() + log.anglePoints(t0, t1, inSpan - 1).size() ==
                        0);
        }
        QVERIFY(gaps > 0);
    }

    void marksAndEdges()
    {
        Log log(1);
        QCOMPARE(log.firstTime(Log::Kind::Angles), 0);
        QVERIFY(!log.lastAngles() && !log.lastTobar() && !log.angleColumns(0, 10, 5)[4].x.valid());
        log.markStoredAt(5);
        log.markStoredAt(3); // no earlier than the newest
        for (qint64 i = 0; i < Log::MaxMarks; ++i)
            log.markStoredAt(10 + i);
        QCOMPARE(log.markCount(), 262144);
        QCOMPARE(log.marks(0, 11), std::vector<qint64>({10, 11}));
        // Unreadable or unrepresentable values are no values; a late time joins the newest.
        log.appendAnglesAt(100, 3e6, -std::numeric_limits<double>::infinity());
        log.appendAnglesAt(50, -2147483.647, 0.25);
        QCOMPARE(log.anglePoints(0, 1000, 2).size() + log.anglePoints(0, 99, 9).size(), size_t(2));
        QCOMPARE(log.lastAngles()->time, 100);
        QCOMPARE(shown(log.lastAngles()->x, log.lastAngles()->y), shown(-2147483.647, 0.25));
        const Log::AngleColumn all = log.angleColumns(0, 1000, 1)[0];
        QCOMPARE(shown(all.x.min, all.y.max), shown(-2147483.647, 0.25));
        QVERIFY(log.angleColumns(10, 9, 5).empty() && log.angleColumns(0, 9, 0).empty());
        QCOMPARE(int(log.angleColumns(0, 9, 1 << 30).size()), 65536);
        QCOMPARE(log.tobarColumns(0, 9, 3).size(), size_t(3));
    }

    // Unit code, the angle and its zero offset; TOBAR (-1) in inch; the fields after the time, or "fail" for
    // a refused write.
    void csvReadBack_data()
    {
        columns<int, double, double, QString>("unit", "x", "zero", "text");
        row("arcsec", 0, 3723.456, 0.0, "3723.456,,arcsec");
        row("degree", 1, 123.456, 0.0, "0.0342933,,degree");
        row("deg-min-sec", 2, -3723.456, 0.0, "-1:02:03.456,,deg-min-sec");
        row("deg-min-sec, no minus zero", 2, -0.0004, 0.0, "0:00:00.000,,deg-min-sec");
        row("mrad, offset", 3, 112.5, 100.0, "0.060602,,mrad");
        row("micro per metre", 4, 100.0, 0.0, "484.814,,\u00b5/m");
        row("invalid", 0, NaN, 0.0, ",,arcsec");
        row("offset not finite", 3, 1.0, NaN, ",,mrad");
        row("unknown unit", 5, 1.0, 0.0, "fail");
        row("arcsec, no minus zero", 0, -0.0004, 0.0, "0,,arcsec");
        row("shortest after the offset", 0, 12.4, 12.1, "0.3,,arcsec");
        row("deg-min-sec past its texts", 2, 1e20, 0.0, ",,deg-min-sec");
        row("TOBAR inch", -1, 1.2345, 0.0, "1.2345,inch");
        row("TOBAR not a number", -1, NaN, 0.0, ",inch");
        row("folder as file", 0, 1.0, 0.0, "fail folder");
    }
    void csvReadBack()
    {
        QFETCH(int, unit);
        QFETCH(double, x);
        QFETCH(double, zero);
        QFETCH(QString, text);
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        Log log;
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        log.appendAnglesAt(1500, x, NaN);
        log.appendTobarAt(1500, x, true);
        log.appendAnglesAt(2000, 1.0, 1.0); // outside the span
        const QString path =
            text.endsWith(QLatin1String("folder")) ? m_dir.path() : m_dir.filePath("log.csv");
        QFile::remove(m_dir.filePath("log.csv"));
        const bool written = unit < 0
                                 ? LogCsv::writeTobar(log, 0, 1999, path)
                                 : LogCsv::writeAngles(log, 1000, 1500, AngleUnit(unit), zero, zero, path);
        QCOMPARE(written, !text.startsWith(QLatin1String("fail")));
        QFile file(m_dir.filePath("log.csv"));
        QCOMPARE(file.open(QIODevice::ReadOnly), written);
        if (!written)
            return;
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], unit < 0 ? "time,value,unit" : "time,x,y,unit");
        QCOMPARE(lines[2], QString());
        const QString time = lines[1].section(',', 0, 0); // the log's start and 1.5 s
        const qint64 start = QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch() - 1500;
        QVERIFY2(start >= before && start <= after, qPrintable(time));
        QCOMPARE(lines[1].section(',', 1), text);
    }

    // Text lines or compatible records as the port delivers them; the log's points as "x,y" or "value unit".
    void decoderAppends_data()
    {
        columns<int, QByteArray, QString>("mode", "bytes", "logged");
        row("text, validity bits", 1, QByteArray("\r1 103 12.5 -3.25\r1 101 1 2\r3 1137 5 6\r"),
            "12.5,-3.25 1,nan nan,nan");
        row("compatible, HR", 0, QByteArray::fromHex("02102700F0D8FF03").repeated(3), "10,-10 10,-10");
        row("TOBAR", 1, QByteArray("\r30 112 1.2345\r31 102 1234.567\r"), "1.2345 inch 1234.567 mm");
    }
    void decoderAppends()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, bytes);
        AppState s;
        MemoryPort port;
        Log log;
        LinkReceiver rx(s.link, s.options, s.internal);
        rx.setPort(&port);
        rx.setLog(&log);
        s.link.portMode = mode ? LinkMode::Text : LinkMode::Compatible;
        s.link.isHR = 1;
        port.feed(bytes);
        // A compatible-mode event takes one record.
        for (int i = 0; i < 9 && port.InBufferCount() > 0; ++i)
            rx.receive(PortCode::Receive);
        QStringList logged;
        for (const Log::AnglePoint& p : log.anglePoints(0, log.now(), 100))
            logged << QStringLiteral("%1,%2").arg(p.x).arg(p.y);
        for (const Log::TobarPoint& p : log.tobarPoints(0, log.now(), 100))
            logged << QString::number(p.value, 'g', 10) << (p.inch ? "inch" : "mm");
        QTEST(logged.join(' '), "logged");
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "test_log.moc"
