// The Flatness page on a folder of line files measured over a spherical bowl: its figures against the
// bowl's sagitta, the uncertainty awaited, the certificate read back, and a bad file named with its line;
// tarnolux-plate prints what the page shows.
#include "analysiswindow/flatnesspage.h"
#include "settings/settingvalues.h"
#include "support/control.h"
#include "support/handplate.h"
#include "support/tables.h"
#include "widgets/filedialog.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {
constexpr double Radius = 5e9; // µm: a bowl 13 µm deep over the plate's half diagonal
double bowl(double x, double y)
{
    const double r2 = 1e6 * ((x - 300) * (x - 300) + (y - 200) * (y - 200));
    return Radius - std::sqrt(Radius * Radius - r2);
}

void writeLines(const QString& folder, const QString& name, const std::vector<double>& readings)
{
    QDir().mkpath(folder);
    QFile file(QDir(folder).filePath(name + ".txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (const double r : readings)
        file.write(QByteArray::number(r, 'g', 17) + '\n');
}

// The page shows value (csv text) to the decimals it shows: the numbers of text in order; "-" or nothing
// where the tool prints nothing.
void sameAsShown(const QString& csv, const QString& text, int index, const QString& what)
{
    QList<double> numbers;
    for (const auto& m : QRegularExpression(QStringLiteral("-?[0-9]+(\\.[0-9]+)?")).globalMatch(text))
        numbers << m.captured().toDouble();
    if (csv.isEmpty()) {
        QVERIFY2(numbers.isEmpty(), qPrintable(what + ": " + text));
        return;
    }
    QVERIFY2(index < numbers.size(), qPrintable(what + ": " + text));
    QVERIFY2(QString::number(csv.toDouble(), 'f', 3).toDouble() == numbers[index],
             qPrintable(what + ": " + csv + " vs " + text));
}
} // namespace

class TestFlatnessPage : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    // A 600 x 400 mm Union Jack, 100 mm steps along edges and centre lines, 8 steps on each diagonal.
    void writeBowl(const QString& folder)
    {
        struct L {
            const char* name;
            double x0, y0, x1, y1;
            int n;
        };
        const L lines[] = {{"NW-SE", 0, 400, 600, 0, 8},   {"NE-SW", 600, 400, 0, 0, 8},
                           {"NE-NW", 600, 400, 0, 400, 6}, {"NE-SE", 600, 400, 600, 0, 4},
                           {"SE-SW", 600, 0, 0, 0, 6},     {"NW-SW", 0, 400, 0, 0, 4},
                           {"E-W", 600, 200, 0, 200, 6},   {"N-S", 300, 400, 300, 0, 4}};
        QDir().mkpath(folder);
        for (const L& l : lines) {
            QFile file(QDir(folder).filePath(QString::fromLatin1(l.name) + ".txt"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            const double base = std::hypot(l.x1 - l.x0, l.y1 - l.y0) / l.n;
            file.write("# bowl\r\n");
            for (int i = 1; i <= l.n; ++i) {
                const auto h = [&](int s) {
                    return bowl(l.x0 + (l.x1 - l.x0) * s / l.n, l.y0 + (l.y1 - l.y0) * s / l.n);
                };
                const double arcsec = std::atan((h(i) - h(i - 1)) * 1e-3 / base) * 648000 / M_PI;
                file.write(QByteArray::number(arcsec, 'g', 12) + "\r\n");
            }
        }
    }
    QString certificate(FlatnessPage& page)
    {
        const QString pdf = m_dir.filePath("certificate.pdf");
        FileDialog::setChooser([pdf](FileDialog::Kind, const QString&) { return pdf; });
        control<QPushButton>(page, "ButtonCertificate")->click();
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        text.waitForFinished();
        const QStringList pages = QString::fromUtf8(text.readAll()).split('\f', Qt::SkipEmptyParts);
        for (int i = 0; i < pages.size(); ++i) {
            if (!pages[i].contains(QStringLiteral("Page %1 of %2").arg(i + 1).arg(pages.size())))
                return {};
        }
        return pages.size() >= 2 ? pages.join(QString()) : QString();
    }
    static double shown(FlatnessPage& page, int figure)
    {
        const QString text =
            control<QLabel>(page, qPrintable(QStringLiteral("LabelFlatness%1").arg(figure)))->text();
        return QRegularExpression(QStringLiteral(": ([0-9.]+) ")).match(text).captured(1).toDouble();
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("settings"));
    }

    // The inputs come back from the store; a base length out of range reads as its default.
    void inputsKeptInTheStore()
    {
        {
            FlatnessPage page;
            control<QDoubleSpinBox>(page, "SpinPlateSecondBase")->setValue(87.5);
            control<QDoubleSpinBox>(page, "SpinPlateUA")->setValue(0.25);
            control<QDoubleSpinBox>(page, "SpinPlateWidth")->setValue(630);
            control<QDoubleSpinBox>(page, "SpinPlateTemperature")->setValue(-5.5);
            control<QLineEdit>(page, "EditPlateInstrumentSerial")->setText("SN 17");
            page.storeInputs();
        }
        SettingValues::writeText(SettingKeys::PlateBase, QStringLiteral("-4"));
        FlatnessPage page;
        page.restoreInputs();
        QCOMPARE(control<QDoubleSpinBox>(page, "SpinPlateSecondBase")->value(), 87.5);
        QCOMPARE(control<QDoubleSpinBox>(page, "SpinPlateUA")->value(), 0.25);
        QCOMPARE(control<QDoubleSpinBox>(page, "SpinPlateBase")->value(), 100.0);
        QCOMPARE(control<QDoubleSpinBox>(page, "SpinPlateWidth")->value(), 630.0);
        QCOMPARE(control<QDoubleSpinBox>(page, "SpinPlateTemperature")->value(), -5.5);
        QCOMPARE(control<QLineEdit>(page, "EditPlateInstrumentSerial")->text(), "SN 17");
        SettingValues::writeText(SettingKeys::PlateTemperature, QStringLiteral("warm"));
        page.restoreInputs();
        QCOMPARE(control<QDoubleSpinBox>(page, "SpinPlateTemperature")->text(), "not stated");
    }

    void bowlFiguresUncertaintyAndCertificate()
    {
        const QString folder = m_dir.filePath("bowl");
        writeBowl(folder);
        FlatnessPage page;
        PlateJobData job{
            "GP 7", "granite, 700 x 500",       "", "ORVELAN 2", "A-4411", 20, 700, 500, "", 0.1, 0, 0.01,
            20,     PlateUncertainty::Grade::AA};
        page.setJobData(job);
        QSignalSpy ready(&page, &FlatnessPage::uncertaintyReady);
        FileDialog::setChooser([folder](FileDialog::Kind, const QString&) { return folder; });
        control<QPushButton>(page, "ButtonOpenLines")->click();
        QVERIFY2(page.flatness().has_value(), qPrintable(control<QLabel>(page, "LabelPlateMessage")->text()));
        const double sagitta = bowl(0, 0);
        QVERIFY(sagitta > 12 && sagitta < 14);
        for (int f = 0; f < 3; ++f) {
            QVERIFY2(std::abs(shown(page, f) - sagitta) < 0.002, qPrintable(QString::number(shown(page, f))));
            QVERIFY(control<QLabel>(page, qPrintable(QStringLiteral("LabelFlatness%1").arg(f)))
                        ->text()
                        .contains(QStringLiteral("computing")));
        }
        QVERIFY(ready.wait(60000));
        QStringList u;
        for (int f = 0; f < 3; ++f) {
            const QString label =
                control<QLabel>(page, qPrintable(QStringLiteral("LabelFlatness%1").arg(f)))->text();
            u << QRegularExpression(QStringLiteral("U = ([0-9.]+) ")).match(label).captured(1);
            QVERIFY2(u.last().toDouble() > 0.01 && u.last().toDouble() < 1, qPrintable(label));
        }
        QVERIFY(control<QLabel>(page, "LabelPlateVerdict")->text().endsWith(QStringLiteral(": conforms")));

        const QString all = certificate(page);
        const QString figure = QString::number(sagitta, 'f', 3);
        const QStringList names{"Classic", "Least-squares plane", "Minimum zone"};
        for (int f = 0; f < 3; ++f)
            QVERIFY2(QRegularExpression(QStringLiteral("%1 +%2 +%3")
                                            .arg(names[f], figure, QString::number(u[f].toDouble(), 'f', 3)))
                         .match(all)
                         .hasMatch(),
                     qPrintable(names[f]));
        QVERIFY(all.contains(QStringLiteral("Verdict (Minimum zone)")) &&
                all.contains(QStringLiteral("conforms")));
        QVERIFY(all.contains(QStringLiteral("Checked by")));
        const auto rows = [](const QString& text, const QStringList& expected) {
            for (int i = 0; i < expected.size(); i += 2)
                QVERIFY2(QRegularExpression(QRegularExpression::escape(expected[i]) + " {2,}" +
                                            QRegularExpression::escape(expected[i + 1]) + "\n")
                             .match(text)
                             .hasMatch(),
                         qPrintable(expected[i]));
        };
        rows(all, {"Object", "GP 7", "Description", "granite, 700 x 500", "Instrument", "ORVELAN 2",
                   "Serial number", "A-4411", "Plate size", "700 x 500 mm", "Temperature", "20.0 \u00b0C"});

        // Without a tolerance the grade's follows the plate's diagonal; a size not given is the measured one.
        job.tolerance = job.temperature = PlateJobData::NaN;
        job.plateWidth = 0;
        page.setJobData(job);
        QVERIFY(
            control<QLabel>(page, "LabelPlateVerdict")->text().contains(QStringLiteral("tolerance 2.04 ")));
        rows(certificate(page), {"Plate size", "700 x 400 mm", "Temperature", "not stated"});
        FileDialog::setChooser({});
    }

    // tarnolux-plate on a folder and the page on the same folder: every station's heights and every figure.
    void toolPrintsWhatThePageShows_data()
    {
        columns<QStringList, int>("args", "kind");
        const QString folder = m_dir.filePath("hand");
        for (int l = 0; l < 8; ++l)
            writeLines(folder, PlateGeometry::unionJackNames()[l], HandReadings[size_t(l)]);
        row("hand-worked Union Jack", QStringList{"union-jack", folder, "--base", "100"}, 0);
        const QString grid = m_dir.filePath("grid");
        const std::vector<std::vector<double>> rowReadings{{1.5, -0.5, 2}, {0.3, 1.1, -0.7}, {2, 0, 1}};
        const std::vector<std::vector<double>> colReadings{{1, -1}, {0.5, 0.2}, {-0.3, 1.4}, {2.2, 0.1}};
        for (int i = 0; i < 3; ++i)
            writeLines(grid, QStringLiteral("row-%1").arg(i + 1), rowReadings[size_t(i)]);
        for (int j = 0; j < 4; ++j)
            writeLines(grid, QStringLiteral("col-%1").arg(j + 1), colReadings[size_t(j)]);
        row("grid of 3 x 4", QStringList{"grid", grid, "--row-base", "25", "--col-base", "20"}, 1);
    }
    void toolPrintsWhatThePageShows()
    {
        QFETCH(QStringList, args);
        QFETCH(int, kind);
        QProcess tool;
        tool.start(QStringLiteral(TARNOLUX_PLATE_TOOL), args);
        QVERIFY(tool.waitForFinished(60000) && tool.exitCode() == 0);
        const QStringList csv = QString::fromUtf8(tool.readAllStandardOutput()).trimmed().split('\n');
        const qsizetype gap = csv.indexOf(QString());
        QVERIFY(gap > 1 && csv.size() == gap + 8);

        FlatnessPage page;
        control<QComboBox>(page, "ComboPlateKind")->setCurrentIndex(kind);
        control<QDoubleSpinBox>(page, "SpinPlateBase")->setValue(args[3].toDouble());
        control<QDoubleSpinBox>(page, "SpinPlateSecondBase")->setValue(kind ? args[5].toDouble() : 0);
        QVERIFY(page.openFolder(args[1]));
        auto* lineBox = control<QComboBox>(page, "ComboPlateLine");
        auto* table = control<QTableWidget>(page, "TablePlateLine");
        QStringList lines;
        for (qsizetype r = 1; r < gap; ++r) {
            const QStringList cells = csv[r].split(',');
            if (!lines.contains(cells[0]))
                lines << cells[0];
            lineBox->setCurrentIndex(static_cast<int>(lines.size()) - 1);
            const int station = cells[1].toInt();
            QVERIFY(station < table->rowCount());
            // A Union Jack's columns end with the classic and the least-squares heights and the residual; a
            // grid's with the height and the residual.
            const int last = table->columnCount() - 2;
            const QString where = cells[0] + ' ' + cells[1];
            sameAsShown(cells[5], table->item(station, last)->text(), 0, where);
            sameAsShown(cells[4], kind ? QString() : table->item(station, last - 1)->text(), 0, where);
        }
        QCOMPARE(lines.size(), lineBox->count());
        const char* const shown[][2] = {
            {"flatness_classic", "LabelFlatness0"},      {"flatness_least_squares_plane", "LabelFlatness1"},
            {"flatness_minimum_zone", "LabelFlatness2"}, {"closure_E-W", "LabelPlateClosureErrors"},
            {"closure_N-S", "LabelPlateClosureErrors"},  {"reading_sd_arcsec", "LabelPlateSd"}};
        for (int i = 0; i < 6; ++i) {
            const QStringList cells = csv[gap + 2 + i].split(',');
            QCOMPARE(cells[0], shown[i][0]);
            sameAsShown(cells[1], control<QLabel>(page, shown[i][1])->text(), i == 4, cells[0]);
        }
    }

    void badFileNamesItsLine()
    {
        const QString folder = m_dir.filePath("bad");
        writeBowl(folder);
        QFile file(QDir(folder).filePath("N-S.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("1.5\n# note\n2,5\n");
        file.close();
        FlatnessPage page;
        QVERIFY(!page.openFolder(folder));
        const QString message = control<QLabel>(page, "LabelPlateMessage")->text();
        QVERIFY2(message.contains(QStringLiteral("N-S.txt:3")), qPrintable(message));
        QVERIFY(!page.flatness().has_value());
        QVERIFY(!control<QPushButton>(page, "ButtonCertificate")->isEnabled());
    }
};

QTEST_MAIN(TestFlatnessPage)
#include "test_flatnesspage.moc"
