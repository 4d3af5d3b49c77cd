#pragma once

#include "analysis/rununcertainty.h"
#include "analysis/straightness.h"
#include "analysis/straightnessjob.h"
#include "analysis/straightnessrun.h"

#include <QDateTime>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <QtGlobal>

#include <array>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;
class Table;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableView;
class StationModel;

// The height profile of a guideway from the readings of the current table (or the selected lines), its
// deviation from three reference lines, a plot, the station table, a PDF report and CSV. A table that
// holds a job's run shows the job instead: both runs, their mean and reversal, the deviations with their
// uncertainty and the verdict, and the job's report.
class StraightnessPage : public QWidget {
    Q_OBJECT
public:
    explicit StraightnessPage(QWidget* parent = nullptr);
    ~StraightnessPage() override;

    // Evaluates table `number` again when its lines, the selection, the unit shown or the inputs changed;
    // selected: the operator's current line and the selection's other end; changedFrom: the first line
    // changed since the last call. fileName: the table's file, if any.
    void follow(const Table& table, int number, std::pair<qint32, qint32> selected, qint32 changedFrom,
                bool tobar, AngleUnit unit, const QString& fileName);
    [[nodiscard]] const Straightness& result() const { return m_result; }
    [[nodiscard]] Straightness::Reference reference() const;
    // Axis, base length and direction from the store, and into it.
    void restoreInputs();
    void storeInputs() const;

    // The jobs a table's records may name; null: every table is evaluated as it stands.
    void setJobs(const JobBook* jobs);
    // Where the tables are found by number (1 .. 10): a job's other run lies in another table.
    void setTableSource(std::function<const Table*(int number)> source);
    // The job shown, null when a table is shown as it stands; its runs evaluated, and their uncertainty
    // once computed.
    [[nodiscard]] const StraightnessJob* job() const { return m_job ? &*m_job : nullptr; }
    [[nodiscard]] const StraightnessRun& run() const { return m_run; }
    [[nodiscard]] const std::optional<RunUncertainty::Result>& uncertainty() const { return m_uncertainty; }

private:
    void evaluate();
    // Evaluates the job whose run the table holds; false when it holds none.
    bool evaluateJob();
    [[nodiscard]] const StraightnessJob* jobOf(const Table& table) const;
    [[nodiscard]] const Table* runTable(const StraightnessJob& job, int run) const;
    void watch(const Table* table);
    void startUncertainty();
    void show();
    void showJob();
    void plotProfile(const Straightness& profile, Straightness::Reference reference);
    void writeReport();
    void writeCsv();

    QComboBox* m_axisBox = nullptr;
    QDoubleSpinBox* m_baseLengthBox = nullptr;
    QComboBox* m_directionBox = nullptr;
    QComboBox* m_referenceBox = nullptr;
    QLabel* m_scopeLabel = nullptr;
    QLabel* m_messageLabel = nullptr;
    std::array<QLabel*, 3> m_deviationLabels{}; // end points, least squares, minimum zone
    QLabel* m_reversalLabel = nullptr;
    QLabel* m_verdictLabel = nullptr;
    QCustomPlot* m_plot = nullptr;
    QTableView* m_stationTable = nullptr;
    QPushButton* m_reportButton = nullptr;
    QPushButton* m_csvButton = nullptr;
    Straightness m_result;
    StationModel* m_model = nullptr;
    const Table* m_table = nullptr;
    int m_number = 0;
    bool m_tobar = false;
    AngleUnit m_unit = AngleUnit::Arcsec;
    QString m_fileName;
    Straightness::Input m_scope; // the lines and unit last evaluated
    bool m_stale = true;         // the inputs changed since

    QPointer<const JobBook> m_jobs;
    std::function<const Table*(int)> m_source;
    std::optional<StraightnessJob> m_job;
    StraightnessRun m_run;
    QString m_jobMessage;     // why the job is not shown whole; empty when it is
    QDateTime m_measuredFrom; // the first and last station stored
    QDateTime m_measuredTo;
    std::vector<QMetaObject::Connection> m_watched; // the changes of the job's other tables
    UncertaintyWorker* m_worker = nullptr;
    QByteArray m_uncertaintyOf; // what the last computation was started for
    std::optional<RunUncertainty::Result> m_uncertainty;
};
