// Number readings and texts, and the receive path on an in-memory port: the rows that document decisions.
#include "link/backgroundfile.h"
#include "link/linkreceiver.h"
#include "link/messageclock.h"
#include "platform/memoryport.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "support/recorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <sys/resource.h>

#include <csignal>

#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

namespace {
const double Inf = std::numeric_limits<double>::infinity(), NaN = std::numeric_limits<double>::quiet_NaN();
constexpr qint32 MaxCount = std::numeric_limits<qint32>::max();
const QLocale C = QLocale::c(), German(QLocale::German, QLocale::Germany);
const QString Dots10(10, '.'), Dots12(12, '.');
const QString RecordA = QString::fromLatin1(QByteArray::fromHex("02102700F0D8FF03")); // 100, -100
const QString RecordB = QString::fromLatin1(QByteArray::fromHex("02FFFF7F00008003")); // 83886.07, -83886.08

// The receiver on a memory port, its calls recorded, counters as after the connection window loaded.
struct Link {
    AppState s;
    MemoryPort port;
    Recorder calls;
    LinkReceiver rx{s.link, s.options, s.internal};

    explicit Link(LinkMode mode = LinkMode::Text)
    {
        rx.setPort(&port);
        rx.setEvents(&calls);
        rx.setBackgroundWriter(&calls);
        s.link.portMode = mode;
        s.internal.measureCountdown = s.internal.msgSignalEvery = MaxCount;
        s.internal.updateSignalEvery = 1;
    }
};

// A paced stream as the port reads it: on a timer every 150 to 250 ms while it trickles in, at once
// (watched) after a read that found nothing or from firstRead on. Per message: its arrival, its bounds and
// the clock's time, in µs.
struct Timed {
    qint64 truth;
    ByteArrival bounds;
    qint64 stamped;
};
std::vector<Timed> readStream(const std::vector<qint64>& arrivals, double messageMicros,
                              qint64 firstRead = -1)
{
    MessageClock clock;
    std::vector<Timed> out;
    qint64 previous = ByteArrival::Unknown;
    qint64 reads = 0;
    double phase = 0;
    size_t next = 0;
    for (bool watched = true; next < arrivals.size();) {
        phase = std::fmod(phase + 0.618034, 1.0);
        const qint64 planned = clock.nextRead(previous + 150000, previous + 250000);
        const qint64 read = reads == 0 && firstRead >= 0 ? firstRead
                            : watched                    ? arrivals[next] + 100
                            : planned >= 0               ? planned + 300 // a timer wakes a little late
                                                         : previous + 150000 + qint64(phase * 100000);
        size_t end = next;
        while (end < arrivals.size() && arrivals[end] <= read)
            ++end;
        ++reads;
        for (size_t k = next; k < end; ++k) {
            const ByteArrival bounds{reads, previous, read - qint64(double(end - 1 - k) * messageMicros),
                                     watched};
            out.push_back({arrivals[k], bounds, clock.stamp(bounds)});
        }
        watched = end == next;
        previous = read;
        next = end;
    }
    return out;
}
} // namespace

class TestCore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void cleanup() { QLocale::setDefault(C); }

    // Pieces of a stream (from, period in ms, messages) with the line's time per message (24 bytes at 19200
    // baud, 8 at 2400) and the instrument's jitter; the times are checked from 3 s after each piece began.
    void messageTimes_data()
    {
        QTest::addColumn<QList<QList<double>>>("pieces");
        QTest::addColumn<double>("messageMs");
        QTest::addColumn<double>("jitterMs");
        QTest::addColumn<double>("worstMs"); // the 99th percentile of the error at most
        QTest::newRow("text, 50/s") << QList<QList<double>>{{0, 20, 1000}} << 12.5 << 0.0 << 2.0;
        QTest::newRow("compatible, 25/s") << QList<QList<double>>{{0, 40, 500}} << 33.3 << 0.0 << 2.0;
        QTest::newRow("jitter") << QList<QList<double>>{{0, 20, 1000}} << 12.5 << 2.0 << 5.0;
        QTest::newRow("100/s") << QList<QList<double>>{{0, 10, 2000}} << 5.0 << 0.0 << 2.0;
        QTest::newRow("averaging: 50/s, then 10/s")
            << QList<QList<double>>{{0, 20, 250}, {5000, 100, 100}} << 12.5 << 0.0 << 20.0;
        QTest::newRow("pause of 5 s")
            << QList<QList<double>>{{0, 20, 150}, {8007.7, 20, 300}} << 12.5 << 0.0 << 2.0;
    }
    void messageTimes()
    {
        QFETCH(QList<QList<double>>, pieces);
        QFETCH(double, messageMs);
        QFETCH(double, jitterMs);
        QFETCH(double, worstMs);
        std::mt19937 random(7);
        std::uniform_real_distribution<double> jitter(0.0, jitterMs * 1000.0);
        std::vector<qint64> arrivals;
        std::vector<qint64> settled;
        const qint64 start = 1000000000;
        for (const QList<double>& piece : pieces) {
            for (int k = 0; k < piece[2]; ++k)
                arrivals.push_back(start + qint64((piece[0] + k * piece[1]) * 1000 + jitter(random)));
            settled.push_back(start + qint64(piece[0] * 1000) + 3000000);
        }
        std::sort(arrivals.begin(), arrivals.end());
        std::vector<double> errors;
        qint64 last = 0;
        for (const Timed& m : readStream(arrivals, messageMs * 1000)) {
            // Never outside what the reads tell, never one time for two messages.
            QVERIFY(m.stamped <= m.bounds.latest && m.stamped > m.bounds.after && m.stamped > last);
            last = m.stamped;
            if (std::none_of(settled.begin(), settled.end(),
                             [&](qint64 from) { return m.truth < from && m.truth >= from - 3000000; }))
                errors.push_back(std::abs(double(m.stamped - m.truth)) / 1000.0);
        }
        std::sort(errors.begin(), errors.end());
        QVERIFY(errors.size() > 100);
        const double worst = errors[errors.size() * 99 / 100];
        QVERIFY2(worst <= worstMs, qPrintable(QString::number(worst)));
    }

    // A backlog read at once is spread back from its read at the line's byte rate.
    void backlogAtByteRate()
    {
        std::vector<qint64> arrivals;
        for (int k = 0; k < 150; ++k)
            arrivals.push_back(10000000 + k * 20000);
        const std::vector<Timed> timed = readStream(arrivals, 12500, 11990000);
        for (int k = 0; k < 100; ++k) // the 101st arrived after the read
            QCOMPARE(timed[size_t(k)].stamped, 11990000 - (99 - k) * 12500);
        QVERIFY(timed[100].stamped > 11990000);
    }

    // "leading | strict number int16 int32 | settings flag int16 int32 number"; "-" none, -7 the default.
    void textReadings_data()
    {
        columns<QLocale, QString, QString>("locale", "text", "read");
        row("blanks, tabs, line feeds anywhere", German, "\t- 1 2 .\n5 ", "-12.5 | - - - | - -7 -7 -7");
        row("non-ASCII stops", C, QString::fromUtf8("12\u00b5"), "12 | - - - | - -7 -7 -7");
        row("overflow", C, "-1E999", "-inf | - - - | - -7 -7 -7");
        row("underflow", C, "-1E-99999999999999999999", "0 | - - - | - -7 -7 -7");
        row("minus zero", C, "-0.000", "0 | 0 0 0 | false 0 0 0");
        row("halves to even", C, "2.5", "2.5 | 2.5 2 2 | true 2 2 2.5");
        row("comma in C", C, "12,5", "12 | - - - | - -7 -7 -7");
        row("regional comma", German, "1.234,5", "1.234 | 1234.5 1234 1234 | true 1234 1234 1234.5");
        row("C form in comma region", German, "3.5", "3.5 | - - - | true 4 4 3.5");
        row("top + half", C, "2147483647.5", "2147483647.5 | 2147483647.5 - - | true -7 -7 2147483647.5");
        row("bottom - half", C, "-2147483648.5",
            "-2147483648.5 | -2147483648.5 - -2147483648 | true -7 -2147483648 -2147483648.5");
        row("True", C, "True", "0 | - - - | true -7 -7 -7");
        row("false, any case, blanks", C, " fALSE ", "0 | - - - | false -7 -7 -7");
    }
    void textReadings()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QLocale::setDefault(locale);
        const auto shown = [](auto value) { return value ? QString::number(double(*value), 'g', 15) : "-"; };
        using namespace SettingValues;
        const QString flag =
            toFlag(text, false) == toFlag(text, true) ? QVariant(toFlag(text, false)).toString() : "-";
        QTEST(QStringLiteral("%1 | %2 %3 %4 | %5 %6 %7 %8")
                  .arg(QString::number(Numbers::leadingNumber(text), 'g', 15),
                       shown(Numbers::strictNumber(text, locale)), shown(Numbers::strictInt16(text, locale)),
                       shown(Numbers::strictInt32(text, locale)), flag, QString::number(toInt16(text, -7)),
                       QString::number(toInt32(text, -7)), QString::number(toNumber(text, -7), 'g', 15)),
              "read");
    }

    // v in arcsec, degree, deg-min-sec, mrad and µ/m, or "unit=text" for one unit; in both regions.
    void angleTexts_data()
    {
        columns<double, QString>("v", "texts");
        const QString none = QStringList(5, Dots12).join(QLatin1Char('|'));
        const double urad = 4.84813681109536; // per arcsecond
        row("3723.456", -3723.456, "-3723.456|-1.034293|-1:02:03.46|-18.0518|-18051.8");
        row("limit 20000", 20000.0, "20000.000|5.555556| 5:33:20.00|96.9627|96962.7");
        row("-25000, no limit", -25000.0, "-25000.000|-6.944444|-6:56:40.00|-121.2034|-121203.4");
        row("above 20000", std::nextafter(20000.0, 30000.0), none);
        row("nan", NaN, none);
        // Masks round halves away from zero, on the value as printed with 15 digits.
        row("arcsec half", 0.0005, "0=0.001");
        row("mrad -half", -0.15 / urad, "3=-0.0002");
        row("urad half", 0.25 / urad, "4=0.3");
        row("urad overflow", -DBL_MAX, "4=" + Dots12);
        row("arcsec carry into a new digit", -9999.9995, "0=-10000.000");
        row("urad far below the last place", -1e-9, "4=0.0");
        // Deg-min-sec rounds hundredths halves to even.
        row("dms half to even", 0.125, "2= 0:00:00.12");
        row("dms no minus zero", -0.005, "2= 0:00:00.00");
        row("dms carry", -7199.999, "2=-2:00:00.00");
        row("dms past 64 bits", -1e17, "2=" + Dots12);
        row("unknown unit", 1.0, "-1=");
        row("range before unit", 20001.0, "5=" + Dots12);
    }
    void angleTexts()
    {
        QFETCH(double, v);
        QFETCH(QString, texts);
        LinkState link;
        AngleManager angles(link); // constants set without start-up's call
        const bool oneUnit = texts.contains('=');
        for (const QLocale& locale : {C, German}) {
            QLocale::setDefault(locale);
            QStringList shown;
            for (qint16 unit = 0; unit <= (oneUnit ? 0 : 4); ++unit) {
                angles.angleUnit = AngleUnit(oneUnit ? qint16(texts.section('=', 0, 0).toInt()) : unit);
                shown << angles.formatAngle(v);
            }
            QString expected = texts.section('=', -1);
            if (!expected.startsWith(Dots12))
                expected.replace(QLatin1Char('.'), locale.decimalPoint());
            QCOMPARE(shown.join(QLatin1Char('|')), expected);
        }
    }

    // Events split by "~" ('#' overflow, '?' other, '!' nothing read); per event the messages split by "/"
    // (slots; compatible: angles; timer: 's' + status after a tick), " unsynced" if lost. "decode": from
    // status 6, TOBAR mode: status X Y mode [TOBAR type status value] calls, setColumn as ().
    void receive_data()
    {
        columns<QString, QString, QString>("options", "chunks", "after");
        const QString cap(LinkReceiver::MaxTokenLength, 'x');
        row("sync search spans events", "", "xx 5 6~more\r~1 2 3 4\r", "~~1|2|3|4|||||");
        row("doubled space waits", "", "\r1 103  12.5 -3.25\r~", "~1|103|12.5|-3.25|||||");
        row("last slot takes the rest", "", "\r1 2 3 4 5 6 7 8 9 10 11 12\r", "1|2|3|4|5|6|7|8|12");
        row("slots never cleared", "", "\r1 2 3 4 5 6 7 8\rA B C\r", "1|2|3|4|5|6|7|8|/A|B|C|4|5|6|7|8|");
        row("CR without a token repeats nothing", "", "\r1 2\r\r \r5\r", "1|2|||||||/5|2|||||||");
        row("line feed and Latin-1 kept", "", QString::fromLatin1("\r1 2\r\n8 \xb5m\r"),
            "1|2|||||||/\n8|\u00b5m|||||||");
        row("overflow keeps sync and token", "", "\r1 10~#lost\r~3 5 6\r", "~~1|103|5|6|||||");
        row("other events, port delivering nothing", "", "?\r1 2\r~!~", "~~1|2|||||||");
        row("token length capped", "", "\r" + cap + cap + "~yz 1\r", "~" + cap + "|1|||||||");
        const QString badEnd = QString(RecordB).replace(7, 1, "\x07");
        const QString badStart = QString(RecordA).replace(0, 1, "\x05");
        row("stray byte, sync record, records", "compatible", "\x55" + RecordA + RecordB + RecordA + "~~~",
            "~~83886.07,-83886.08~100,-100");
        row("HR", "compatible synced HR", RecordA, "10,-10");
        row("HR other than 1", "compatible synced HR2", RecordA, "100,-100");
        row("bad start or end byte", "compatible synced", badStart + badEnd + "~",
            "100,-100~83886.07,-83886.08");
        row("both frame bytes bad", "compatible synced",
            QString(badEnd).replace(0, 1, "\x05") + RecordA + RecordA + "~~", "~~100,-100");
        row("start without end takes nine", "compatible", badEnd + "\x02" + RecordA + RecordA + "~~",
            "~~100,-100");
        row("short record", "compatible synced", RecordA.left(5), " unsynced");
        // Compatible mode has no status: a tick that saw measurements reports both axes valid, else none.
        row("status from the timer", "compatible timer", "~~" + RecordA + '~' + RecordA,
            "s3~s0~s0~100,-100/s3");
        row("remote signal, remote on", "decode IR", "1 113 1 2", "3 1 2 angles XY2Table");
        row("exit signal, remote on", "decode IR", "1 123 1 2", "3 1 2 angles");
        row("exit signal, exit key on", "decode exit", "1 123 1 2", "3 1 2 angles XY2Table");
        row("1000, four digits", "decode IR exit", "4 1000 1 2", "0 1 2 angles");
        row("above 1000 reads 0", "decode IR exit", "3 1137 1 2", "0 1 2 angles");
        row("half to even, lenient angles", "decode", "2.5 102.5 abc 1.5D2x", "2 0 150 angles");
        row("TOBAR again", "decode", "1 3 1 2\r8 tobar\r8 TOBAR", "3 1 2 TOBAR");
        row("no window attached", "decode IR alone", "1 113 4 5\r6 0 2 1 3\r5 2 1 a b c", "3 4 5 angles");
        row("TOBAR garbled", "decode German", "1 3 0 0\r32 -40000 1.50000x", "3 0 0 TOBAR 32 -32768 1,5");
        row("readout, three columns", "decode", "1 3 0 0\r6 0 2 10 3\r5 2 1 a b c",
            "3 0 0 angles setGridForLoad(2,10,3) addLine(2) (a) (b) (c)");
        row("readout, five, no EFL", "decode", "1 3 0 0\r6 0 1 4 5\r5 2 1 a b c d e",
            "3 0 0 TOBAR setGridForLoad(1,4,5) addLine(2) (a) (b) (c) (d) ()");
        row("readout, five, EFL", "decode", "6 0 1 4 5\r5 1 1 a b EFL d e",
            "6 0 0 TOBAR setGridForLoad(1,4,5) addLine(1) (a) (b) (EFL) (d) (e)");
        row("readout, eight filled up", "decode", "1 3 0 0\r6 0 3 2 8\r5 3 1 a b c d e f",
            "3 0 0 angles setGridForLoad(3,2,8) addLine(3) (a) (b) (c) (d) () (f) () ()");
        // An unreadable strict field changes nothing.
        for (const char* skipped :
             {"4.5 113 1 2", "7 113 1 2", "abc 113 1 2", "33 113 1 2", "1 1x3 1 2", "1 -40000 1 2",
              "6 0 x 10 3", "6 0 2 3000000000 3", "6 0 2 10 40000", "5 2.x 1 a b c d e"})
            row(skipped, "decode IR exit", skipped, "6 0 0 TOBAR");
    }
    void receive()
    {
        QFETCH(QString, options);
        QFETCH(QString, chunks);
        const auto has = [&](const char* option) { return options.contains(QLatin1String(option)); };
        const bool decode = has("decode");
        QLocale::setDefault(has("German") ? German : C);
        Link f(has("compatible") ? LinkMode::Compatible : LinkMode::Text);
        f.s.internal.inSync = has("synced");
        f.s.internal.msgSignalEvery = decode && !has("alone") ? MaxCount : 1;
        f.s.link.isHR = qint16(options.count(QLatin1String("HR")) + options.count(QLatin1String("HR2")));
        f.s.link.angleStatus = decode ? 6 : 5;
        f.s.options.modeTobar = decode;
        f.s.link.storeAtIR = has("IR");
        f.s.link.storeAtExitkey = has("exit");
        if (has("alone")) {
            f.rx.setEvents(nullptr);
            f.rx.setBackgroundWriter(nullptr);
            f.s.options.useBackground = true;
        }
        const LinkState& l = f.s.link;
        QStringList messages, seen;
        f.calls.onAngleMsg = [&] {
            messages << (has("compatible")
                             ? QStringLiteral("%1,%2").arg(l.angleX, 0, 'g', 10).arg(l.angleY, 0, 'g', 10)
                             : QStringList(f.s.internal.tokens.begin(), f.s.internal.tokens.end()).join('|'));
        };
        for (const QByteArray& chunk : (decode ? '\r' + chunks + '\r' : chunks).toLatin1().split('~')) {
            messages.clear();
            f.port.setShortRead(chunk.startsWith('!') ? 0 : -1);
            f.port.feed(chunk);
            f.rx.receive(chunk.startsWith('#')   ? PortCode::RxOver
                         : chunk.startsWith('?') ? PortCode(3)
                                                 : PortCode::Receive);
            if (has("timer")) {
                f.rx.updateCompatibleStatus();
                messages << 's' + QString::number(l.angleStatus);
            }
            seen << messages.join('/');
        }
        QStringList after{QString::number(l.angleStatus), QString::number(l.angleX),
                          QString::number(l.angleY),
                          f.s.options.modeTobar ? QStringLiteral("TOBAR") : QStringLiteral("angles")};
        if (l.lastTobarMsg != TobarMessage::None)
            after << QString::number(qint16(l.lastTobarMsg)) << QString::number(l.tobarStatus)
                  << l.tobarValue;
        QTEST(decode ? (after + f.calls.calls).join(' ').remove(QLatin1String("setColumn"))
                     : seen.join('~') + (f.s.internal.inSync ? "" : " unsynced"),
              "after");
        QCOMPARE(f.port.InBufferCount(), 0);
        // Records keep the status; every message counts.
        QVERIFY(decode || !has("compatible") || has("timer") || l.angleStatus == 5);
        QVERIFY(!decode || f.s.internal.measureCountdown == MaxCount - 1 - chunks.count('\r'));
    }

    // The calls of some messages from the countdown and the store and background counts ("-": none yet).
    void countSignals_data()
    {
        columns<qint32, QString, int, QString, qint32>("countdown", "counts", "messages", "calls", "after");
        row("ten of 10, every 1e300th", MaxCount, "10 1e300", 10, "haveAngleMsg", MaxCount - 10);
        row("2.5 to even, 0.5 as 1", MaxCount, "2.5 0.5", 2,
            "haveAngleMsg writeBackgroundFile writeBackgroundFile", MaxCount - 2);
        row("restarts after 0", 2, "10 1e300", 3, "haveAngleMsg writeBackgroundFile", MaxCount - 1);
        row("3.5 to even, NaN as 1", 9, "3.5 nan", 1, "haveAngleMsg writeBackgroundFile", 8);
        row("background off", MaxCount, "1 1 off", 2, "haveAngleMsg haveAngleMsg", MaxCount - 2);
        row("no divisors yet", std::numeric_limits<qint32>::min(), "- -", 2, "", MaxCount - 1);
    }
    void countSignals()
    {
        Link f;
        QFETCH(qint32, countdown);
        QFETCH(QString, counts);
        QFETCH(int, messages);
        f.s.internal.measureCountdown = countdown;
        f.s.options.useBackground = !counts.endsWith(QLatin1String("off"));
        const QStringList n = counts.split(' ');
        f.s.internal.msgSignalEvery = f.s.internal.updateSignalEvery = 0;
        if (n[0] != QLatin1String("-"))
            f.rx.setMsgSignal(n[0].toDouble());
        if (n[1] != QLatin1String("-"))
            f.rx.setUpdateSignal(n[1].toDouble());
        for (int i = 0; i < messages; ++i)
            f.rx.countMeasurement();
        QTEST(f.calls.calls.join(' '), "calls");
        QTEST(f.s.internal.measureCountdown, "after");
    }

    // X and Y (-3.25) on the display, less the offsets set at (zero, zero), and in the background record
    // written over a longer old one. Options: comma, de (region), tobar, last (record counter at its top).
    void currentAngles_data()
    {
        columns<QString, int, double, double, QString>("options", "status", "zero", "x", "shown");
        row("X only", "", 1, 0.0, 12.5, "12.500 .......... | 0 01 12.5 -3.25\r\n");
        row("Y only", "", 2, 0.0, 12.5, ".......... -3.250 | 0 02 12.5 -3.25\r\n");
        row("offset pushes over limit", "", 3, -10.0, 19995.0, "............ 6.750 | 0 03 19995 -3.25\r\n");
        row("non-finite offset", "", 3, NaN, 1.0, "............ ............ | 0 03 1 -3.25\r\n");
        row("comma wanted", "comma", 3, 0.0, 0.5, "0.500 -3.250 | 0 03 0,5 -3,25\r\n");
        row("regional comma, point wanted", "de", 7, 0.0, 0.5, "0,500 -3,250 | 0 07 0.5 -3.25\r\n");
        row("infinity", "", 3, 0.0, Inf, "............ -3.250 | 0 03 1.79769313486231E+308 -3.25\r\n");
        row("status not one digit", "last", -1, 0.0, 0.0, "0.000 -3.250 | 2147483647 00 0 -3.25\r\n");
        row("tobar keeps regional text", "de tobar", 3, 0.0, 0.0, "0,000 -3,250 | 0 31 2 7,125\r\n");
        // Room for 5 bytes only: no half record and no old tail for a reader, and the counter stays.
        row("record cut short", "short", 3, 0.0, 1.0, "1.000 -3.250 | ");
    }
    void currentAngles()
    {
        QFETCH(QString, options);
        QFETCH(int, status);
        QFETCH(double, zero);
        QFETCH(double, x);
        QLocale::setDefault(options.contains(QLatin1String("de")) ? German : C);
        AppState s;
        s.link.angleX = s.link.angleY = zero;
        s.angles.setAngleZero(); // takes the raw values even while nothing is shown
        s.options.useComma = options.contains(QLatin1String("comma"));
        s.options.modeTobar = options.contains(QLatin1String("tobar"));
        s.internal.backgroundCounter = options.contains(QLatin1String("last")) ? MaxCount : 0;
        s.options.updatePath = m_dir.filePath(QStringLiteral("record.txt"));
        s.link.conStatus = 1;
        s.link.angleStatus = qint16(status);
        s.link.angleX = x;
        s.link.angleY = -3.25;
        s.link.lastTobarMsg = TobarMessage::Radius;
        s.link.tobarStatus = 2;
        s.link.tobarValue = QLocale().toString(7.125);
        QFile old(s.options.updatePath);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(1000, 'x')) == 1000);
        old.close();
        {
            const bool cut = options.contains(QLatin1String("short"));
            rlimit limit{};
            QVERIFY(::getrlimit(RLIMIT_FSIZE, &limit) == 0);
            const rlimit room{5, limit.rlim_max};
            const auto oldAction = std::signal(SIGXFSZ, SIG_IGN);
            QVERIFY(!cut || ::setrlimit(RLIMIT_FSIZE, &room) == 0);
            BackgroundFile(s.link, s.options, s.internal).writeBackgroundFile();
            QVERIFY(!cut || ::setrlimit(RLIMIT_FSIZE, &limit) == 0);
            std::signal(SIGXFSZ, oldAction);
        }
        QVERIFY(old.open(QIODevice::ReadOnly));
        QTEST(s.angles.angleXText() + ' ' + s.angles.angleYText() + " | " +
                  QString::fromLatin1(old.readAll()),
              "shown");
        QCOMPARE(s.internal.backgroundCounter, // wraps
                 options.contains(QLatin1String("last")) || options.contains(QLatin1String("short")) ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "test_core.moc"
