#include "analysiswindow/flatnesspage.h"

#include "analysis/conformity.h"
#include "analysis/platefiles.h"
#include "analysis/plateworker.h"
#include "analysiswindow/platecertificate.h"
#include "analysiswindow/platedrawing.h"
#include "analysiswindow/plotting.h"
#include "settings/settingvalues.h"
#include "state/numbers.h"
#include "widgets/filedialog.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <cmath>

namespace {
constexpr double NoTemperature = -100.1;

QDoubleSpinBox* spin(QWidget* parent, const QString& name, double low, double high, int decimals,
                     double value, const QString& suffix)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

QString um(double value)
{
    return std::isfinite(value) ? Numbers::dotText(value, 3) + QStringLiteral(" \u00b5m")
                                : QStringLiteral("-");
}

void fill(QTableWidget* table, const QList<QStringList>& rows)
{
    table->clear();
    table->setRowCount(rows.isEmpty() ? 0 : static_cast<int>(rows.size()) - 1);
    table->setColumnCount(rows.isEmpty() ? 0 : static_cast<int>(rows.first().size()));
    if (rows.isEmpty())
        return;
    table->setHorizontalHeaderLabels(rows.first());
    for (int r = 1; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(rows[r][c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(r - 1, c, item);
        }
    }
    table->resizeColumnsToContents();
}
} // namespace

FlatnessPage::FlatnessPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* inputs = new QGridLayout;
    m_kindBox = new QComboBox(this);
    m_kindBox->setObjectName(QStringLiteral("ComboPlateKind"));
    m_kindBox->addItems({QStringLiteral("Union Jack"), QStringLiteral("Grid")});
    const QString mm = QStringLiteral(" mm");
    m_baseBox = spin(this, QStringLiteral("SpinPlateBase"), 1, PlateGeometry::MaxBaseLength, 3, 100, mm);
    m_secondBox =
        spin(this, QStringLiteral("SpinPlateSecondBase"), 0, PlateGeometry::MaxBaseLength, 3, 0, mm);
    m_baseLabel = new QLabel(this);
    m_secondLabel = new QLabel(this);
    m_uABox = spin(this, QStringLiteral("SpinPlateUA"), 0, 100, 3, 0.1, QStringLiteral(" arcsec"));
    m_uBBox = spin(this, QStringLiteral("SpinPlateUB"), 0, 1, 5, 0, QString());
    m_uBaseBox = spin(this, QStringLiteral("SpinPlateUBase"), 0, 100, 3, 0.01, mm);
    m_toleranceBox =
        spin(this, QStringLiteral("SpinPlateTolerance"), 0, 1e6, 3, 0, QStringLiteral(" \u00b5m"));
    m_toleranceBox->setSpecialValueText(QStringLiteral("by grade"));
    m_gradeBox = new QComboBox(this);
    m_gradeBox->setObjectName(QStringLiteral("ComboPlateGrade"));
    m_gradeBox->addItems(
        {QStringLiteral("none"), QStringLiteral("AA"), QStringLiteral("A"), QStringLiteral("B")});
    m_figureBox = new QComboBox(this);
    m_figureBox->setObjectName(QStringLiteral("ComboPlateFigure"));
    for (const Flatness::Figure f : Flatness::Figures)
        m_figureBox->addItem(Flatness::name(f));
    m_figureBox->setCurrentIndex(2);
    m_objectEdit = new QLineEdit(this);
    m_objectEdit->setObjectName(QStringLiteral("EditPlateObject"));
    m_operatorEdit = new QLineEdit(this);
    m_operatorEdit->setObjectName(QStringLiteral("EditPlateOperator"));
    m_remarksEdit = new QLineEdit(this);
    m_remarksEdit->setObjectName(QStringLiteral("EditPlateRemarks"));
    m_descriptionEdit = new QLineEdit(this);
    m_descriptionEdit->setObjectName(QStringLiteral("EditPlateDescription"));
    m_instrumentEdit = new QLineEdit(this);
    m_instrumentEdit->setObjectName(QStringLiteral("EditPlateInstrumentType"));
    m_serialEdit = new QLineEdit(this);
    m_serialEdit->setObjectName(QStringLiteral("EditPlateInstrumentSerial"));
    m_temperatureBox = spin(this, QStringLiteral("SpinPlateTemperature"), NoTemperature, 100, 1,
                            NoTemperature, QStringLiteral(" \u00b0C"));
    m_temperatureBox->setSpecialValueText(QStringLiteral("not stated"));
    const double largest = PlateGeometry::MaxBaseLength * 100;
    m_lengthBox = spin(this, QStringLiteral("SpinPlateLength"), 0, largest, 1, 0, mm);
    m_widthBox = spin(this, QStringLiteral("SpinPlateWidth"), 0, largest, 1, 0, mm);
    for (QDoubleSpinBox* box : {m_lengthBox, m_widthBox})
        box->setSpecialValueText(QStringLiteral("as measured"));
    const auto label = [this](const char* text) { return new QLabel(QString::fromUtf8(text), this); };
    inputs->addWidget(label("Kind"), 0, 0);
    inputs->addWidget(m_kindBox, 0, 1);
    inputs->addWidget(m_baseLabel, 0, 2);
    inputs->addWidget(m_baseBox, 0, 3);
    inputs->addWidget(m_secondLabel, 0, 4);
    inputs->addWidget(m_secondBox, 0, 5);
    inputs->addWidget(label("u(angle) a"), 1, 0);
    inputs->addWidget(m_uABox, 1, 1);
    inputs->addWidget(label("b"), 1, 2);
    inputs->addWidget(m_uBBox, 1, 3);
    inputs->addWidget(label("u(base length)"), 1, 4);
    inputs->addWidget(m_uBaseBox, 1, 5);
    inputs->addWidget(label("Tolerance"), 2, 0);
    inputs->addWidget(m_toleranceBox, 2, 1);
    inputs->addWidget(label("Grade"), 2, 2);
    inputs->addWidget(m_gradeBox, 2, 3);
    inputs->addWidget(label("Judged"), 2, 4);
    inputs->addWidget(m_figureBox, 2, 5);
    inputs->addWidget(label("Object"), 3, 0);
    inputs->addWidget(m_objectEdit, 3, 1);
    inputs->addWidget(label("Description"), 3, 2);
    inputs->addWidget(m_descriptionEdit, 3, 3);
    inputs->addWidget(label("Operator"), 3, 4);
    inputs->addWidget(m_operatorEdit, 3, 5);
    inputs->addWidget(label("Instrument"), 4, 0);
    inputs->addWidget(m_instrumentEdit, 4, 1);
    inputs->addWidget(label("Serial number"), 4, 2);
    inputs->addWidget(m_serialEdit, 4, 3);
    inputs->addWidget(label("Temperature"), 4, 4);
    inputs->addWidget(m_temperatureBox, 4, 5);
    inputs->addWidget(label("Plate length"), 5, 0);
    inputs->addWidget(m_lengthBox, 5, 1);
    inputs->addWidget(label("Plate width"), 5, 2);
    inputs->addWidget(m_widthBox, 5, 3);
    inputs->addWidget(label("Remarks"), 5, 4);
    inputs->addWidget(m_remarksEdit, 5, 5);
    layout->addLayout(inputs);

    auto* buttons = new QHBoxLayout;
    auto* openButton = new QPushButton(QStringLiteral("Open line files\u2026"), this);
    openButton->setObjectName(QStringLiteral("ButtonOpenLines"));
    m_saveButton = new QPushButton(QStringLiteral("Save line files\u2026"), this);
    m_saveButton->setObjectName(QStringLiteral("ButtonSaveLines"));
    m_certificateButton = new QPushButton(QStringLiteral("Certificate\u2026"), this);
    m_certificateButton->setObjectName(QStringLiteral("ButtonCertificate"));
    buttons->addWidget(openButton);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_certificateButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    m_messageLabel = new QLabel(this);
    m_messageLabel->setObjectName(QStringLiteral("LabelPlateMessage"));
    m_messageLabel->setWordWrap(true);
    m_messageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_messageLabel);
    auto* figures = new QHBoxLayout;
    for (size_t i = 0; i < m_figureLabels.size(); ++i) {
        m_figureLabels[i] = new QLabel(this);
        m_figureLabels[i]->setObjectName(QStringLiteral("LabelFlatness%1").arg(i));
        m_figureLabels[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        figures->addWidget(m_figureLabels[i]);
    }
    layout->addLayout(figures);
    auto* more = new QHBoxLayout;
    m_sdLabel = new QLabel(this);
    m_sdLabel->setObjectName(QStringLiteral("LabelPlateSd"));
    m_verdictLabel = new QLabel(this);
    m_verdictLabel->setObjectName(QStringLiteral("LabelPlateVerdict"));
    m_closureLabel = new QLabel(this);
    m_closureLabel->setObjectName(QStringLiteral("LabelPlateClosureErrors"));
    more->addWidget(m_sdLabel);
    more->addWidget(m_closureLabel);
    more->addWidget(m_verdictLabel);
    more->addStretch();
    layout->addLayout(more);

    auto* views = new QTabWidget(this);
    views->setObjectName(QStringLiteral("TabsPlateViews"));
    m_plan = new PlateView(PlateView::Mode::Plan, views);
    m_plan->setObjectName(QStringLiteral("PlatePlan"));
    m_colourMap = new QCustomPlot(views);
    m_colourMap->setObjectName(QStringLiteral("PlateColourMap"));
    m_isometric = new PlateView(PlateView::Mode::Isometric, views);
    m_isometric->setObjectName(QStringLiteral("PlateIsometric"));
    auto* lines = new QWidget(views);
    auto* linesLayout = new QVBoxLayout(lines);
    m_lineBox = new QComboBox(lines);
    m_lineBox->setObjectName(QStringLiteral("ComboPlateLine"));
    m_lineTable = new QTableWidget(lines);
    m_lineTable->setObjectName(QStringLiteral("TablePlateLine"));
    m_lineTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    linesLayout->addWidget(m_lineBox);
    linesLayout->addWidget(m_lineTable);
    m_closureTable = new QTableWidget(views);
    m_closureTable->setObjectName(QStringLiteral("TablePlateClosures"));
    m_closureTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    views->addTab(m_plan, QStringLiteral("Plan"));
    views->addTab(m_colourMap, QStringLiteral("Colour map"));
    views->addTab(m_isometric, QStringLiteral("Isometric"));
    views->addTab(lines, QStringLiteral("Lines"));
    views->addTab(m_closureTable, QStringLiteral("Closures"));
    layout->addWidget(views, 1);

    m_worker = new PlateUncertaintyWorker(this);
    connect(m_worker, &PlateUncertaintyWorker::finished, this,
            [this](const PlateUncertainty::Result& result) {
                m_uncertainty = result;
                showFigures();
                emit uncertaintyReady();
            });
    const auto kindChanged = [this] {
        const bool grid = m_kindBox->currentIndex() == 1;
        m_baseLabel->setText(grid ? QStringLiteral("Row base")
                                  : QStringLiteral("Base (edges, centre lines)"));
        m_secondLabel->setText(grid ? QStringLiteral("Column base") : QStringLiteral("Diagonal base"));
        m_secondBox->setMinimum(grid ? 1 : 0);
        m_secondBox->setSpecialValueText(grid ? QString() : QStringLiteral("to the corners"));
    };
    kindChanged();
    // A kind or base length entered by hand is for a folder's lines: a job shown gives way to them.
    const auto leaveJob = [this] {
        if (!m_applyingJob)
            m_jobId = 0;
    };
    connect(m_kindBox, &QComboBox::currentIndexChanged, this, [this, kindChanged, leaveJob] {
        kindChanged();
        leaveJob();
        reread();
    });
    for (QDoubleSpinBox* box : {m_baseBox, m_secondBox})
        connect(box, &QDoubleSpinBox::editingFinished, this, [this, leaveJob] {
            leaveJob();
            reread();
        });
    for (QDoubleSpinBox* box : {m_lengthBox, m_widthBox})
        connect(box, &QDoubleSpinBox::editingFinished, this, &FlatnessPage::reread);
    for (QDoubleSpinBox* box : {m_uABox, m_uBBox, m_uBaseBox})
        connect(box, &QDoubleSpinBox::editingFinished, this, &FlatnessPage::startUncertainty);
    connect(m_toleranceBox, &QDoubleSpinBox::valueChanged, this, &FlatnessPage::showFigures);
    connect(m_gradeBox, &QComboBox::currentIndexChanged, this, &FlatnessPage::showFigures);
    connect(m_figureBox, &QComboBox::currentIndexChanged, this, &FlatnessPage::showFigures);
    connect(m_lineBox, &QComboBox::currentIndexChanged, this, &FlatnessPage::showLine);
    connect(openButton, &QPushButton::clicked, this, &FlatnessPage::chooseFolder);
    connect(m_saveButton, &QPushButton::clicked, this, &FlatnessPage::saveFolder);
    connect(m_certificateButton, &QPushButton::clicked, this, &FlatnessPage::certificate);
    showFigures();
}

FlatnessPage::~FlatnessPage() = default;

void FlatnessPage::restoreInputs()
{
    using namespace SettingValues;
    m_kindBox->setCurrentIndex(readInt16(SettingKeys::PlateKind) == 2 ? 1 : 0);
    // Out of range reads as the default, not as the nearest limit.
    const auto restore = [](QDoubleSpinBox* box, const SettingKeys::Key& key) {
        const double value = readNumber(key);
        box->setValue(value >= box->minimum() && value <= box->maximum() ? value
                                                                         : toNumber(defaultText(key), 0));
    };
    restore(m_baseBox, SettingKeys::PlateBase);
    restore(m_secondBox, SettingKeys::PlateSecondBase);
    restore(m_uABox, SettingKeys::PlateUncertaintyA);
    restore(m_uBBox, SettingKeys::PlateUncertaintyB);
    restore(m_uBaseBox, SettingKeys::PlateBaseUncertainty);
    restore(m_lengthBox, SettingKeys::PlateLength);
    restore(m_widthBox, SettingKeys::PlateWidth);
    bool stated = false;
    const double temperature = readText(SettingKeys::PlateTemperature).toDouble(&stated);
    m_temperatureBox->setValue(
        stated && temperature > NoTemperature && temperature <= m_temperatureBox->maximum() ? temperature
                                                                                            : NoTemperature);
    m_instrumentEdit->setText(readText(SettingKeys::PlateInstrumentType));
    m_serialEdit->setText(readText(SettingKeys::PlateInstrumentSerial));
    m_descriptionEdit->setText(readText(SettingKeys::PlateDescription));
    m_folder = readText(SettingKeys::PlateFolder);
}

void FlatnessPage::storeInputs() const
{
    using namespace SettingValues;
    writeInt(SettingKeys::PlateKind, m_kindBox->currentIndex() + 1);
    writeNumber(SettingKeys::PlateBase, m_baseBox->value());
    writeNumber(SettingKeys::PlateSecondBase, m_secondBox->value());
    writeNumber(SettingKeys::PlateUncertaintyA, m_uABox->value());
    writeNumber(SettingKeys::PlateUncertaintyB, m_uBBox->value());
    writeNumber(SettingKeys::PlateBaseUncertainty, m_uBaseBox->value());
    writeText(SettingKeys::PlateFolder, m_folder);
    writeNumber(SettingKeys::PlateLength, m_lengthBox->value());
    writeNumber(SettingKeys::PlateWidth, m_widthBox->value());
    writeText(SettingKeys::PlateTemperature,
              std::isfinite(temperature()) ? Numbers::dotText(temperature(), 1) : QString());
    writeText(SettingKeys::PlateInstrumentType, m_instrumentEdit->text());
    writeText(SettingKeys::PlateInstrumentSerial, m_serialEdit->text());
    writeText(SettingKeys::PlateDescription, m_descriptionEdit->text());
}

double FlatnessPage::temperature() const
{
    return m_temperatureBox->value() > NoTemperature ? m_temperatureBox->value() : Flatness::NaN;
}

void FlatnessPage::setJobData(const PlateJobData& data)
{
    m_objectEdit->setText(data.objectId);
    m_descriptionEdit->setText(data.objectDescription);
    m_operatorEdit->setText(data.operatorName);
    m_instrumentEdit->setText(data.instrumentType);
    m_serialEdit->setText(data.instrumentSerial);
    m_remarksEdit->setText(data.remarks);
    m_temperatureBox->setValue(std::isfinite(data.temperature) ? data.temperature : NoTemperature);
    const auto number = [](QDoubleSpinBox* box, double value) {
        box->setValue(std::isfinite(value) && value > 0 ? value : 0);
    };
    number(m_lengthBox, data.plateLength);
    number(m_widthBox, data.plateWidth);
    number(m_uABox, data.angleUncertaintyA);
    number(m_uBBox, data.angleUncertaintyB);
    number(m_uBaseBox, data.baseLengthUncertainty);
    number(m_toleranceBox, data.tolerance);
    const int grade = static_cast<int>(data.grade);
    m_gradeBox->setCurrentIndex(grade >= 0 && grade < m_gradeBox->count() ? grade : 0);
    if (m_flatness)
        reread();
}

void FlatnessPage::message(const QString& text)
{
    m_messageLabel->setText(text);
}

void FlatnessPage::showProblem(const QString& text)
{
    m_flatness.reset();
    m_uncertainty.reset();
    message(text);
    showFigures();
}

void FlatnessPage::chooseFolder()
{
    const QString folder = FileDialog::choose(this, FileDialog::Kind::Folder, m_folder);
    if (!folder.isEmpty())
        openFolder(folder);
}

bool FlatnessPage::openFolder(const QString& folder)
{
    m_folder = folder;
    m_jobId = 0;
    m_sourceName = QFileInfo(folder).fileName();
    QString error;
    std::optional<PlateFiles::Plate> plate =
        m_kindBox->currentIndex() == 1
            ? PlateFiles::readGrid(folder, m_baseBox->value(), m_secondBox->value(), &error)
            : PlateFiles::readUnionJack(folder, m_baseBox->value(), m_secondBox->value(), &error);
    if (!plate) {
        showProblem(error);
        return false;
    }
    plate->geometry.setPlateSize(m_lengthBox->value(), m_widthBox->value());
    evaluate(plate->geometry, plate->readings);
    return m_flatness.has_value();
}

void FlatnessPage::reread()
{
    if (m_applyingJob)
        return;
    if (m_jobId != 0)
        (void)evaluateJob();
    else if (!m_folder.isEmpty())
        openFolder(m_folder);
}

void FlatnessPage::evaluate(const PlateGeometry& geometry, const PlateReadings& readings)
{
    Flatness flatness = Flatness::evaluate(geometry, readings);
    m_uncertainty.reset();
    if (!flatness.done()) {
        showProblem(flatness.problem());
        return;
    }
    m_flatness = std::move(flatness);
    message(QStringLiteral("%1: %2 lines, %3 readings")
                .arg(m_sourceName)
                .arg(m_flatness->geometry().lines().size())
                .arg(m_flatness->geometry().readingCount()));
    m_lineBox->blockSignals(true);
    m_lineBox->clear();
    for (const PlateGeometry::Line& line : m_flatness->geometry().lines())
        m_lineBox->addItem(line.title);
    m_lineBox->blockSignals(false);
    QList<QStringList> closures{{QStringLiteral("x [mm]"), QStringLiteral("y [mm]"), QStringLiteral("Line"),
                                 QStringLiteral("Station"), QStringLiteral("Closure [\u00b5m]")}};
    const PlateGeometry& g = m_flatness->geometry();
    for (const Flatness::Closure& c : m_flatness->closures()) {
        const PlateGeometry::Point& p = g.points()[static_cast<size_t>(c.point)];
        closures << QStringList{
            Numbers::dotText(p.x, 1), Numbers::dotText(p.y, 1), g.lines()[static_cast<size_t>(c.line)].name,
            c.station < 0 ? QStringLiteral("middle") : QString::number(c.station), Numbers::dotText(c.um, 3)};
    }
    fill(m_closureTable, closures);
    startUncertainty();
    showLine();
    showFigures();
}

void FlatnessPage::startUncertainty()
{
    if (!m_flatness)
        return;
    m_uncertainty.reset();
    PlateUncertainty::Input input;
    input.geometry = m_flatness->geometry();
    input.readings = m_flatness->readings();
    input.angleUncertaintyA = m_uABox->value();
    input.angleUncertaintyB = m_uBBox->value();
    input.baseLengthUncertainty = m_uBaseBox->value();
    m_worker->start(input);
    showFigures();
}

PlateUncertainty::Judgement FlatnessPage::judgement() const
{
    PlateUncertainty::Judgement j;
    if (m_toleranceBox->value() > 0)
        j.tolerance = m_toleranceBox->value();
    j.grade = static_cast<PlateUncertainty::Grade>(m_gradeBox->currentIndex());
    j.figure = Flatness::Figures[static_cast<size_t>(m_figureBox->currentIndex())];
    return j;
}

void FlatnessPage::showFigures()
{
    const bool shown = m_flatness.has_value();
    m_saveButton->setEnabled(shown);
    m_certificateButton->setEnabled(shown);
    for (size_t i = 0; i < m_figureLabels.size(); ++i) {
        const Flatness::Figure f = Flatness::Figures[i];
        const double value = shown ? m_flatness->figure(f) : Flatness::NaN;
        QString u = QStringLiteral("computing\u2026");
        if (m_uncertainty && m_uncertainty->done)
            u = um(m_uncertainty->expanded(f));
        m_figureLabels[i]->setText(
            !std::isfinite(value) ? QStringLiteral("%1: -").arg(Flatness::name(f))
                                  : QStringLiteral("%1: %2, U = %3").arg(Flatness::name(f), um(value), u));
    }
    m_sdLabel->setText(
        shown ? QStringLiteral("Reading SD: %1 arcsec").arg(Numbers::dotText(m_flatness->readingSd(), 3))
              : QString());
    const bool classic = shown && m_flatness->classic().done();
    m_closureLabel->setText(classic ? QStringLiteral("Closure E-W / N-S: %1 / %2")
                                          .arg(um(m_flatness->classic().closureEastWest()),
                                               um(m_flatness->classic().closureNorthSouth()))
                                    : QString());
    QString verdict;
    if (shown) {
        const PlateUncertainty::Judgement j = judgement();
        const double tolerance = j.toleranceFor(m_flatness->geometry());
        if (tolerance > 0) {
            verdict = !m_uncertainty
                          ? QStringLiteral("computing\u2026")
                          : Conformity::text(PlateUncertainty::verdict(*m_flatness, *m_uncertainty, j));
            verdict = QStringLiteral("Verdict (%1, tolerance %2): %3")
                          .arg(Flatness::name(j.figure), um(tolerance), verdict);
        }
    }
    m_verdictLabel->setText(verdict);
    const Flatness* f = shown ? &*m_flatness : nullptr;
    m_plan->show(f);
    m_isometric->show(f);
    if (f)
        PlateDrawing::colourMap(m_colourMap, *f);
}

void FlatnessPage::showLine()
{
    const int line = m_lineBox->currentIndex();
    if (!m_flatness || line < 0) {
        fill(m_lineTable, {});
        return;
    }
    fill(m_lineTable, PlateCertificate::lineRows(*m_flatness, line));
}

void FlatnessPage::saveFolder()
{
    if (!m_flatness)
        return;
    const QString folder = FileDialog::choose(this, FileDialog::Kind::Folder, m_folder);
    if (folder.isEmpty())
        return;
    QString error;
    if (!PlateFiles::write(folder, m_flatness->geometry(), m_flatness->readings(), &error))
        message(error);
    else
        message(QStringLiteral("Line files saved in %1").arg(folder));
}

bool FlatnessPage::withCertificate(const std::function<void(const PlateCertificate&)>& use) const
{
    if (!m_flatness)
        return false;
    const PlateUncertainty::Result none;
    use(PlateCertificate{*m_flatness, m_uncertainty ? *m_uncertainty : none, judgement(), m_uABox->value(),
                         m_uBBox->value(), m_uBaseBox->value(), m_objectEdit->text(), m_operatorEdit->text(),
                         m_remarksEdit->text(), m_descriptionEdit->text(), m_instrumentEdit->text(),
                         m_serialEdit->text(), temperature()});
    return true;
}

bool FlatnessPage::writeCertificate(const QString& file) const
{
    bool written = false;
    withCertificate([&](const PlateCertificate& certificate) { written = certificate.writePdf(file); });
    return written;
}

void FlatnessPage::paintCertificate(QPainter& painter, int width, int height, int page) const
{
    withCertificate(
        [&](const PlateCertificate& certificate) { certificate.paint(painter, width, height, page); });
}

void FlatnessPage::certificate()
{
    const QString file =
        FileDialog::choose(this, FileDialog::Kind::ExportPdf,
                           Plotting::exportName(QStringLiteral("flatness"), QStringLiteral("pdf")));
    if (file.isEmpty())
        return;
    message(writeCertificate(file) ? QStringLiteral("Certificate written to %1").arg(file)
                                   : QStringLiteral("The certificate could not be written to %1").arg(file));
}
