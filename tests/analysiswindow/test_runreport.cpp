// A straightness job on the straightness page: its report's figures against the Python oracle, the verdict
// for tolerances on either side of the uncertainty, and every page numbered.
#include "analysis/straightnessjob.h"
#include "analysiswindow/straightnesspage.h"
#include "support/control.h"
#include "support/runreport.h"
#include "tables/table.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

class TestRunReport : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_messages;

    // The report written by the page's button, as the text of each page.
    QStringList report(StraightnessPage& page, const QString& name)
    {
        const QString file = m_dir.filePath(name);
        FileDialog::setChooser([file](FileDialog::Kind, const QString&) { return file; });
        control<QPushButton>(page, "CommandReport")->click();
        return RunReportText::pages(file);
    }
private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("settings"));
        MessageBox::setHandler([this](QWidget*, const QString& text) { m_messages << text; });
    }

    void jobReportMatchesTheOracle()
    {
        const int n = 40;
        StraightnessJob job;
        job.id = 7;
        job.objectId = "GW-7";
        job.readings = n;
        job.baseLength = 50;
        job.forwardTable = 1;
        job.backwardTable = 2;
        job.remarks = QString("Carriage on its own feet, guideway cleaned. ").repeated(4);
        // A bow with a kink, walked back with a small drift of its own.
        std::vector<double> readings[2]{std::vector<double>(n), std::vector<double>(n)}; // station 1 first
        Table tables[2];
        for (int run = 1; run <= 2; ++run) {
            for (int i = 1; i <= n; ++i) {
                const int k = run == 1 ? i : n + 1 - i;
                const double reading =
                    1.5 * std::sin(k * 0.15) + (k > 25 ? 0.8 : 0) + (run == 2 ? 0.02 * k : 0);
                readings[run - 1][k - 1] = reading;
                LineRecord record;
                record.unit = AngleUnit::Arcsec;
                record.x = reading;
                record.job = job.id;
                record.run = static_cast<quint8>(run);
                record.station = k;
                record.settleSd = 0.04;
                record.settleCount = 25;
                record.msecs = 1'796'000'000'000 + (run * n + i) * 10'000;
                if (run == 2 && k == 5) { // retaken: the later line holds the station
                    LineRecord first = record;
                    first.x = 99;
                    tables[1].appendLine({"x", "99"}, &first);
                }
                tables[run - 1].appendLine({QString::number(i), QString::number(reading)}, &record);
            }
        }
        const QJsonObject expected = RunReportText::oracle(job.baseLength, readings[0], readings[1]);
        QVERIFY2(!expected.isEmpty(), "the oracle gave no answer");

        JobBook book;
        book.put(job);
        StraightnessPage page;
        page.setJobs(&book);
        page.setTableSource([&tables](int number) { return number <= 2 ? &tables[number - 1] : nullptr; });
        page.follow(tables[1], 2, {1, 1}, 1, false, AngleUnit::Arcsec, QString());
        page.QWidget::show();
        QPushButton* reportButton = control<QPushButton>(page, "CommandReport");
        const QLabel* minimumZone = control<QLabel>(page, "LabelDeviation2");
        QVERIFY2(minimumZone->text().endsWith("computing\u2026"), qPrintable(minimumZone->text()));
        QVERIFY(!reportButton->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(reportButton->isEnabled(), 60000);
        QVERIFY(control<QLabel>(page, "LabelVerdict")->isHidden());

        // Heights of both runs, their mean and the reversal per station; the deviations with U; the
        // reversal figures; no verdict without a tolerance.
        const QStringList pages = report(page, "job.pdf");
        const QString all = pages.join('\n');
        QCOMPARE(RunReportText::differences(all, expected, n), QString());
        const auto minimum =
            QRegularExpression(R"(\n *Minimum zone +(\d+\.\d{3}) +(\d+\.\d{3}) *\n)").match(all);
        const double deviation = minimum.captured(1).toDouble();
        const double expanded = minimum.captured(2).toDouble();
        QVERIFY(expanded > 0);
        const auto reversal =
            QRegularExpression(R"(Reversal SD \[µm\] +(\d+\.\d{3})\s+Reversal max \[µm\] +(\d+\.\d{3}))")
                .match(all);
        QVERIFY(reversal.hasMatch());
        QCOMPARE(RunReportText::off(reversal.captured(1), expected["reversalSd"].toDouble(), "reversal SD"),
                 QString());
        double largest = 0;
        for (const QJsonValue r : expected["reversal"].toArray())
            largest = std::max(largest, std::abs(r.toDouble()));
        QCOMPARE(RunReportText::off(reversal.captured(2), largest, "reversal max"), QString());
        QVERIFY(!all.contains("Verdict"));
        QVERIFY(all.contains(QRegularExpression("Measured by +_+ +Date +_+\n+ *Checked by +_+ +Date +_+")));
        QVERIFY(pages.size() >= 2);
        for (int i = 0; i < pages.size(); ++i) {
            const QString header =
                QString("TARNOLUX straightness run report +Page %1 of %2\n *Job 7, GW-7 +\\d{4}-");
            QVERIFY2(pages[i].contains(QRegularExpression(header.arg(i + 1).arg(pages.size()))),
                     qPrintable(pages[i]));
        }

        // A tolerance beyond the deviation and its U, one short of them, and one in between.
        for (const auto& [tolerance, verdict] :
             {std::pair(deviation + expanded + 0.01, QString("conforms")),
              std::pair(deviation - expanded - 0.01, QString("does not conform")),
              std::pair(deviation, QString("no decision (within the uncertainty)"))}) {
            job.tolerance = tolerance;
            book.put(job);
            QVERIFY(reportButton->isEnabled()); // a new tolerance needs no new uncertainty
            QVERIFY(control<QLabel>(page, "LabelVerdict")->text().endsWith(": " + verdict));
            const QString text = report(page, "verdict.pdf").join('\n');
            QVERIFY2(text.contains(QRegularExpression("\n *Verdict \\(Minimum zone\\) +" +
                                                      QRegularExpression::escape(verdict) + " *\n")),
                     qPrintable(verdict));
        }
        QVERIFY(m_messages.isEmpty());
    }
};

QTEST_MAIN(TestRunReport)
#include "test_runreport.moc"
