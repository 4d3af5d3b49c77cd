#pragma once

#include "analysis/straightnessjob.h"

#include <QWidget>

class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

// The fields of a straightness job, edited before a run.
class RunJobForm : public QWidget {
    Q_OBJECT
public:
    explicit RunJobForm(QWidget* parent = nullptr);

    void setJob(const StraightnessJob& job);
    // The fields as a job; what the form does not show (id, tables) comes from the last job set.
    [[nodiscard]] StraightnessJob job() const;

private:
    StraightnessJob m_job;
    QLineEdit* m_objectId = nullptr;
    QLineEdit* m_objectDescription = nullptr;
    QLineEdit* m_operator = nullptr;
    QLineEdit* m_instrumentType = nullptr;
    QLineEdit* m_instrumentSerial = nullptr;
    QDoubleSpinBox* m_uncertaintyA = nullptr;
    QDoubleSpinBox* m_uncertaintyB = nullptr;
    QDoubleSpinBox* m_temperature = nullptr;
    QComboBox* m_axis = nullptr;
    QDoubleSpinBox* m_baseLength = nullptr;
    QDoubleSpinBox* m_baseUncertainty = nullptr;
    QSpinBox* m_readings = nullptr;
    QDoubleSpinBox* m_lineLength = nullptr;
    QComboBox* m_runs = nullptr;
    QDoubleSpinBox* m_tolerance = nullptr;
    QComboBox* m_reference = nullptr;
    QDoubleSpinBox* m_settleSeconds = nullptr;
    QDoubleSpinBox* m_settleBand = nullptr;
    QLineEdit* m_remarks = nullptr;
};
