// Surface plates: known surfaces through both evaluations, a hand-worked Union Jack, the minimum zone
// against brute force, line files, the uncertainty, and tarnolux-plate.
#include "analysis/flatness.h"
#include "analysis/platefiles.h"
#include "analysis/plateuncertainty.h"
#include "support/handplate.h"
#include "support/tables.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {
using Surface = std::function<double(double, double)>;
using F = Flatness::Figure;
const double Pi = 4.0 * std::atan(1.0);

// Readings of a surface (µm over mm): the angle of each step, plus an offset of each line's own.
PlateReadings readingsOf(const PlateGeometry& g, const Surface& z, double offset = 0)
{
    PlateReadings readings;
    for (const PlateGeometry::Line& line : g.lines()) {
        std::vector<double> r;
        const double own = offset * static_cast<double>(readings.lines.size() % 3 + 1);
        for (int j = 1; j <= line.readings; ++j) {
            const double step = z(line.x(j), line.y(j)) - z(line.x(j - 1), line.y(j - 1));
            r.push_back(std::atan(step / (line.base * 1000)) * 648000 / Pi + own);
        }
        readings.lines.push_back(r);
    }
    return readings;
}

const std::vector<std::vector<double>> HandHeights{
    {1.063858204, 1.063858204, 1.535012413, 1.063858204, 0.121549786, 0.121549786, 1.063858204},
    {0.592703995, 0.121549786, 0.121549786, 1.063858204, 1.535012413, 0.592703995, 0.592703995},
    {0.592703995, 0.686934837, 1.265979360, 0.875396520, 0.000000000, 1.063858204},
    {0.592703995, 0.264941717, 0.906806801, 1.063858204},
    {1.063858204, 1.745329252, 1.457172938, 1.169016624, 1.365673991, 0.592703995},
    {1.063858204, 0.098783999, 0.103337157, 0.592703995},
    {1.548671885, 1.451709149, 0.869932732, 1.257783676, 1.160820940, 1.063858204},
    {1.185061624, 1.265863904, 0.861852504, 1.427468465}};

void writeFile(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray lines(const std::vector<double>& values, const char* end)
{
    QByteArray text = QByteArray("# readings, arcsec") + end + end;
    for (const double v : values)
        text += QByteArray::number(v, 'g', 17) + end;
    return text;
}

QStringList runTool(const QStringList& args, int* status)
{
    QProcess tool;
    tool.start(QStringLiteral(TARNOLUX_PLATE_TOOL), args);
    tool.waitForFinished(60000);
    *status = tool.exitCode();
    return QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError())
        .split(QLatin1Char('\n'));
}
} // namespace
Q_DECLARE_METATYPE(Surface)
Q_DECLARE_METATYPE(PlateGeometry)

class TestFlatness : public QObject {
    Q_OBJECT
private slots:
    // A plane is flat whatever its tilt and the lines' offsets; a spherical bowl and a twist over a plate
    // symmetric about its centre keep a level reference, so every figure is the corners' height over the
    // centre. Rows and columns alone cannot see a twist.
    void knownSurfaces_data()
    {
        columns<PlateGeometry, Surface, double>("geometry", "surface", "flatness");
        const Surface plane = [](double x, double y) { return 0.004 * x - 0.011 * y + 3; };
        const auto bowl = [](double cx, double cy) {
            return Surface([cx, cy](double x, double y) {
                const double r = 5e9; // µm
                return r - std::sqrt(r * r - 1e6 * ((x - cx) * (x - cx) + (y - cy) * (y - cy)));
            });
        };
        const auto sagitta = [](double half) { return 5e9 - std::sqrt(25e18 - 1e6 * half * half); };
        const auto twist = [](double cx, double cy) {
            return Surface([cx, cy](double x, double y) { return 2e-5 * (x - cx) * (y - cy) + 1e-3 * x; });
        };
        const PlateGeometry even = PlateGeometry::unionJack(6, 4, 8, 100, 0);
        const PlateGeometry odd = PlateGeometry::unionJack(5, 3, 6, 100, 0);
        const PlateGeometry grid = PlateGeometry::grid(5, 7, 50, 40);
        row("plane, even steps", even, plane, 0.0);
        row("plane, odd steps", odd, plane, 0.0);
        row("plane, grid", grid, plane, 0.0);
        row("bowl, even steps", even, bowl(300, 200), sagitta(std::hypot(300, 200)));
        row("bowl, grid", grid, bowl(150, 80), sagitta(std::hypot(150, 80)));
        row("twist, even steps", even, twist(300, 200), 2 * 2e-5 * 300 * 200);
        row("twist, grid", grid, twist(150, 80), 0.0);
    }
    void knownSurfaces()
    {
        QFETCH(PlateGeometry, geometry);
        QFETCH(Surface, surface);
        QFETCH(double, flatness);
        const Flatness f = Flatness::evaluate(geometry, readingsOf(geometry, surface, 7.5));
        QVERIFY2(f.done(), qPrintable(f.problem()));
        for (const F figure : {F::LeastSquaresPlane, F::MinimumZone})
            QVERIFY2(std::abs(f.figure(figure) - flatness) < 1e-5, qPrintable(Flatness::name(figure)));
        QCOMPARE(std::isnan(f.figure(F::Classic)), geometry.kind() == PlateGeometry::Kind::Grid);
        // Odd lines take the mean at their middle: exact for a plane only.
        if (geometry.kind() == PlateGeometry::Kind::UnionJack &&
            (geometry.lines()[0].readings % 2 == 0 || flatness == 0)) {
            QVERIFY(std::abs(f.figure(F::Classic) - flatness) < 1e-5);
            QVERIFY(std::abs(f.classic().closureEastWest()) < 1e-6);
        }
        for (const auto& line : f.residuals()) {
            for (const double r : line)
                QVERIFY(std::abs(r) < 1e-6);
        }
        QVERIFY(!f.closures().empty());
        for (const Flatness::Closure& c : f.closures())
            QVERIFY(std::abs(c.um) < 1e-6);
        QVERIFY(f.minimumZone().width() <= f.leastSquaresPlane().width() + 1e-12);
    }

    // On noise-free readings of any surface the two evaluations differ by a plane only.
    void leastSquaresAgainstClassic()
    {
        const PlateGeometry g = PlateGeometry::unionJack(8, 6, 10, 75, 0);
        const Surface bumpy = [](double x, double y) {
            return 2 * std::exp(-((x - 200) * (x - 200) + (y - 300) * (y - 300)) / 4e4) + 3e-6 * x * y -
                   0.01 * y;
        };
        const Flatness f = Flatness::evaluate(g, readingsOf(g, bumpy, -4));
        QVERIFY(f.done() && f.classic().done());
        const auto d = [&](int line, int station) {
            return f.classic().lines()[size_t(line)][size_t(station)].height - f.height(line, station);
        };
        // Through the corners SW, SE and NW.
        const double sw = d(PlateGeometry::SE_SW, 8), se = d(PlateGeometry::SE_SW, 0),
                     nw = d(PlateGeometry::NW_SW, 0);
        for (int l = 0; l < 8; ++l) {
            const PlateGeometry::Line& line = g.lines()[size_t(l)];
            for (int j = 0; j <= line.readings; ++j) {
                const double plane =
                    sw + line.x(j) / g.length() * (se - sw) + line.y(j) / g.width() * (nw - sw);
                QVERIFY2(std::abs(d(l, j) - plane) < 1e-5, qPrintable(line.name + QString::number(j)));
            }
        }
        QVERIFY(f.figure(F::Classic) > 1.5);
    }

    // One reading off by 5 arcsec stands out among the residuals of a grid (the line's offset and its
    // neighbours take up part of it); the reading's deviation follows.
    void singleFault_data()
    {
        columns<int, int>("line", "reading");
        row("row 3, reading 2", 2, 1);
        row("row 5, reading 4", 4, 3);
        row("column 4, last reading", 9, 5);
    }
    void singleFault()
    {
        QFETCH(int, line);
        QFETCH(int, reading);
        const PlateGeometry g = PlateGeometry::grid(7, 6, 50, 50);
        PlateReadings r = readingsOf(
            g, [](double x, double y) { return 1e-5 * x * x + 0.002 * y; }, 3);
        r.lines[size_t(line)][size_t(reading)] += 5;
        const Flatness f = Flatness::evaluate(g, r);
        QCOMPARE(f.degreesOfFreedom(), (7 - 2) * (6 - 2));
        double largest = 0;
        for (size_t l = 0; l < f.residuals().size(); ++l) {
            for (size_t i = 0; i < f.residuals()[l].size(); ++i) {
                if (l != size_t(line) || i != size_t(reading))
                    largest = std::max(largest, std::abs(f.residuals()[l][i]));
            }
        }
        QVERIFY(std::abs(f.residuals()[size_t(line)][size_t(reading)]) > 1.5 * largest);
        QVERIFY(f.readingSd() > 0.5 && f.readingSd() < 5);
        // The faulty line misses the stations it shares after the fault.
        QVERIFY(std::any_of(f.closures().begin(), f.closures().end(), [&](const Flatness::Closure& c) {
            return c.line == line && std::abs(c.um) > 0.1;
        }));
    }

    void handWorkedClassic()
    {
        const PlateGeometry g = PlateGeometry::unionJack(5, 3, 6, 100, 0);
        const Flatness f = Flatness::evaluate(g, {HandReadings, {}});
        QVERIFY(f.done() && f.classic().done());
        for (size_t l = 0; l < HandHeights.size(); ++l) {
            for (size_t j = 0; j < HandHeights[l].size(); ++j)
                QVERIFY2(std::abs(f.classic().lines()[l][j].height - HandHeights[l][j]) < 1e-9,
                         qPrintable(g.lines()[l].name + QString::number(j)));
        }
        QVERIFY(std::abs(f.classic().closureEastWest() - -0.962797626) < 1e-9);
        QVERIFY(std::abs(f.classic().closureNorthSouth() - -0.114373684) < 1e-9);
        QVERIFY(std::abs(f.figure(F::Classic) - 1.745329252) < 1e-9);
        // Odd lines tie their middles: 2 degrees of freedom, as the classic has two closures.
        QCOMPARE(f.degreesOfFreedom(), 2);
        // NE-SE, station 2: reading 2, displacement 2 - 0, running sum 0 + 2, 2 arcsec over 100 mm.
        const QStringList row = f.classic().tableRows(PlateGeometry::NE_SE).at(2);
        QCOMPARE(row.mid(0, 4), (QStringList{"2", "2", "2", "2"}));
        QVERIFY(std::abs(row[4].toDouble() - 0.969627362) < 1e-9 &&
                std::abs(row[7].toDouble() - 0.906806801) < 1e-9);
    }

    // The narrowest zone of random sets against every plane that two pairs of points fix.
    void minimumZone_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 12; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void minimumZone()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const int n = seed <= 8 ? 5 + int(seed % 5) : 20 + 5 * int(seed % 4); // more than one programme takes
        std::vector<double> x, y, z;
        for (int i = 0; i < n; ++i) {
            x.push_back(random.bounded(1000.0));
            y.push_back(random.bounded(600.0));
            z.push_back(random.bounded(10.0) + 0.01 * x.back());
        }
        const auto width = [&](double a, double b) {
            double lo = 1e300, hi = -1e300;
            for (int i = 0; i < n; ++i) {
                lo = std::min(lo, z[size_t(i)] - a * x[size_t(i)] - b * y[size_t(i)]);
                hi = std::max(hi, z[size_t(i)] - a * x[size_t(i)] - b * y[size_t(i)]);
            }
            return hi - lo;
        };
        double best = 1e300;
        for (int i = 0; i < n; ++i)
            for (int k = i + 1; k < n; ++k)
                for (int j = 0; j < n; ++j)
                    for (int l = j + 1; l < n; ++l) {
                        const double a1 = x[size_t(i)] - x[size_t(k)], b1 = y[size_t(i)] - y[size_t(k)],
                                     c1 = z[size_t(i)] - z[size_t(k)];
                        const double a2 = x[size_t(j)] - x[size_t(l)], b2 = y[size_t(j)] - y[size_t(l)],
                                     c2 = z[size_t(j)] - z[size_t(l)];
                        const double det = a1 * b2 - a2 * b1;
                        if (std::abs(det) > 1e-9)
                            best =
                                std::min(best, width((c1 * b2 - c2 * b1) / det, (a1 * c2 - a2 * c1) / det));
                    }
        PlaneZone zone(x, y);
        QVERIFY(std::abs(zone.minimumZone(z).width() - best) < 1e-9);
        QVERIFY(zone.leastSquares(z).width() >= best - 1e-9);
    }

    void lineFile_data()
    {
        columns<QByteArray, QList<double>, QString>("text", "readings", "error");
        row("LF, comments, blanks", QByteArray("# NW-SE\n\n 1.5\n-2\n\t# x\n3e-1\n"),
            QList<double>{1.5, -2, 0.3}, QString());
        row("CR LF", QByteArray("1\r\n\r\n2\r\n"), QList<double>{1, 2}, QString());
        row("CR, no end", QByteArray("1\r# c\r2"), QList<double>{1, 2}, QString());
        row("comma", QByteArray("1\r\n# c\r\n1,5\r\n"), QList<double>{},
            QString("f.txt:3: not a reading in arcsec: \"1,5\""));
        row("number and text", QByteArray("\n\n7 arcsec\n"), QList<double>{}, QString("f.txt:3: "));
        row("not finite", QByteArray("inf\n"), QList<double>{}, QString("f.txt:1: "));
        row("no readings", QByteArray("# only\n\n"), QList<double>{}, QString("f.txt:2: no readings"));
    }
    void lineFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<double>, readings);
        QFETCH(QString, error);
        QString message;
        const auto read = PlateFiles::parse(text, QStringLiteral("f.txt"), &message);
        QCOMPARE(read.has_value(), error.isEmpty());
        QVERIFY2(message.startsWith(error), qPrintable(message));
        if (read)
            QCOMPARE(QList<double>(read->begin(), read->end()), readings);
    }

    // Written, read back, and a grid folder missing a file or with a line too short.
    void folders()
    {
        QTemporaryDir dir;
        const PlateGeometry g = PlateGeometry::unionJack(5, 3, 6, 100, 0);
        QString error;
        QVERIFY(PlateFiles::write(dir.filePath("uj"), g, {HandReadings, {}}, &error));
        const auto back = PlateFiles::readUnionJack(dir.filePath("uj"), 100, 0, &error);
        QVERIFY2(back, qPrintable(error));
        QCOMPARE(back->readings.lines, HandReadings);
        QVERIFY(
            !PlateFiles::readUnionJack(dir.filePath("uj"), 100, 90, &error)); // diagonals miss the corners
        writeFile(dir.filePath("uj/SE-SW.txt"), "1\n2\n");
        QVERIFY(!PlateFiles::readUnionJack(dir.filePath("uj"), 100, 0, &error));
        QVERIFY2(error.startsWith(dir.filePath("uj/SE-SW.txt:0: 2 readings")), qPrintable(error));
        const PlateGeometry grid = PlateGeometry::grid(3, 4, 20, 20);
        PlateReadings r = readingsOf(grid, [](double x, double) { return x; });
        QVERIFY(PlateFiles::write(dir.filePath("g"), grid, r, &error));
        QCOMPARE(PlateFiles::readGrid(dir.filePath("g"), 20, 20, &error)->geometry.readingCount(), 17);
        writeFile(dir.filePath("g/col-2.txt"), "1\n");
        QVERIFY(!PlateFiles::readGrid(dir.filePath("g"), 20, 20, &error));
        QVERIFY2(error.contains("col-2.txt:0: 1 readings, 2 expected"), qPrintable(error));
        QVERIFY(QFile::remove(dir.filePath("g/row-2.txt")));
        QVERIFY(!PlateFiles::readGrid(dir.filePath("g"), 20, 20, &error));
        QVERIFY2(error.contains("row-2.txt:0: cannot be read"), qPrintable(error));
    }

    // Draws scaled by two double the spread of a figure that is linear in them; one base length shared by
    // every line scales the figure by its own relative uncertainty.
    void uncertainty()
    {
        PlateUncertainty::Input in;
        in.geometry = PlateGeometry::unionJack(6, 4, 8, 100, 0);
        in.readings = readingsOf(in.geometry, [](double x, double y) {
            return 2e-5 * ((x - 300) * (x - 300) + (y - 200) * (y - 200));
        });
        in.trials = 2000;
        in.baseLengthUncertainty = 0;
        const PlateUncertainty::Result one = PlateUncertainty::compute(in);
        in.angleUncertaintyA = 0.2;
        const PlateUncertainty::Result two = PlateUncertainty::compute(in);
        QVERIFY(one.done && two.done);
        for (const F figure : Flatness::Figures)
            QVERIFY(std::abs(two.expanded(figure) / one.expanded(figure) - 2) < 0.02);
        // Using every reading lowers the uncertainty.
        QVERIFY(one.u[size_t(F::LeastSquaresPlane)] < one.u[size_t(F::Classic)]);
        // A reading's own scatter adds to the instrument's as its square; none at all leaves no spread.
        in.angleUncertaintyA = 0;
        for (const auto& line : in.readings.lines)
            in.readings.scatter.emplace_back(line.size(), 0.2);
        const PlateUncertainty::Result scatter = PlateUncertainty::compute(in);
        for (const F figure : Flatness::Figures)
            QVERIFY(std::abs(scatter.u[size_t(figure)] / two.u[size_t(figure)] - 1) < 1e-9);
        in.readings.scatter.clear();
        QCOMPARE(PlateUncertainty::compute(in).u, (std::array<double, 3>{0, 0, 0}));

        in.geometry = PlateGeometry::grid(5, 5, 50, 50);
        in.readings = readingsOf(in.geometry, [](double x, double y) {
            return 1e-4 * ((x - 100) * (x - 100) + (y - 100) * (y - 100));
        });
        in.angleUncertaintyA = 0;
        in.baseLengthUncertainty = 0.1;
        const PlateUncertainty::Result base = PlateUncertainty::compute(in);
        const Flatness f = Flatness::evaluate(in.geometry, in.readings);
        QVERIFY(std::abs(base.u[size_t(F::MinimumZone)] / (f.figure(F::MinimumZone) * 0.1 / 50) - 1) < 0.05);
        QVERIFY(std::isnan(base.u[size_t(F::Classic)]));
        // Each height about the plane scales likewise.
        for (const size_t p : {0, 6, 12, 24}) {
            const PlateGeometry::Point& at = in.geometry.points()[p];
            const double about = f.heights()[p] - f.leastSquaresPlane().at(at.x, at.y);
            QVERIFY(std::abs(base.height[p] - std::abs(about) * 0.1 / 50) < 1e-4);
        }

        // Grade AA of a 1000 mm diagonal: 2.6 µm; the rule with U.
        PlateUncertainty::Judgement judge;
        judge.grade = PlateUncertainty::Grade::A;
        QCOMPARE(PlateUncertainty::tolerance(PlateUncertainty::Grade::AA, 1000), 2.6);
        QCOMPARE(judge.toleranceFor(PlateGeometry::unionJackForPlate(800, 600, 100, 0)), 5.2);
        QCOMPARE(PlateUncertainty::verdict(f, base, judge),
                 Conformity::Verdict::Conforms); // 2 µm, U 0.008 µm; A for a 283 mm diagonal: 2.26 µm
        judge.tolerance = f.figure(F::MinimumZone);
        QCOMPARE(PlateUncertainty::verdict(f, base, judge), Conformity::Verdict::NoDecision);
    }

    // The tool on the hand-worked Union Jack (written with every kind of line end) and on a grid.
    void tool()
    {
        QTemporaryDir dir;
        const QStringList names = PlateGeometry::unionJackNames();
        const char* ends[] = {"\n", "\r\n", "\r"};
        for (int l = 0; l < 8; ++l)
            writeFile(dir.filePath(names[l] + ".txt"), lines(HandReadings[size_t(l)], ends[l % 3]));
        int status = -1;
        QStringList out = runTool({"union-jack", dir.path(), "--base", "100"}, &status);
        QCOMPARE(status, 0);
        QCOMPARE(out.size(), 1 + 44 + 1 + 7 + 1);
        QCOMPARE(out[0], "line,station,x_mm,y_mm,classic_um,least_squares_um");
        const QStringList se1 = out[1 + 7 + 7 + 6 + 4 + 1].split(',');
        QCOMPARE(se1.mid(0, 4), (QStringList{"SE-SW", "1", "400", "0"}));
        QVERIFY(std::abs(se1[4].toDouble() - 1.745329252) < 1e-9);
        QCOMPARE(out[45], QString());
        QCOMPARE(out[46], "figure,value_um");
        QVERIFY(out[47].startsWith("flatness_classic,1.74532925"));
        QVERIFY(out[50].startsWith("closure_E-W,-0.96279762"));
        QVERIFY(out[52].startsWith("reading_sd_arcsec,"));

        writeFile(dir.filePath("E-W.txt"), "1\n# two\n2.5.1\n");
        out = runTool({"union-jack", dir.path(), "--base", "100"}, &status);
        QCOMPARE(status, 2);
        QCOMPARE(out.join('\n').trimmed(),
                 "tarnolux-plate: " + dir.filePath("E-W.txt") + ":3: not a reading in arcsec: \"2.5.1\"");
        QCOMPARE((runTool({"grid", dir.path(), "--base", "100"}, &status), status), 2);

        const PlateGeometry grid = PlateGeometry::grid(3, 4, 25, 20);
        QString error;
        QVERIFY(PlateFiles::write(dir.filePath("g"), grid,
                                  readingsOf(
                                      grid, [](double x, double y) { return 0.01 * x + y; }, 2),
                                  &error));
        out = runTool({"grid", dir.filePath("g"), "--row-base", "25", "--col-base", "20"}, &status);
        QCOMPARE(status, 0);
        QCOMPARE(out.size(), 1 + 3 * 4 + 4 * 3 + 1 + 7 + 1);
        QCOMPARE(out[1].section(',', 0, 4), "row-1,0,0,0,");
        QCOMPARE(out[27], "flatness_classic,");
        QVERIFY(std::abs(out[28].section(',', 1).toDouble()) < 1e-6);
    }
};

QTEST_GUILESS_MAIN(TestFlatness)
#include "test_flatness.moc"
