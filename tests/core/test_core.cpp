// Number readings, angle texts, setting conversions and the receive path on an in-memory port. The fuzz
// harnesses check these against references; the rows here document decisions.
#include "link/backgroundfile.h"
#include "link/linkreceiver.h"
#include "platform/memoryport.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "support/recorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cfloat>
#include <cmath>
#include <limits>

namespace {
const double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr qint32 MaxCount = std::numeric_limits<qint32>::max();
const QLocale C = QLocale::c();
const QLocale German(QLocale::German, QLocale::Germany);
const QString Dots10 = QStringLiteral("..........");
const QString Dots12 = QStringLiteral("............");
const QByteArray RecordA = QByteArray::fromHex("02102700F0D8FF03"); // 100, -100
const QByteArray RecordB = QByteArray::fromHex("02FFFF7F00008003"); // 83886.07, -83886.08

template <typename... T> void row(const char* name, const T&... values)
{
    (QTest::newRow(name) << ... << values);
}

// The receiver on a memory port, its calls recorded, the counters as after the connection window loaded.
struct Link {
    AppState s;
    MemoryPort port;
    Recorder calls;
    LinkReceiver rx{s.link, s.options, s.internal};

    explicit Link(qint16 mode = 1)
    {
        rx.setPort(&port);
        rx.setMainWindow(&calls);
        rx.setBackgroundWriter(&calls);
        s.link.portMode = mode;
        s.internal.measureCountdown = s.internal.msgSignalEvery = MaxCount;
        s.internal.updateSignalEvery = 1;
    }
    void receive(const QByteArray& bytes, int event = CommEvents::Receive)
    {
        port.feed(bytes);
        rx.comPort_OnComm(event);
    }
};
} // namespace

class TestCore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void cleanup() { QLocale::setDefault(C); }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        row("blanks, tabs, line feeds anywhere", "\t- 1 2 .\n5 ", -12.5);
        row("D exponent with blanks", "1 d - 2", 0.01);
        row("non-ASCII stops", QString::fromUtf8("12\u00b5"), 12.0);
        row("overflow", "-1E999", -Inf);
        row("underflow", "-1E-99999999999999999999", 0.0);
        row("minus zero", "-0.000", 0.0);
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QLocale::setDefault(German); // the full stop is the point whatever the region
        const double value = Numbers::leadingNumber(text);
        QTEST(value, "value");
        QVERIFY(value < 0 || !std::signbit(value));
    }

    // The strict readings "number int16 int32", then the settings conversions "flag int16 int32 number";
    // "-" where there is no value (strict) or the default is taken (settings).
    void textReadings_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read");
        row("halves to even", C, "2.5", "2.5 2 2 | true 2 2 2.5");
        row("comma in C", C, "12,5", "- - - | - - - -");
        row("regional comma", German, "1.234,5", "1234.5 1234 1234 | true 1234 1234 1234.5");
        row("C form in comma region", German, "3.5", "- - - | true 4 4 3.5");
        row("32-bit top + half", C, "2147483647.5", "2147483647.5 - - | true - - 2147483647.5");
        row("32-bit bottom - half", C, "-2147483648.5",
            "-2147483648.5 - -2147483648 | true - -2147483648 -2147483648.5");
        row("True", C, "True", "- - - | true - - -");
        row("false, any case, blanks", C, " fALSE ", "- - - | false - - -");
    }
    void textReadings()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QLocale::setDefault(locale);
        const auto shown = [](auto value) { return value ? QString::number(double(*value), 'g', 15) : "-"; };
        const auto unless = [](double value, double def) {
            return value == def ? std::nullopt : std::optional(value);
        };
        using namespace SettingValues;
        const QString flag =
            toFlag(text, false) == toFlag(text, true) ? QVariant(toFlag(text, false)).toString() : "-";
        QTEST(QStringLiteral("%1 %2 %3 | %4 %5 %6 %7")
                  .arg(shown(Numbers::strictNumber(text, locale)), shown(Numbers::strictInt16(text, locale)),
                       shown(Numbers::strictInt32(text, locale)), flag, shown(unless(toInt16(text, -7), -7)),
                       shown(unless(toInt32(text, -7), -7)), shown(unless(toNumber(text, -7), -7))),
              "read");
    }

    // The texts of v in arcsec, degree, deg-min-sec, mrad and µ/m, or "unit=text" for one unit; written
    // with a full stop, shown with the region's.
    void angleTexts_data()
    {
        QTest::addColumn<double>("v");
        QTest::addColumn<QString>("texts");
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
        // Deg-min-sec rounds hundredths halves to even.
        row("dms half to even", 0.125, "2= 0:00:00.12");
        row("dms no minus zero", -0.005, "2= 0:00:00.00");
        row("dms carry", -7199.999, "2=-2:00:00.00");
        row("dms beyond 64 bits", -1e17, "2=" + Dots12);
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
                angles.angleUnit = oneUnit ? qint16(texts.section('=', 0, 0).toInt()) : unit;
                shown << angles.formatAngle(v);
                if (oneUnit && angles.angleUnit == AngleManager::UnitDegMinSec)
                    QCOMPARE(angles.formatDegMinSec(v), shown.last());
            }
            QString expected = texts.section('=', -1);
            if (!expected.startsWith(Dots12))
                expected.replace(QLatin1Char('.'), locale.decimalPoint());
            QCOMPARE(shown.join(QLatin1Char('|')), expected);
        }
    }

    // X and Y (-3.25) shown only while connected (status -1: not, valid both) and valid, less the offsets
    // taken by "Set" of (zero, zero).
    void shownValues_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<double>("zero");
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("shown");
        row("not connected", -1, 0.0, 12.5, Dots10 + ' ' + Dots10);
        row("X only", 1, 0.0, 12.5, "12.500 " + Dots10);
        row("Y only", 2, 0.0, 12.5, Dots10 + " -3.250");
        row("both, averaging", 7, 0.0, 12.5, "12.500 -3.250");
        row("zero set", 3, -3.25, 13.75, "17.000 0.000");
        row("offset pushes over limit", 3, -10.0, 19995.0, Dots12 + " 6.750");
        row("non-finite offset", 3, NaN, 1.0, Dots12 + ' ' + Dots12);
    }
    void shownValues()
    {
        LinkState link;
        AngleManager angles(link);
        QFETCH(double, zero);
        link.angleX = link.angleY = zero;
        angles.setAngleZero(); // takes the raw values even while nothing is shown
        QFETCH(int, status);
        QFETCH(double, x);
        link.conStatus = status < 0 ? 0 : 1;
        link.angleStatus = status < 0 ? 3 : qint16(status);
        link.angleX = x;
        link.angleY = -3.25;
        QTEST(angles.angleXText() + ' ' + angles.angleYText(), "shown");
    }

    // Receive events split by "~" (first '#': the overflow event, '?': another event, '!': the port delivers
    // nothing); per event the messages decoded in it split by "/": the slots in text mode, the angles in
    // compatible mode (options: compatible, synced, HR or HR2 for isHR); " unsynced" if sync is lost.
    void framing_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QByteArray>("chunks");
        QTest::addColumn<QString>("perEvent");
        const auto frame = [](const char* name, const char* options, const QByteArray& chunks,
                              const QString& perEvent) { row(name, QString(options), chunks, perEvent); };
        const QByteArray cap(LinkReceiver::MaxTokenLength, 'x');
        frame("sync search spans events", "", "xx 5 6~more\r~1 2 3 4\r", "~~1|2|3|4|||||");
        frame("port delivering nothing", "", "!\r1 2\r~", "~1|2|||||||");
        frame("doubled space waits", "", "\r1 103  12.5 -3.25\r~", "~1|103|12.5|-3.25|||||");
        frame("last slot takes the rest", "", "\r1 2 3 4 5 6 7 8 9 10 11 12\r", "1|2|3|4|5|6|7|8|12");
        frame("slots never cleared", "", "\r1 2 3 4 5 6 7 8\rA B C\r", "1|2|3|4|5|6|7|8|/A|B|C|4|5|6|7|8|");
        frame("token across events", "", "\r1 1~03 4~\r", "~~1|103|4||||||");
        frame("CR without a token repeats nothing", "", "\r1 2\r\r \r5\r", "1|2|||||||/5|2|||||||");
        frame("line feed and Latin-1 kept", "", "\r1 2\r\n8 \xb5m\r", "1|2|||||||/\n8|\u00b5m|||||||");
        frame("overflow keeps sync and token", "", "\r1 10~#lost\r~3 5 6\r", "~~1|103|5|6|||||");
        frame("other events read nothing", "", "?\r1 2\r~", "~1|2|||||||");
        frame("token length capped", "", "\r" + cap + cap + "~yz 1\r",
              "~" + QString::fromLatin1(cap) + "|1|||||||");
        // All records waiting at once, one receive event per step.
        const QByteArray badEnd = QByteArray(RecordB).replace(7, 1, "\x07");
        const QByteArray badStart = QByteArray(RecordA).replace(0, 1, "\x05");
        frame("stray byte, sync record, records", "compatible", "\x55" + RecordA + RecordB + RecordA + "~~~",
              "~~83886.07,-83886.08~100,-100");
        frame("HR", "compatible synced HR", RecordA, "10,-10");
        frame("HR other than 1", "compatible synced HR2", RecordA, "100,-100");
        frame("bad start or end byte", "compatible synced", badStart + badEnd + "~",
              "100,-100~83886.07,-83886.08");
        frame("both frame bytes bad", "compatible synced",
              QByteArray(badEnd).replace(0, 1, "\x05") + RecordA + RecordA + "~~", "~~100,-100");
        frame("start without end takes nine", "compatible", badEnd + "\x02" + RecordA + RecordA + "~~",
              "~~100,-100");
        frame("short record", "compatible synced", RecordA.left(5), " unsynced");
    }
    void framing()
    {
        QFETCH(QString, options);
        QFETCH(QByteArray, chunks);
        const bool compatible = options.contains(QLatin1String("compatible"));
        Link f(compatible ? 0 : 1);
        f.s.internal.inSync = options.contains(QLatin1String("synced"));
        f.s.internal.msgSignalEvery = 1;
        f.s.link.isHR = qint16(options.count(QLatin1String("HR")) + options.count(QLatin1String("HR2")));
        f.s.link.angleStatus = 5;
        QStringList messages;
        f.calls.onAngleMsg = [&] {
            const LinkState& l = f.s.link;
            messages << (compatible
                             ? QStringLiteral("%1,%2").arg(l.angleX, 0, 'g', 10).arg(l.angleY, 0, 'g', 10)
                             : QStringList(f.s.internal.tokens.begin(), f.s.internal.tokens.end()).join('|'));
        };
        QStringList seen;
        for (const QByteArray& chunk : chunks.split('~')) {
            messages.clear();
            f.port.setShortRead(chunk.startsWith('!') ? 0 : -1);
            f.receive(chunk, chunk.startsWith('#')   ? CommEvents::RxOver
                             : chunk.startsWith('?') ? 3
                                                     : CommEvents::Receive);
            seen << messages.join('/');
        }
        QTEST(seen.join('~') + (f.s.internal.inSync ? "" : " unsynced"), "perEvent");
        QCOMPARE(f.port.InBufferCount(), 0);
        QVERIFY(!compatible || f.s.link.angleStatus == 5); // records never touch the status
    }

    // Lines into status 6, angles 0, TOBAR mode; then status, X, Y, the mode (with type, status and value of
    // a TOBAR value) and the calls out, setColumn(x) as (x). Options: IR, exit (store triggers), de (German
    // region), alone (no window or writer attached). A message with an unreadable strict field changes
    // nothing.
    void decodeMessages_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QString>("after");
        row("plain", "", "1 103 12.5 -3.25", "3 12.5 -3.25 angles");
        row("remote signal, remote on", "IR", "1 113 1 2", "3 1 2 angles XY2Table");
        row("exit signal, remote on", "IR", "1 123 1 2", "3 1 2 angles");
        row("exit signal, exit key on", "exit", "1 123 1 2", "3 1 2 angles XY2Table");
        row("1000, four digits", "IR exit", "4 1000 1 2", "0 1 2 angles");
        row("above 1000 reads 0", "IR exit", "3 1137 1 2", "0 1 2 angles");
        row("half to even, lenient angles", "", "2.5 102.5 abc 1.5D2x", "2 0 150 angles");
        row("TOBAR again", "", "1 3 1 2\r8 tobar\r8 TOBAR", "3 1 2 TOBAR");
        row("no window attached", "IR alone", "1 113 4 5\r6 0 2 1 3\r5 2 1 a b c", "3 4 5 angles");
        row("TOBAR garbled", "de", "1 3 0 0\r32 -40000 1.50000x", "3 0 0 TOBAR 32 -32768 1,5");
        row("readout, three columns", "", "1 3 0 0\r6 0 2 10 3\r5 2 1 a b c",
            "3 0 0 angles setGridForLoad(2,10,3) addLine(2) (a) (b) (c)");
        row("readout, five, no EFL", "", "1 3 0 0\r6 0 1 4 5\r5 2 1 a b c d e",
            "3 0 0 TOBAR setGridForLoad(1,4,5) addLine(2) (a) (b) (c) (d) ()");
        row("readout, five, EFL", "", "6 0 1 4 5\r5 1 1 a b EFL d e",
            "6 0 0 TOBAR setGridForLoad(1,4,5) addLine(1) (a) (b) (EFL) (d) (e)");
        row("readout, eight filled up", "", "1 3 0 0\r6 0 3 2 8\r5 3 1 a b c d e f",
            "3 0 0 angles setGridForLoad(3,2,8) addLine(3) (a) (b) (c) (d) () (f) () ()");
        for (const char* skipped :
             {"4.5 113 1 2", "7 113 1 2", "abc 113 1 2", "33 113 1 2", "1 1x3 1 2", "1 -40000 1 2",
              "6 0 x 10 3", "6 0 2 3000000000 3", "6 0 2 10 40000", "5 2.x 1 a b c d e"})
            row(skipped, "IR exit", skipped, "6 0 0 TOBAR");
    }
    void decodeMessages()
    {
        QFETCH(QString, options);
        QFETCH(QString, lines);
        QLocale::setDefault(options.contains(QLatin1String("de")) ? German : C);
        Link f;
        f.s.options.modeTobar = true;
        f.s.link.angleStatus = 6;
        f.s.link.storeAtIR = options.contains(QLatin1String("IR"));
        f.s.link.storeAtExitkey = options.contains(QLatin1String("exit"));
        if (options.contains(QLatin1String("alone"))) {
            f.rx.setMainWindow(nullptr);
            f.rx.setBackgroundWriter(nullptr);
            f.s.options.useBackground = true;
            f.s.internal.msgSignalEvery = 1;
        }
        f.receive("\r" + lines.toLatin1() + "\r");
        const LinkState& l = f.s.link;
        QStringList after{QString::number(l.angleStatus), QString::number(l.angleX),
                          QString::number(l.angleY),
                          f.s.options.modeTobar ? QStringLiteral("TOBAR") : QStringLiteral("angles")};
        if (l.lastTobarMsg != 0)
            after << QString::number(l.lastTobarMsg) << QString::number(l.tobarStatus) << l.tobarValue;
        QTEST((after + f.calls.calls).join(QLatin1Char(' ')).remove(QLatin1String("setColumn")), "after");
        QCOMPARE(f.s.internal.measureCountdown, MaxCount - 1 - lines.count('\r')); // every message counts
    }

    // From the countdown and the counts of the store and background signals ("-": no divisor yet; "off": no
    // background file), the calls of some messages. A new divisor does not restart the count.
    void countSignals_data()
    {
        QTest::addColumn<qint32>("countdown");
        QTest::addColumn<QString>("counts");
        QTest::addColumn<int>("messages");
        QTest::addColumn<QString>("calls");
        QTest::addColumn<qint32>("after");
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

    // Compatible mode has no status: a tick that saw measurements reports both axes valid, else none.
    void timerStatusRule()
    {
        Link f(0);
        QStringList status;
        f.s.internal.inSync = true;
        for (const QByteArray& bytes : {QByteArray(), QByteArray(), RecordA, QByteArray()}) {
            if (!bytes.isEmpty())
                f.receive(bytes);
            f.rx.TimerCom_Timer();
            status << QString::number(f.s.link.angleStatus);
        }
        QCOMPARE(status.join(' '), QStringLiteral("3 0 3 0")); // the first tick differs from 0 seen before
    }

    // The record over a longer old one; options: comma, de (German region), tobar, last (counter at its top).
    void backgroundRecord_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<double>("x");
        QTest::addColumn<QByteArray>("line");
        row("angles", "", 3, 12.5, QByteArray("0 03 12.5 -3.25\r\n"));
        row("comma wanted", "comma", 3, 0.5, QByteArray("0 03 0,5 -3,25\r\n"));
        row("regional comma, point wanted", "de", 7, 0.5, QByteArray("0 07 0.5 -3.25\r\n"));
        row("infinity stays a number", "", 3, std::numeric_limits<double>::infinity(),
            QByteArray("0 03 1.79769313486231E+308 -3.25\r\n"));
        row("status not one digit", "last", -1, 0.0, QByteArray("2147483647 00 0 -3.25\r\n"));
        row("tobar keeps regional text", "de tobar", 3, 0.0, QByteArray("0 31 2 7,125\r\n"));
    }
    void backgroundRecord()
    {
        QFETCH(QString, options);
        QLocale::setDefault(options.contains(QLatin1String("de")) ? German : C);
        AppState s;
        s.options.useComma = options.contains(QLatin1String("comma"));
        s.options.modeTobar = options.contains(QLatin1String("tobar"));
        s.internal.backgroundCounter = options.contains(QLatin1String("last")) ? MaxCount : 0;
        s.options.updatePath = m_dir.filePath(QStringLiteral("record.txt"));
        QFETCH(int, status);
        QFETCH(double, x);
        s.link.angleStatus = qint16(status);
        s.link.angleX = x;
        s.link.angleY = -3.25;
        s.link.lastTobarMsg = 31;
        s.link.tobarStatus = 2;
        s.link.tobarValue = QLocale().toString(7.125);
        QFile old(s.options.updatePath);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(1000, 'x')) == 1000);
        old.close();
        BackgroundFile(s.link, s.options, s.internal).writeBackgroundFile();
        QVERIFY(old.open(QIODevice::ReadOnly));
        QTEST(old.readAll(), "line");
        QCOMPARE(s.internal.backgroundCounter, options.contains(QLatin1String("last")) ? 0 : 1); // wraps
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "test_core.moc"
