#include "analysiswindow/runpage.h"
#include "analysiswindow/runjobform.h"

#include "analysis/csvexport.h"
#include "analysis/guidedrun.h"
#include "state/anglemanager.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {
QLabel* label(QWidget* parent, const char* name, double scale = 1.0, bool bold = false)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    QFont font = l->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    l->setFont(font);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, const QString& tip = {})
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip);
    return b;
}

QString number(double v)
{
    return QString::number(v, 'g', 10);
}
} // namespace

RunPage::RunPage(GuidedRun& run, const AngleManager& angles, QWidget* parent)
    : QWidget(parent), m_run(run), m_angles(angles)
{
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    m_form = new RunJobForm(scroll);
    m_form->setObjectName(QStringLiteral("RunJob"));
    m_form->setJob(StraightnessJob::last());
    scroll->setWidget(m_form);
    left->addWidget(scroll, 1);
    auto* jobButtons = new QHBoxLayout;
    m_openButton = button(this, "RunOpenJob", QStringLiteral("Open job\u2026"));
    m_saveButton = button(this, "RunSaveJob", QStringLiteral("Save job\u2026"));
    m_startButton = button(this, "RunStart", QStringLiteral("Start"));
    jobButtons->addWidget(m_openButton);
    jobButtons->addWidget(m_saveButton);
    jobButtons->addStretch();
    jobButtons->addWidget(m_startButton);
    left->addLayout(jobButtons);
    layout->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    m_display = new QFrame(this);
    m_display->setObjectName(QStringLiteral("RunDisplay"));
    m_display->setFrameShape(QFrame::StyledPanel);
    m_display->setAutoFillBackground(true);
    auto* display = new QVBoxLayout(m_display);
    m_phase = label(m_display, "RunPhase", 1.3);
    m_station = label(m_display, "RunStation", 2.6, true);
    m_position = label(m_display, "RunPosition", 1.8);
    m_reading = label(m_display, "RunReading", 1.3);
    for (QLabel* l : {m_phase, m_station, m_position, m_reading}) {
        l->setAlignment(Qt::AlignCenter);
        display->addWidget(l);
    }
    right->addWidget(m_display);
    m_settleBar = new QProgressBar(this);
    m_settleBar->setObjectName(QStringLiteral("RunSettle"));
    m_settleBar->setRange(0, 100);
    m_settleBar->setFormat(QStringLiteral("Settled %p%"));
    right->addWidget(m_settleBar);
    m_spread = label(this, "RunSpread");
    right->addWidget(m_spread);
    auto* runButtons = new QHBoxLayout;
    m_storeButton =
        button(this, "RunStoreNow", QStringLiteral("Store now"), QStringLiteral("Store now (Space)"));
    m_retakeButton = button(this, "RunRetake", QStringLiteral("Retake station"),
                            QStringLiteral("Retake the last station (Backspace)"));
    m_pauseButton = button(this, "RunPause", QStringLiteral("Pause"));
    m_cancelButton = button(this, "RunCancel", QStringLiteral("Cancel"));
    for (QPushButton* b : {m_storeButton, m_retakeButton, m_pauseButton, m_cancelButton})
        runButtons->addWidget(b);
    right->addLayout(runButtons);
    m_message = label(this, "RunMessage");
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("color: #b00000"));
    right->addWidget(m_message);
    m_tables = label(this, "RunTables");
    right->addWidget(m_tables);
    m_showButton = button(this, "RunShowStraightness", QStringLiteral("Show straightness"));
    right->addWidget(m_showButton, 0, Qt::AlignLeft);
    right->addStretch();
    layout->addLayout(right, 1);

    m_storeKey = new QShortcut(QKeySequence(Qt::Key_Space), this, this, &RunPage::storeNow);
    m_retakeKey = new QShortcut(QKeySequence(Qt::Key_Backspace), this, &m_run, &GuidedRun::retake);
    m_flash = new QTimer(this);
    m_flash->setSingleShot(true);
    m_flash->setInterval(300);
    connect(m_flash, &QTimer::timeout, this, [this] { m_display->setPalette(palette()); });

    connect(m_startButton, &QPushButton::clicked, this, &RunPage::start);
    connect(m_openButton, &QPushButton::clicked, this, &RunPage::openJob);
    connect(m_saveButton, &QPushButton::clicked, this, &RunPage::saveJob);
    connect(m_storeButton, &QPushButton::clicked, this, &RunPage::storeNow);
    connect(m_retakeButton, &QPushButton::clicked, &m_run, &GuidedRun::retake);
    connect(m_pauseButton, &QPushButton::clicked, this, [this] {
        if (m_run.state() == GuidedRun::State::Paused)
            m_run.resume();
        else
            m_run.pause();
    });
    connect(m_cancelButton, &QPushButton::clicked, &m_run, &GuidedRun::cancel);
    connect(m_showButton, &QPushButton::clicked, this, [this] {
        const StraightnessJob& job = m_run.job();
        if (job.plate)
            emit showFlatness(job.passTable(0));
        else
            emit showStraightness(job.forwardTable);
    });
    connect(&m_run, &GuidedRun::changed, this, &RunPage::update);
    connect(&m_run, &GuidedRun::stationStored, this, &RunPage::stored);
    connect(&m_run, &GuidedRun::message, this, &RunPage::say);
    update();
}

void RunPage::start()
{
    const StraightnessJob job = m_form->job();
    const QString problem = m_run.start(job);
    say(problem);
    if (!problem.isEmpty())
        return;
    job.rememberAsLast();
    m_form->setJob(m_run.job());
}

void RunPage::openJob()
{
    const QString path = FileDialog::choose(this, FileDialog::Kind::OpenJob, m_jobFile);
    if (path.isEmpty())
        return;
    QString error;
    const std::optional<StraightnessJob> job = StraightnessJob::load(path, &error);
    if (!job) {
        MessageBox::show(this, error);
        return;
    }
    m_jobFile = path;
    m_form->setJob(*job);
}

void RunPage::saveJob()
{
    const QString path = FileDialog::choose(this, FileDialog::Kind::SaveJob, m_jobFile);
    if (path.isEmpty())
        return;
    QString error;
    if (!m_form->job().save(path, &error)) {
        MessageBox::show(this, error);
        return;
    }
    m_jobFile = path;
}

void RunPage::storeNow()
{
    const QString problem = m_run.storeNow();
    if (!problem.isEmpty())
        say(problem);
}

void RunPage::say(const QString& text)
{
    m_message->setText(text);
}

void RunPage::stored()
{
    say(QString());
    QApplication::beep();
    QPalette flash = palette();
    flash.setColor(QPalette::Window, QColor(120, 220, 120));
    m_display->setPalette(flash);
    m_flash->start();
}

void RunPage::update()
{
    using State = GuidedRun::State;
    const State state = m_run.state();
    const bool active = m_run.active();
    const StraightnessJob& job = m_run.job();
    m_form->setEnabled(!active);
    m_openButton->setEnabled(!active);
    m_startButton->setEnabled(!active);
    m_storeButton->setEnabled(active);
    m_retakeButton->setEnabled(active || state == State::Finished);
    m_pauseButton->setEnabled(active);
    m_pauseButton->setText(state == State::Paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    m_cancelButton->setEnabled(active);
    m_storeKey->setEnabled(active && isVisible());
    m_retakeKey->setEnabled((active || state == State::Finished) && isVisible());
    m_showButton->setVisible(state == State::Finished);
    m_showButton->setText(job.plate ? QStringLiteral("Show flatness") : QStringLiteral("Show straightness"));

    const StraightnessJob::Pass& pass = m_run.pass();
    const bool plate = job.plate.has_value();
    const QString station = QStringLiteral("Station %1 of %2").arg(m_run.station()).arg(m_run.stations());
    QString phase;
    switch (state) {
    case State::Idle:
        phase = QStringLiteral("Set up the job, then press Start");
        break;
    case State::Running:
    case State::Paused:
        if (plate)
            phase = QStringLiteral("Line %1 of %2: %3, station %4 of %5")
                        .arg(m_run.run())
                        .arg(m_run.passCount())
                        .arg(pass.title)
                        .arg(m_run.station())
                        .arg(m_run.stations());
        else
            phase = m_run.run() == 2 ? QStringLiteral("Backward run") : QStringLiteral("Forward run");
        if (state == State::Paused)
            phase += QStringLiteral(" (paused)");
        break;
    case State::Finished:
        phase = QStringLiteral("Job finished");
        break;
    case State::Cancelled:
        phase = QStringLiteral("Job cancelled");
        break;
    }
    m_phase->setText(phase);
    m_station->setText(active ? station : QString());
    // A plate's line starts at a corner or an edge's middle: the distance is from there.
    const QString from =
        plate ? QStringLiteral(" from %1")
                    .arg(pass.title.section(QStringLiteral(" \u2192 "), 0, 0).section(QLatin1Char(' '), -1))
              : QString();
    m_position->setText(active ? QStringLiteral("Move to %1 mm%2").arg(number(m_run.position()), from)
                               : QString());
    QString tables;
    if (state != State::Idle && plate) {
        QStringList numbers;
        for (const int t : job.tables())
            numbers << QString::number(t);
        tables = QStringLiteral("Lines in tables %1").arg(numbers.join(QStringLiteral(", ")));
    } else if (state != State::Idle && job.forwardTable > 0) {
        tables = QStringLiteral("Forward run: table %1").arg(job.forwardTable);
        if (job.backwardTable > 0)
            tables += QStringLiteral(", backward run: table %1").arg(job.backwardTable);
    }
    m_tables->setText(tables);
    tick();
}

void RunPage::tick()
{
    const auto text = [this](double v) {
        return std::isnan(v) ? QStringLiteral("..........") : m_angles.formatAngle(v);
    };
    m_reading->setText(
        QStringLiteral("X %1   Y %2 %3")
            .arg(text(m_run.shownX()), text(m_run.shownY()), CsvExport::unitName(m_angles.angleUnit)));
    if (!m_run.active()) {
        m_settleBar->setValue(0);
        m_spread->clear();
        return;
    }
    m_settleBar->setValue(static_cast<int>(std::lround(m_run.progress() * 100)));
    m_spread->setText(m_run.awaitingMove() ? QStringLiteral("Stored: move the reflector to the next station")
                                           : QStringLiteral("Spread %1 of %2 arcsec")
                                                 .arg(QString::number(m_run.spread(), 'f', 3),
                                                      QString::number(m_run.job().settleBand, 'f', 3)));
}

void RunPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    update();
}

void RunPage::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    update();
}
