#pragma once

#include "platform/commcontrol.h"

#include <QDialog>
#include <QString>
#include <QtGlobal>

struct AppState;
class ComLink;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// The connection window: port number, link mode, the outcome of the last connect step, and the serial
// port itself. Constructing it is loading it; the load step runs in the constructor.
class FormCom : public QDialog {
    Q_OBJECT
public:
    // Result texts of the connect step.
    static QString statusText(PortCode result);

    FormCom(AppState& state, ComLink& link, QWidget* parent = nullptr);
    ~FormCom() override;

    [[nodiscard]] PortCode initCom(qint16& portNumber, qint32 baudRate);
    void deInitCom();
    void sendCommand(const QString& s);
    void sendCommandCompatible(const qint16& command);

    [[nodiscard]] CommControl& comPort() { return *m_comPort; }

    // Event handlers, public so that the steps can be driven as the operator would.
    void Form_Load();
    void Form_Activate();
    void Form_QueryUnload();
    void CommandClose_Click();
    void OptionText_Click();
    void OptionCompatible_Click();
    void optionHR_Click();
    void TextPortNum_Change();
    void TimerCom_Timer();
    // The port's device vanished: the measurement is gone, and the operator is told once.
    void comPort_Lost();

    QLabel* LabelPortNum = nullptr;
    QLineEdit* TextPortNum = nullptr;
    QLabel* LabelStatus = nullptr;
    QLineEdit* TextStatus = nullptr;
    QRadioButton* OptionCompatible = nullptr;
    QRadioButton* OptionText = nullptr;
    QPushButton* CommandClose = nullptr;
    QCheckBox* optionHR = nullptr;
    QTimer* TimerCom = nullptr;
    // The row below: the device the port number is bound to, chosen from the devices present.
    QLabel* LabelDevice = nullptr;
    QComboBox* ComboDevice = nullptr;

    // Lists the devices present again (shown: every 2 s), keeping the choice.
    void refreshDevices();
    // Binds the current port number to the device, stores the binding and connects to it.
    void bindDevice(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void connectPort(qint16& portNumber);
    void loadComSettings();
    void saveComSettings();
    void showComSettings();
    void loadStepMain();
    // Waits until the main window's tick counter has advanced by ticks, letting events run.
    [[nodiscard]] bool waitMainTicks(int ticks);

    AppState& m_state;
    ComLink& m_link;
    CommControl* m_comPort = nullptr;
    bool m_inCloseStep = false;
    QTimer* m_deviceRefresh = nullptr;
    QString m_deviceSignature; // the devices last listed, so an unchanged list is left alone
};
