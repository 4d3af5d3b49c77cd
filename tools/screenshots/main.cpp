// Renders every window into PNG files: the main window in both layouts with a few table lines and live
// values (the README's pictures), the connection window, the options dialog, the about box and the
// analysis window's pages.
// tarnolux-screenshots <folder>. Runs on a settings store of its own; port 1 names no device.
#include "analysis/guidedrun.h"
#include "analysis/measurementlog.h"
#include "analysis/platefiles.h"
#include "analysiswindow/analysiswindow.h"
#include "analysiswindow/flatnesspage.h"
#include "analysiswindow/runjobform.h"
#include "analysiswindow/straightnesspage.h"
#include "analysiswindow/straightnessreport.h"
#include "analysiswindow/trendpage.h"
#include "connection/formcom.h"
#include "dialogs/formoptions.h"
#include "dialogs/frmabout.h"
#include "link/link.h"
#include "mainwindow/formmain.h"
#include "mainwindow/tableviews.h"
#include "sim/instrumentmodel.h"
#include "state/appstate.h"
#include "tables/tables.h"
#include "widgets/flexgrid.h"
#include "widgets/messagebox.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>

#include <qcustomplot.h>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarnolux-screenshots <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir settings;
    if (!settings.isValid() || !QDir().mkpath(folder))
        return 1;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    qputenv("XDG_DATA_HOME", settings.path().toLocal8Bit()); // recovery copies of the tables left behind
    MessageBox::setHandler([](QWidget*, const QString&) {}); // a failed poll of the absent port
    qputenv("TARNOLUX_COM1", settings.filePath(QStringLiteral("no-device")).toLocal8Bit());
    const auto save = [&folder](QWidget& window, const char* name) {
        return window.grab().toImage().save(folder + QLatin1Char('/') + QLatin1String(name) + ".png");
    };

    AppState s;
    Link link(s);
    Tables tables(s);
    tables.follow(link);
    FormMain w(s, link, tables);
    w.show();
    w.displayTick(); // the first tick lays the window out
    s.options.showTable = true;
    w.setWindowHeight(7000);
    s.link.conStatus = 1;
    s.link.angleStatus = 3;
    for (int i = 0; i < 4; ++i) {
        s.link.angleX = 12.5 + i;
        s.link.angleY = -3.25 * i;
        tables.XY2Table(LineRecord::Source::RemoteControl);
    }
    w.displayTick();
    // The buttons a text-mode link shows after "Connection".
    w.findChild<QPushButton*>(QStringLiteral("CommandLoadFromOrv"))->setVisible(true);
    w.findChild<QPushButton*>(QStringLiteral("CommMean"))->setVisible(true);
    QCoreApplication::processEvents(); // the grid learns of new lines once per event-loop turn
    bool saved = save(w, "orvelan");
    link.load();
    saved = save(w.connection(), "connection") && saved;
    saved = save(w.options(), "options") && saved;
    frmAbout about(&w);
    saved = save(about, "about") && saved;

    // Repeated readings with a little scatter, for the statistics page (loading the connection window
    // tried the absent port).
    s.link.conStatus = 1;
    s.link.angleStatus = 3;
    for (int i = 0; i < 16; ++i) {
        s.link.angleX = 12.48 + 0.013 * ((i * 7) % 5);
        s.link.angleY = -3.31 + 0.009 * ((i * 3) % 4);
        tables.XY2Table(LineRecord::Source::RemoteControl);
    }
    w.tableViews().currentGrid()->setRow(5); // the repeated readings selected
    w.tableViews().currentGrid()->setRowSel(20);
    w.analysis().showPage(AnalysisWindow::Statistics);
    w.displayTick();
    QCoreApplication::processEvents();
    saved = save(w.analysis(), "statistics") && saved;

    // Five minutes of the simulator's drifting angles at line rate, with an invalid stretch and a few
    // stored lines, for the trend page.
    MeasurementLog& log = link.log();
    for (qint64 t = 0; t <= 300000; t += 10) {
        const InstrumentModel::AnglePair a = InstrumentModel::driftAt(t);
        const bool invalid = t > 150000 && t < 165000;
        log.appendAnglesAt(t, invalid ? MeasurementLog::NoValue : a.x,
                           invalid ? MeasurementLog::NoValue : a.y);
        if (t % 40000 == 20000)
            log.markStoredAt(t);
    }
    auto* trend = w.analysis().findChild<TrendPage*>(QStringLiteral("TrendPage"));
    trend->findChild<QComboBox*>(QStringLiteral("ComboSpan"))->setCurrentIndex(1);
    w.analysis().showPage(AnalysisWindow::Trend);
    w.displayTick();
    QCoreApplication::processEvents();
    trend->showCursor(trend->findChild<QCustomPlot*>(QStringLiteral("plot"))->axisRect()->center());
    saved = save(w.analysis(), "trend") && saved;

    // A guideway measured in 12 steps of 100 mm, for the straightness page and its report.
    w.findChild<QPushButton*>(QStringLiteral("CommandClearGrid"))->click();
    const double readings[] = {1.2, 0.8, 0.9, 0.3, -0.2, 0.1, -0.6, -0.4, -1.1, -0.7, -1.3, -0.9};
    for (const double r : readings) {
        s.link.angleX = r;
        s.link.angleY = 0.1 * r;
        tables.XY2Table(LineRecord::Source::RemoteControl);
    }
    w.analysis().showPage(AnalysisWindow::Straightness);
    w.displayTick();
    QCoreApplication::processEvents();
    saved = save(w.analysis(), "straightness") && saved;
    const auto& page = *w.analysis().findChild<StraightnessPage*>(QStringLiteral("StraightnessPage"));
    QCustomPlot* plot = page.findChild<QCustomPlot*>(QStringLiteral("plot"));
    QImage report(1240, 1754, QImage::Format_RGB32); // an A4 page at 150 dpi
    report.fill(Qt::white);
    {
        QPainter painter(&report);
        StraightnessReport{
            page.result(), page.reference(), AngleUnit::Arcsec, 1, QString(), QDateTime::currentDateTime(),
            plot}
            .paint(painter, report.width(), report.height(), 0);
    }
    saved = report.save(folder + QStringLiteral("/report.png")) && saved;

    // A guided run at its fourth station, the reading halfway settled, for the run page.
    StraightnessJob job;
    job.objectId = QStringLiteral("GW-0417");
    job.objectDescription = QStringLiteral("Machine bed, front guideway");
    job.operatorName = QStringLiteral("A. Keller");
    job.instrumentType = QStringLiteral("ORVELAN HR");
    job.instrumentSerial = QStringLiteral("40213");
    job.tolerance = 5;
    job.readings = 12;
    w.analysis().findChild<RunJobForm*>(QStringLiteral("RunJob"))->setJob(job);
    w.findChild<QAction*>(QStringLiteral("ActionStraightnessRun"))->trigger();
    w.analysis().findChild<QPushButton*>(QStringLiteral("RunStart"))->click();
    GuidedRun& run = w.analysis().guidedRun();
    qint64 at = QDateTime::currentMSecsSinceEpoch();
    const double stations[] = {1.2, 0.4, 1.1, -0.3};
    for (int station = 0; station < 4; ++station) {
        for (int i = 0; i < (station < 3 ? 50 : 20); ++i, at += 50)
            run.addReading(stations[station] + 0.02 * (i % 3), 0.1 * stations[station], 3, at);
    }
    QEventLoop flash; // the cue of the last stored station fades first
    QTimer::singleShot(400, &flash, &QEventLoop::quit);
    flash.exec();
    w.displayTick();
    saved = save(w.analysis(), "straightness-run") && saved;

    // A Union Jack job on its third line, for the plate's guidance.
    run.cancel();
    for (int n = 1; n <= Tables::Count; ++n) // a line per table
        tables.table(n).clear();
    tables.setCurrent(1);
    job.objectId = QStringLiteral("SP-1000-0311");
    job.objectDescription = QStringLiteral("Granite surface plate 1000 x 630");
    job.plate = PlatePlan{};
    job.plate->grade = PlateUncertainty::Grade::A;
    w.analysis().findChild<RunJobForm*>(QStringLiteral("RunJob"))->setJob(job);
    w.analysis().findChild<QPushButton*>(QStringLiteral("RunStart"))->click();
    for (int station = 0; station < 25; ++station) {
        for (int i = 0; i < (station < 24 ? 50 : 20); ++i, at += 50)
            run.addReading((station % 2 ? 1.5 : -1.5) + 0.02 * (i % 3), 0.2, 3, at);
    }
    QTimer::singleShot(400, &flash, &QEventLoop::quit);
    flash.exec();
    w.displayTick();
    saved = save(w.analysis(), "plate-run") && saved;
    run.cancel();

    // A 1000 x 625 mm plate, slightly hollow and twisted, for the flatness page and its certificate.
    const PlateGeometry plate = PlateGeometry::unionJack(8, 5, 10, 125, 0);
    PlateReadings lines;
    for (const PlateGeometry::Line& line : plate.lines()) {
        const auto h = [&line](int station) {
            const double x = line.x(station) - 500, y = line.y(station) - 312.5;
            return 4e-6 * (x * x + y * y) + 6e-6 * x * y + 0.15 * std::sin(0.02 * (x + 2 * y));
        };
        lines.lines.emplace_back();
        for (int i = 1; i <= line.readings; ++i)
            lines.lines.back().push_back(std::atan((h(i) - h(i - 1)) * 1e-3 / line.base) * 648000 / M_PI);
    }
    const QString plateFolder = settings.filePath(QStringLiteral("plate"));
    auto* flatness = w.analysis().findChild<FlatnessPage*>(QStringLiteral("FlatnessPage"));
    job.temperature = 20.2;
    job.tolerance = StraightnessJob::NaN; // judged by the grade
    job.plate->grade = PlateUncertainty::Grade::AA;
    flatness->setJobData(PlateJobData::fromJob(job));
    flatness->findChild<QDoubleSpinBox*>(QStringLiteral("SpinPlateBase"))->setValue(125);
    QEventLoop uncertainty;
    QObject::connect(flatness, &FlatnessPage::uncertaintyReady, &uncertainty, &QEventLoop::quit);
    if (PlateFiles::write(plateFolder, plate, lines, nullptr) && flatness->openFolder(plateFolder))
        uncertainty.exec();
    w.analysis().showPage(AnalysisWindow::Flatness);
    QCoreApplication::processEvents();
    saved = save(w.analysis(), "flatness") && saved;
    QImage certificate(1240, 1754, QImage::Format_RGB32);
    certificate.fill(Qt::white);
    {
        QPainter painter(&certificate);
        flatness->paintCertificate(painter, certificate.width(), certificate.height(), 0);
    }
    saved = certificate.save(folder + QStringLiteral("/certificate.png")) && saved;
    w.analysis().hide();

    s.options.modeTobar = true;
    s.link.portNum = 0; // not connected: the TOBAR poll goes nowhere
    w.displayTick();
    w.findChild<QPushButton*>(QStringLiteral("CommMean"))->setVisible(false);
    s.link.portNum = 1;
    s.link.portMode = LinkMode::Text;
    s.link.tobarValue = QStringLiteral("12.345");
    s.link.tobarStatus = 112;
    w.displayTick();
    saved = save(w, "tobar") && saved;
    w.close();
    if (!saved) {
        std::fprintf(stderr, "could not write the pictures into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
