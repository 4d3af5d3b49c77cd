#include "state/anglemanager.h"
#include "state/linkstate.h"

#include <QLocale>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

const QString Dots10 = QStringLiteral("..........");
const QString Dots12 = QStringLiteral("............");
const double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double UradPerArcsec = 4.0 * std::atan(1.0) / 648.0 * 1000.0;

// Expected texts are written with a full stop; placeholders keep theirs.
QString regional(const QString& text)
{
    if (text == Dots10 || text == Dots12)
        return text;
    QString result = text;
    return result.replace(QLatin1Char('.'), QLocale().decimalPoint());
}

} // namespace

class TestAngleManager : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void workedValues_data();
    void workedValues();
    void validity_data();
    void validity();
    void setAndReset();
    void overRangeRule_data();
    void overRangeRule();
    void roundingHalves_data();
    void roundingHalves();
    void nonFinite_data();
    void nonFinite();
    void largeDegMinSec_data();
    void largeDegMinSec();
    void unknownUnit();
    void constantsWithoutStartUp();
};

void TestAngleManager::workedValues_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<double>("v");
    QTest::addColumn<QStringList>("texts"); // codes 0 to 4

    struct Row {
        const char* name;
        double v;
        QStringList texts;
    };
    const QList<Row> rows = {
        {"1", 1, {"1.000", "0.000278", " 0:00:01.00", "0.0048", "4.8"}},
        {"100", 100, {"100.000", "0.027778", " 0:01:40.00", "0.4848", "484.8"}},
        {"3723.456", 3723.456, {"3723.456", "1.034293", " 1:02:03.46", "18.0518", "18051.8"}},
        {"-5400.5", -5400.5, {"-5400.500", "-1.500139", "-1:30:00.50", "-26.1824", "-26182.4"}},
        {"20000", 20000, {"20000.000", "5.555556", " 5:33:20.00", "96.9627", "96962.7"}},
        {"20000.01", 20000.01, {Dots12, Dots12, Dots12, Dots12, Dots12}},
        {"0", 0, {"0.000", "0.000000", " 0:00:00.00", "0.0000", "0.0"}},
        {"-25000", -25000, {"-25000.000", "-6.944444", "-6:56:40.00", "-121.2034", "-121203.4"}},
    };
    const QList<QLocale> locales = {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)};
    for (const QLocale& locale : locales) {
        for (const Row& row : rows) {
            QTest::addRow("%s %s", qPrintable(locale.name()), row.name) << locale << row.v << row.texts;
        }
    }
}

void TestAngleManager::workedValues()
{
    QFETCH(QLocale, locale);
    QFETCH(double, v);
    QFETCH(QStringList, texts);
    QLocale::setDefault(locale);

    LinkState link;
    link.conStatus = 1;
    link.angleStatus = 3;
    link.angleX = v;
    link.angleY = v;
    AngleManager angles(link);
    angles.initAngleConstants();
    for (qint16 unit = 0; unit <= 4; ++unit) {
        angles.angleUnit = unit;
        const QString expected = regional(texts.at(unit));
        QCOMPARE(angles.formatAngle(v), expected);
        QCOMPARE(angles.angleXText(), expected);
        QCOMPARE(angles.angleYText(), expected);
    }
}

void TestAngleManager::validity_data()
{
    QTest::addColumn<qint16>("conStatus");
    QTest::addColumn<qint16>("angleStatus");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");

    QTest::newRow("not connected, both valid") << qint16(0) << qint16(3) << Dots10 << Dots10;
    QTest::newRow("not connected, averaging") << qint16(0) << qint16(7) << Dots10 << Dots10;
    QTest::newRow("none valid") << qint16(1) << qint16(0) << Dots10 << Dots10;
    QTest::newRow("X only") << qint16(1) << qint16(1) << "12.500" << Dots10;
    QTest::newRow("Y only") << qint16(1) << qint16(2) << Dots10 << "-3.250";
    QTest::newRow("both, averaging") << qint16(1) << qint16(7) << "12.500"
                                     << "-3.250";
    QTest::newRow("averaging bit alone") << qint16(1) << qint16(4) << Dots10 << Dots10;
}

void TestAngleManager::validity()
{
    QFETCH(qint16, conStatus);
    QFETCH(qint16, angleStatus);
    QFETCH(QString, x);
    QFETCH(QString, y);

    LinkState link;
    link.conStatus = conStatus;
    link.angleStatus = angleStatus;
    link.angleX = 12.5;
    link.angleY = -3.25;
    AngleManager angles(link);
    QCOMPARE(angles.angleXText(), x);
    QCOMPARE(angles.angleYText(), y);
}

void TestAngleManager::setAndReset()
{
    LinkState link;
    AngleManager angles(link);
    angles.initAngleConstants();

    // Set takes the raw values even while nothing is shown.
    link.angleX = 12.5;
    link.angleY = -4.25;
    angles.setAngleZero();
    QCOMPARE(angles.zeroX, 12.5);
    QCOMPARE(angles.zeroY, -4.25);

    link.conStatus = 1;
    link.angleStatus = 3;
    QCOMPARE(angles.angleXText(), QStringLiteral("0.000"));
    QCOMPARE(angles.angleYText(), QStringLiteral("0.000"));
    link.angleX = 13.75;
    QCOMPARE(angles.angleXText(), QStringLiteral("1.250"));

    angles.resetAngleZero();
    link.angleX = 12.5;
    QCOMPARE(angles.angleXText(), QStringLiteral("12.500"));
    QCOMPARE(angles.angleYText(), QStringLiteral("-4.250"));
}

void TestAngleManager::overRangeRule_data()
{
    QTest::addColumn<double>("raw");
    QTest::addColumn<double>("zero");
    QTest::addColumn<qint16>("unit");
    QTest::addColumn<QString>("expected");

    QTest::newRow("20100 minus 200") << 20100.0 << 200.0 << qint16(0) << "19900.000";
    QTest::newRow("20100 without offset") << 20100.0 << 0.0 << qint16(0) << Dots12;
    QTest::newRow("offset pushes over") << -100.0 << -20100.5 << qint16(0) << Dots12;
    QTest::newRow("just above 20000") << std::nextafter(20000.0, 30000.0) << 0.0 << qint16(0) << Dots12;
    QTest::newRow("-25000") << -25000.0 << 0.0 << qint16(0) << "-25000.000";
    QTest::newRow("-25000 by offset") << 0.0 << 25000.0 << qint16(0) << "-25000.000";
    QTest::newRow("huge negative") << -1e20 << 0.0 << qint16(0) << "-100000000000000000000.000";
    QTest::newRow("over range in mrad") << 20100.0 << 0.0 << qint16(3) << Dots12;
}

void TestAngleManager::overRangeRule()
{
    QFETCH(double, raw);
    QFETCH(double, zero);
    QFETCH(qint16, unit);
    QFETCH(QString, expected);

    LinkState link;
    link.conStatus = 1;
    link.angleStatus = 1;
    AngleManager angles(link);
    angles.initAngleConstants();
    angles.angleUnit = unit;
    link.angleX = zero;
    angles.setAngleZero();
    link.angleX = raw;
    QCOMPARE(angles.angleXText(), expected);
}

void TestAngleManager::roundingHalves_data()
{
    QTest::addColumn<qint16>("unit");
    QTest::addColumn<double>("v");
    QTest::addColumn<QString>("expected");

    // Masks round halves away from zero, on the value as printed with 15 digits.
    QTest::newRow("arcsec 0.0005") << qint16(0) << 0.0005 << "0.001";
    QTest::newRow("arcsec -0.0005") << qint16(0) << -0.0005 << "-0.001";
    QTest::newRow("arcsec 1.0005") << qint16(0) << 1.0005 << "1.001";
    QTest::newRow("arcsec 2.0025") << qint16(0) << 2.0025 << "2.003";
    QTest::newRow("arcsec 0.00049") << qint16(0) << 0.00049 << "0.000";
    QTest::newRow("arcsec -0.0004 no minus") << qint16(0) << -0.0004 << "0.000";
    QTest::newRow("arcsec -1e-300 no minus") << qint16(0) << -1e-300 << "0.000";
    QTest::newRow("arcsec carry") << qint16(0) << 9999.9995 << "10000.000";
    QTest::newRow("arcsec -carry") << qint16(0) << -999.9996 << "-1000.000";
    QTest::newRow("degree half") << qint16(1) << 0.0018 << "0.000001";
    QTest::newRow("degree -half") << qint16(1) << -0.0018 << "-0.000001";
    QTest::newRow("degree below half") << qint16(1) << -0.0017 << "0.000000";
    QTest::newRow("mrad half") << qint16(3) << 0.00015 / (UradPerArcsec / 1000.0) << "0.0002";
    QTest::newRow("mrad -half") << qint16(3) << -0.00015 / (UradPerArcsec / 1000.0) << "-0.0002";
    QTest::newRow("urad half") << qint16(4) << 0.25 / UradPerArcsec << "0.3";
    QTest::newRow("urad -half") << qint16(4) << -0.25 / UradPerArcsec << "-0.3";
    QTest::newRow("urad below half") << qint16(4) << -0.04 / UradPerArcsec << "0.0";
    // Deg-min-sec rounds hundredths halves to even.
    QTest::newRow("dms 12.5 hundredths") << qint16(2) << 0.125 << " 0:00:00.12";
    QTest::newRow("dms 37.5 hundredths") << qint16(2) << 0.375 << " 0:00:00.38";
    QTest::newRow("dms -12.5 hundredths") << qint16(2) << -0.125 << "-0:00:00.12";
    QTest::newRow("dms -0.5 hundredths no minus") << qint16(2) << -0.005 << " 0:00:00.00";
    QTest::newRow("dms carry to minute") << qint16(2) << 59.996 << " 0:01:00.00";
    QTest::newRow("dms carry to degree") << qint16(2) << 3599.996 << " 1:00:00.00";
    QTest::newRow("dms carry to 2 degrees") << qint16(2) << -7199.999 << "-2:00:00.00";
    QTest::newRow("dms just below degree") << qint16(2) << 3599.994 << " 0:59:59.99";
}

void TestAngleManager::roundingHalves()
{
    QFETCH(qint16, unit);
    QFETCH(double, v);
    QFETCH(QString, expected);

    LinkState link;
    AngleManager angles(link);
    angles.initAngleConstants();
    angles.angleUnit = unit;
    QCOMPARE(angles.formatAngle(v), expected);
}

void TestAngleManager::nonFinite_data()
{
    QTest::addColumn<double>("v");
    QTest::newRow("+inf") << Inf;
    QTest::newRow("-inf") << -Inf;
    QTest::newRow("nan") << NaN;
}

void TestAngleManager::nonFinite()
{
    QFETCH(double, v);

    LinkState link;
    link.conStatus = 1;
    link.angleStatus = 3;
    link.angleX = v;
    link.angleY = 5.0;
    AngleManager angles(link);
    angles.initAngleConstants();
    for (qint16 unit = 0; unit <= 4; ++unit) {
        angles.angleUnit = unit;
        QCOMPARE(angles.formatAngle(v), Dots12);
        QCOMPARE(angles.formatDegMinSec(v), Dots12);
        QCOMPARE(angles.angleXText(), Dots12);
        // A non-finite offset leaves no finite corrected value.
        link.angleY = v;
        angles.setAngleZero();
        link.angleY = 5.0;
        QCOMPARE(angles.angleYText(), Dots12);
    }

    // A finite value whose conversion overflows has no number to show either.
    angles.angleUnit = AngleManager::UnitMicroPerMetre;
    QCOMPARE(angles.formatAngle(-std::numeric_limits<double>::max()), Dots12);
}

void TestAngleManager::largeDegMinSec_data()
{
    QTest::addColumn<double>("v");
    QTest::addColumn<QString>("expected");

    QTest::newRow("32-bit end") << -21474836.47 << "-5965:13:56.47";
    QTest::newRow("beyond 32 bits") << -21474836.48 << "-5965:13:56.48";
    QTest::newRow("-1e12") << -1e12 << "-277777777:46:40.00";
    QTest::newRow("-9e16") << -9e16 << "-25000000000000:00:00.00";
    QTest::newRow("beyond 64 bits") << -1e17 << Dots12;
    QTest::newRow("largest double") << -std::numeric_limits<double>::max() << Dots12;
}

void TestAngleManager::largeDegMinSec()
{
    QFETCH(double, v);
    QFETCH(QString, expected);

    LinkState link;
    AngleManager angles(link);
    angles.initAngleConstants();
    angles.angleUnit = AngleManager::UnitDegMinSec;
    QCOMPARE(angles.formatDegMinSec(v), expected);
    QCOMPARE(angles.formatAngle(v), expected);
}

void TestAngleManager::unknownUnit()
{
    LinkState link;
    link.conStatus = 1;
    link.angleStatus = 3;
    link.angleX = 1.0;
    link.angleY = 20001.0;
    AngleManager angles(link);
    angles.initAngleConstants();
    for (const qint16 unit : {qint16(-1), qint16(5), qint16(32767)}) {
        angles.angleUnit = unit;
        QCOMPARE(angles.angleXText(), QString());
        // The range check comes first.
        QCOMPARE(angles.angleYText(), Dots12);
    }
}

void TestAngleManager::constantsWithoutStartUp()
{
    LinkState link;
    AngleManager angles(link);
    angles.angleUnit = AngleManager::UnitMrad;
    QCOMPARE(angles.formatAngle(1.0), QStringLiteral("0.0048"));
    angles.initAngleConstants();
    QCOMPARE(angles.pi, 3.141592653589793);
    QCOMPARE(angles.mradPerArcsec, 0.0048481368110953596);
    QCOMPARE(angles.uradPerArcsec, 4.84813681109536);
}

QTEST_GUILESS_MAIN(TestAngleManager)
#include "test_anglemanager.moc"
