// The analysis figures from table lines: readings of texts and records, statistics, following lines.
#include "analysis/csvexport.h"
#include "analysis/statistics.h"
#include "analysis/trendseries.h"
#include "state/anglemanager.h"
#include "support/tables.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <memory>
#include <vector>

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();

// Lines given as "x text|y text|record": record "-" none, a unit code (angles unknown), or "=x;y" angles.
// TOBAR lines: "value text|unit text|record", record "-" or "=mm" / "=inch value\"".
struct Lines : TableLines {
    std::vector<QStringList> cells;
    std::vector<std::unique_ptr<LineRecord>> records;

    explicit Lines(const QStringList& lines = {})
    {
        for (const QString& line : lines)
            append(line);
    }
    void append(const QString& text)
    {
        const QStringList parts = text.split('|');
        cells.push_back({QString::number(cells.size() + 1), parts.value(0), parts.value(1)});
        const QString r = parts.value(2, QStringLiteral("-"));
        std::unique_ptr<LineRecord> record;
        if (r != QLatin1String("-")) {
            record = std::make_unique<LineRecord>();
            if (r.startsWith('=')) {
                const QStringList xy = r.mid(1).split(';');
                record->unit = AngleUnit::Arcsec;
                record->x = xy.value(0).toDouble();
                record->y = xy.value(1, QStringLiteral("nan")).toDouble();
                record->inch = r.endsWith('"');
                if (record->inch)
                    record->x = r.mid(1).chopped(1).toDouble();
            } else {
                record->unit = static_cast<AngleUnit>(r.toInt());
            }
        }
        records.push_back(std::move(record));
    }
    qint32 count() const override { return static_cast<qint32>(cells.size()); }
    QStringView text(qint32 line, qint32 col) const override { return cells[size_t(line - 1)][col]; }
    const LineRecord* record(qint32 line) const override { return records[size_t(line - 1)].get(); }
};

// A series' figures as the page shows them: valid|skipped|mean|sd|min|max|range|uncertainty.
QString series(const TableStatistics& s, int column)
{
    QStringList out;
    const QList<QStringList> rows = s.rows();
    for (int r = 1; r < rows.size(); ++r)
        out << rows[r].value(column);
    return out.join('|');
}

// Values as texts, so that NaN (a gap) compares equal to NaN.
QString texts(const QVector<double>& values)
{
    QStringList out;
    for (const double v : values)
        out << QString::number(v, 'g', 12);
    return out.join('|');
}

bool same(const RunningStats& a, const RunningStats& b)
{
    const auto eq = [](double u, double v) {
        return (std::isnan(u) && std::isnan(v)) || std::abs(u - v) < 1e-9;
    };
    return a.count() == b.count() && eq(a.mean(), b.mean()) &&
           eq(a.standardDeviation(), b.standardDeviation()) && eq(a.minimum(), b.minimum()) &&
           eq(a.maximum(), b.maximum());
}
} // namespace

class TestAnalysis : public QObject {
    Q_OBJECT
private slots:
    // Fields with a separator, a quote or a line break are quoted, their quotes doubled; a failed write says
    // so.
    void csvRows()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("rows.csv");
        QVERIFY(CsvExport::writeRows({{"a,b", "say \"hi\"", "two\nlines", "cr\r", "plain"}, {"x"}}, path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray(CsvExport::Bom) +
                                     "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\",plain\r\nx\r\n");
        QVERIFY(!CsvExport::writeRows({{"x"}}, dir.path()));
    }

    void readings_data()
    {
        columns<QString, int, double>("text", "unit", "arcsec"); // NaN: not a reading
        row("arcsec", "12.345", 0, 12.345);
        row("comma", "-1,5", 0, -1.5);
        row("blanks and plus", "  +2.5 ", 0, 2.5);
        row("degree", "0.001000", 1, 3.6);
        row("mrad", "1", 3, 206.264806);
        row("micro per metre", "4.8", 4, 0.990071);
        row("deg-min-sec", " 1:02:03.45", 2, 3723.45);
        row("deg-min-sec negative, comma", "-0:00:01,50", 0, -1.5);
        row("number in deg-min-sec unit: degrees", "7.5", 2, 27000.0);
        row("placeholder", "..........", 0, NaN);
        row("out of range", "............", 1, NaN);
        row("marker", "table filled.", 0, NaN);
        row("empty", "", 0, NaN);
        row("minutes past 59", "0:60:00", 2, NaN);
        row("seconds negative", "0:01:-5", 2, NaN);
        row("infinity", "inf", 0, NaN);
        row("two points", "1.2.3", 0, NaN);
        row("exponent", "1e3", 0, 1000.0);
        row("letters", "12abc", 0, NaN);
        row("deg-min-sec with plus", "+0:01:00", 2, 60.0);
        row("three colons", "1:02:03:04", 2, NaN);
        row("minutes not digits", "1:x2:03", 2, NaN);
        row("degrees too long", "1234567890123:00:00", 2, NaN);
        row("seconds 60", "0:00:60", 2, NaN);
        row("seconds with plus", "0:00:+5", 2, NaN);
        row("past a double", "1e400", 0, NaN);
        row("longer than a number", QString(70, '1'), 0, NaN);
    }
    void readings()
    {
        QFETCH(QString, text);
        QFETCH(int, unit);
        QFETCH(double, arcsec);
        const auto value = Readings::angleText(text, static_cast<AngleUnit>(unit));
        QCOMPARE(value.has_value(), !std::isnan(arcsec));
        if (value)
            QVERIFY2(std::abs(*value - arcsec) < 1e-6, qPrintable(QString::number(*value, 'g', 12)));
    }

    void figures_data()
    {
        columns<QStringList, int, bool, QString, QString>("lines", "unit", "tobar", "x", "y");
        row("one line: no deviation", QStringList{"1.5|2|-"}, 0, false, "1|0|1.5000||1.5000|1.5000|0.0000|",
            "1|0|2.0000||2.0000|2.0000|0.0000|");
        row("all invalid", QStringList{"..........|..........|=nan;nan", "table filled.||-"}, 0, false,
            "0|2||||||", "0|2||||||");
        row("hand-computed", QStringList{"1|4|-", "2|3|-", "3|2|-", "4|1|-"}, 0, false,
            "4|0|2.5000|1.2910|1.0000|4.0000|3.0000|0.6455", "4|0|2.5000|1.2910|1.0000|4.0000|3.0000|0.6455");
        row("records win over texts", QStringList{"9|9|=2;-1", "9|9|=4;-3"}, 0, false,
            "2|0|3.0000|1.4142|2.0000|4.0000|2.0000|1.0000",
            "2|0|-2.0000|1.4142|-3.0000|-1.0000|2.0000|1.0000");
        row("mixed units, shown in degree",
            QStringList{"0.001000|0|1", "3.6|0|0", "0.0174533|0|3", "0.001|0|-"}, 1, false,
            "4|0|0.0010000|0.0000000|0.0010000|0.0010000|0.0000000|0.0000000",
            "4|0|0.0000000|0.0000000|0.0000000|0.0000000|0.0000000|0.0000000");
        row("deg-min-sec and comma texts", QStringList{" 0:00:01.50|0|-", "-0:00:00,50|0|-", "0:00:01,5|0|-"},
            2, false, "3|0|0:00:00.833|0:00:01.155|-0:00:00.500|0:00:01.500|0:00:02.000|0:00:00.667",
            "3|0|0:00:00.000|0:00:00.000|0:00:00.000|0:00:00.000|0:00:00.000|0:00:00.000");
        row("TOBAR in mm and inch", QStringList{"12.5mm|mm|-", "0.5\"|\"|-", "Go|mm|-"}, 0, true,
            "2|1|12.6000|0.1414|12.5000|12.7000|0.2000|0.1000", "");
        row("TOBAR all inch", QStringList{"1\"|\"|=1\"", "2|\"|-"}, 0, true,
            "2|0|1.50000|0.70711|1.00000|2.00000|1.00000|0.50000", "");
    }
    void figures()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, unit);
        QFETCH(bool, tobar);
        const Lines table(lines);
        TableStatistics s;
        s.update(table, {&table, 1, table.count(), tobar, static_cast<AngleUnit>(unit)});
        QFETCH(QString, x);
        QFETCH(QString, y);
        QCOMPARE(series(s, 1), x);
        QCOMPARE(series(s, 2), y.isEmpty() ? QString("|||||||") : y); // a TOBAR table has one series
    }

    void selectionAndCopy()
    {
        const Lines table({"1|1|-", "10|0|-", "20|0|-", "2|1|-"});
        TableStatistics s;
        s.update(table, {&table, 2, 3, false, AngleUnit::Arcsec});
        QCOMPARE(series(s, 1), QString("2|0|15.0000|7.0711|10.0000|20.0000|10.0000|5.0000"));
        QCOMPARE(s.tabSeparated().section('\n', 0, 1),
                 QString("\tX [arcsec]\tY [arcsec]\nValid lines\t2\t2"));
        QCOMPARE(s.tabSeparated().count('\n'), 9);
    }

    // Readings close together far from zero lose nothing to the running sums.
    void stableFarFromZero()
    {
        RunningStats s;
        const int n = 100000;
        for (int i = 0; i < n; ++i)
            s.add(i % 2 ? 100000.002 : 100000.000);
        QVERIFY(std::abs(s.mean() - 100000.001) < 1e-9);
        const double expected = 0.001 * std::sqrt(double(n) / (n - 1));
        QVERIFY2(std::abs(s.standardDeviation() - expected) < 1e-9,
                 qPrintable(QString::number(s.standardDeviation())));
        QVERIFY(std::abs(s.uncertainty() - expected / std::sqrt(double(n))) < 1e-12);
    }

    // Lines arriving, a line written cell by cell, lines deleted: always the figures of a fresh count.
    void followsTheLines()
    {
        Lines table;
        TableStatistics live;
        QRandomGenerator random(7);
        const auto check = [&](qint32 changedFrom) {
            live.update(table, {&table, 1, table.count(), false, AngleUnit::Arcsec}, changedFrom);
            TableStatistics fresh;
            fresh.update(table, {&table, 1, table.count(), false, AngleUnit::Arcsec});
            return same(live.x().stats, fresh.x().stats) && live.x().skipped == fresh.x().skipped &&
                   same(live.y().stats, fresh.y().stats);
        };
        for (int step = 0; step < 200; ++step) {
            const qint32 before = table.count();
            const int added = random.bounded(4);
            for (int i = 0; i < added; ++i)
                table.append(QString("%1|%2|=%1;%2").arg(random.bounded(1000) / 7.0).arg(-step));
            QVERIFY(check(added ? before + 1 : TableStatistics::NoChange));
            if (step % 10 == 3 && table.count() > 0) {
                // A readout line counted while empty, then given its values.
                table.append("||-");
                QVERIFY(check(table.count()));
                table.cells.back() = QStringList{"", "5", "6"};
                QVERIFY(check(table.count()));
            }
            if (step % 25 == 24) {
                table.cells.erase(table.cells.begin() + 1);
                table.records.erase(table.records.begin() + 1);
                QVERIFY(check(2));
            }
        }
        QVERIFY(live.counted() == table.count() && live.x().stats.count() > 200);
    }

    // What the trend plot draws: values in the unit less the zero, gaps for invalid values and pauses, at
    // most two points per column, one stored-line mark per column.
    void trendSeries()
    {
        MeasurementLog log;
        for (qint64 t : {0, 10, 20, 30, 5000})
            log.appendAnglesAt(t, t == 20 ? NaN : 3600.0 + t, -t);
        for (int i = 0; i < 50; ++i)
            log.markStoredAt(5000);
        TrendSeries::Request r{0, 5000, 100, false, AngleUnit::Degree, 3600.0, 0, false};
        TrendSeries::Series points = TrendSeries::build(log, r);
        QCOMPARE(texts(points.x), texts({0, 10 / 3600.0, NaN, 30 / 3600.0, NaN, 5000 / 3600.0}));
        QCOMPARE(points.y.size(), 6);
        QCOMPARE(points.keys[4], (log.startMsecsSinceEpoch() + 31) / 1000.0); // the pause, drawn as a gap
        QCOMPARE(points.marks.size(), 1);
        QVERIFY(!points.columns);

        // Dense: each of 4 columns a stroke from its smallest to its largest value; an invalid one a gap.
        for (qint64 t = 5001; t < 9000; ++t)
            log.appendAnglesAt(t, t >= 7000 && t < 8000 ? NaN : t, 0);
        r = {5000, 8999, 4, false, AngleUnit::Arcsec, 0, 0, false};
        const TrendSeries::Series columns = TrendSeries::build(log, r);
        QVERIFY(columns.columns);
        QCOMPARE(texts(columns.x), texts({5001, 8600, 6000, 6999, NaN, NaN, 8000, 8999})); // 5000 from before

        // Readings in batches 200 ms apart leave columns without values: bridged; a longer pause is a gap.
        for (qint64 t = 10000; t <= 11000; t += t == 10400 ? 400 : 200)
            for (int i = 0; i < 10; ++i)
                log.appendAnglesAt(t, 1.0, 1.0);
        r = {10000, 11000, 20, false, AngleUnit::Arcsec, 0, 0, false};
        const TrendSeries::Series batches = TrendSeries::build(log, r);
        QVERIFY(batches.columns);
        QCOMPARE(texts(batches.x),
                 texts(QVector<double>(6, 1.0) + QVector<double>(14, NaN) + QVector<double>(4, 1.0)));
    }
};

QTEST_GUILESS_MAIN(TestAnalysis)
#include "test_analysis.moc"
