#include "state/numbers.h"

#include <QLocale>
#include <QTest>

#include <clocale>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace {

const double Inf = std::numeric_limits<double>::infinity();
const QLocale German(QLocale::German, QLocale::Germany);

} // namespace

class TestNumbers : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void leadingNumber_data();
    void leadingNumber();
    void leadingNumberIgnoresLocales();
    void strictNumber_data();
    void strictNumber();
    void strictWhole_data();
    void strictWhole();
    void toWholeHalfEven_data();
    void toWholeHalfEven();
    void shortestText_data();
    void shortestText();
    void shortestTextRoundTrip_data();
    void shortestTextRoundTrip();
};

void TestNumbers::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("plain") << "12.5" << 12.5;
    QTest::newRow("blanks anywhere") << " 1 2 . 5 " << 12.5;
    QTest::newRow("tab and line feed") << "\t-3.2\n5" << -3.25;
    QTest::newRow("blank after sign") << "- 7" << -7.0;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("E exponent") << "1E3" << 1000.0;
    QTest::newRow("e exponent") << "2.5e+2" << 250.0;
    QTest::newRow("D exponent") << "1D3" << 1000.0;
    QTest::newRow("d negative exponent") << "1d-2" << 0.01;
    QTest::newRow("blanks in exponent") << "1 E - 2" << 0.01;
    QTest::newRow("E without digits") << "1E" << 1.0;
    QTest::newRow("E and sign only") << "1E-" << 1.0;
    QTest::newRow("E then letter") << "1Ex5" << 1.0;
    QTest::newRow("trailing garbage") << "12abc" << 12.0;
    QTest::newRow("second point") << "1.2.3" << 1.2;
    QTest::newRow("comma stops") << "1,5" << 1.0;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("signed leading point") << "-.5" << -0.5;
    QTest::newRow("trailing point") << "5." << 5.0;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("two signs") << "+-5" << 0.0;
    QTest::newRow("hex is not read") << "0x10" << 0.0;
    QTest::newRow("non-ASCII stops") << QString::fromUtf8("12\u00b5") << 12.0;
    QTest::newRow("40 digits") << "1234567890123456789012345678901234567890" << 1.2345678901234568e39;
    QTest::newRow("40 fraction digits") << "0.0000000000000000000000000000000000000012" << 1.2e-39;
    QTest::newRow("long exponent") << "1E000000000000000000000000003" << 1000.0;
    QTest::newRow("1E308") << "1E308" << 1e308;
    QTest::newRow("smallest") << "4.9406564584124654E-324" << 4.9406564584124654e-324;
    QTest::newRow("1E999") << "1E999" << Inf;
    QTest::newRow("-1E999") << "-1E999" << -Inf;
    QTest::newRow("1.8E308") << "1.8E308" << Inf;
    QTest::newRow("huge exponent") << "1E99999999999999999999" << Inf;
    QTest::newRow("underflow") << "1E-999" << 0.0;
    QTest::newRow("negative underflow") << "-1E-99999999999999999999" << 0.0;
    const QString zeros(400, QLatin1Char('0'));
    QTest::newRow("400 digits, negative exponent") << QString("1" + zeros + "E-50") << Inf;
    QTest::newRow("400 digits, exponent brings back") << QString("1" + zeros + "E-300") << 1e100;
    QTest::newRow("400 zeros, positive exponent") << QString("0." + zeros + "1E50") << 0.0;
    QTest::newRow("minus zero") << "-0.000" << 0.0;
}

void TestNumbers::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);

    const double value = Numbers::leadingNumber(text);
    QCOMPARE(value, expected);
    if (expected == 0.0)
        QVERIFY(!std::signbit(value));
}

void TestNumbers::leadingNumberIgnoresLocales()
{
    QLocale::setDefault(German);
    QCOMPARE(Numbers::leadingNumber(QStringLiteral("12.5")), 12.5);
    QCOMPARE(Numbers::leadingNumber(QStringLiteral("12,5")), 12.0);

    // The C library's numeric locale (set from the environment at start) must not matter either.
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            QCOMPARE(Numbers::leadingNumber(QStringLiteral("12.5")), 12.5);
            QCOMPARE(Numbers::leadingNumber(QStringLiteral("-3.25E1")), -32.5);
            break;
        }
    }
    std::setlocale(LC_NUMERIC, previous.c_str());
}

void TestNumbers::strictNumber_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("expected");

    const QLocale c = QLocale::c();
    QTest::newRow("C point") << c << "12.5" << true << 12.5;
    QTest::newRow("C blanks around") << c << " -3.25 " << true << -3.25;
    QTest::newRow("C exponent") << c << "1e3" << true << 1000.0;
    QTest::newRow("C comma") << c << "12,5" << false << 0.0;
    QTest::newRow("C trailing garbage") << c << "12.5x" << false << 0.0;
    QTest::newRow("C inner blank") << c << "1 2" << false << 0.0;
    QTest::newRow("C garbage") << c << "abc" << false << 0.0;
    QTest::newRow("C empty") << c << "" << false << 0.0;
    QTest::newRow("C blank") << c << "  " << false << 0.0;
    QTest::newRow("C overflow") << c << "1E999" << false << 0.0;
    QTest::newRow("C inf") << c << "inf" << false << 0.0;
    QTest::newRow("C nan") << c << "nan" << false << 0.0;
    QTest::newRow("de comma") << German << "12,5" << true << 12.5;
    QTest::newRow("de grouping") << German << "1.234,5" << true << 1234.5;
    QTest::newRow("de point") << German << "12.5" << false << 0.0;
}

void TestNumbers::strictNumber()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, expected);

    const std::optional<double> value = Numbers::strictNumber(text, locale);
    QCOMPARE(value.has_value(), valid);
    if (valid)
        QCOMPARE(*value, expected);

    // Without a locale argument the regional default applies.
    QLocale::setDefault(locale);
    QCOMPARE(Numbers::strictNumber(text), value);
}

void TestNumbers::strictWhole_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("expected");

    const QLocale c = QLocale::c();
    for (const int bits : {16, 32}) {
        const auto row = [bits](const char* name) -> QTestData& {
            return QTest::addRow("%d %s", bits, name);
        };
        row("2.5") << c << "2.5" << bits << true << qint64(2);
        row("3.5") << c << "3.5" << bits << true << qint64(4);
        row("-2.5") << c << "-2.5" << bits << true << qint64(-2);
        row("-3.5") << c << "-3.5" << bits << true << qint64(-4);
        row("0.5") << c << "0.5" << bits << true << qint64(0);
        row("2.6") << c << "2.6" << bits << true << qint64(3);
        row("de 2,5") << German << "2,5" << bits << true << qint64(2);
        row("de 3,5") << German << "3,5" << bits << true << qint64(4);
        row("de 2.5") << German << "2.5" << bits << false << qint64(0);
        row("empty") << c << "" << bits << false << qint64(0);
        row("garbage") << c << "12x" << bits << false << qint64(0);
        row("overflow") << c << "1E999" << bits << false << qint64(0);
    }
    const QLocale& l = c;
    QTest::newRow("16 max") << l << "32767" << 16 << true << qint64(32767);
    QTest::newRow("16 max + 0.4") << l << "32767.4" << 16 << true << qint64(32767);
    QTest::newRow("16 max + 0.5") << l << "32767.5" << 16 << false << qint64(0);
    QTest::newRow("16 max + 1") << l << "32768" << 16 << false << qint64(0);
    QTest::newRow("16 min") << l << "-32768" << 16 << true << qint64(-32768);
    QTest::newRow("16 min - 0.5") << l << "-32768.5" << 16 << true << qint64(-32768);
    QTest::newRow("16 min - 0.6") << l << "-32768.6" << 16 << false << qint64(0);
    QTest::newRow("16 min - 1") << l << "-32769" << 16 << false << qint64(0);
    QTest::newRow("32 max") << l << "2147483647" << 32 << true << qint64(2147483647);
    QTest::newRow("32 max + 0.5") << l << "2147483647.5" << 32 << false << qint64(0);
    QTest::newRow("32 max + 1") << l << "2147483648" << 32 << false << qint64(0);
    QTest::newRow("32 min") << l << "-2147483648" << 32 << true << qint64(-2147483648LL);
    QTest::newRow("32 min - 0.5") << l << "-2147483648.5" << 32 << true << qint64(-2147483648LL);
    QTest::newRow("32 min - 1") << l << "-2147483649" << 32 << false << qint64(0);
    QTest::newRow("32 exponent") << l << "1E9" << 32 << true << qint64(1000000000);
    QTest::newRow("32 exponent too big") << l << "1E10" << 32 << false << qint64(0);
}

void TestNumbers::strictWhole()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(int, bits);
    QFETCH(bool, valid);
    QFETCH(qint64, expected);

    std::optional<qint64> value;
    if (bits == 16) {
        if (const auto v = Numbers::strictInt16(text, locale))
            value = *v;
    } else {
        if (const auto v = Numbers::strictInt32(text, locale))
            value = *v;
    }
    QCOMPARE(value.has_value(), valid);
    if (valid)
        QCOMPARE(*value, expected);
}

void TestNumbers::toWholeHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("int16");
    QTest::addColumn<qint64>("int32");

    QTest::newRow("2.5") << 2.5 << 2 << qint64(2);
    QTest::newRow("3.5") << 3.5 << 4 << qint64(4);
    QTest::newRow("-2.5") << -2.5 << -2 << qint64(-2);
    QTest::newRow("40000") << 40000.0 << 32767 << qint64(40000);
    QTest::newRow("-40000") << -40000.0 << -32768 << qint64(-40000);
    QTest::newRow("3e9") << 3e9 << 32767 << qint64(2147483647);
    QTest::newRow("-3e9") << -3e9 << -32768 << qint64(-2147483648LL);
    QTest::newRow("inf") << Inf << 32767 << qint64(2147483647);
    QTest::newRow("-inf") << -Inf << -32768 << qint64(-2147483648LL);
    QTest::newRow("nan") << std::nan("") << 0 << qint64(0);
}

void TestNumbers::toWholeHalfEven()
{
    QFETCH(double, value);
    QFETCH(int, int16);
    QFETCH(qint64, int32);

    QCOMPARE(int(Numbers::toInt16HalfEven(value)), int16);
    QCOMPARE(qint64(Numbers::toInt32HalfEven(value)), int32);
}

void TestNumbers::shortestText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    const QLocale c = QLocale::c();
    QTest::newRow("12.345") << c << 12.345 << "12.345";
    QTest::newRow("de 12,345") << German << 12.345 << "12,345";
    QTest::newRow("0.5") << c << 0.5 << "0.5";
    QTest::newRow("de 0,5") << German << 0.5 << "0,5";
    QTest::newRow("-3.25") << c << -3.25 << "-3.25";
    QTest::newRow("whole") << c << 42.0 << "42";
    QTest::newRow("no grouping") << German << 1234567.5 << "1234567,5";
    QTest::newRow("15 digits") << c << 123456789012345.0 << "123456789012345";
    QTest::newRow("16 digits") << c << 1234567890123456.0 << "1.23456789012346E+15";
    QTest::newRow("binary noise hidden") << c << 0.1 + 0.2 << "0.3";
    QTest::newRow("third") << c << 1.0 / 3.0 << "0.333333333333333";
    QTest::newRow("1E20") << c << 1e20 << "1E+20";
    QTest::newRow("de 1,5E+20") << German << 1.5e20 << "1,5E+20";
    QTest::newRow("small") << c << 1.5e-7 << "1.5E-07";
    QTest::newRow("zero") << c << 0.0 << "0";
    QTest::newRow("minus zero") << c << -0.0 << "0";
}

void TestNumbers::shortestText()
{
    QFETCH(QLocale, locale);
    QFETCH(double, value);
    QFETCH(QString, expected);

    QCOMPARE(Numbers::shortestText(value, locale), expected);
    QLocale::setDefault(locale);
    QCOMPARE(Numbers::shortestText(value), expected);
}

void TestNumbers::shortestTextRoundTrip_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("12.345") << 12.345;
    QTest::newRow("-0.001") << -0.001;
    QTest::newRow("1E20") << 1e20;
    QTest::newRow("+inf") << Inf;
    QTest::newRow("-inf") << -Inf;
    QTest::newRow("nan") << std::nan("");
}

void TestNumbers::shortestTextRoundTrip()
{
    QFETCH(double, value);

    for (const QLocale& locale : {QLocale::c(), German}) {
        const QString text = Numbers::shortestText(value, locale);
        QVERIFY2(!text.contains(QLatin1String("inf"), Qt::CaseInsensitive) &&
                     !text.contains(QLatin1String("nan"), Qt::CaseInsensitive),
                 qPrintable(text));
        // Whatever was written reads back as a finite number: strictly, and as a leading number.
        const std::optional<double> strict = Numbers::strictNumber(text, locale);
        QVERIFY2(strict.has_value(), qPrintable(text));
        if (std::isnan(value))
            QCOMPARE(*strict, 0.0);
        else if (std::isinf(value))
            QVERIFY(std::isfinite(*strict) && std::fabs(*strict) > 1e308 && (*strict < 0) == (value < 0));
        else
            QCOMPARE(*strict, value);
        if (locale == QLocale::c())
            QCOMPARE(Numbers::leadingNumber(text), *strict);
    }
}

QTEST_GUILESS_MAIN(TestNumbers)
#include "test_numbers.moc"
