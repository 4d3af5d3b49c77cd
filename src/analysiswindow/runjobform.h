#pragma once

#include "analysis/straightnessjob.h"

#include <QWidget>

class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLineEdit;
class QSpinBox;

// The fields of a job, edited before a run: a straightness run's, or a plate's with its lines.
class RunJobForm : public QWidget {
    Q_OBJECT
public:
    explicit RunJobForm(QWidget* parent = nullptr);

    void setJob(const StraightnessJob& job);
    // The fields as a job; what the form does not show (id, tables) comes from the last job set.
    [[nodiscard]] StraightnessJob job() const;

private:
    // Shows the fields of the kind of job chosen.
    void showKind();

    StraightnessJob m_job;
    QFormLayout* m_layout = nullptr;
    QComboBox* m_kind = nullptr;
    QDoubleSpinBox* m_plateLength = nullptr;
    QDoubleSpinBox* m_plateWidth = nullptr;
    QSpinBox* m_stepsX = nullptr;
    QSpinBox* m_stepsY = nullptr;
    QDoubleSpinBox* m_diagonalBase = nullptr;
    QSpinBox* m_rows = nullptr;
    QSpinBox* m_cols = nullptr;
    QDoubleSpinBox* m_colBase = nullptr;
    QComboBox* m_grade = nullptr;
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
