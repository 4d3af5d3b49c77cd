// A settings store with garbage in every key: start-up takes the defaults, the connection window its own
// defaults, and the program closes normally and writes valid values back.
#include "faultfixture.h"

#include "widgets/twips.h"
#include "dialogs/formoptions.h"
#include "settings/settingvalues.h"
#include "state/numbers.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

namespace {

struct Key {
    const char* section;
    const char* name;
};
// Every key of the store except the two file paths, which hold any text.
constexpr Key TypedKeys[] = {
    {"options", "display"},
    {"options", "onTop"},
    {"options", "showTable"},
    {"options", "comma"},
    {"options", "exitKey"},
    {"options", "IR"},
    {"options", "enableBackground"},
    {"options", "enableMean"},
    {"options", "updateSeconds"},
    {"pos", "y"},
    {"pos", "x"},
    {"pos", "height"},
    {"pos", "width"},
    {"pos", "yO"},
    {"pos", "xO"},
    {"angles", "unit"},
    {"com", "port"},
    {"com", "mode"},
    {"com", "isHR"},
};

// What the program writes back after a run that started from defaults and changed nothing.
const QList<QPair<QString, QString>> WrittenDefaults = {
    {QStringLiteral("options/display"), QStringLiteral("False")},
    {QStringLiteral("options/onTop"), QStringLiteral("0")},
    {QStringLiteral("options/showTable"), QStringLiteral("0")},
    {QStringLiteral("options/comma"), QStringLiteral("0")},
    {QStringLiteral("options/exitKey"), QStringLiteral("0")},
    {QStringLiteral("options/IR"), QStringLiteral("0")},
    {QStringLiteral("options/enableBackground"), QStringLiteral("0")},
    {QStringLiteral("options/enableMean"), QStringLiteral("0")},
    {QStringLiteral("options/updateSeconds"), QStringLiteral("1")},
    {QStringLiteral("pos/y"), QStringLiteral("0")},
    {QStringLiteral("pos/x"), QStringLiteral("0")},
    {QStringLiteral("pos/height"), QStringLiteral("7000")},
    {QStringLiteral("pos/width"), QStringLiteral("6135")},
    {QStringLiteral("pos/yO"), QStringLiteral("0")},
    {QStringLiteral("pos/xO"), QStringLiteral("0")},
    {QStringLiteral("angles/unit"), QStringLiteral("0")},
    {QStringLiteral("com/port"), QStringLiteral("1")},
    {QStringLiteral("com/mode"), QStringLiteral("0")},
    {QStringLiteral("com/isHR"), QStringLiteral("0")},
};

// The store file with one raw value in every typed key.
bool writeStore(const FaultFixture& f, const QByteArray& value)
{
    QByteArray file;
    for (const char* section : {"options", "pos", "angles", "com"}) {
        file += QByteArray("[") + section + "]\n";
        for (const Key& key : TypedKeys) {
            if (qstrcmp(key.section, section) == 0)
                file += QByteArray(key.name) + '=' + value + '\n';
        }
    }
    QFile conf(f.storeFile());
    return QDir().mkpath(QFileInfo(f.storeFile()).path()) && conf.open(QIODevice::WriteOnly) &&
           conf.write(file) == file.size();
}

bool isNumber(const QString& text)
{
    return bool(Numbers::strictNumber(text)) || bool(Numbers::strictNumber(text, QLocale::c()));
}

} // namespace

class TestSettingsFaults : public QObject {
    Q_OBJECT

private slots:
    void garbageInEveryKey_data()
    {
        // Raw lines of the store file: what a damaged or hand-edited file may hold.
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("words") << QByteArray("garbage");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("control bytes") << QByteArray("\x01\x02\x7f\xff\xfe", 5);
        QTest::newRow("beyond every range") << QByteArray("1e999");
        QTest::newRow("NaN") << QByteArray("nan");
        QTest::newRow("infinity") << QByteArray("-inf");
        QTest::newRow("a list") << QByteArray("1, 2, 3");
        QTest::newRow("a stored variant") << QByteArray("@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\0)");
        QTest::newRow("a byte array") << QByteArray("@ByteArray(garbage)");
        QTest::newRow("a rectangle") << QByteArray("@Rect(1 2 3 4)");
        QTest::newRow("unbalanced quote") << QByteArray("\"x");
        QTest::newRow("64 kB of digits") << QByteArray(64 * 1024, '9');
    }
    void garbageInEveryKey()
    {
        QFETCH(QByteArray, value);
        FaultFixture f;
        qputenv("TEMP", "/tmp");
        QVERIFY(writeStore(f, value));

        FormMain& w = f.start();
        const AppState& s = *f.state;
        QCOMPARE(s.options.modeTobar, false);
        QCOMPARE(w.windowLeft(), 0.0);
        QCOMPARE(w.windowTop(), 0.0);
        QCOMPARE(w.windowWidth(), 6135.0);
        QVERIFY(qAbs(w.windowHeight() - 2800.0) < Twips::PerPixel);
        QCOMPARE(s.angles.angleUnit, qint16(0));
        QVERIFY(w.OptionArcsec->isChecked());
        QCOMPARE(s.options.heightWithTable, 7000);
        QCOMPARE(s.options.onTop, false);
        QCOMPARE(s.options.showTable, false);
        QCOMPARE(s.options.useComma, false);
        QCOMPARE(s.link.storeAtExitkey, false);
        QCOMPARE(s.link.storeAtIR, false);
        QCOMPARE(s.options.useBackground, false);
        QCOMPARE(s.options.useMean, false);
        QCOMPARE(s.options.backgroundSeconds, 1.0);
        QCOMPARE(s.internal.updateSignalEvery, 1);

        // The first tick loads the options dialog, which shows the same defaults.
        QTRY_VERIFY(w.optionsLoaded());
        FormOptions* options = w.optionsLoaded();
        QCOMPARE(options->TextSeconds->text(), QStringLiteral("1"));
        QVERIFY(!options->CheckBackground->isChecked());
        QCOMPARE(options->dialogTop(), 0.0);
        QCOMPARE(options->dialogLeft(), 0.0);

        // The connection window: port 1, compatible mode, normal resolution.
        FormCom& form = f.link->form();
        form.show();
        QCOMPARE(s.link.portNum, qint16(1));
        QCOMPARE(s.link.portMode, qint16(0));
        QCOMPARE(s.link.isHR, qint16(0));
        QCOMPARE(form.TextStatus->text(), QStringLiteral("o.k."));
        QVERIFY(form.OptionCompatible->isChecked());
        form.hide();

        w.close();
        QVERIFY(f.messages.isEmpty());
        auto store = FaultFixture::store();
        for (const auto& [key, expected] : WrittenDefaults)
            QCOMPARE(store->value(key).toString(), expected);
    }

    // Numbers, but of sizes no window, count or port has: the program starts on the screen, closes
    // normally, and every key it writes holds a value of its own form.
    void hugeNumbersInEveryKey_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("forty digits") << QByteArray("1234567890123456789012345678901234567890");
        QTest::newRow("minus forty digits") << QByteArray("-1234567890123456789012345678901234567890");
        QTest::newRow("largest double") << QByteArray("1.7976931348623157e308");
        QTest::newRow("largest 32-bit number") << QByteArray("2147483647");
        QTest::newRow("beyond 32 bits") << QByteArray("2147483648");
        QTest::newRow("beyond 16 bits") << QByteArray("-32769");
        QTest::newRow("a half") << QByteArray("0.5");
    }
    void hugeNumbersInEveryKey()
    {
        QFETCH(QByteArray, value);
        FaultFixture f;
        qputenv("TEMP", "/tmp");
        QVERIFY(writeStore(f, value));
        // A window sized from such numbers once took half a minute to start: a stall, not a speed.
        QElapsedTimer clock;
        clock.start();
        FormMain& w = f.start();
        QTRY_VERIFY(w.optionsLoaded());
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(w.windowLeft() >= 0 && w.windowTop() >= 0);
        const QSize desktop = w.screen()->virtualSize();
        QVERIFY(w.frameGeometry().width() <= qMax(desktop.width(), Twips::toPixels(6135)));
        QVERIFY(w.frameGeometry().height() <= qMax(desktop.height(), Twips::toPixels(6000)));
        QVERIFY(w.windowWidth() >= 6135);
        QVERIFY(w.windowHeight() >= 2300 - Twips::PerPixel);
        QVERIFY(f.state->internal.updateSignalEvery >= 1);
        FormCom& form = f.link->form();
        form.show();
        QVERIFY(f.state->link.portMode == 0 || f.state->link.portMode == 1);
        form.hide();

        w.close();
        auto store = FaultFixture::store();
        for (const auto& [key, unused] : WrittenDefaults) {
            const QString text = store->value(key).toString();
            if (key == QLatin1String("options/display"))
                QVERIFY2(text == QLatin1String("True") || text == QLatin1String("False"), qPrintable(text));
            else if (key.startsWith(QLatin1String("pos/")) || key == QLatin1String("options/updateSeconds"))
                QVERIFY2(isNumber(text), qPrintable(key + QLatin1Char('=') + text));
            else
                QVERIFY2(Numbers::strictInt16(text) || Numbers::strictInt16(text, QLocale::c()),
                         qPrintable(key + QLatin1Char('=') + text));
        }
        QCOMPARE(store->value(QStringLiteral("com/mode")).toString().size(), 1);
    }
};

QTEST_MAIN(TestSettingsFaults)
#include "test_settingsfaults.moc"
