#include "analysiswindow/straightnesspage.h"

#include "analysis/csvexport.h"
#include "analysiswindow/gridlines.h"
#include "analysiswindow/straightnessreport.h"
#include "tables/tableset.h"
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
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() || !m_result ? 0 : static_cast<int>(m_result->stations().size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 6; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::TextAlignmentRole)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole || !m_result)
            return {};
        return m_result->stationRow(static_cast<size_t>(index.row()), m_reference, m_unit)
            .value(index.column());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        return Straightness::stationHeader(m_unit).value(section);
    }

private:
    const Straightness* m_result = nullptr;
    Straightness::Reference m_reference = Straightness::Reference::MinimumZone;
    AngleUnit m_unit = AngleUnit::Arcsec;
};

StraightnessPage::StraightnessPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* inputs = new QHBoxLayout;
    ComboAxis = new QComboBox(this);
    ComboAxis->setObjectName(QStringLiteral("ComboAxis"));
    ComboAxis->addItems({QStringLiteral("X"), QStringLiteral("Y")});
    SpinBaseLength = new QDoubleSpinBox(this);
    SpinBaseLength->setObjectName(QStringLiteral("SpinBaseLength"));
    SpinBaseLength->setRange(0.001, Straightness::MaxBaseLength);
    SpinBaseLength->setDecimals(3);
    SpinBaseLength->setValue(100);
    SpinBaseLength->setSuffix(QStringLiteral(" mm"));
    ComboDirection = new QComboBox(this);
    ComboDirection->setObjectName(QStringLiteral("ComboDirection"));
    ComboDirection->addItems({QStringLiteral("first station first"), QStringLiteral("last station first")});
    ComboReference = new QComboBox(this);
    ComboReference->setObjectName(QStringLiteral("ComboReference"));
    for (const Straightness::Reference r : Straightness::References)
        ComboReference->addItem(Straightness::name(r));
    ComboReference->setCurrentIndex(2);
    inputs->addWidget(new QLabel(QStringLiteral("Axis"), this));
    inputs->addWidget(ComboAxis);
    inputs->addWidget(new QLabel(QStringLiteral("Base length"), this));
    inputs->addWidget(SpinBaseLength);
    inputs->addWidget(ComboDirection);
    inputs->addWidget(new QLabel(QStringLiteral("Line"), this));
    inputs->addWidget(ComboReference);
    inputs->addStretch();
    layout->addLayout(inputs);

    LabelScope = new QLabel(this);
    LabelScope->setObjectName(QStringLiteral("LabelScope"));
    layout->addWidget(LabelScope);
    auto* figures = new QHBoxLayout;
    for (size_t i = 0; i < LabelDeviation.size(); ++i) {
        LabelDeviation[i] = new QLabel(this);
        LabelDeviation[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        figures->addWidget(LabelDeviation[i]);
    }
    layout->addLayout(figures);
    LabelMessage = new QLabel(this);
    LabelMessage->setObjectName(QStringLiteral("LabelMessage"));
    LabelMessage->setWordWrap(true);
    LabelMessage->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(LabelMessage);

    auto* split = new QSplitter(Qt::Vertical, this);
    plot = new QCustomPlot(split);
    plot->setObjectName(QStringLiteral("plot"));
    plot->setMinimumHeight(120);
    QCPGraph* profile = plot->addGraph();
    profile->setName(QStringLiteral("Heights"));
    profile->setPen(QPen(QColor(0, 90, 200)));
    profile->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
    QCPGraph* reference = plot->addGraph();
    reference->setPen(QPen(QColor(200, 60, 0)));
    for (int side = 0; side < 2; ++side) {
        QCPGraph* zone = plot->addGraph();
        zone->setPen(QPen(QColor(200, 60, 0), 1, Qt::DashLine));
    }
    plot->xAxis->setLabel(QStringLiteral("Position [mm]"));
    plot->yAxis->setLabel(QStringLiteral("Height [\u00b5m]"));
    stations = new QTableView(split);
    stations->setObjectName(QStringLiteral("stations"));
    m_model = new StationModel(stations);
    stations->setModel(m_model);
    stations->verticalHeader()->hide();
    stations->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(split, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    CommandReport = new QPushButton(QStringLiteral("Report\u2026"), this);
    CommandReport->setObjectName(QStringLiteral("CommandReport"));
    CommandCsv = new QPushButton(QStringLiteral("Export CSV\u2026"), this);
    CommandCsv->setObjectName(QStringLiteral("CommandCsv"));
    buttons->addWidget(CommandReport);
    buttons->addWidget(CommandCsv);
    layout->addLayout(buttons);

    const auto changed = [this] {
        m_stale = true;
        evaluate();
    };
    connect(ComboAxis, &QComboBox::currentIndexChanged, this, changed);
    connect(SpinBaseLength, &QDoubleSpinBox::valueChanged, this, changed);
    connect(ComboDirection, &QComboBox::currentIndexChanged, this, changed);
    connect(ComboReference, &QComboBox::currentIndexChanged, this, [this] { show(); });
    connect(CommandReport, &QPushButton::clicked, this, &StraightnessPage::writeReport);
    connect(CommandCsv, &QPushButton::clicked, this, &StraightnessPage::writeCsv);
    show();
}

StraightnessPage::~StraightnessPage() = default;

Straightness::Reference StraightnessPage::reference() const
{
    return Straightness::References[static_cast<size_t>(std::clamp(ComboReference->currentIndex(), 0, 2))];
}

void StraightnessPage::follow(const FlexGrid& grid, int number, qint32 changedFrom, bool tobar,
                              AngleUnit unit, const QString& fileName)
{
    // The selected lines when more than one is selected, else the whole table up to its last reading.
    const qint32 lines = std::min(grid.Rows() - 1, TableSet::FullRows - 2);
    Straightness::Input scope;
    const qint32 a = std::clamp(grid.Row(), 1, std::max(1, lines));
    const qint32 b = std::clamp(grid.RowSel(), 1, std::max(1, lines));
    scope.first = a != b ? std::min(a, b) : 1;
    scope.last = a != b ? std::max(a, b) : lines;
    scope.unit = unit;
    const bool sameScope = &grid == m_grid && scope.first == m_scope.first && scope.last == m_scope.last &&
                           unit == m_scope.unit && tobar == m_tobar;
    m_grid = &grid;
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
    if (!m_stale || !m_grid)
        return;
    m_stale = false;
    Straightness::Input input = m_scope;
    input.axis = ComboAxis->currentIndex() + 1;
    input.baseLength = SpinBaseLength->value();
    input.reverse = ComboDirection->currentIndex() == 1;
    if (m_tobar)
        input.last = 0; // a TOBAR table holds no angles
    m_result = Straightness::evaluate(GridLines(*m_grid), input);
    LabelScope->setText(
        QStringLiteral("Table %1, %2")
            .arg(m_number)
            .arg(m_scope.last < m_scope.first
                     ? QStringLiteral("no lines")
                     : QStringLiteral("lines %1 to %2").arg(m_scope.first).arg(m_scope.last)));
    show();
}

void StraightnessPage::show()
{
    const Straightness::Reference chosen = reference();
    const bool done = m_result.done();
    LabelMessage->setText(
        m_tobar ? QStringLiteral("Straightness is evaluated from the angles of an ORVELAN table.")
                : m_result.message());
    LabelMessage->setVisible(!LabelMessage->text().isEmpty());
    const QList<QStringList> figures = m_result.figureRows();
    for (size_t i = 0; i < LabelDeviation.size(); ++i) {
        const QStringList& row = figures.value(static_cast<int>(i) + 1);
        LabelDeviation[i]->setText(
            QStringLiteral("%1: %2 \u00b5m").arg(row.value(0), done ? row.value(1) : "-"));
    }
    CommandReport->setEnabled(done);
    CommandCsv->setEnabled(done);
    m_model->show(done ? &m_result : nullptr, chosen, m_unit);

    QVector<double> x, h;
    for (const Straightness::Station& s : m_result.stations()) {
        x << s.position;
        h << s.height;
    }
    plot->graph(0)->setData(x, h, true);
    const Straightness::Line& line = m_result.line(chosen);
    const QVector<double> ends = done ? QVector<double>{x.front(), x.back()} : QVector<double>();
    const auto along = [&](double offset) {
        QVector<double> values;
        for (const double e : ends)
            values << line.at(e) + offset;
        return values;
    };
    plot->graph(1)->setName(Straightness::name(chosen));
    plot->graph(1)->setData(ends, along(0), true);
    plot->graph(2)->setData(ends, along(line.below), true);
    plot->graph(3)->setData(ends, along(line.above), true);
    plot->rescaleAxes();
    plot->xAxis->scaleRange(1.05);
    plot->yAxis->scaleRange(1.2);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void StraightnessPage::writeReport()
{
    const QString file =
        FileDialog::choose(this, FileDialog::Kind::ExportPdf, QStringLiteral("straightness.pdf"));
    if (file.isEmpty())
        return;
    const StraightnessReport report{
        m_result, reference(), m_unit, m_number, m_fileName, QDateTime::currentDateTime(), plot};
    if (!report.writePdf(file))
        MessageBox::show(this, QStringLiteral("The report could not be written to %1.").arg(file));
}

void StraightnessPage::writeCsv()
{
    const QString file =
        FileDialog::choose(this, FileDialog::Kind::ExportCsv, QStringLiteral("straightness.csv"));
    if (file.isEmpty())
        return;
    if (!CsvExport::writeRows(m_result.stationRows(reference(), m_unit), file))
        MessageBox::show(this, QStringLiteral("The station table could not be written to %1.").arg(file));
}
