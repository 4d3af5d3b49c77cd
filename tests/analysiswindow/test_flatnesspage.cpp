// The Flatness page on a folder of line files measured over a spherical bowl: its figures against the
// bowl's sagitta, the uncertainty awaited, the certificate read back, and a bad file named with its line.
#include "analysiswindow/flatnesspage.h"
#include "settings/settingvalues.h"
#include "support/control.h"
#include "widgets/filedialog.h"

#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
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
            page.storeInputs();
        }
        SettingValues::writeText(SettingKeys::PlateBase, QStringLiteral("-4"));
        FlatnessPage page;
        page.restoreInputs();
        QCOMPARE(control<QDoubleSpinBox>(page, "SpinPlateSecondBase")->value(), 87.5);
        QCOMPARE(control<QDoubleSpinBox>(page, "SpinPlateUA")->value(), 0.25);
        QCOMPARE(control<QDoubleSpinBox>(page, "SpinPlateBase")->value(), 100.0);
    }

    void bowlFiguresUncertaintyAndCertificate()
    {
        const QString folder = m_dir.filePath("bowl");
        writeBowl(folder);
        FlatnessPage page;
        control<QDoubleSpinBox>(page, "SpinPlateTolerance")->setValue(20);
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

        const QString pdf = m_dir.filePath("certificate.pdf");
        FileDialog::setChooser([pdf](FileDialog::Kind, const QString&) { return pdf; });
        control<QPushButton>(page, "ButtonCertificate")->click();
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished());
        const QStringList pages = QString::fromUtf8(text.readAll()).split('\f', Qt::SkipEmptyParts);
        QVERIFY(pages.size() >= 2);
        for (int i = 0; i < pages.size(); ++i)
            QVERIFY(pages[i].contains(QStringLiteral("Page %1 of %2").arg(i + 1).arg(pages.size())));
        const QString all = pages.join(QString());
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
        FileDialog::setChooser({});
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
