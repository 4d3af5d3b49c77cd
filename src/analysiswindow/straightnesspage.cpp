#include "analysiswindow/straightnesspage.h"

#include "analysis/conformity.h"
#include "analysis/csvexport.h"
#include "analysiswindow/plotting.h"
#include "analysiswindow/runreport.h"
#include "analysiswindow/straightnessreport.h"
#include "settings/settingvalues.h"
#include "state/numbers.h"
#include "tables/tables.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>

using namespace SettingValues;

// The station table, its texts made when the view asks for them: a full table has 32767 stations.
class StationModel : public QAbstractTableModel {
public:
    explicit StationModel(QObject* parent) : QAbstractTableModel(parent) {}
    void show(const Straightness* result, Straightness::Reference reference, AngleUnit unit)
    {
        beginResetModel();
        m_result = result;
        m_reference = reference;
        m_unit = unit;
        m_rows.clear();
        endResetModel();
    }
    // Fixed texts, a header row first: a job's stations are few enough to be made at once.
    void showRows(QList<QStringList> rows)
    {
        beginResetModel();
        m_result = nullptr;
        m_rows = std::move(rows);
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        if (parent.isValid())
            return 0;
        if (!m_rows.isEmpty())
            return static_cast<int>(m_rows.size()) - 1;
        return m_result ? static_cast<int>(m_result->stations().size()) : 0;
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : m_rows.isEmpty() ? 6 : static_cast<int>(m_rows.first().size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::TextAlignmentRole)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole)
            return {};
        if (!m_rows.isEmpty())
            return m_rows.value(index.row() + 1).value(index.column());
        if (!m_result)
            return {};
        return m_result->stationRow(static_cast<size_t>(index.row()), m_reference, m_unit)
            .value(index.column());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        if (!m_rows.isEmpty())
            return m_rows.first().value(section);
        return Straightness::stationHeader(m_unit).value(section);
    }

private:
    QList<QStringList> m_rows;
    const Straightness* m_result = nullptr;
    Straightness::Reference m_reference = Straightness::Reference::MinimumZone;
    AngleUnit m_unit = AngleUnit::Arcsec;
};

StraightnessPage::StraightnessPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* inputs = new QHBoxLayout;
    m_axisBox = new QComboBox(this);
    m_axisBox->setObjectName(QStringLiteral("ComboAxis"));
    m_axisBox->addItems({QStringLiteral("X"), QStringLiteral("Y")});
    m_baseLengthBox = new QDoubleSpinBox(this);
    m_baseLengthBox->setObjectName(QStringLiteral("SpinBaseLength"));
    m_baseLengthBox->setRange(0.001, Straightness::MaxBaseLength);
    m_baseLengthBox->setDecimals(3);
    m_baseLengthBox->setValue(100);
    m_baseLengthBox->setSuffix(QStringLiteral(" mm"));
    m_directionBox = new QComboBox(this);
    m_directionBox->setObjectName(QStringLiteral("ComboDirection"));
    m_directionBox->addItems({QStringLiteral("first station first"), QStringLiteral("last station first")});
    m_referenceBox = new QComboBox(this);
    m_referenceBox->setObjectName(QStringLiteral("ComboReference"));
    for (const Straightness::Reference r : Straightness::References)
        m_referenceBox->addItem(Straightness::name(r));
    m_referenceBox->setCurrentIndex(2);
    inputs->addWidget(new QLabel(QStringLiteral("Axis"), this));
    inputs->addWidget(m_axisBox);
    inputs->addWidget(new QLabel(QStringLiteral("Base length"), this));
    inputs->addWidget(m_baseLengthBox);
    inputs->addWidget(m_directionBox);
    inputs->addWidget(new QLabel(QStringLiteral("Line"), this));
    inputs->addWidget(m_referenceBox);
    inputs->addStretch();
    layout->addLayout(inputs);

    m_scopeLabel = new QLabel(this);
    m_scopeLabel->setObjectName(QStringLiteral("LabelScope"));
    layout->addWidget(m_scopeLabel);
    auto* figures = new QHBoxLayout;
    for (size_t i = 0; i < m_deviationLabels.size(); ++i) {
        m_deviationLabels[i] = new QLabel(this);
        m_deviationLabels[i]->setObjectName(QStringLiteral("LabelDeviation%1").arg(i));
        m_deviationLabels[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        figures->addWidget(m_deviationLabels[i]);
    }
    layout->addLayout(figures);
    m_reversalLabel = new QLabel(this);
    m_reversalLabel->setObjectName(QStringLiteral("LabelReversal"));
    m_verdictLabel = new QLabel(this);
    m_verdictLabel->setObjectName(QStringLiteral("LabelVerdict"));
    m_verdictLabel->setStyleSheet(QStringLiteral("font-weight: bold"));
    m_verdictLabel->setWordWrap(true);
    for (QLabel* label : {m_reversalLabel, m_verdictLabel}) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->hide();
        layout->addWidget(label);
    }
    m_messageLabel = new QLabel(this);
    m_messageLabel->setObjectName(QStringLiteral("LabelMessage"));
    m_messageLabel->setWordWrap(true);
    m_messageLabel->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(m_messageLabel);

    auto* split = new QSplitter(Qt::Vertical, this);
    m_plot = new QCustomPlot(split);
    m_plot->setObjectName(QStringLiteral("plot"));
    m_plot->setMinimumHeight(120);
    QCPGraph* profile = m_plot->addGraph();
    profile->setName(QStringLiteral("Profile"));
    profile->setPen(QPen(QColor(0, 90, 200)));
    profile->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
    QCPGraph* reference = m_plot->addGraph();
    reference->setPen(QPen(QColor(200, 60, 0)));
    for (int side = 0; side < 2; ++side) {
        QCPGraph* zone = m_plot->addGraph();
        zone->setName(QStringLiteral("Zone"));
        zone->setPen(QPen(QColor(200, 60, 0), 1, Qt::DashLine));
    }
    // A job's runs, drawn with their mean.
    const QColor runColours[] = {QColor(0, 150, 70), QColor(140, 60, 180)};
    for (const QColor& colour : runColours) {
        QCPGraph* run = m_plot->addGraph();
        run->setPen(QPen(colour, 1, Qt::DotLine));
        run->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCross, 5));
    }
    m_plot->graph(4)->setName(QStringLiteral("Forward"));
    m_plot->graph(5)->setName(QStringLiteral("Backward"));
    Plotting::legendAbove(m_plot);
    m_plot->graph(3)->removeFromLegend(); // one entry for both sides of the zone
    m_plot->graph(4)->removeFromLegend();
    m_plot->graph(5)->removeFromLegend();
    m_plot->xAxis->setLabel(QStringLiteral("Position [mm]"));
    m_plot->yAxis->setLabel(QStringLiteral("Height [\u00b5m]"));
    m_stationTable = new QTableView(split);
    m_stationTable->setObjectName(QStringLiteral("stations"));
    m_model = new StationModel(m_stationTable);
    m_stationTable->setModel(m_model);
    m_stationTable->verticalHeader()->hide();
    m_stationTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    // The plot before the table: the profile is what is looked at, the table is scrolled.
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_reportButton = new QPushButton(QStringLiteral("Report\u2026"), this);
    m_reportButton->setObjectName(QStringLiteral("CommandReport"));
    m_csvButton = new QPushButton(QStringLiteral("Export CSV\u2026"), this);
    m_csvButton->setObjectName(QStringLiteral("CommandCsv"));
    buttons->addWidget(m_reportButton);
    buttons->addWidget(m_csvButton);
    layout->addLayout(buttons);

    const auto changed = [this] {
        m_stale = true;
        evaluate();
    };
    connect(m_axisBox, &QComboBox::currentIndexChanged, this, changed);
    connect(m_baseLengthBox, &QDoubleSpinBox::valueChanged, this, changed);
    connect(m_directionBox, &QComboBox::currentIndexChanged, this, changed);
    connect(m_referenceBox, &QComboBox::currentIndexChanged, this, [this] { show(); });
    connect(m_reportButton, &QPushButton::clicked, this, &StraightnessPage::writeReport);
    connect(m_csvButton, &QPushButton::clicked, this, &StraightnessPage::writeCsv);
    m_worker = new UncertaintyWorker(this);
    connect(m_worker, &UncertaintyWorker::finished, this, [this](const RunUncertainty::Result& result) {
        m_uncertainty = result;
        show();
    });
    show();
}

StraightnessPage::~StraightnessPage() = default;

Straightness::Reference StraightnessPage::reference() const
{
    return Straightness::References[static_cast<size_t>(std::clamp(m_referenceBox->currentIndex(), 0, 2))];
}

void StraightnessPage::restoreInputs()
{
    m_axisBox->setCurrentIndex(readInt16(SettingKeys::StraightnessAxis) == 2 ? 1 : 0);
    // Out of range reads as the default, not as the nearest limit.
    const double base = readNumber(SettingKeys::StraightnessBase);
    const double def = toNumber(defaultText(SettingKeys::StraightnessBase), 100);
    const bool inRange = base >= m_baseLengthBox->minimum() && base <= m_baseLengthBox->maximum();
    m_baseLengthBox->setValue(inRange ? base : def);
    m_directionBox->setCurrentIndex(readFlag(SettingKeys::StraightnessReverse) ? 1 : 0);
}

void StraightnessPage::storeInputs() const
{
    writeInt(SettingKeys::StraightnessAxis, m_axisBox->currentIndex() + 1);
    writeNumber(SettingKeys::StraightnessBase, m_baseLengthBox->value());
    writeText(SettingKeys::StraightnessReverse,
              m_directionBox->currentIndex() == 1 ? QStringLiteral("1") : QStringLiteral("0"));
}

void StraightnessPage::follow(const Table& table, int number, std::pair<qint32, qint32> selected,
                              qint32 changedFrom, bool tobar, AngleUnit unit, const QString& fileName)
{
    // The selected lines when more than one is selected, else the whole table up to its last reading.
    const qint32 lines = std::min(table.count(), Tables::FullRows - 2);
    Straightness::Input scope;
    const qint32 a = std::clamp(selected.first, 1, std::max(1, lines));
    const qint32 b = std::clamp(selected.second, 1, std::max(1, lines));
    scope.first = a != b ? std::min(a, b) : 1;
    scope.last = a != b ? std::max(a, b) : lines;
    scope.unit = unit;
    const bool sameScope = &table == m_table && scope.first == m_scope.first && scope.last == m_scope.last &&
                           unit == m_scope.unit && tobar == m_tobar;
    m_table = &table;
    m_number = number;
    m_tobar = tobar;
    m_unit = unit;
    m_fileName = fileName;
    if (!sameScope || changedFrom != std::numeric_limits<qint32>::max())
        m_stale = true;
    m_scope = scope;
    evaluate();
}

void StraightnessPage::evaluate()
{
    if (!m_stale || !m_table)
        return;
    m_stale = false;
    const bool job = evaluateJob();
    // A job brings its own axis, base length and reference line.
    for (QWidget* input :
         std::initializer_list<QWidget*>{m_axisBox, m_baseLengthBox, m_directionBox, m_referenceBox})
        input->setEnabled(!job);
    if (job) {
        show();
        return;
    }
    Straightness::Input input = m_scope;
    input.axis = m_axisBox->currentIndex() + 1;
    input.baseLength = m_baseLengthBox->value();
    input.reverse = m_directionBox->currentIndex() == 1;
    if (m_tobar)
        input.last = 0; // a TOBAR table holds no angles
    m_result = Straightness::evaluate(*m_table, input);
    m_scopeLabel->setText(
        QStringLiteral("Table %1, %2")
            .arg(m_number)
            .arg(m_scope.last < m_scope.first
                     ? QStringLiteral("no lines")
                     : QStringLiteral("lines %1 to %2").arg(m_scope.first).arg(m_scope.last)));
    show();
}

void StraightnessPage::plotProfile(const Straightness& profile, Straightness::Reference reference)
{
    QVector<double> x, h;
    for (const Straightness::Station& s : profile.stations()) {
        x << s.position;
        h << s.height;
    }
    m_plot->graph(0)->setData(x, h, true);
    const Straightness::Line& line = profile.line(reference);
    const QVector<double> ends = profile.done() ? QVector<double>{x.front(), x.back()} : QVector<double>();
    const auto along = [&](double offset) {
        QVector<double> values;
        for (const double e : ends)
            values << line.at(e) + offset;
        return values;
    };
    m_plot->graph(1)->setName(Straightness::name(reference));
    m_plot->graph(1)->setData(ends, along(0), true);
    m_plot->graph(2)->setData(ends, along(line.below), true);
    m_plot->graph(3)->setData(ends, along(line.above), true);
    // The legend in drawing order: a job's runs first, then the profile, its line and zone.
    m_plot->legend->clearItems();
    for (const int graph : {4, 5, 0, 1, 2})
        if (!m_plot->graph(graph)->data()->isEmpty())
            m_plot->graph(graph)->addToLegend();
    m_plot->rescaleAxes();
    m_plot->xAxis->scaleRange(1.05);
    m_plot->yAxis->scaleRange(1.2);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void StraightnessPage::show()
{
    if (m_job) {
        showJob();
        return;
    }
    const Straightness::Reference chosen = reference();
    const bool done = m_result.done();
    m_messageLabel->setText(
        m_tobar ? QStringLiteral("Straightness is evaluated from the angles of an ORVELAN table.")
                : m_result.message());
    m_messageLabel->setVisible(!m_messageLabel->text().isEmpty());
    m_reversalLabel->hide();
    m_verdictLabel->hide();
    const QList<QStringList> figures = m_result.figureRows();
    for (size_t i = 0; i < m_deviationLabels.size(); ++i) {
        const QStringList& row = figures.value(static_cast<int>(i) + 1);
        m_deviationLabels[i]->setText(
            QStringLiteral("%1: %2 \u00b5m").arg(row.value(0), done ? row.value(1) : "-"));
    }
    m_reportButton->setEnabled(done);
    m_csvButton->setEnabled(done);
    m_model->show(done ? &m_result : nullptr, chosen, m_unit);
    m_plot->graph(0)->setName(QStringLiteral("Profile"));
    m_plot->graph(4)->data()->clear();
    m_plot->graph(5)->data()->clear();
    plotProfile(m_result, chosen);
}

void StraightnessPage::showJob()
{
    const StraightnessJob& job = *m_job;
    const Straightness::Reference judged = job.reference;
    const bool done = m_run.done();
    const Straightness& mean = m_run.mean();
    m_messageLabel->setText(m_jobMessage);
    m_messageLabel->setVisible(!m_jobMessage.isEmpty());
    const QString micro = QStringLiteral(" \u00b5m");
    const QString computing = QStringLiteral("computing\u2026");
    const auto expanded = [&](Straightness::Reference r) {
        if (!m_uncertainty)
            return computing;
        return m_uncertainty->done ? Numbers::fixedText(m_uncertainty->expanded(r), 3) + micro
                                   : QStringLiteral("-");
    };
    for (size_t i = 0; i < m_deviationLabels.size(); ++i) {
        const Straightness::Reference r = Straightness::References[i];
        // Two lines, so that three fit side by side in the window's first size.
        m_deviationLabels[i]->setText(done ? QStringLiteral("%1: %2%3\nU (k = 2) = %4")
                                                 .arg(Straightness::name(r),
                                                      Numbers::fixedText(mean.deviation(r), 3), micro,
                                                      expanded(r))
                                           : QStringLiteral("%1: -\n").arg(Straightness::name(r)));
    }
    const bool two = done && m_run.backward().has_value();
    m_reversalLabel->setVisible(two);
    if (two)
        m_reversalLabel->setText(QStringLiteral("Reversal (forward - backward): SD %1%3, max %2%3")
                                     .arg(Numbers::fixedText(m_run.reversalSd(), 3),
                                          Numbers::fixedText(m_run.reversalMax(), 3), micro));
    const bool tolerance = std::isfinite(job.tolerance) && job.tolerance > 0;
    m_verdictLabel->setVisible(done && tolerance);
    if (done && tolerance) {
        QString verdict = m_uncertainty ? QStringLiteral("-") : computing;
        if (m_uncertainty && m_uncertainty->done)
            verdict = Conformity::text(
                Conformity::decide(mean.deviation(judged), m_uncertainty->expanded(judged), job.tolerance));
        m_verdictLabel->setText(
            QStringLiteral("Verdict (%1, tolerance %2%3): %4")
                .arg(Straightness::name(judged), Numbers::dotText(job.tolerance, 6), micro, verdict));
    }
    // The report waits for both runs and the uncertainty: a report to sign is whole.
    m_reportButton->setEnabled(done && m_jobMessage.isEmpty() && m_uncertainty && m_uncertainty->done);
    m_csvButton->setEnabled(done);
    m_model->showRows(done ? RunReport::stationRows(m_run) : QList<QStringList>());
    m_plot->graph(0)->setName(QStringLiteral("Mean"));
    const auto runData = [&](int graph, const Straightness* run) {
        QVector<double> x, h;
        for (size_t i = 0; run && done && i < run->stations().size(); ++i) {
            x << run->stations()[i].position;
            h << run->stations()[i].height;
        }
        m_plot->graph(graph)->setData(x, h, true);
    };
    runData(4, two ? &m_run.forward() : nullptr);
    runData(5, two && m_run.backward() ? &*m_run.backward() : nullptr);
    plotProfile(done ? mean : Straightness(), judged);
}

void StraightnessPage::writeReport()
{
    const bool job = m_job && m_run.done() && m_uncertainty && m_uncertainty->done;
    if (m_job && !job)
        return; // a job's report is written whole or not at all
    const QString file = FileDialog::choose(
        this, FileDialog::Kind::ExportPdf,
        Plotting::exportName(job ? QStringLiteral("straightness-run") : QStringLiteral("straightness"),
                             QStringLiteral("pdf")));
    if (file.isEmpty())
        return;
    bool written = false;
    if (job) {
        const RunReport report{*m_job,         m_run,        *m_uncertainty, QDateTime::currentDateTime(),
                               m_measuredFrom, m_measuredTo, m_plot};
        written = report.writePdf(file);
    } else {
        const StraightnessReport report{
            m_result, reference(), m_unit, m_number, m_fileName, QDateTime::currentDateTime(), m_plot};
        written = report.writePdf(file);
    }
    if (!written)
        MessageBox::show(this, QStringLiteral("The report could not be written to %1.").arg(file));
}

void StraightnessPage::writeCsv()
{
    const bool job = m_job && m_run.done();
    const QString file = FileDialog::choose(
        this, FileDialog::Kind::ExportCsv,
        Plotting::exportName(job ? QStringLiteral("straightness-run") : QStringLiteral("straightness"),
                             QStringLiteral("csv")));
    if (file.isEmpty())
        return;
    if (!CsvExport::writeRows(job ? m_run.stationRows() : m_result.stationRows(reference(), m_unit), file))
        MessageBox::show(this, QStringLiteral("The station table could not be written to %1.").arg(file));
}
