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
} // namespace

RunJobForm::RunJobForm(QWidget* parent) : QWidget(parent)
{
    auto* form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
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
    form->addRow(QStringLiteral("Readings"), m_readings);
    form->addRow(QStringLiteral("Line length"), m_lineLength);
    form->addRow(QStringLiteral("Runs"), m_runs);
    form->addRow(QStringLiteral("Tolerance"), m_tolerance);
    form->addRow(QStringLiteral("Reference line"), m_reference);
    form->addRow(QStringLiteral("Settle time"), m_settleSeconds);
    form->addRow(QStringLiteral("Settle band"), m_settleBand);
    form->addRow(QStringLiteral("Remarks"), m_remarks);
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
    return job;
}
