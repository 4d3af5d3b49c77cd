#pragma once

#include "platform/commcontrol.h"

#include <QDialog>
#include <QString>
#include <QtGlobal>

struct AppState;
class ComLink;
class QCheckBox;
class QComboBox;
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

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // The load step: the stored settings shown and the port connected, or, after a failed send, only
    // connected again.
    void load();
    // Showing the window runs the load step again.
    void activate();
    // Closing the window: settings stored, port closed.
    void unload();
    void closeWindow();
    void selectTextMode();
    void selectCompatibleMode();
    void setHighResolution(bool on);
    void connectTypedPort();
    // Once a second in compatible mode: whether messages arrived since the last look.
    void updateCompatibleStatus();
    // The port's device vanished: the measurement is gone, and the operator is told once.
    void deviceLost();
    // No more commands until the operator reconnects with "Connection"; the operator is told.
    void dropLink();
    void chooseDevice(int index);
    // Lists the devices present again (shown: every 2 s), keeping the choice.
    void refreshDevices();
    // Binds the current port number to the device, stores the binding and connects to it.
    void bindDevice(const QString& path);

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
    QLineEdit* m_portNumberEdit = nullptr;
    QLineEdit* m_statusEdit = nullptr;
    QRadioButton* m_compatibleModeOption = nullptr;
    QRadioButton* m_textModeOption = nullptr;
    QPushButton* m_closeButton = nullptr;
    QCheckBox* m_highResolutionCheck = nullptr;
    QTimer* m_compatibleStatusTimer = nullptr;
    // The device the port number is bound to, chosen from the devices present.
    QComboBox* m_deviceBox = nullptr;
    bool m_inCloseStep = false;
    QTimer* m_deviceRefresh = nullptr;
    QString m_deviceSignature; // the devices last listed, so an unchanged list is left alone
};
