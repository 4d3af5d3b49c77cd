#include "analysiswindow/trendpage.h"

#include "analysis/csvexport.h"
#include "analysis/logcsv.h"
#include "analysis/readings.h"
#include "analysiswindow/plotting.h"
#include "settings/settingvalues.h"
#include "state/anglemanager.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {
// Angle axis labels in deg-min-sec for values plotted in arcseconds.
class DegMinSecTicker : public QCPAxisTicker {
protected:
    QString getTickLabel(double tick, const QLocale&, QChar, int) override
    {
        return AngleManager::formatDegMinSec(tick, 2).trimmed();
    }
};

// Time labels in local time; the plot is redrawn at every display tick, each label's offset is looked up once
// a minute.
class LocalTimeTicker : public QCPAxisTickerDateTime {
protected:
    QString getTickLabel(double tick, const QLocale& locale, QChar, int) override
    {
        const auto msecs = static_cast<qint64>(tick * 1000.0);
        return locale.toString(QDateTime::fromMSecsSinceEpoch(msecs, Qt::OffsetFromUTC, m_offsets.at(msecs)),
                               dateTimeFormat());
    }

private:
    CsvExport::UtcOffsets m_offsets;
};

QString spanName(qint64 ms)
{
    if (ms == 0)
        return QStringLiteral("all");
    return ms < 60000     ? QStringLiteral("%1 s").arg(ms / 1000)
           : ms < 3600000 ? QStringLiteral("%1 min").arg(ms / 60000)
                          : QStringLiteral("%1 h").arg(ms / 3600000);
}

QString durationName(qint64 ms)
{
    return ms < 120000    ? QStringLiteral("%1 s").arg(ms / 1000)
           : ms < 7200000 ? QStringLiteral("%1 min").arg(ms / 60000)
                          : QStringLiteral("%1 h").arg(static_cast<double>(ms) / 3600000.0, 0, 'f', 1);
}
} // namespace

TrendPage::TrendPage(const MeasurementLog& log, QWidget* parent) : QWidget(parent), m_log(log)
{
    auto* layout = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    m_spanBox = new QComboBox(this);
    m_spanBox->setObjectName(QStringLiteral("ComboSpan"));
    for (const qint64 span : Spans)
        m_spanBox->addItem(spanName(span));
    m_followButton = new QPushButton(QStringLiteral("Follow"), this);
    m_followButton->setObjectName(QStringLiteral("CommandFollow"));
    m_followButton->setToolTip(QStringLiteral("Back to the newest measurement"));
    m_fixedScaleCheck = new QCheckBox(QStringLiteral("Fixed scale"), this);
    m_fixedScaleCheck->setObjectName(QStringLiteral("CheckFixedScale"));
    m_pngSizeBox = new QComboBox(this);
    m_pngSizeBox->setObjectName(QStringLiteral("ComboPngSize"));
    m_pngSizeBox->setToolTip(QStringLiteral("The size of the PNG image in pixels"));
    for (const QSize& size : PngSizes)
        m_pngSizeBox->addItem(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height()));
    m_pngSizeBox->setCurrentIndex(1);
    m_pngButton = new QPushButton(QStringLiteral("PNG\u2026"), this);
    m_pngButton->setObjectName(QStringLiteral("CommandPng"));
    m_pngButton->setToolTip(QStringLiteral("The plot with a title line, as a PNG image of the size chosen"));
    m_csvButton = new QPushButton(QStringLiteral("CSV\u2026"), this);
    m_csvButton->setObjectName(QStringLiteral("CommandCsv"));
    m_csvButton->setToolTip(QStringLiteral("The measurements of the span shown, as CSV"));
    controls->addWidget(new QLabel(QStringLiteral("Span"), this));
    controls->addWidget(m_spanBox);
    controls->addWidget(m_followButton);
    controls->addWidget(m_fixedScaleCheck);
    controls->addStretch();
    controls->addWidget(m_pngSizeBox);
    controls->addWidget(m_pngButton);
    controls->addWidget(m_csvButton);
    layout->addLayout(controls);

    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("plot"));
    m_plot->setMinimumHeight(160);
    m_plot->setNoAntialiasingOnDrag(true);
    auto ticker = QSharedPointer<LocalTimeTicker>::create();
    ticker->setDateTimeSpec(Qt::LocalTime);
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
    m_plot->xAxis->setTicker(ticker);
    const QColor colours[] = {QColor(0, 90, 200), QColor(200, 60, 0)};
    for (const QColor& colour : colours) {
        QCPGraph* graph = m_plot->addGraph();
        graph->setPen(QPen(colour));
        graph->setAdaptiveSampling(false); // the series already holds at most two points per column
    }
    m_plot->graph(0)->setName(QStringLiteral("X"));
    m_plot->graph(1)->setName(QStringLiteral("Y"));
    // Stored lines: marks along the time axis, on a scale of their own.
    QCPGraph* marks = m_plot->addGraph(m_plot->xAxis, m_plot->yAxis2);
    marks->setName(QStringLiteral("stored"));
    marks->setLineStyle(QCPGraph::lsNone);
    marks->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssTriangle, QColor(0, 140, 0), 7));
    m_plot->yAxis2->setRange(0, 1);
    Plotting::legendAbove(m_plot);
    m_plot->legend->removeItem(m_plot->legend->itemCount() - 1);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->axisRect()->setRangeDrag(Qt::Horizontal);
    m_plot->axisRect()->setRangeZoom(Qt::Horizontal);
    layout->addWidget(m_plot, 1);
    m_cursorLabel = new QLabel(this);
    m_cursorLabel->setObjectName(QStringLiteral("LabelCursor"));
    layout->addWidget(m_cursorLabel);

    connect(m_spanBox, &QComboBox::currentIndexChanged, this, [this] {
        const qint64 span = Spans[std::clamp(m_spanBox->currentIndex(), 0, 3)];
        if (!m_following)
            m_t0 = span ? m_t1 - span
                        : std::min(m_t1, m_log.firstTime(m_view.tobar ? MeasurementLog::Kind::Tobar
                                                                      : MeasurementLog::Kind::Angles));
        follow(m_view);
    });
    connect(m_followButton, &QPushButton::clicked, this, [this] {
        setFollowing(true);
        follow(m_view);
    });
    connect(m_fixedScaleCheck, &QCheckBox::toggled, this, [this] { draw(); });
    connect(m_plot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
        if (!m_drawing)
            takeAxisRange();
    });
    connect(m_plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) { showCursor(e->pos()); });
    connect(m_pngButton, &QPushButton::clicked, this, &TrendPage::exportPng);
    connect(m_csvButton, &QPushButton::clicked, this, &TrendPage::exportCsv);
    setFollowing(true);
}

void TrendPage::setFollowing(bool on)
{
    m_following = on;
    m_followButton->setEnabled(!on);
}

void TrendPage::takeAxisRange()
{
    const QCPRange range = m_plot->xAxis->range();
    const double start = static_cast<double>(m_log.startMsecsSinceEpoch());
    m_t0 = std::llround(range.lower * 1000.0 - start);
    m_t1 = std::llround(range.upper * 1000.0 - start);
    setFollowing(false);
    draw();
}

void TrendPage::follow(const View& view)
{
    const bool changed = view != m_view;
    m_view = view;
    if (!m_following) {
        if (changed)
            draw();
        return;
    }
    const auto kind = view.tobar ? MeasurementLog::Kind::Tobar : MeasurementLog::Kind::Angles;
    const qint64 span = Spans[std::clamp(m_spanBox->currentIndex(), 0, 3)];
    m_t1 = std::max(m_log.now(), m_log.lastTime(kind));
    m_t0 = span ? m_t1 - span : std::min(m_t1 - 1000, m_log.firstTime(kind));
    draw();
}

void TrendPage::restoreInputs()
{
    const QSize stored(SettingValues::readInt16(SettingKeys::PngWidth),
                       SettingValues::readInt16(SettingKeys::PngHeight));
    const auto found = std::find(std::begin(PngSizes), std::end(PngSizes), stored);
    // A size not offered reads as the default.
    m_pngSizeBox->setCurrentIndex(
        found == std::end(PngSizes) ? 1 : static_cast<int>(found - std::begin(PngSizes)));
}

QSize TrendPage::chosenPngSize() const
{
    const int last = static_cast<int>(std::size(PngSizes)) - 1;
    return PngSizes[std::clamp(m_pngSizeBox->currentIndex(), 0, last)];
}

void TrendPage::storeInputs() const
{
    const QSize size = chosenPngSize();
    SettingValues::writeInt(SettingKeys::PngWidth, size.width());
    SettingValues::writeInt(SettingKeys::PngHeight, size.height());
}

void TrendPage::draw(int columns)
{
    if (const auto last = m_log.lastTobar())
        m_inch = last->inch;
    TrendSeries::Request request;
    request.t0 = m_t0;
    request.t1 = m_t1;
    request.columns = columns > 0 ? columns : std::max(1, m_plot->axisRect()->width());
    request.tobar = m_view.tobar;
    request.unit = m_view.unit;
    request.zeroX = m_view.zeroX;
    request.zeroY = m_view.zeroY;
    request.inch = m_inch;
    const TrendSeries::Series series = TrendSeries::build(m_log, request);

    m_drawing = true;
    m_plot->graph(0)->setData(series.keys, series.x, true);
    m_plot->graph(1)->setData(series.keys, series.y, true);
    m_plot->graph(1)->setVisible(!m_view.tobar);
    m_plot->graph(0)->setName(m_view.tobar ? QStringLiteral("Value") : QStringLiteral("X"));
    m_plot->graph(2)->setData(series.marks, QVector<double>(series.marks.size(), 0.02), true);
    const double start = static_cast<double>(m_log.startMsecsSinceEpoch());
    m_plot->xAxis->setRange((start + static_cast<double>(m_t0)) / 1000.0,
                            (start + static_cast<double>(m_t1)) / 1000.0);
    const bool dms = !m_view.tobar && m_view.unit == AngleUnit::DegMinSec;
    if (dms != static_cast<bool>(m_plot->yAxis->ticker().dynamicCast<DegMinSecTicker>()))
        m_plot->yAxis->setTicker(dms ? QSharedPointer<QCPAxisTicker>(new DegMinSecTicker)
                                     : QSharedPointer<QCPAxisTicker>::create());
    m_plot->yAxis->setLabel(unitName());
    const QDate first = QDateTime::fromMSecsSinceEpoch(m_log.startMsecsSinceEpoch() + m_t0).date();
    const QDate last = QDateTime::fromMSecsSinceEpoch(m_log.startMsecsSinceEpoch() + m_t1).date();
    m_plot->xAxis->setLabel(
        first == last
            ? QStringLiteral("Time (%1)").arg(first.toString(Qt::ISODate))
            : QStringLiteral("Time (%1 to %2)").arg(first.toString(Qt::ISODate), last.toString(Qt::ISODate)));
    if (!m_fixedScaleCheck->isChecked()) {
        bool found = false;
        QCPRange values = m_plot->graph(0)->getValueRange(found);
        bool foundY = false;
        const QCPRange y = m_plot->graph(1)->getValueRange(foundY);
        if (foundY && !m_view.tobar)
            values = found ? QCPRange(std::min(values.lower, y.lower), std::max(values.upper, y.upper)) : y;
        if (found || foundY) {
            const double margin = std::max(values.size() * 0.05, 1e-6);
            m_plot->yAxis->setRange(values.lower - margin, values.upper + margin);
        }
    }
    m_drawing = false;
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

QString TrendPage::unitName() const
{
    if (m_view.tobar)
        return m_inch ? QStringLiteral("inch") : QStringLiteral("mm");
    return CsvExport::unitName(m_view.unit);
}

void TrendPage::showCursor(const QPoint& at)
{
    const double key = m_plot->xAxis->pixelToCoord(at.x());
    const qint64 t = std::llround(key * 1000.0) - m_log.startMsecsSinceEpoch();
    const qint64 column = std::max<qint64>(1, (m_t1 - m_t0) / std::max(1, m_plot->axisRect()->width()));
    QString values;
    if (m_view.tobar) {
        m_log.visitTobar(t - column, t + column, [&](const MeasurementLog::TobarPoint& p) {
            values = Readings::tobarFigure(p.millimetres(), m_inch) + QLatin1Char(' ') + unitName();
            return false;
        });
    } else {
        m_log.visitAngles(t - column, t + column, [&](const MeasurementLog::AnglePoint& p) {
            values = QStringLiteral("X %1  Y %2 %3")
                         .arg(Readings::angleFigure(p.x - m_view.zeroX, m_view.unit),
                              Readings::angleFigure(p.y - m_view.zeroY, m_view.unit), unitName());
            return false;
        });
    }
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(m_log.startMsecsSinceEpoch() + t);
    m_cursorLabel->setText(when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")) + QStringLiteral("   ") +
                           values);
}

QString TrendPage::title() const
{
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(m_log.startMsecsSinceEpoch() + m_t0);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(m_log.startMsecsSinceEpoch() + m_t1);
    const QString dateTime = QStringLiteral("yyyy-MM-dd hh:mm:ss");
    return QStringLiteral("Trend   %1 to %2 (%3)")
        .arg(from.toString(dateTime),
             to.toString(from.date() == to.date() ? QStringLiteral("hh:mm:ss") : dateTime),
             durationName(m_t1 - m_t0));
}

void TrendPage::exportPng()
{
    const QString file =
        FileDialog::choose(this, FileDialog::Kind::ExportPng,
                           Plotting::exportName(QStringLiteral("trend"), QStringLiteral("png")));
    if (file.isEmpty())
        return;
    // The picture's own size whatever the window's: the series built for its width, a title row on top.
    const QSize size = chosenPngSize();
    QFont bold = font();
    bold.setPointSizeF(bold.pointSizeF() * 1.4);
    bold.setBold(true);
    const QString text = title();
    auto* heading = new QCPTextElement(m_plot, text, bold);
    m_plot->plotLayout()->insertRow(0);
    m_plot->plotLayout()->addElement(0, 0, heading);
    draw(size.width());
    QImage picture = m_plot->toPixmap(size.width(), size.height()).toImage();
    m_plot->plotLayout()->remove(heading);
    m_plot->plotLayout()->simplify();
    draw();
    picture.setText(QStringLiteral("Title"), text);
    if (!picture.save(file, "PNG"))
        MessageBox::show(this, QStringLiteral("The plot could not be written to %1.").arg(file));
}

void TrendPage::exportCsv()
{
    const QString file =
        FileDialog::choose(this, FileDialog::Kind::ExportCsv,
                           Plotting::exportName(QStringLiteral("trend"), QStringLiteral("csv")));
    if (file.isEmpty())
        return;
    const bool written =
        m_view.tobar ? LogCsv::writeTobar(m_log, m_t0, m_t1, file)
                     : LogCsv::writeAngles(m_log, m_t0, m_t1, m_view.unit, m_view.zeroX, m_view.zeroY, file);
    if (!written)
        MessageBox::show(this, QStringLiteral("The measurements could not be written to %1.").arg(file));
}
