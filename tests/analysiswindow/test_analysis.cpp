// The analysis window beside the main window: reached from the menus, following the table, remembered.
#include "support/appfixture.h"

#include "analysis/measurementlog.h"
#include "analysiswindow/analysiswindow.h"
#include "analysiswindow/figuretable.h"
#include "analysiswindow/statisticspage.h"
#include "analysiswindow/straightnesspage.h"
#include "analysiswindow/trendpage.h"
#include "link/link.h"
#include "tables/tables.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTableView>

#include <qcustomplot.h>

namespace K = SettingKeys;

class TestAnalysisWindow : public QObject {
    Q_OBJECT

    // What the right-click menu of a control offers: "text\tshortcut" per action.
    static QStringList menuOf(QWidget* control)
    {
        QStringList offered;
        QTimer::singleShot(0, control, [&offered] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (const QAction* a : menu->actions())
                    offered << a->text() + '\t' + a->shortcut().toString();
                menu->close();
            }
        });
        emit control->customContextMenuRequested(QPoint(2, 2));
        return offered;
    }
    static QString figure(const StatisticsPage& page, int row, int col = 1)
    {
        return control<FigureTable>(page, "figures")->text(row, col);
    }
    // Default names of exports carry the date and time.
    static bool namedNow(const QStringList& offered, const QString& stem)
    {
        const QString today = QDate::currentDate().toString("-yyyy-MM-dd");
        const QRegularExpression name("^" + stem + today + "_\\d\\d-\\d\\d\\.\\w+$");
        return !offered.isEmpty() && offered.filter(name).size() == offered.size();
    }
    // The text of each page of a PDF.
    static QStringList pdfPages(const QString& file)
    {
        QProcess text;
        text.start("pdftotext", {"-layout", file, "-"});
        return text.waitForFinished() ? QString::fromUtf8(text.readAll()).split('\f', Qt::SkipEmptyParts)
                                      : QStringList();
    }

    // Counts the events of one type that reach a widget.
    struct EventCounter : QObject {
        EventCounter(QObject* watched, QEvent::Type type, int& count) : m_type(type), m_count(count)
        {
            watched->installEventFilter(this);
        }
        bool eventFilter(QObject*, QEvent* event) override
        {
            m_count += event->type() == m_type;
            return false;
        }
        QEvent::Type m_type;
        int& m_count;
    };

private slots:
    void statisticsFollowTheTable()
    {
        AppFixture app;
        FormMain& w = app.start();
        AnalysisWindow& a = w.analysis();
        const StatisticsPage& page = *control<StatisticsPage>(a, "StatisticsPage");
        const TextStrip* scope = control<TextStrip>(page, "LabelScope");
        FlexGrid& grid = *w.tableViews().currentGrid();
        QVERIFY(a.isHidden());
        QWidget* const boxX = control<QWidget>(w, "TextX");
        for (QWidget* widget : {boxX, control<QWidget>(w, "TextY"), static_cast<QWidget*>(&grid)})
            QVERIFY(menuOf(widget).contains("Statistics\tCtrl+Shift+S") &&
                    menuOf(widget).contains("Publishing (MQTT)\u2026\tCtrl+Shift+M"));
        // Nothing that would edit a value the next tick rewrites.
        QCOMPARE(menuOf(boxX),
                 QStringList({"&Copy\tCtrl+C", "Select All\tCtrl+A", "\t", "Statistics\tCtrl+Shift+S",
                              "Trend\tCtrl+Shift+T", "Straightness\tCtrl+Shift+L",
                              "Straightness run\tCtrl+Shift+R", "Flatness\tCtrl+Shift+F", "\t",
                              "Publishing (MQTT)\u2026\tCtrl+Shift+M"}));
        control<QAction>(w, "ActionFlatness")->trigger();
        QVERIFY(a.isVisible() && control<QWidget>(a, "FlatnessPage")->isVisible() && !page.isVisible());
        control<QAction>(w, "ActionStatistics")->trigger();
        QVERIFY(a.isVisible() && a.windowTitle() == "TARNOLUX analysis" && page.isVisible());
        QCOMPARE(scope->text(), QString("Table 1 holds no lines"));

        // Storing every message: at each display tick the figures hold every line stored so far, and the
        // window is not laid out again for them (that repaints it whole).
        app.openLine(true);
        int ticks = 0, behind = 0, layouts = 0;
        EventCounter counter(control<QTabWidget>(a, "tabs"), QEvent::LayoutRequest, layouts);
        QObject::connect(control<QTimer>(w, "TimerDisplay"), &QTimer::timeout, &a, [&] {
            ++ticks;
            behind += figure(page, 1) != QString::number(grid.Rows() - 1);
        });
        control<QLineEdit>(w, "TextTimer")->setText("1");
        control<QPushButton>(w, "CommandStart")->click();
        QTRY_VERIFY(grid.Rows() > 30 && ticks > 3);
        control<QPushButton>(w, "CommandStop")->click();
        QCOMPARE(behind, 0);
        QCOMPARE(layouts, 0);
        QCOMPARE(figure(page, 2) + '|' + figure(page, 3) + '|' + figure(page, 3, 2) + '|' + figure(page, 4) +
                     '|' + figure(page, 8, 0),
                 QString("0|12.5000|-3.2500|0.0000|Standard uncertainty of the mean (type A)"));

        // Another unit: the same figures in it, with one decimal more than the live values.
        control<QRadioButton>(w, "OptionMrad")->click();
        QTRY_COMPARE(figure(page, 0) + '|' + figure(page, 3), QString("X [mrad]|0.06060"));

        // A selection, then deleting it: the figures of the selected lines, then of what is left.
        grid.setRow(2);
        grid.setRowSel(4);
        QTRY_COMPARE(scope->text(), QString("Table 1, selected lines 2 to 4"));
        QCOMPARE(figure(page, 1), QString("3"));
        control<QPushButton>(w, "CommandDelete")->click();
        const qint32 left = grid.Rows() - 1;
        grid.setRow(3); // one line alone: the whole table, and the scope line says so
        grid.setRowSel(3);
        const QString whole = QString("Table 1, lines 1 to %1 (the whole table: line 3 alone is selected)");
        QTRY_COMPARE(scope->text(), whole.arg(left));
        QCOMPARE(figure(page, 1), QString::number(left));

        control<QPushButton>(page, "CommandCopy")->click();
        const QString copied = QGuiApplication::clipboard()->text();
        const QString stamp = '\t' + QDate::currentDate().toString("yyyy-MM-dd") + " \\d\\d:\\d\\d:\\d\\d\n";
        // The scope line and the time, then the figures.
        QVERIFY2(
            copied.contains(QRegularExpression("^" + QRegularExpression::escape(whole.arg(left)) + stamp)),
            qPrintable(copied));
        QVERIFY(copied.section('\n', 1).startsWith(
            QString("\tX [mrad]\tY [mrad]\nValid lines\t%1\t%1\n").arg(left)));
    }

    // The trend follows the newest point until the operator pans; values as the main window shows them;
    // the span exported as CSV and as the picture drawn.
    void trendFollowsPansAndExports()
    {
        // Away from UTC, so that the time labels show whether the offset was applied, and its sign.
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "TST-5:45");
        const auto restoreZone =
            qScopeGuard([&zone] { zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone); });
        AppFixture app;
        FormMain& w = app.start();
        MeasurementLog& log = app.link->log();
        const qint64 now = log.now();
        for (qint64 t = now - 9000; t <= now; t += 100)
            log.appendAnglesAt(t, 7200.0, -36.0);
        control<QAction>(w, "ActionTrend")->trigger();
        TrendPage& trend = *control<TrendPage>(w.analysis(), "TrendPage");
        QCustomPlot* plot = control<QCustomPlot>(trend, "plot");
        QVERIFY(trend.isVisible() && trend.following());
        control<QRadioButton>(w, "OptionDegree")->click();
        app.state->angles.zeroX = 3600.0;
        w.displayTick();
        QCPGraph* x = plot->graph(0);
        QCOMPARE(x->data()->size(), 91);
        QCOMPARE((x->data()->constEnd() - 1)->value, 1.0); // (7200 - 3600) arcsec in degrees
        QCOMPARE(trend.shownTo() - trend.shownFrom(), TrendPage::Spans[0]);
        QVERIFY(trend.shownTo() >= now);
        plot->replot();
        const QVector<double> ticks = plot->xAxis->tickVector();
        QVERIFY(!ticks.isEmpty());
        for (int i = 0; i < ticks.size(); ++i)
            QCOMPARE(plot->xAxis->tickVectorLabels().value(i),
                     QDateTime::fromMSecsSinceEpoch(qint64(ticks[i] * 1000)).toString("hh:mm:ss"));

        // Panning stops following; "Follow" returns to the newest point.
        plot->xAxis->moveRange(-60);
        QVERIFY(!trend.following() && control<QPushButton>(trend, "CommandFollow")->isEnabled());
        const qint64 panned = trend.shownTo();
        log.appendAnglesAt(log.now() + 500, 0, 0);
        w.displayTick();
        QCOMPARE(trend.shownTo(), panned);
        control<QPushButton>(trend, "CommandFollow")->click();
        QVERIFY(trend.following() && trend.shownTo() >= log.lastTime(MeasurementLog::Kind::Angles));

        app.chosen = app.files.filePath("span.csv");
        control<QPushButton>(trend, "CommandCsv")->click();
        const QList<QByteArray> rows = AppFixture::readFile(app.chosen).split('\n');
        QVERIFY(rows.first().endsWith("time,x,y,unit\r") && rows.size() > 90);
        QVERIFY2(rows[1].endsWith(",1,-0.01,degree\r"), rows[1]);
        // The legend above the plot area; the picture at its own size whatever the window's, with a title
        // line; the date on the time axis; the plot on screen as before.
        plot->replot();
        QVERIFY(!plot->legend->outerRect().intersects(plot->axisRect()->outerRect()));
        const QString today = QDateTime::currentDateTime().toString("yyyy-MM-dd");
        QCOMPARE(plot->xAxis->label(), "Time (" + today + ")");
        const int elements = plot->plotLayout()->elementCount();
        for (const auto& [size, file] : {std::pair(1, "span.png"), std::pair(0, "small.png")}) {
            control<QComboBox>(trend, "ComboPngSize")->setCurrentIndex(size);
            app.chosen = app.files.filePath(file);
            control<QPushButton>(trend, "CommandPng")->click();
            const QImage picture(app.chosen);
            QCOMPARE(picture.size(), TrendPage::PngSizes[size]);
            QVERIFY2(picture.text("Title").startsWith("Trend   " + today), qPrintable(picture.text("Title")));
        }
        QCOMPARE(TrendPage::PngSizes[1], QSize(1600, 900));
        QCOMPARE(plot->plotLayout()->elementCount(), elements);
        QVERIFY2(namedNow(app.offered, "trend"), qPrintable(app.offered.join(' ')));
        app.chosen = app.files.filePath("no-such-folder/span.png");
        control<QPushButton>(trend, "CommandPng")->click();
        QCOMPARE(app.messages, QStringList{"The plot could not be written to " + app.chosen + "."});
    }

    // TOBAR values over a long span drawn as columns, their cursor readout and CSV; angles in deg-min-sec
    // labelled so; a fixed scale kept while the values move.
    void trendOfTobarValuesAndDegMinSec()
    {
        AppFixture app;
        FormMain& w = app.start();
        MeasurementLog& log = app.link->log();
        const qint64 now = log.now();
        for (qint64 t = 0; t < 3000; ++t) // an hour at 1.2 s, then a pause, then a last value in inch
            log.appendTobarAt(now - 4000000 + 1200 * t, t % 2 ? 1.5 : 2.5, false);
        log.appendTobarAt(now, 0.1, true);
        control<QAction>(w, "ActionTrend")->trigger();
        TrendPage& trend = *control<TrendPage>(w.analysis(), "TrendPage");
        QCustomPlot* plot = control<QCustomPlot>(trend, "plot");
        const QLabel* cursor = control<QLabel>(trend, "LabelCursor");
        control<QComboBox>(trend, "ComboSpan")->setCurrentIndex(3); // all
        trend.follow({true, AngleUnit::Arcsec, 0, 0});
        QVERIFY(!plot->graph(1)->visible() && plot->yAxis->label() == "inch");
        QVERIFY(plot->graph(0)->data()->size() < 3000); // min and max per column
        QCOMPARE(trend.shownFrom(), now - 4000000);
        trend.showCursor(QPoint(plot->xAxis->coordToPixel(plot->xAxis->range().upper), 10));
        QVERIFY2(cursor->text().endsWith("   0.10000 inch"), qPrintable(cursor->text()));
        app.chosen = app.files.filePath("tobar.csv");
        control<QPushButton>(trend, "CommandCsv")->click();
        const QList<QByteArray> rows = AppFixture::readFile(app.chosen).split('\n');
        QCOMPARE(rows.size(), 3003);
        QVERIFY(rows[0].endsWith("time,value,unit\r") && rows[1].endsWith(",2.5,mm\r") &&
                rows[3001].endsWith(",0.1,inch\r"));

        // Panned to the first minute, then "all" again: from the first value, still not following.
        plot->xAxis->setRange(plot->xAxis->range().lower, plot->xAxis->range().lower + 60);
        control<QComboBox>(trend, "ComboSpan")->setCurrentIndex(2);
        control<QComboBox>(trend, "ComboSpan")->setCurrentIndex(3);
        QVERIFY(!trend.following() && trend.shownFrom() == now - 4000000);

        // Angles in deg-min-sec: the value axis labels them so; a fixed scale stays where it was.
        for (qint64 t = now - 20000; t <= now; t += 100)
            log.appendAnglesAt(t, 3723.5, 10.0);
        control<QPushButton>(trend, "CommandFollow")->click();
        control<QComboBox>(trend, "ComboSpan")->setCurrentIndex(0);
        trend.follow({false, AngleUnit::DegMinSec, 0, 0});
        plot->replot();
        const QStringList labels = plot->yAxis->tickVectorLabels();
        QVERIFY(!labels.isEmpty());
        for (const QString& label : labels)
            QVERIFY2(QRegularExpression("^-?\\d+:\\d\\d:\\d\\d\\.\\d\\d$").match(label).hasMatch(),
                     qPrintable(label));
        control<QCheckBox>(trend, "CheckFixedScale")->click();
        const QCPRange fixed = plot->yAxis->range();
        log.appendAnglesAt(log.now() + 100, 90000.0, 10.0);
        trend.follow({false, AngleUnit::DegMinSec, 0, 0});
        QCOMPARE(plot->yAxis->range(), fixed);
        trend.showCursor(QPoint(plot->xAxis->coordToPixel(plot->xAxis->range().upper), 10));
        QVERIFY2(cursor->text().contains(" X "), qPrintable(cursor->text()));
        app.chosen = app.files.filePath("no-such-folder/span.csv");
        control<QPushButton>(trend, "CommandCsv")->click();
        QCOMPARE(app.messages, QStringList{"The measurements could not be written to " + app.chosen + "."});
        app.chosen.clear(); // cancelled: nothing written, nothing said
        control<QPushButton>(trend, "CommandCsv")->click();
        control<QPushButton>(trend, "CommandPng")->click();
        QCOMPARE(app.messages.size(), 1);
    }

    // The profile follows the table; a placeholder line stops it; the report and the station table written.
    void straightnessReportAndCsv()
    {
        AppFixture app;
        FormMain& w = app.start();
        app.laidOut(); // the first tick's layout would start the tables anew
        LinkState& link = app.state->link;
        link.conStatus = 1;
        link.angleStatus = 3;
        for (const double reading : {1.2, 0.8, 0.9}) {
            link.angleX = reading;
            control<QPushButton>(w, "CommandVal2Table")->click();
        }
        control<QAction>(w, "ActionStraightness")->trigger();
        StraightnessPage& page = *control<StraightnessPage>(w.analysis(), "StraightnessPage");
        QPushButton* reportButton = control<QPushButton>(page, "CommandReport");
        const QLabel* message = control<QLabel>(page, "LabelMessage");
        const QCustomPlot* plot = control<QCustomPlot>(page, "plot");
        QCOMPARE(control<QTableView>(page, "stations")->model()->rowCount(), 4);
        QTRY_VERIFY(plot->height() * 3 >= page.height());
        // Heights 0, 0.582, 0.970, 1.406 µm: station 1 lies 0.113 µm above the end-point line.
        QCOMPARE(control<QLabel>(page, "LabelDeviation0")->text(), QString("End points: 0.113 \u00b5m"));

        link.conStatus = 0; // a placeholder line: refused by number, nothing evaluated
        control<QPushButton>(w, "CommandVal2Table")->click();
        w.displayTick();
        QVERIFY2(message->text().startsWith("Line 4 has no usable reading"), qPrintable(message->text()));
        QVERIFY(!reportButton->isEnabled() && plot->graph(0)->data()->isEmpty());
        w.tableViews().currentGrid()->setRow(4);
        control<QPushButton>(w, "CommandDelete")->click();
        w.displayTick();
        QVERIFY(reportButton->isEnabled() && message->isHidden());

        app.chosen = app.files.filePath("guideway.txt");
        control<QPushButton>(w, "CommandSave")->click();
        app.chosen = app.files.filePath("guideway.pdf");
        w.displayTick();
        reportButton->click();
        // Three readings, four stations; the plot's legend; a header on every page.
        const QStringList first = pdfPages(app.chosen);
        const QString report = first.value(0);
        QCOMPARE(first.size(), 1);
        for (const char* expected :
             {"TARNOLUX straightness report", "Table 1 \\(.*guideway.txt\\)", "Minimum zone", "1.406",
              "Readings +3\n", "Stations +4\n", "Pro(fi|\uFB01)le +Minimum zone +Zone"})
            QVERIFY2(report.contains(QRegularExpression(expected)), qPrintable(expected));
        link.conStatus = 1;
        for (int i = 0; i < 30; ++i)
            control<QPushButton>(w, "CommandVal2Table")->click();
        w.displayTick();
        reportButton->click();
        const QStringList pages = pdfPages(app.chosen);
        QCOMPARE(pages.size(), 2);
        const QString header("TARNOLUX straightness report +Page %1 of 2\n *Table 1 \\(.*guideway.txt\\) "
                             "+\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\n");
        for (int i = 0; i < 2; ++i)
            QVERIFY2(pages[i].contains(QRegularExpression(header.arg(i + 1))), qPrintable(pages[i]));

        app.chosen = app.files.filePath("stations.csv");
        control<QPushButton>(page, "CommandCsv")->click();
        const QList<QByteArray> rows = AppFixture::readFile(app.chosen).split('\n');
        QCOMPARE(rows.size(), 36);                             // header, stations 0 .. 33, the end
        QVERIFY(namedNow(app.offered.mid(1), "straightness")); // after the table's own name
        QVERIFY(rows[0].endsWith(
            "Station,Line,Position [mm],Reading [arcsec],Height [\xc2\xb5m],Distance [\xc2\xb5m]\r"));
        app.chosen = app.files.filePath("no-such-folder/guideway.pdf");
        reportButton->click();
        QCOMPARE(app.messages, QStringList{"The report could not be written to " + app.chosen + "."});
        app.chosen.replace(".pdf", ".csv");
        control<QPushButton>(page, "CommandCsv")->click();
        QCOMPARE(app.messages.last(), "The station table could not be written to " + app.chosen + ".");
        app.chosen.clear(); // cancelled: nothing said
        reportButton->click();
        control<QPushButton>(page, "CommandCsv")->click();
        QCOMPARE(app.messages.size(), 2);

        // Another reference line is drawn; a TOBAR table has no angles to evaluate.
        control<QComboBox>(page, "ComboReference")->setCurrentIndex(0);
        QCOMPARE(plot->graph(1)->name(), QString("End points"));
        page.follow(w.tables().current(), 1, {1, 1}, 1, true, AngleUnit::Arcsec, QString());
        QVERIFY(!reportButton->isEnabled() && message->text().contains("ORVELAN table"));
    }

    void rememberedAcrossRestart()
    {
        AppFixture app;
        FormMain& w = app.start();
        QVERIFY(w.analysis().isHidden());
        control<QAction>(w, "ActionStatistics")->trigger();
        w.analysis().setGeometry(90, 60, 480, 400);
        const QRect placed = w.analysis().frameGeometry();
        control<QComboBox>(w.analysis(), "ComboPngSize")->setCurrentIndex(2);
        w.close();
        QCOMPARE(AppFixture::stored({K::AnalysisOpen, K::AnalysisPage, K::PngWidth, K::PngHeight}),
                 QStringList({"1", "0", "1920", "1080"}));
        AppFixture::setStored(
            {{K::AnalysisPage, "1"}, {K::StraightnessBase, "250.5"}, {K::StraightnessAxis, "2"}});

        AnalysisWindow& again = app.start().analysis();
        QVERIFY(again.isVisible() && control<TrendPage>(again, "TrendPage")->isVisible());
        QVERIFY(control<QDoubleSpinBox>(again, "SpinBaseLength")->value() == 250.5 &&
                control<QComboBox>(again, "ComboAxis")->currentIndex() == 1 &&
                control<QComboBox>(again, "ComboPngSize")->currentIndex() == 2);
        QCOMPARE(again.frameGeometry(), placed);
        again.close();
        app.window->close();
        QCOMPARE(AppFixture::stored({K::AnalysisOpen, K::StraightnessBase, K::StraightnessAxis}),
                 QStringList({"0", "250.5", "2"}));
        QVERIFY(app.start().analysis().isHidden());
    }
};

QTEST_MAIN(TestAnalysisWindow)
#include "test_analysis.moc"
