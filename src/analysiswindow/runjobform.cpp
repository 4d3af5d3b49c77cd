#include "analysiswindow/runjobform.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

namespace {
constexpr double NoTemperature = -100; // the spin box's minimum shows "not stated"

QDoubleSpinBox* spin(QWidget* parent, const char* name, double min, double max, int decimals,
                     const QString& suffix, const QString& special = {})
{
    auto* box = new QDoubleSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(min, max);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    box->setSpecialValueText(special);
    return box;
}

QLineEdit* edit(QWidget* parent, const char* name)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

QSpinBox* whole(QWidget* parent, const char* name, int min, int max, const QString& special = {})
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(min, max);
    box->setSpecialValueText(special);
    return box;
}

enum Kind { StraightnessKind, UnionJackKind, GridKind };
} // namespace

RunJobForm::RunJobForm(QWidget* parent) : QWidget(parent)
{
    auto* form = new QFormLayout(this);
    m_layout = form;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("RunKind"));
    m_kind->addItems({QStringLiteral("Straightness"), QStringLiteral("Union Jack"), QStringLiteral("Grid")});
    const double maxLength = PlateGeometry::MaxReadings * PlateGeometry::MaxBaseLength;
    m_plateLength = spin(this, "RunPlateLength", 0, maxLength, 1, QStringLiteral(" mm"));
    m_plateWidth = spin(this, "RunPlateWidth", 0, maxLength, 1, QStringLiteral(" mm"));
    m_stepsX = whole(this, "RunStepsX", 0, PlateGeometry::MaxReadings, QStringLiteral("as many as fit"));
    m_stepsY = whole(this, "RunStepsY", 0, PlateGeometry::MaxReadings, QStringLiteral("as many as fit"));
    m_diagonalBase = spin(this, "RunDiagonalBase", 0, PlateGeometry::MaxBaseLength, 3, QStringLiteral(" mm"),
                          QStringLiteral("to the corners"));
    m_rows = whole(this, "RunRows", 2, PlateGeometry::MaxGridLines);
    m_cols = whole(this, "RunColumns", 2, PlateGeometry::MaxGridLines);
    m_colBase = spin(this, "RunColumnBase", 0.001, PlateGeometry::MaxBaseLength, 3, QStringLiteral(" mm"));
    m_grade = new QComboBox(this);
    m_grade->setObjectName(QStringLiteral("RunGrade"));
    for (const auto grade : {PlateUncertainty::Grade::None, PlateUncertainty::Grade::AA,
                             PlateUncertainty::Grade::A, PlateUncertainty::Grade::B})
        m_grade->addItem(grade == PlateUncertainty::Grade::None ? QStringLiteral("none")
                                                                : PlateUncertainty::gradeName(grade));
    m_objectId = edit(this, "RunObjectId");
    m_objectDescription = edit(this, "RunObjectDescription");
    m_operator = edit(this, "RunOperator");
    m_instrumentType = edit(this, "RunInstrumentType");
    m_instrumentSerial = edit(this, "RunInstrumentSerial");
    m_uncertaintyA = spin(this, "RunUncertaintyA", 0, 1000, 3, QStringLiteral(" arcsec"));
    m_uncertaintyB = spin(this, "RunUncertaintyB", 0, 1, 6, QString());
    m_uncertaintyB->setToolTip(QStringLiteral("u = a + b \u00b7 |reading|"));
    m_temperature = spin(this, "RunTemperature", NoTemperature, 100, 1, QStringLiteral(" \u00b0C"),
                         QStringLiteral("not stated"));
    m_axis = new QComboBox(this);
    m_axis->setObjectName(QStringLiteral("RunAxis"));
    m_axis->addItems({QStringLiteral("X"), QStringLiteral("Y")});
    m_baseLength = spin(this, "RunBaseLength", 0.001, Straightness::MaxBaseLength, 3, QStringLiteral(" mm"));
    m_baseUncertainty = spin(this, "RunBaseUncertainty", 0, 1000, 3, QStringLiteral(" mm"));
    m_readings = new QSpinBox(this);
    m_readings->setObjectName(QStringLiteral("RunReadings"));
    m_readings->setRange(1, 32766);
    m_lineLength = spin(this, "RunLineLength", 0, 1e7, 1, QStringLiteral(" mm"), QStringLiteral("not set"));
    m_lineLength->setToolTip(QStringLiteral("When set, the number of readings is line length / base length"));
    m_runs = new QComboBox(this);
    m_runs->setObjectName(QStringLiteral("RunRuns"));
    m_runs->addItems({QStringLiteral("Forward only"), QStringLiteral("Forward and backward")});
    m_tolerance = spin(this, "RunTolerance", 0, 1e6, 2, QStringLiteral(" \u00b5m"), QStringLiteral("none"));
    m_reference = new QComboBox(this);
    m_reference->setObjectName(QStringLiteral("RunReference"));
    for (const Straightness::Reference r : Straightness::References)
        m_reference->addItem(Straightness::name(r));
    m_settleSeconds = spin(this, "RunSettleTime", 0.1, 60, 1, QStringLiteral(" s"));
    m_settleBand = spin(this, "RunSettleBand", 0.001, 1000, 3, QStringLiteral(" arcsec"));
    m_remarks = edit(this, "RunRemarks");

    form->addRow(QStringLiteral("Job"), m_kind);
    form->addRow(QStringLiteral("Object"), m_objectId);
    form->addRow(QStringLiteral("Description"), m_objectDescription);
    form->addRow(QStringLiteral("Operator"), m_operator);
    form->addRow(QStringLiteral("Instrument"), m_instrumentType);
    form->addRow(QStringLiteral("Serial number"), m_instrumentSerial);
    form->addRow(QStringLiteral("Angle uncertainty a"), m_uncertaintyA);
    form->addRow(QStringLiteral("Angle uncertainty b"), m_uncertaintyB);
    form->addRow(QStringLiteral("Temperature"), m_temperature);
    form->addRow(QStringLiteral("Axis"), m_axis);
    form->addRow(QStringLiteral("Base length"), m_baseLength);
    form->addRow(QStringLiteral("Its uncertainty"), m_baseUncertainty);
    form->addRow(QStringLiteral("Plate length"), m_plateLength);
    form->addRow(QStringLiteral("Plate width"), m_plateWidth);
    form->addRow(QStringLiteral("Steps east-west"), m_stepsX);
    form->addRow(QStringLiteral("Steps north-south"), m_stepsY);
    form->addRow(QStringLiteral("Diagonal base length"), m_diagonalBase);
    form->addRow(QStringLiteral("Rows"), m_rows);
    form->addRow(QStringLiteral("Columns"), m_cols);
    form->addRow(QStringLiteral("Column base length"), m_colBase);
    form->addRow(QStringLiteral("Readings"), m_readings);
    form->addRow(QStringLiteral("Line length"), m_lineLength);
    form->addRow(QStringLiteral("Runs"), m_runs);
    form->addRow(QStringLiteral("Tolerance"), m_tolerance);
    form->addRow(QStringLiteral("Reference line"), m_reference);
    form->addRow(QStringLiteral("Grade"), m_grade);
    form->addRow(QStringLiteral("Settle time"), m_settleSeconds);
    form->addRow(QStringLiteral("Settle band"), m_settleBand);
    form->addRow(QStringLiteral("Remarks"), m_remarks);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &RunJobForm::showKind);
    showKind();
}

void RunJobForm::showKind()
{
    using Fields = std::initializer_list<QWidget*>;
    const int kind = m_kind->currentIndex();
    const auto show = [this](Fields fields, bool on) {
        for (QWidget* field : fields)
            m_layout->setRowVisible(field, on);
    };
    show(Fields{m_readings, m_lineLength, m_runs, m_reference}, kind == StraightnessKind);
    show(Fields{m_plateLength, m_plateWidth, m_stepsX, m_stepsY, m_diagonalBase}, kind == UnionJackKind);
    show(Fields{m_rows, m_cols, m_colBase}, kind == GridKind);
    show(Fields{m_grade}, kind != StraightnessKind);
}

void RunJobForm::setJob(const StraightnessJob& job)
{
    m_job = job;
    m_objectId->setText(job.objectId);
    m_objectDescription->setText(job.objectDescription);
    m_operator->setText(job.operatorName);
    m_instrumentType->setText(job.instrumentType);
    m_instrumentSerial->setText(job.instrumentSerial);
    m_uncertaintyA->setValue(job.angleUncertaintyA);
    m_uncertaintyB->setValue(job.angleUncertaintyB);
    m_temperature->setValue(std::isnan(job.temperature) ? NoTemperature : job.temperature);
    m_axis->setCurrentIndex(job.axis == 2 ? 1 : 0);
    m_baseLength->setValue(job.baseLength);
    m_baseUncertainty->setValue(job.baseLengthUncertainty);
    m_readings->setValue(job.readings);
    m_lineLength->setValue(job.lineLength);
    m_runs->setCurrentIndex(job.runs == StraightnessJob::Runs::ForwardBackward ? 1 : 0);
    m_tolerance->setValue(std::isnan(job.tolerance) ? 0.0 : job.tolerance);
    m_reference->setCurrentIndex(static_cast<int>(job.reference));
    m_settleSeconds->setValue(job.settleSeconds);
    m_settleBand->setValue(job.settleBand);
    m_remarks->setText(job.remarks);
    const PlatePlan plan = job.plate.value_or(PlatePlan{});
    m_kind->setCurrentIndex(!job.plate                                    ? StraightnessKind
                            : plan.kind == PlateGeometry::Kind::UnionJack ? UnionJackKind
                                                                          : GridKind);
    m_plateLength->setValue(plan.plateLength);
    m_plateWidth->setValue(plan.plateWidth);
    m_stepsX->setValue(plan.stepsX);
    m_stepsY->setValue(plan.stepsY);
    m_diagonalBase->setValue(plan.diagonalBase);
    m_rows->setValue(plan.rows);
    m_cols->setValue(plan.cols);
    m_colBase->setValue(plan.colBase);
    m_grade->setCurrentIndex(static_cast<int>(plan.grade));
}

StraightnessJob RunJobForm::job() const
{
    StraightnessJob job = m_job;
    job.objectId = m_objectId->text();
    job.objectDescription = m_objectDescription->text();
    job.operatorName = m_operator->text();
    job.instrumentType = m_instrumentType->text();
    job.instrumentSerial = m_instrumentSerial->text();
    job.angleUncertaintyA = m_uncertaintyA->value();
    job.angleUncertaintyB = m_uncertaintyB->value();
    job.temperature = m_temperature->value() <= NoTemperature ? StraightnessJob::NaN : m_temperature->value();
    job.axis = m_axis->currentIndex() + 1;
    job.baseLength = m_baseLength->value();
    job.baseLengthUncertainty = m_baseUncertainty->value();
    job.readings = m_readings->value();
    job.lineLength = m_lineLength->value();
    job.runs =
        m_runs->currentIndex() == 1 ? StraightnessJob::Runs::ForwardBackward : StraightnessJob::Runs::Forward;
    job.tolerance = m_tolerance->value() > 0 ? m_tolerance->value() : StraightnessJob::NaN;
    job.reference = Straightness::References[static_cast<size_t>(std::max(0, m_reference->currentIndex()))];
    job.settleSeconds = m_settleSeconds->value();
    job.settleBand = m_settleBand->value();
    job.remarks = m_remarks->text();
    if (m_kind->currentIndex() == StraightnessKind) {
        job.plate.reset();
        return job;
    }
    PlatePlan plan = job.plate.value_or(PlatePlan{});
    plan.kind =
        m_kind->currentIndex() == GridKind ? PlateGeometry::Kind::Grid : PlateGeometry::Kind::UnionJack;
    plan.plateLength = m_plateLength->value();
    plan.plateWidth = m_plateWidth->value();
    plan.stepsX = m_stepsX->value();
    plan.stepsY = m_stepsY->value();
    plan.diagonalBase = m_diagonalBase->value();
    plan.rows = m_rows->value();
    plan.cols = m_cols->value();
    plan.colBase = m_colBase->value();
    plan.grade = static_cast<PlateUncertainty::Grade>(std::max(0, m_grade->currentIndex()));
    job.plate = plan;
    return job;
}
