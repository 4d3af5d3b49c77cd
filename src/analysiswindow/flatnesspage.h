#pragma once

#include "analysis/flatness.h"
#include "analysis/plateuncertainty.h"
#include "analysis/straightnessjob.h"
#include "analysiswindow/platejobdata.h"
#include "state/angleunit.h"

#include <QWidget>

#include <array>
#include <functional>
#include <optional>

struct PlateCertificate;
class PlateUncertaintyWorker;
class QPainter;
class PlateView;
class QComboBox;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class Table;

// A surface plate's flatness from a folder of line files: the figures by each evaluation with their
// uncertainty, the verdict, a plan view, a colour map, the isometric drawing, the per-line tables, the
// closure errors, and the certificate.
class FlatnessPage : public QWidget {
    Q_OBJECT
public:
    explicit FlatnessPage(QWidget* parent = nullptr);
    ~FlatnessPage() override;

    // Reads the folder's line files with the kind and base lengths entered; false (and the error shown)
    // when they cannot be read.
    bool openFolder(const QString& folder);
    // The plate jobs run in this session and the tables their lines are in.
    void setJobs(const JobBook* jobs);
    void setTableSource(std::function<const Table*(int number)> source);
    // Evaluates the plate job a line of table `number` names, with the job's plate, instrument and
    // judgement; lines without a record are read in unit. False when the table names no plate job, or
    // (the reason shown) when a line of it is not complete.
    bool showJob(int number, AngleUnit unit);
    // The plate job shown; 0: a folder's lines or none.
    [[nodiscard]] quint32 jobShown() const { return m_jobId; }
    [[nodiscard]] const std::optional<Flatness>& flatness() const { return m_flatness; }
    [[nodiscard]] const std::optional<PlateUncertainty::Result>& uncertainty() const { return m_uncertainty; }
    // The kind, base lengths, uncertainties and last folder from the store, and into it.
    void restoreInputs();
    void storeInputs() const;
    // Fills the inputs from a job; the plate shown is evaluated again with them.
    void setJobData(const PlateJobData& data);
    [[nodiscard]] bool writeCertificate(const QString& file) const;
    // Page `page` (0-based) of the certificate on a painter whose device is width x height pixels.
    void paintCertificate(QPainter& painter, int width, int height, int page) const;

signals:
    // The uncertainty of the plate shown is known.
    void uncertaintyReady();

private:
    void chooseFolder();
    void saveFolder();
    void certificate();
    void reread();
    void evaluate(const PlateGeometry& geometry, const PlateReadings& readings);
    void startUncertainty();
    void showFigures();
    void showLine();
    [[nodiscard]] PlateUncertainty::Judgement judgement() const;
    // °C; NaN when not stated.
    [[nodiscard]] double temperature() const;
    // Calls use with the certificate of the plate shown; false when none is.
    bool withCertificate(const std::function<void(const PlateCertificate&)>& use) const;
    void message(const QString& text);
    // No plate shown, and why.
    void showProblem(const QString& text);
    [[nodiscard]] const StraightnessJob* plateJobOf(int number) const;
    // The job shown, its lines read from their tables again.
    bool evaluateJob();

    QComboBox* m_kindBox = nullptr;
    QLabel* m_baseLabel = nullptr;
    QLabel* m_secondLabel = nullptr;
    QDoubleSpinBox* m_baseBox = nullptr;
    QDoubleSpinBox* m_secondBox = nullptr; // the diagonals' base length, or the columns'
    QDoubleSpinBox* m_uABox = nullptr;
    QDoubleSpinBox* m_uBBox = nullptr;
    QDoubleSpinBox* m_uBaseBox = nullptr;
    QDoubleSpinBox* m_toleranceBox = nullptr;
    QComboBox* m_gradeBox = nullptr;
    QComboBox* m_figureBox = nullptr;
    QLineEdit* m_objectEdit = nullptr;
    QLineEdit* m_operatorEdit = nullptr;
    QLineEdit* m_remarksEdit = nullptr;
    QLineEdit* m_descriptionEdit = nullptr;
    QLineEdit* m_instrumentEdit = nullptr;
    QLineEdit* m_serialEdit = nullptr;
    QDoubleSpinBox* m_temperatureBox = nullptr; // its minimum: not stated
    QDoubleSpinBox* m_lengthBox = nullptr;      // 0: the measured rectangle's
    QDoubleSpinBox* m_widthBox = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_certificateButton = nullptr;
    QLabel* m_messageLabel = nullptr;
    std::array<QLabel*, 3> m_figureLabels{};
    QLabel* m_sdLabel = nullptr;
    QLabel* m_closureLabel = nullptr;
    QLabel* m_verdictLabel = nullptr;
    PlateView* m_plan = nullptr;
    PlateView* m_isometric = nullptr;
    QCustomPlot* m_colourMap = nullptr;
    QComboBox* m_lineBox = nullptr;
    QTableWidget* m_lineTable = nullptr;
    QTableWidget* m_closureTable = nullptr;

    QString m_folder;
    QString m_sourceName; // what the plate shown was read from, for the operator
    const JobBook* m_jobs = nullptr;
    std::function<const Table*(int number)> m_source;
    quint32 m_jobId = 0;
    AngleUnit m_jobUnit = AngleUnit::Arcsec;
    bool m_applyingJob = false;
    std::optional<Flatness> m_flatness;
    std::optional<PlateUncertainty::Result> m_uncertainty;
    PlateUncertaintyWorker* m_worker = nullptr;
};
