#pragma once

#include <QDialog>
#include <QtGlobal>

struct AppState;
class Link;
class QCheckBox;
class QLabel;
class QLineEdit;

// The calls the options dialog makes on the window it opens over.
class OptionsHost {
public:
    virtual ~OptionsHost() = default;
    // Owner of the dialog, which opens over it.
    [[nodiscard]] virtual QWidget* hostWindow() = 0;
    // "Show table" sets the window's outer height, in twips.
    virtual void setWindowHeight(double twips) = 0;
};

// The options dialog: display, transfer and background options. Constructing it is loading it (the load
// step runs in the constructor); closing it unloads it (it deletes itself), so the next opening loads it
// afresh. A close that the background file check refuses leaves it open.
class FormOptions : public QDialog {
    Q_OBJECT
public:
    // The largest count of the background rule; larger counts do not fit its 32-bit divisor.
    static constexpr double MaxBackgroundSeconds = 2147483647.0;

    // host: the window whose height the "Show table" box sets and over which the dialog opens; may be
    // null when there is none. link: takes the background count when the dialog closes, and the store
    // triggers.
    FormOptions(AppState& state, Link& link, OptionsHost* host);
    ~FormOptions() override;

    // Shut-down: runs the close step and unloads, never refusing and never showing a message.
    void closeForShutdown();

    // The exit key and remote control store triggers work in the angle layout only.
    void enableStoreTriggers(bool on);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape closes as the window's close control does, running the close step.
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    // The close step. Returns false when the background file check refuses the close; quiet: without the
    // message.
    [[nodiscard]] bool saveOptions(bool quiet);
    void createControls();
    void connectHandlers();
    // The options follow their boxes at once.
    void applyTobarMode();
    void applyShowTable();
    void applyComma();
    void applyStoreAtExitKey();
    void applyStoreAtRemoteControl();
    // Key filter of the background count: the key code may be changed; 0 discards the key.
    static void filterCountKey(int& keyAscii);
    void updateBackgroundControls();
    void updateTransferOptions();
    [[nodiscard]] bool backgroundFileWritable() const;
    // The dialog's outer position in twips.
    [[nodiscard]] double dialogLeft() const;
    [[nodiscard]] double dialogTop() const;

    AppState& m_state;
    Link& m_link;
    OptionsHost* m_host = nullptr;
    bool m_shuttingDown = false;

    QCheckBox* m_tobarBox = nullptr;
    QCheckBox* m_onTopBox = nullptr;
    QCheckBox* m_showTableBox = nullptr;
    QCheckBox* m_commaBox = nullptr;
    QLabel* m_transferLabel = nullptr;
    QCheckBox* m_exitKeyBox = nullptr;
    QCheckBox* m_remoteControlBox = nullptr;
    QCheckBox* m_backgroundBox = nullptr;
    QLabel* m_pathLabel = nullptr;
    QLineEdit* m_pathBox = nullptr;
    QLabel* m_updateLabel = nullptr;
    QLineEdit* m_updateEveryBox = nullptr;
    QLabel* m_updateSuffixLabel = nullptr;
    QCheckBox* m_meanBox = nullptr;
};
