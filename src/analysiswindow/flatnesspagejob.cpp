// The Flatness page's side of a plate job: found from a table's records, its lines read from their tables.
#include "analysiswindow/flatnesspage.h"

#include "analysis/straightnessrun.h"
#include "tables/table.h"

#include <QComboBox>
#include <QDoubleSpinBox>

void FlatnessPage::setJobs(const JobBook* jobs)
{
    m_jobs = jobs;
}

void FlatnessPage::setTableSource(std::function<const Table*(int number)> source)
{
    m_source = std::move(source);
}

const StraightnessJob* FlatnessPage::plateJobOf(int number) const
{
    const Table* table = m_source ? m_source(number) : nullptr;
    if (!table || !m_jobs)
        return nullptr;
    for (qint32 line = 1; line <= table->count(); ++line) {
        const LineRecord* record = table->record(line);
        if (record && record->job != 0)
            if (const StraightnessJob* job = m_jobs->find(record->job); job && job->plate)
                return job;
    }
    return nullptr;
}

bool FlatnessPage::showJob(int number, AngleUnit unit)
{
    const StraightnessJob* job = plateJobOf(number);
    if (!job)
        return false;
    m_jobId = job->id;
    m_jobUnit = unit;
    // The job's plate, instrument and judgement replace what the page had.
    m_applyingJob = true;
    const bool grid = job->plate->kind == PlateGeometry::Kind::Grid;
    m_kindBox->setCurrentIndex(grid ? 1 : 0);
    m_baseBox->setValue(job->baseLength);
    m_secondBox->setValue(grid ? job->plate->colBase : job->plate->diagonalBase);
    setJobData(PlateJobData::fromJob(*job));
    m_applyingJob = false;
    return evaluateJob();
}

bool FlatnessPage::evaluateJob()
{
    const StraightnessJob* found = m_jobs ? m_jobs->find(m_jobId) : nullptr;
    if (!found || !found->plate || !m_source)
        return false;
    const StraightnessJob job = *found;
    PlateGeometry geometry = job.plate->geometry(job.baseLength);
    geometry.setPlateSize(m_lengthBox->value(), m_widthBox->value());
    const std::vector<StraightnessJob::Pass> passes = job.passes();
    PlateReadings readings;
    for (size_t i = 0; i < passes.size(); ++i) {
        const Table* table = m_source(passes[i].table);
        const auto line = table ? StraightnessRun::fromTable(*table, job, static_cast<int>(i) + 1, m_jobUnit)
                                : std::nullopt;
        if (!line) {
            showProblem(QStringLiteral("Line %1 of job %2, %3, is not complete.")
                            .arg(i + 1)
                            .arg(job.id)
                            .arg(passes[i].title));
            return false;
        }
        readings.lines.push_back(line->reading);
        std::vector<double> scatter;
        for (size_t k = 0; k < line->reading.size(); ++k)
            scatter.push_back(line->scatter(k));
        readings.scatter.push_back(std::move(scatter));
    }
    m_sourceName = job.objectId.isEmpty() ? QStringLiteral("Job %1").arg(job.id)
                                          : QStringLiteral("Job %1 (%2)").arg(job.id).arg(job.objectId);
    evaluate(geometry, readings);
    return m_flatness.has_value();
}
