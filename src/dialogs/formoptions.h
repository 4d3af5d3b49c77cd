#pragma once

#include <QDialog>
#include <QtGlobal>

struct AppState;
class LinkReceiver;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

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
    // null when there is none. receiver: takes the background count when the dialog closes.
    FormOptions(AppState& state, LinkReceiver& receiver, OptionsHost* host);
    ~FormOptions() override;

    // Shut-down: runs the close step and unloads, never refusing and never showing a message.
    void closeForShutdown();

    // Handlers, public so that the steps can be driven as the operator would.
    void Form_Load();
    void CommandOK_Click();
    void CTobar_Click();
    void CheckOnTop_Click();
    void CheckShowTable_Click();
    void CheckComma_Click();
    void CheckExitKey_Click();
    void CheckIR_Click();
    void CheckBackground_Click();
    // Key filter of TextSeconds: the key code may be changed; 0 discards the key.
    static void TextSeconds_KeyPress(int& keyAscii);

    // The dialog's outer position in twips.
    [[nodiscard]] double dialogLeft() const;
    [[nodiscard]] double dialogTop() const;

    QGroupBox* FrameDisplay = nullptr;
    QCheckBox* CTobar = nullptr;
    QCheckBox* CheckOnTop = nullptr;
    QCheckBox* CheckShowTable = nullptr;
    QGroupBox* FrameTransfer = nullptr;
    QCheckBox* CheckComma = nullptr;
    QLabel* LabelTransfer = nullptr;
    QCheckBox* CheckExitKey = nullptr;
    QCheckBox* CheckIR = nullptr;
    QGroupBox* FrameBackground = nullptr;
    QCheckBox* CheckBackground = nullptr;
    QLabel* LabelPath = nullptr;
    QLineEdit* TextPath = nullptr;
    QLabel* LabelUpdate = nullptr;
    QLineEdit* TextSeconds = nullptr;
    QLabel* LabelSecond = nullptr;
    QCheckBox* CheckMean = nullptr;
    QPushButton* CommandOK = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape closes as the window's close control does, running the close step.
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The close step. Returns false when the background file check refuses the close; quiet: without the
    // message.
    [[nodiscard]] bool Form_QueryUnload(bool quiet);
    void createControls();
    void connectHandlers();
    void placeDialog();
    void updateBackgroundControls();
    void updateTransferOptions();
    [[nodiscard]] bool backgroundFileWritable() const;

    AppState& m_state;
    LinkReceiver& m_receiver;
    OptionsHost* m_host = nullptr;
    bool m_shuttingDown = false;
};
