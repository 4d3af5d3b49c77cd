#pragma once

#include <QWidget>

class AngleManager;
class GuidedRun;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;
class QTimer;
class RunJobForm;

// A guided run, of a straightness job or a plate's lines: the job's fields, then station by station what to
// do, the live reading and how far it has settled, with the operator's keys while the page is in front.
class RunPage : public QWidget {
    Q_OBJECT
public:
    RunPage(GuidedRun& run, const AngleManager& angles, QWidget* parent = nullptr);

    // The display tick: live reading and settle indicator.
    void tick();

signals:
    // The operator asks for the evaluation of a finished job's table.
    void showStraightness(int table);
    // The same for a plate job's flatness, named by the table of its first line.
    void showFlatness(int table);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void start();
    void openJob();
    void saveJob();
    void storeNow();
    void update();
    void stored();
    void say(const QString& text);

    GuidedRun& m_run;
    const AngleManager& m_angles;
    RunJobForm* m_form = nullptr;
    QPushButton* m_openButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_startButton = nullptr;
    QFrame* m_display = nullptr;
    QLabel* m_phase = nullptr;
    QLabel* m_station = nullptr;
    QLabel* m_position = nullptr;
    QLabel* m_reading = nullptr;
    QProgressBar* m_settleBar = nullptr;
    QLabel* m_spread = nullptr;
    QPushButton* m_storeButton = nullptr;
    QPushButton* m_retakeButton = nullptr;
    QPushButton* m_pauseButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_tables = nullptr;
    QPushButton* m_showButton = nullptr;
    QShortcut* m_storeKey = nullptr;
    QShortcut* m_retakeKey = nullptr;
    QTimer* m_flash = nullptr;
    QString m_jobFile;
};
