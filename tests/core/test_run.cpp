// Guided straightness runs: job files, settling, the conformity decision, run evaluation against an
// independent oracle, and the Monte Carlo uncertainty against its analytic value.
#include "analysis/conformity.h"
#include "analysis/rununcertainty.h"
#include "analysis/settledetector.h"
#include "analysis/straightnessjob.h"
#include "analysis/straightnessrun.h"
#include "support/tables.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointF>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>

namespace {
using Verdict = Conformity::Verdict;
using Ref = Straightness::Reference;
const double RadPerArcsec = 4.0 * std::atan(1.0) / 648000.0;

// X texts of a table, with records where given.
struct Lines : TableLines {
    QStringList x;
    std::vector<std::optional<LineRecord>> records;
    qint32 count() const override { return qint32(x.size()); }
    QStringView text(qint32 line, qint32 col) const override
    {
        return col == 1 ? QStringView(x[line - 1]) : QStringView(u"0");
    }
    const LineRecord* record(qint32 line) const override
    {
        const auto& r = records[size_t(line - 1)];
        return r ? &*r : nullptr;
    }
    void add(double reading, quint32 job = 0, int run = 0, int station = 0)
    {
        x << QString::number(reading);
        std::optional<LineRecord> r;
        if (job) {
            r = LineRecord{};
            r->unit = AngleUnit::Arcsec;
            r->x = reading;
            r->job = job;
            r->run = quint8(run);
            r->station = station;
            r->settleSd = station / 100.0;
            r->settleCount = 20;
        }
        records.push_back(r);
    }
};

StraightnessRun::Readings readings(const QList<double>& values)
{
    return {std::vector<double>(values.begin(), values.end()), {}, {}};
}
} // namespace
Q_DECLARE_METATYPE(Verdict)

class TestRun : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }

    // Every field survives a file and the settings store; an empty object gives the defaults.
    void jobRoundTrip()
    {
        StraightnessJob job;
        job.id = 4000000000u;
        job.objectId = "GW-7 \"left\", rail";
        job.remarks = "two  spaces\nand a line";
        job.angleUncertaintyA = 0.05;
        job.angleUncertaintyB = 0.002;
        job.temperature = StraightnessJob::NaN;
        job.axis = 2;
        job.baseLength = 62.5;
        job.readings = 24;
        job.runs = StraightnessJob::Runs::Forward;
        job.tolerance = 4.5;
        job.reference = Ref::LeastSquares;
        job.settleSeconds = 1.5;
        job.forwardTable = 3;
        QTemporaryDir dir;
        QString error;
        QVERIFY(job.save(dir.filePath("job.json"), &error));
        const auto loaded = StraightnessJob::load(dir.filePath("job.json"), &error);
        QVERIFY2(loaded, qPrintable(error));
        QCOMPARE(loaded->toJson(), job.toJson());
        QVERIFY(std::isnan(loaded->temperature) && loaded->reference == Ref::LeastSquares &&
                loaded->axis == 2);
        job.rememberAsLast();
        const StraightnessJob last = StraightnessJob::last();
        QVERIFY(last.id == 0 && last.forwardTable == 0 && last.objectId == job.objectId &&
                last.remarks == job.remarks && last.tolerance == 4.5);
        const auto defaults = StraightnessJob::fromJson("{}", &error);
        QVERIFY(defaults && defaults->toJson() == StraightnessJob().toJson());
        QVERIFY(!job.save(dir.filePath("missing/job.json"), &error) && error.contains("missing"));
        QVERIFY(!StraightnessJob::load(dir.filePath("none.json"), &error));
        JobBook book;
        QSignalSpy changed(&book, &JobBook::changed);
        book.put(job);
        job.backwardTable = 4;
        book.put(job);
        QVERIFY(book.jobs().size() == 1 && book.find(job.id)->backwardTable == 4 && !book.find(1));
        QCOMPARE(changed.count(), 2);
    }

    void jobJson_data()
    {
        columns<QByteArray, QString>("json", "error"); // error: a part of the text; empty: read
        row("runs and reference",
            QByteArray(R"({"runs":"forward","reference":"end points","tolerance":null})"), QString());
        row("unknown member", QByteArray(R"({"format":1,"colour":"red"})"), QString());
        row("not JSON", QByteArray("{\"readings\":"), QString("Not a job file"));
        row("array", QByteArray("[1,2]"), QString("Not a job file"));
        row("newer format", QByteArray(R"({"format":2})"), QString("format 2"));
        row("readings a text", QByteArray(R"({"readings":"ten"})"), QString("\"readings\""));
        row("readings not whole", QByteArray(R"({"readings":2.5})"), QString("\"readings\""));
        row("runs unknown", QByteArray(R"({"runs":"sideways"})"), QString("\"runs\""));
        row("axis Z", QByteArray(R"({"axis":"Z"})"), QString("\"axis\""));
        row("tolerance a text", QByteArray(R"({"tolerance":"5"})"), QString("\"tolerance\""));
        row("negative uncertainty", QByteArray(R"({"angleUncertaintyA":-1})"), QString("angleUncertaintyA"));
        row("table 11", QByteArray(R"({"backwardTable":11})"), QString("backwardTable"));
        row("plate grid", QByteArray(R"({"plate":{"kind":"grid","rows":3,"grade":"A","lineTables":[4,2]}})"),
            QString());
        row("plate not an object", QByteArray(R"({"plate":3})"), QString("\"plate\""));
        row("plate kind unknown", QByteArray(R"({"plate":{"kind":"hexagon"}})"), QString("\"kind\""));
        row("line table 11", QByteArray(R"({"plate":{"lineTables":[1,11]}})"), QString("lineTables"));
        row("line tables a text", QByteArray(R"({"plate":{"lineTables":"1"}})"), QString("lineTables"));
    }
    void jobJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        QString text;
        const auto job = StraightnessJob::fromJson(json, &text);
        QCOMPARE(job.has_value(), error.isEmpty());
        QVERIFY2(text.contains(error), qPrintable(text));
        if (job && json.contains("grid")) {
            QVERIFY(job->plate && job->plate->kind == PlateGeometry::Kind::Grid && job->plate->rows == 3 &&
                    job->plate->cols == 5 && job->plate->grade == PlateUncertainty::Grade::A);
            QCOMPARE(job->tables(), (std::vector<int>{4, 2}));
            QCOMPARE(StraightnessJob::fromJson(job->toJson(), &text)->toJson(), job->toJson());
            job->rememberAsLast();
            QVERIFY(StraightnessJob::last().plate && StraightnessJob::last().tables().empty());
        }
        if (job && json.contains("runs"))
            QVERIFY(job->runs == StraightnessJob::Runs::Forward && job->reference == Ref::EndPoints &&
                    std::isnan(job->tolerance));
    }

    void jobProblem_data()
    {
        columns<QString, double, int, double, bool>("field", "value", "count", "lineLength", "runnable");
        row("defaults", QString(), 0.0, 10, 0.0, true);
        row("line length", QString(), 0.0, 12, 1249.0, true);
        row("base 0", QString("base"), 0.0, 10, 0.0, false);
        row("no readings", QString(), 0.0, 0, 0.0, false);
        row("full table", QString(), 0.0, 32766, 0.0, true);
        row("past a table", QString(), 0.0, 32767, 0.0, false);
        row("settle 0 s", QString("seconds"), 0.0, 10, 0.0, false);
        row("band 0", QString("band"), 0.0, 10, 0.0, false);
        row("tolerance 0", QString("tolerance"), 0.0, 10, 0.0, false);
    }
    void jobProblem()
    {
        QFETCH(QString, field);
        QFETCH(double, value);
        QFETCH(int, count);
        QFETCH(double, lineLength);
        QFETCH(bool, runnable);
        StraightnessJob job;
        job.readings = lineLength > 0 ? 5 : count;
        job.lineLength = lineLength;
        const QHash<QString, double StraightnessJob::*> fields{{"base", &StraightnessJob::baseLength},
                                                               {"seconds", &StraightnessJob::settleSeconds},
                                                               {"band", &StraightnessJob::settleBand},
                                                               {"tolerance", &StraightnessJob::tolerance}};
        if (!field.isEmpty())
            job.*fields[field] = value;
        QCOMPARE(job.readingCount(), count);
        QCOMPARE(job.problem().isEmpty(), runnable);
    }

    // A plate job's lines: how many, their readings together, and why it cannot be run.
    void platePlan_data()
    {
        columns<QByteArray, int, int, QString>("json", "lines", "readings", "problem");
        row("Union Jack of 1000 x 630 mm", QByteArray(R"({"plate":{}})"), 8, 72, QString());
        row("steps given", QByteArray(R"({"baseLength":50,"plate":{"stepsX":4,"stepsY":2}})"), 8, 26,
            QString());
        row("grid 3 x 4", QByteArray(R"({"plate":{"kind":"grid","rows":3,"cols":4}})"), 7, 17, QString());
        row("grid 6 x 6", QByteArray(R"({"plate":{"kind":"grid","rows":6,"cols":6}})"), 12, 60,
            QString("12 lines"));
        row("plate too small", QByteArray(R"({"plate":{"plateLength":150}})"), 0, 0,
            QString("two base lengths"));
    }
    void platePlan()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, lines);
        QFETCH(int, readings);
        QFETCH(QString, problem);
        const auto job = StraightnessJob::fromJson(json, nullptr);
        QVERIFY(job);
        int total = 0;
        for (const StraightnessJob::Pass& pass : job->passes())
            total += pass.readings;
        QCOMPARE(std::pair(int(job->passes().size()), total), std::pair(lines, readings));
        QVERIFY2(problem.isEmpty() ? job->problem().isEmpty() : job->problem().contains(problem),
                 qPrintable(job->problem()));
    }

    // Readings every 100 ms: (ms, arcsec), NaN for an invalid reading.
    void settle_data()
    {
        columns<double, QList<QPointF>, int, int, double>("band", "stream", "settlesAt", "count", "mean");
        const auto stream = [](int n, auto value) {
            QList<QPointF> s;
            for (int i = 0; i < n; ++i)
                s << QPointF(1000 + i * 100, value(i));
            return s;
        };
        row("steady", 0.3, stream(15, [](int) { return 5.0; }), 10, 11, 5.0);
        row("at the band", 0.3, stream(15, [](int i) { return i % 2 * 0.3; }), 10, 11, 1.5 / 11);
        row("step", 0.3, stream(20, [](int i) { return i < 6 ? 0.0 : 1.0; }), 16, 11, 1.0);
        row("invalid", 0.3, stream(20, [](int i) { return i == 5 ? NAN : 2.0; }), 16, 11, 2.0);
        QList<QPointF> back = stream(20, [](int) { return 1.0; });
        for (int i = 8; i < back.size(); ++i)
            back[i].rx() -= 1000; // the clock went back: the readings start anew
        row("time back", 0.3, back, 18, 11, 1.0);
        QRandomGenerator noise(7);
        row("noise", 0.3, stream(20000, [&](int) { return noise.bounded(1.0); }), -1, 0, 0.0);
    }
    void settle()
    {
        QFETCH(double, band);
        QFETCH(QList<QPointF>, stream);
        QFETCH(int, settlesAt);
        QFETCH(int, count);
        QFETCH(double, mean);
        SettleDetector d;
        d.setCriteria(1.0, band);
        int settled = -1;
        for (int i = 0; i < stream.size() && settled < 0; ++i) {
            const QPointF& p = stream[i];
            if (d.add(qint64(p.x()), p.y(), !std::isnan(p.y())))
                settled = i;
            else
                QVERIFY(d.progress() < 1);
        }
        QCOMPARE(settled, settlesAt);
        if (settled < 0)
            return;
        const SettleDetector::Window w = d.window();
        QCOMPARE(w.count, count);
        QCOMPARE(w.to - w.from, 1000);
        QVERIFY(std::abs(w.mean - mean) < 1e-12 && d.progress() == 1 && d.spread() <= band);
        double squares = 0;
        for (int i = settled - count + 1; i <= settled; ++i)
            squares += std::pow(stream[i].y() - mean, 2);
        QVERIFY(std::abs(w.sd - std::sqrt(squares / (count - 1))) < 1e-12);
    }

    void conformity_data()
    {
        columns<double, double, double, Verdict, QString>("deviation", "U", "tolerance", "verdict", "text");
        row("well inside", 5.0, 1.0, 10.0, Verdict::Conforms, QString("conforms"));
        row("U reaches T", 9.0, 1.0, 10.0, Verdict::Conforms, QString("conforms"));
        row("T within U", 9.5, 1.0, 10.0, Verdict::NoDecision,
            QString("no decision (within the uncertainty)"));
        row("U down to T", 11.0, 1.0, 10.0, Verdict::NoDecision,
            QString("no decision (within the uncertainty)"));
        row("well outside", 11.5, 1.0, 10.0, Verdict::DoesNotConform, QString("does not conform"));
        row("no tolerance", 1.0, 0.1, double(NAN), Verdict::None, QString());
        row("tolerance 0", 1.0, 0.1, 0.0, Verdict::None, QString());
        row("no U", 1.0, double(NAN), 10.0, Verdict::None, QString());
    }
    void conformity()
    {
        QFETCH(double, deviation);
        QFETCH(double, U);
        QFETCH(double, tolerance);
        QFETCH(Verdict, verdict);
        QFETCH(QString, text);
        QCOMPARE(Conformity::decide(deviation, U, tolerance), verdict);
        QCOMPARE(Conformity::text(verdict), text);
    }

    // Stations by record in any order (a retake's later line wins, another job's line is skipped) or by
    // place; the walk back by place runs n .. 1.
    void fromTable()
    {
        StraightnessJob job;
        job.id = 9;
        job.readings = 3;
        Lines t;
        t.add(30, 9, 1, 3);
        t.add(10, 9, 1, 1);
        t.add(99, 8, 1, 2);
        t.add(99, 9, 1, 2);
        t.add(20, 9, 1, 2);
        const auto forward = StraightnessRun::fromTable(t, job, 1, AngleUnit::Arcsec);
        QVERIFY(forward && forward->reading == std::vector<double>({10, 20, 30}));
        QVERIFY(forward->settleSd == std::vector<double>({0.01, 0.02, 0.03}));
        QVERIFY(!StraightnessRun::fromTable(t, job, 2, AngleUnit::Arcsec)); // no station of run 2
        Lines back;
        for (const double r : {3.0, 2.0, 1.0})
            back.add(r);
        const auto backward = StraightnessRun::fromTable(back, job, 2, AngleUnit::Arcsec);
        QVERIFY(backward && backward->reading == std::vector<double>({1, 2, 3}) &&
                std::isnan(backward->settleSd[0]));
        back.x[1] = "..........";
        QVERIFY(!StraightnessRun::fromTable(back, job, 2, AngleUnit::Arcsec));
    }

    // A backward run offset by c from a level forward run: the reversal grows by a step per station, the
    // mean profile is a straight line.
    void reversal()
    {
        StraightnessJob job;
        const double c = 2, step = 100e3 * std::tan(c * RadPerArcsec);
        const StraightnessRun run =
            StraightnessRun::evaluate(job, readings({0, 0, 0, 0}), readings({c, c, c, c}));
        QVERIFY(run.done() && run.backward());
        QCOMPARE(run.reversal().size(), size_t(5));
        QVERIFY(std::abs(run.reversal()[4] + 4 * step) < 1e-12 &&
                std::abs(run.reversalMax() - 4 * step) < 1e-12);
        QVERIFY(std::abs(run.reversalSd() - step * std::sqrt(5.0 / 3)) < 1e-12);
        for (const Ref r : Straightness::References)
            QVERIFY(run.mean().deviation(r) < 1e-12);
        QCOMPARE(run.stationRows().size(), 6);
        QVERIFY(!StraightnessRun::evaluate(job, readings({1, 2}), readings({1})).done());
        const StraightnessRun one = StraightnessRun::evaluate(job, readings({1, 2}), std::nullopt);
        QVERIFY(one.done() && one.reversal().empty() && std::isnan(one.reversalSd()));
    }

    void oracle_data()
    {
        columns<double, QList<double>, QList<double>>("base", "forward", "backward");
        row("bow both ways", 100.0, QList<double>{3.2, 1.1, -0.4, -2.5, -1.0, 0.6, 2.2},
            QList<double>{3.0, 1.4, -0.1, -2.9, -1.2, 0.5, 2.6});
        row("forward only", 62.5, QList<double>{-12.75, 4.5, 8.25, -3.0, 0.125}, QList<double>{});
        QRandomGenerator g(30);
        QList<double> f, b;
        for (int i = 0; i < 40; ++i) {
            f << 40 * std::sin(i / 6.0) + g.bounded(2.0);
            b << f.last() + g.bounded(0.6) - 0.3;
        }
        row("forty stations", 250.0, f, b);
    }
    void oracle()
    {
        QFETCH(double, base);
        QFETCH(QList<double>, forward);
        QFETCH(QList<double>, backward);
        QJsonObject in{
            {"baseLength", base},
            {"forward", QJsonArray::fromVariantList(QVariantList(forward.begin(), forward.end()))}};
        in.insert("backward", backward.isEmpty() ? QJsonValue()
                                                 : QJsonArray::fromVariantList(
                                                       QVariantList(backward.begin(), backward.end())));
        QProcess python;
        python.start(QStringLiteral("python3"), {QStringLiteral(TARNOLUX_ORACLE)});
        python.write(QJsonDocument(in).toJson());
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished(60000) && python.exitCode() == 0);
        const QJsonObject out = QJsonDocument::fromJson(python.readAllStandardOutput()).object();

        StraightnessJob job;
        job.baseLength = base;
        const auto bwd = backward.isEmpty() ? std::nullopt : std::optional(readings(backward));
        const StraightnessRun run = StraightnessRun::evaluate(job, readings(forward), bwd);
        QVERIFY(run.done());
        const auto near = [](double a, const QJsonValue& b) {
            return std::abs(a - b.toDouble(NAN)) <= 0.001;
        };
        const auto same = [&](const Straightness& s, const char* name) {
            const QJsonArray h = out[name].toArray();
            bool ok = h.size() == qsizetype(s.stations().size());
            for (size_t i = 0; ok && i < s.stations().size(); ++i)
                ok = near(s.stations()[i].height, h[qsizetype(i)]);
            return ok;
        };
        QVERIFY(same(run.forward(), "forward") && same(run.mean(), "mean"));
        QCOMPARE(out["backward"].isNull(), !run.backward());
        if (run.backward()) {
            QVERIFY(same(*run.backward(), "backward") && near(run.reversalSd(), out["reversalSd"]));
            for (size_t i = 0; i < run.reversal().size(); ++i)
                QVERIFY(near(run.reversal()[i], out["reversal"][qsizetype(i)]));
        }
        const QJsonObject d = out["deviations"].toObject();
        QVERIFY(near(run.mean().deviation(Ref::EndPoints), d["endPoints"]));
        QVERIFY(near(run.mean().deviation(Ref::LeastSquares), d["leastSquares"]));
        QVERIFY(near(run.mean().deviation(Ref::MinimumZone), d["minimumZone"]));
    }

    // Independent errors of u arcsec in each station's mean reading: station k's height has u = L u sqrt(k)
    // (in rad). From the instrument, halved in the mean of two runs, or from the runs' differences.
    void monteCarloAnalytic_data()
    {
        columns<bool, double, double, double>("twoRuns", "a", "difference", "u");
        row("one run", false, 0.5, 0.0, 0.5);
        row("two runs", true, 0.5, 0.0, 0.5 / std::sqrt(2));
        row("differences", true, 0.0, 1.0, std::sqrt(24.0 / 23) / 2);
    }
    void monteCarloAnalytic()
    {
        QFETCH(bool, twoRuns);
        QFETCH(double, a);
        QFETCH(double, difference);
        QFETCH(double, u);
        RunUncertainty::Input in;
        in.job.angleUncertaintyA = a;
        in.job.baseLengthUncertainty = 0;
        in.trials = 20000;
        for (int i = 0; i < 24; ++i)
            in.forward.reading.push_back(5 * std::sin(i) + difference / 2 * (i % 2 ? 1 : -1));
        if (twoRuns) {
            in.backward = in.forward;
            for (int i = 0; i < 24; ++i)
                in.backward->reading[size_t(i)] -= difference * (i % 2 ? 1 : -1);
        }
        const RunUncertainty::Result r = RunUncertainty::compute(in);
        QVERIFY(r.done && r.trials == 20000 && r.height.size() == 25 && r.height[0] == 0);
        for (const int k : {1, 4, 9, 24}) {
            const double analytic = in.job.baseLength * 1000 * u * RadPerArcsec * std::sqrt(k);
            QVERIFY2(std::abs(r.height[size_t(k)] / analytic - 1) < 0.02, qPrintable(QString::number(k)));
        }
    }

    // An offset common to every reading tilts the profile, which no deviation sees; the same seed gives
    // the same figures.
    void monteCarloOffset()
    {
        RunUncertainty::Input in;
        in.trials = 2000;
        for (int i = 0; i < 30; ++i) {
            in.forward.reading.push_back(8 * std::cos(i / 4.0));
            in.forward.settleSd.push_back(0.05);
            in.forward.settleCount.push_back(25);
        }
        in.backward = in.forward;
        in.backward->reading[7] += 0.4;
        const RunUncertainty::Result plain = RunUncertainty::compute(in);
        QVERIFY(plain.done && plain.deviation[0] > 0);
        in.commonOffset = 3;
        const RunUncertainty::Result offset = RunUncertainty::compute(in);
        QVERIFY(offset.height.back() > 2 * plain.height.back());
        for (size_t i = 0; i < 3; ++i)
            QVERIFY(std::abs(offset.deviation[i] / plain.deviation[i] - 1) < 1e-6);
        const RunUncertainty::Result again = RunUncertainty::compute(in);
        QVERIFY(again.height == offset.height && again.deviation == offset.deviation);
        in.seed += 1;
        QVERIFY(RunUncertainty::compute(in).deviation != offset.deviation);
    }

    // A newer start supersedes a running one: only its result arrives.
    void worker()
    {
        RunUncertainty::Input in;
        in.forward = readings({1, 2, 3, 2, 1});
        in.trials = 100000000;
        UncertaintyWorker w;
        QSignalSpy finished(&w, &UncertaintyWorker::finished);
        w.start(in);
        in.trials = 500;
        w.start(in);
        QVERIFY(w.busy());
        QVERIFY(finished.wait(30000));
        const auto result = finished[0][0].value<RunUncertainty::Result>();
        QVERIFY(result.trials == 500 && result.height == RunUncertainty::compute(in).height && !w.busy());
        in.trials = 100000000;
        w.start(in); // the destructor stops it
    }

private:
    QTemporaryDir m_settings;
};

QTEST_GUILESS_MAIN(TestRun)
#include "test_run.moc"
