// The straightness page's side of a job: finding it from a table's records, reading its runs from their
// tables and starting their uncertainty.
#include "analysiswindow/straightnesspage.h"

#include "tables/table.h"

#include <QDataStream>
#include <QLabel>

void StraightnessPage::setJobs(const JobBook* jobs)
{
    if (m_jobs)
        disconnect(m_jobs, nullptr, this, nullptr);
    m_jobs = jobs;
    if (m_jobs) {
        connect(m_jobs, &JobBook::changed, this, [this] {
            m_stale = true;
            evaluate();
        });
    }
    m_stale = true;
    evaluate();
}

void StraightnessPage::setTableSource(std::function<const Table*(int number)> source)
{
    m_source = std::move(source);
    m_stale = true;
    evaluate();
}

const StraightnessJob* StraightnessPage::jobOf(const Table& table) const
{
    if (!m_jobs)
        return nullptr;
    for (qint32 line = 1; line <= table.count(); ++line) {
        const LineRecord* record = table.record(line);
        // A plate's line is evaluated as a table of its own.
        if (record && record->job != 0)
            if (const StraightnessJob* job = m_jobs->find(record->job); job && !job->plate)
                return job;
    }
    return nullptr;
}

const Table* StraightnessPage::runTable(const StraightnessJob& job, int run) const
{
    const int number = run == 1 ? job.forwardTable : job.backwardTable;
    if (number == m_number)
        return m_table;
    if (number >= 1 && m_source)
        return m_source(number);
    // A job that names no table yet: the table shown, when it holds the run.
    for (qint32 line = 1; number == 0 && line <= m_table->count(); ++line) {
        const LineRecord* record = m_table->record(line);
        if (record && record->job == job.id && record->run == run)
            return m_table;
    }
    return nullptr;
}

void StraightnessPage::watch(const Table* table)
{
    // The table shown tells its changes through follow().
    if (!table || table == m_table)
        return;
    const auto stale = [this] { m_stale = true; };
    m_watched.push_back(connect(table, &Table::linesInserted, this, stale));
    m_watched.push_back(connect(table, &Table::linesRemoved, this, stale));
    m_watched.push_back(connect(table, &Table::cellsChanged, this, stale));
}

bool StraightnessPage::evaluateJob()
{
    for (const QMetaObject::Connection& c : m_watched)
        disconnect(c);
    m_watched.clear();
    const StraightnessJob* found = m_tobar ? nullptr : jobOf(*m_table);
    if (!found) {
        m_job.reset();
        return false;
    }
    m_job = *found;
    const StraightnessJob& job = *m_job;
    const bool both = job.runs == StraightnessJob::Runs::ForwardBackward;
    const Table* forward = runTable(job, 1);
    const Table* backward = both ? runTable(job, 2) : nullptr;
    watch(forward);
    watch(backward);
    std::optional<StraightnessRun::Readings> forwardReadings, backwardReadings;
    if (forward)
        forwardReadings = StraightnessRun::fromTable(*forward, job, 1, m_unit);
    if (backward)
        backwardReadings = StraightnessRun::fromTable(*backward, job, 2, m_unit);
    m_run = StraightnessRun();
    m_jobMessage.clear();
    if (!forwardReadings) {
        m_jobMessage = QStringLiteral("The forward run of job %1 is not complete.").arg(job.id);
    } else {
        m_run = StraightnessRun::evaluate(job, *forwardReadings, backwardReadings);
        if (!m_run.done())
            m_jobMessage = m_run.message();
        else if (both && !backwardReadings)
            m_jobMessage = QStringLiteral("The backward run of job %1 is not complete: the forward run is "
                                          "shown alone.")
                               .arg(job.id);
    }

    // When the stations were stored, for the report.
    const LineRecord* first = nullptr;
    const LineRecord* last = nullptr;
    for (const Table* table : {forward, backward}) {
        for (qint32 line = 1; table && line <= table->count(); ++line) {
            const LineRecord* r = table->record(line);
            if (!r || r->job != job.id || !r->hasTime())
                continue;
            first = !first || r->msecs < first->msecs ? r : first;
            last = !last || r->msecs > last->msecs ? r : last;
        }
    }
    const auto local = [](const LineRecord* r) {
        return r ? QDateTime::fromMSecsSinceEpoch(r->msecs, Qt::OffsetFromUTC, r->utcOffset) : QDateTime();
    };
    m_measuredFrom = local(first);
    m_measuredTo = local(last);

    QString scope = QStringLiteral("Job %1").arg(job.id);
    if (!job.objectId.isEmpty())
        scope += QStringLiteral(" (%1)").arg(job.objectId);
    const auto tableOf = [](int number) {
        return number > 0 ? QStringLiteral("table %1").arg(number) : QStringLiteral("no table yet");
    };
    scope += QStringLiteral(": forward run in %1")
                 .arg(tableOf(forward == m_table && job.forwardTable == 0 ? m_number : job.forwardTable));
    if (both)
        scope +=
            QStringLiteral(", backward run in %1")
                .arg(tableOf(backward == m_table && job.backwardTable == 0 ? m_number : job.backwardTable));
    m_scopeLabel->setText(scope);
    startUncertainty();
    return true;
}

void StraightnessPage::startUncertainty()
{
    if (!m_run.done())
        return;
    RunUncertainty::Input input;
    input.job = *m_job;
    input.forward = m_run.forwardReadings();
    input.backward = m_run.backwardReadings();
    // Only what the propagation reads: a new tolerance or a new unit shown leaves the result as it is.
    QByteArray key;
    QDataStream out(&key, QIODevice::WriteOnly);
    out << input.job.angleUncertaintyA << input.job.angleUncertaintyB << input.job.baseLength
        << input.job.baseLengthUncertainty;
    for (const std::optional<StraightnessRun::Readings>& run :
         {std::optional(input.forward), input.backward}) {
        out << run.has_value();
        for (size_t i = 0; run && i < run->reading.size(); ++i)
            out << run->reading[i] << run->settleSd.at(i) << run->settleCount.at(i);
    }
    if (key == m_uncertaintyOf)
        return;
    m_uncertaintyOf = key;
    m_uncertainty.reset();
    m_worker->start(input);
}
