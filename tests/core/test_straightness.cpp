// Straightness from readings: profiles with known answers, the exact minimum zone, refused inputs.
#include "analysis/straightness.h"
#include "support/tables.h"

#include <QRandomGenerator>

#include <cmath>
#include <tuple>

namespace {
using Ref = Straightness::Reference;
using Input = Straightness::Input;
using Status = Straightness::Status;
const double Pi = 4.0 * std::atan(1.0);

// Record-less lines: X texts as given; Y texts all 1 but line 5's, "x".
struct Lines : TableLines {
    explicit Lines(const QStringList& texts) : x(texts) {}
    QStringList x;
    qint32 count() const override { return static_cast<qint32>(x.size()); }
    QStringView text(qint32 line, qint32 col) const override
    {
        return col == 1 ? QStringView(x[line - 1]) : QStringView(line == 5 ? u"x" : u"1");
    }
    const LineRecord* record(qint32) const override { return nullptr; }
};

QStringList texts(const QList<double>& arcsec, double scale = 1)
{
    QStringList t;
    for (const double a : arcsec)
        t << QString::number(a * scale, 'g', 17);
    return t;
}
} // namespace
Q_DECLARE_METATYPE(Input)
Q_DECLARE_METATYPE(Status)

class TestStraightness : public QObject {
    Q_OBJECT
private slots:
    // A straight tilted line deviates from no line. Chord slopes of a circle of radius R put the heights on
    // it; symmetric, so every line is level and deviates by the sagitta of the whole chord.
    void knownProfiles_data()
    {
        columns<QList<double>, double, QList<double>, double>("angles", "base", "heights", "deviation");
        for (const auto& [angle, n] : {std::pair{0.0, 12}, {10.25, 30}, {-3000.0, 500}, {7.0, 1}}) {
            QList<double> heights;
            for (int i = 0; i <= n; ++i)
                heights << i * 125e3 * std::tan(angle * Pi / 648000);
            QTest::addRow("line %g x %d", angle, n) << QList<double>(n, angle) << 125.0 << heights << 0.0;
        }
        for (const auto& [r, n, base] : {std::tuple{1e9, 20, 100.0}, {5e6, 64, 50.0}, {1e10, 2000, 200.0}}) {
            const double half = n * base * 1000 / 2, top = std::sqrt(r * r - half * half);
            QList<double> angles, heights{0};
            for (int i = 1; i <= n; ++i) {
                heights << std::sqrt(r * r - std::pow(i * base * 1000 - half, 2)) - top;
                angles << std::atan((heights[i] - heights[i - 1]) / (base * 1000)) * 648000 / Pi;
            }
            QTest::addRow("arc R %g x %d", r, n) << angles << base << heights << r - top;
        }
    }
    void knownProfiles()
    {
        QFETCH(QList<double>, angles);
        QFETCH(double, base);
        QFETCH(QList<double>, heights);
        QFETCH(double, deviation);
        const Straightness s = Straightness::evaluate(Lines(texts(angles)), {1, 99999, 1, {}, base});
        QCOMPARE(s.stations().size(), size_t(heights.size()));
        const double tolerance = 1e-9 * std::max(1.0, deviation);
        for (qsizetype i = 0; i < heights.size(); ++i)
            QVERIFY(std::abs(s.stations()[size_t(i)].height - heights[i]) < tolerance);
        for (const Ref r : Straightness::References)
            QVERIFY2(std::abs(s.deviation(r) - deviation) < tolerance, qPrintable(Straightness::name(r)));
        QVERIFY(s.deviation(Ref::MinimumZone) <=
                std::min(s.deviation(Ref::EndPoints), s.deviation(Ref::LeastSquares)));
    }

    // A bow with scatter: the zone found against the narrowest band of a fine search over slopes.
    void minimumZoneExact()
    {
        for (quint32 seed = 1; seed <= 4; ++seed) {
            QRandomGenerator random(seed);
            QList<double> angles;
            for (int i = 0, n = int(seed) * 37; i < n; ++i)
                angles << 20.0 * std::sin(i * 5.0 / n) + random.bounded(10.0) - 5;
            const Straightness s = Straightness::evaluate(Lines(texts(angles)), {1, 99999, 1, {}, 100});
            const auto width = [&](double k) {
                double lo = 0, hi = 0; // station 0 is at the origin
                for (const auto& p : s.stations())
                    std::tie(lo, hi) = std::minmax({lo, hi, p.height - k * p.position});
                return hi - lo;
            };
            double k = 0; // steps here stay within +-1 µm/mm: sampled, then refined around the best sample
            for (double step = 1e-4, span = 1; step > 1e-16; span = 2 * step, step /= 10)
                for (double centre = k, t = centre - span; t <= centre + span; t += step)
                    k = width(t) < width(k) ? t : k;
            const double zone = s.deviation(Ref::MinimumZone), brute = width(k);
            QVERIFY2(zone <= brute + 1e-10 && zone >= brute - 1e-9,
                     qPrintable(QString::number(zone - brute)));
            QVERIFY(zone < s.deviation(Ref::LeastSquares) - 1e-3 && zone <= s.deviation(Ref::EndPoints));
        }
    }

    // Texts in other units, and readings taken walking back: the same profile as the arcsec readings.
    void sameProfile_data()
    {
        columns<int, QStringList, bool>("unit", "texts", "reverse");
        const QList<double> arcsec{12.5, -3.25, 100, 0.75};
        row("deg-min-sec", 2, QStringList{"0:00:12.5", "-0:00:03.25", "0:01:40", "0:00:00,75"}, false);
        row("degree", 1, texts(arcsec, 1.0 / 3600), false);
        row("mrad", 3, texts(arcsec, Pi / 648), false);
        row("reverse", 0, texts({0.75, 100, -3.25, 12.5}), true);
    }
    void sameProfile()
    {
        QFETCH(int, unit);
        QFETCH(QStringList, texts);
        QFETCH(bool, reverse);
        const Straightness expected =
            Straightness::evaluate(Lines(::texts({12.5, -3.25, 100, 0.75})), {1, 9, 1, {}, 80});
        const Straightness s = Straightness::evaluate(Lines(texts), {1, 9, 1, AngleUnit(unit), 80, reverse});
        QCOMPARE(s.stations().size(), size_t(5));
        QCOMPARE(s.stationRows(Ref::LeastSquares, AngleUnit::Arcsec)[2][3],
                 QString("12.5000")); // station 1 in arcsec
        for (size_t i = 1; i < 5; ++i) {
            QVERIFY(std::abs(s.stations()[i].height - expected.stations()[i].height) < 1e-9);
            QCOMPARE(s.stations()[i].line, qint32(reverse ? 5 - i : i));
        }
    }

    void refused_data()
    {
        columns<Input, Status, QList<qint32>, QString>("input", "status", "lines", "said");
        row("placeholder, marker, right angles", Input{1, 7, 1, {}, 100}, Status::Unreadable,
            QList<qint32>{2, 4, 6, 7}, QString("Lines 2, 4, 6, 7 have no usable reading"));
        row("Y column, to the end", Input{2, 99, 2, {}, 100}, Status::Unreadable, QList<qint32>{5},
            QString("Line 5 has no usable reading"));
        row("Y column, selection", Input{2, 4, 2, {}, 100}, Status::Done, QList<qint32>{}, QString());
        row("selection past the end", Input{8, 99, 1, {}, 100}, Status::NoReadings, QList<qint32>{},
            QString("No readings to evaluate."));
        row("empty selection", Input{4, 3, 1, {}, 100}, Status::NoReadings, QList<qint32>{},
            QString("No readings to evaluate."));
        for (const double base : {0.0, -5.0, qQNaN(), qInf(), 2e6})
            QTest::addRow("base length %g", base)
                << Input{1, 5, 1, {}, base} << Status::BadBaseLength << QList<qint32>{}
                << "The base length must be a number of millimetres above 0 and at most 1000000.";
    }
    void refused()
    {
        QFETCH(Input, input);
        QFETCH(Status, status);
        QFETCH(QList<qint32>, lines);
        QFETCH(QString, said);
        const Lines table({"1", "..........", "2", "table filled.", "3", "324000", "-90:00:00"});
        for (const bool reverse : {false, true}) {
            input.reverse = reverse;
            const Straightness s = Straightness::evaluate(table, input);
            QCOMPARE(s.status(), status);
            QCOMPARE(QList<qint32>(s.refused().begin(), s.refused().end()), lines);
            QVERIFY2(s.message().startsWith(said), qPrintable(s.message()));
            QCOMPARE(s.stations().empty(), !s.done());
        }
    }

    // What the report lists of the inputs (the lines taken, the axis, the direction) and of refused lines.
    void listedForTheReport()
    {
        // Many refused lines: the first five named, the rest counted.
        const Straightness many = Straightness::evaluate(Lines(QStringList(40, ".")), {1, 99, 1, {}, 100});
        QVERIFY2(many.message().startsWith("Lines 1, 2, 3, 4, 5 and 35 more have"),
                 qPrintable(many.message()));

        const Lines table(texts({1, 2, 3}));
        const auto listed = [&](const Input& in) {
            QStringList out;
            for (const QStringList& row : Straightness::evaluate(table, in).inputRows())
                out << row.value(1);
            return out.join('|');
        };
        QCOMPARE(listed({2, 2, 2, {}, 50, true}), QString("Y|50.000|last station first|2|1|2"));
        QCOMPARE(listed({1, 9, 1, {}, 100}), QString("X|100.000|first station first|1 .. 3|3|4"));
        QCOMPARE(listed({3, 2, 1, {}, 100}), QString("X|100.000|first station first|none|0|0"));
    }
};

QTEST_GUILESS_MAIN(TestStraightness)
#include "test_straightness.moc"
